#pragma once
/// The variable-length LZW coding of GIF image data: a decoder into a frame's
/// pixels and the encoder TLZWEncoder.

#include <cstdint>
#include <span>
#include <vector>

namespace scalopex::formats {

/// How decoding one frame's code stream ended.
struct TLZWDecodeResult {
    /// The bits ran out before the end code and before the code that follows
    /// the last pixel.
    bool underRun = false;
};

/// Decodes the code stream data (the frame's data sub-blocks joined) with
/// minimum code size codeSize (0 to 8) into the first width × height bytes of
/// frame, stored row by row or, when interlaced, in the four passes starting
/// at rows 0, 4, 2, 1. Pixels the data does not reach keep their value;
/// surplus pixels are dropped. A code that is not yet in the table fails with
/// "Circular decoder table entry". A frame smaller than width × height, or a
/// code size out of range, is a caller's fault (EInternalError).
TLZWDecodeResult DecodeLZW(std::span<const std::uint8_t> data, int codeSize, std::span<std::uint8_t> frame, int width,
                           int height, bool interlaced);

/// GIF LZW encoder: a clear code first, the table grown up to 12-bit codes
/// and cleared when its next free code reaches 4095, the bytes in data
/// sub-blocks of 255.
class TLZWEncoder {
public:
    TLZWEncoder();

    /// Appends the minimum code size byte (bits, raised to 2), the data
    /// sub-blocks and the terminator for pixels in row order. A pixel not
    /// below colorCount fails with "Color not in color table".
    void Encode(std::span<const std::uint8_t> pixels, int bits, int colorCount, std::vector<std::uint8_t>& out);

private:
    static constexpr std::size_t kHashSize = 8009;  // prime, about twice the 4093 codes a table holds

    void ResetTable();
    void Emit(int code);
    void PutByte(std::uint8_t byte);

    // (prefix × 256 + pixel) in the upper 20 bits, the code in the lower 12;
    // all bits set marks a free slot (code 4095 is never assigned).
    std::vector<std::uint32_t> m_hash;
    std::vector<std::uint8_t>* m_out = nullptr;
    std::uint8_t m_block[255] = {};
    std::size_t m_blockLength = 0;
    std::uint64_t m_bits = 0;
    int m_bitCount = 0;
    int m_width = 0;
};

}  // namespace scalopex::formats
