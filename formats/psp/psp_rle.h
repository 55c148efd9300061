#pragma once
/// TPSPRLEDecoder: the run-length channels of Paint Shop Pro files. A byte
/// a of 128 or more repeats the next byte a - 128 times; a smaller a copies
/// the next a bytes.

#include "base/decoder.h"

namespace scalopex::formats {

class TPSPRLEDecoder final : public base::TDecoder {
public:
    /// Decodes until the source (the channel's compressed bytes) or dest
    /// (the channel, at most its uncompressed length) is used up; runs and
    /// copies are cut to what remains of either. Returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
};

}  // namespace scalopex::formats
