#pragma once
/// TDecoder: the interface of the decoders of packed pixel data (run-length,
/// PackBits, deflate and the others the readers share). A decoder is made
/// once per load, started, given every strip, row or plane in turn, and
/// finished. It takes its input through a cursor whose size is the packed
/// size and writes into a span whose size is the unpacked size; whatever the
/// data say, it never reads past the one or writes past the other.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_cursor.h"
#include "base/exceptions.h"

namespace scalopex::base {

/// A decoder's failure on data it cannot unpack.
class EGraphicCompression : public Exception {
public:
    using Exception::Exception;
};

class TDecoder {
public:
    virtual ~TDecoder() = default;

    /// Prepares for the data of one load.
    virtual void StartDecoding() {}
    /// Unpacks bytes taken from source into dest and returns how many bytes
    /// of dest it wrote (the rest of dest keeps its bytes). Source is left
    /// just after the last byte used.
    virtual std::size_t Decode(ByteCursor& source, std::span<std::uint8_t> dest) = 0;
    /// Ends the load.
    virtual void FinishDecoding() {}
};

}  // namespace scalopex::base
