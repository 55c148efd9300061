#pragma once
/// TSGIRLEDecoder: the run-length rows of SGI image files. Each row is
/// packets of a control (a byte for 8-bit samples, the low byte of a
/// big-endian word for 16-bit ones): count = control and 0x7F, 0 ends the
/// row; with bit 7 set count samples follow, else one sample follows that
/// is repeated count times. Samples are copied as stored.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/decoder.h"

namespace scalopex::formats {

class TSGIRLEDecoder final : public base::TDecoder {
public:
    /// sampleBits: 8 or 16; any other size decodes nothing.
    explicit TSGIRLEDecoder(int sampleBits);

    /// Decodes one row from source into dest, whole samples only, until the
    /// row's end packet, the end of the source or a full dest: runs and
    /// copies are cut to the samples that remain of either. Returns the
    /// bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

private:
    std::size_t m_sampleBytes;
};

}  // namespace scalopex::formats
