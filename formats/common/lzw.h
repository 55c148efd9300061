#pragma once
/// The LZW code stream of GIF image data and TIFF strips: a table of up to
/// 4096 strings over the literal codes, a clear and an end code above them,
/// and codes that grow from the literal size + 1 up to 12 bits. The formats
/// differ in the bit order, in when the width grows and in where the bytes
/// go; DecodeLZWCodes is the part they share, TLZWDecoder the TIFF strip
/// decoder built on it.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/bit_reader.h"
#include "base/decoder.h"

namespace scalopex::formats {

/// How a code stream is packed.
struct TLZWCoding {
    /// Bits of a literal, 0 to 8; the clear code is 1 << codeSize.
    int codeSize = 8;
    base::BitOrder order = base::BitOrder::MsbFirst;
    /// The width grows one code early, as soon as the next free entry is the
    /// largest code of the current width (TIFF); otherwise once the next free
    /// entry no longer fits (GIF, old-style TIFF).
    bool earlyChange = true;
};

/// Why decoding stopped.
enum class TLZWStop {
    EndCode,  // the end code was read
    Full,     // the output is full
    DataEnd,  // the bits ran out first
    BadCode,  // a code the table does not hold yet
};

struct TLZWOutcome {
    std::size_t written = 0;   // bytes of the output decoded
    std::size_t consumed = 0;  // bytes of the data begun
    TLZWStop stop = TLZWStop::EndCode;
    /// With Full: one more whole code follows the one that filled the output.
    bool codeAfterOutput = false;
};

/// Decodes data into out in order; a string that runs past the end of out is
/// cut off there. Never reads past data nor writes past out. A code size out
/// of range is a caller's fault (EInternalError).
TLZWOutcome DecodeLZWCodes(std::span<const std::uint8_t> data, const TLZWCoding& coding, std::span<std::uint8_t> out);

/// TIFF LZW strips and tiles (compression 5): codes most significant bit
/// first with the early width change; a strip that begins as the old-style
/// coding of some early writers does (a clear code least significant bit
/// first) is read that way, without the early change. A strip whose codes
/// break ends there, the rest of its buffer as it was, like a corrupt
/// deflate strip; the next strip starts afresh.
class TLZWDecoder final : public base::TDecoder {
public:
    /// Decodes the whole of source (one strip) into dest; returns the bytes written.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

    /// How the last strip ended.
    TLZWStop LastStop() const { return m_lastStop; }

private:
    TLZWStop m_lastStop = TLZWStop::EndCode;
};

}  // namespace scalopex::formats
