#pragma once
/// TPackbitsRLEDecoder: PackBits run-length data (TIFF compression 32773,
/// Photoshop channels). A signed count byte n introduces either n + 1
/// literal bytes (0 to 127) or one byte repeated 1 - n times (-127 to -1);
/// -128 is no operation.

#include "base/decoder.h"

namespace scalopex::formats {

class TPackbitsRLEDecoder final : public base::TDecoder {
public:
    /// Decodes until the source or dest is used up; literal runs are cut to
    /// the bytes that remain of either. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
};

}  // namespace scalopex::formats
