#pragma once
/// TRLADecoder: the run-length channel rows of RLA files. A signed count
/// byte c introduces either -c literal bytes (c < 0) or one byte repeated
/// c + 1 times (c >= 0).

#include "base/decoder.h"

namespace scalopex::formats {

class TRLADecoder final : public base::TDecoder {
public:
    /// Decodes until the source (one channel's byte count) or dest (one
    /// channel row) is used up; runs and literals are cut to what remains of
    /// either. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
};

}  // namespace scalopex::formats
