#pragma once
/// TPCXRLEDecoder: the run-length data of PCX files. A byte of 0xC0 or
/// more repeats the next byte (byte and 0x3F) times (0 times writes
/// nothing); any other byte is one literal data byte. The whole pixel data
/// is one stream: a run cut by the end of one destination goes on in the
/// next call.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/decoder.h"

namespace scalopex::formats {

class TPCXRLEDecoder final : public base::TDecoder {
public:
    /// Forgets a run left over from an earlier call.
    void StartDecoding() override;
    /// Decodes until dest is full or the source ends; a run whose value
    /// byte is missing is left unread. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

private:
    std::size_t m_pendingRun = 0;  // repeats of m_runValue still owed
    std::uint8_t m_runValue = 0;
};

}  // namespace scalopex::formats
