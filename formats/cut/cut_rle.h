#pragma once
/// TCUTRowDecoder: one row record of a cut file: a 16-bit byte count (not
/// used), then packets of a control byte a: 0 ends the row; with bit 7 set
/// the next byte is repeated (a and 0x7F) times; otherwise the next
/// (a and 0x7F) bytes are copied.

#include "base/decoder.h"

namespace scalopex::formats {

class TCUTRowDecoder final : public base::TDecoder {
public:
    /// Decodes one row record from source into dest (one raster row):
    /// source is left after the record's end packet, or at its end. Packets
    /// that run past the row are cut to it, their remaining bytes passed
    /// over. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
};

}  // namespace scalopex::formats
