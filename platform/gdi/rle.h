#pragma once
/// Run-length decoding of BMP pixel data (RLE8 and RLE4).

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_cursor.h"
#include "base/decoder.h"

namespace scalopex::gdi {

/// Decodes RLE8 (bitsPerPixel 8) or RLE4 (4) data into one index byte per
/// pixel, the whole bitmap in one Decode call. dest holds height rows of
/// stride bytes, first stored row first (the file's bottom row for a
/// bottom-up bitmap); pixels the data never sets keep their value, and the
/// bytes between width and stride are never touched. Pixels of a run beyond
/// the end of its row are dropped; data cut short keeps what was decoded.
/// Pixels for rows past the last one end the decoding (the rows there stay);
/// a move beyond the raster fails with base::EInvalidGraphic(base::kSInvalidBitmap).
class TBmpRLEDecoder final : public base::TDecoder {
public:
    /// bitsPerPixel 8 or 4, width and height at least 0, stride at least
    /// width; anything else is a programming error (base::EInternalError).
    TBmpRLEDecoder(int bitsPerPixel, int width, int height, std::size_t stride);

    /// Returns the offset in dest one past the last pixel the data set (0 when
    /// it set none): every byte from there on keeps its value. Source is left
    /// just after the last byte used (after the end-of-bitmap pair, or the
    /// pair that would have gone past the last row). A dest
    /// smaller than height × stride is a programming error (base::EInternalError).
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;

private:
    bool m_rle4;
    int m_width;
    int m_height;
    std::size_t m_stride;
};

}  // namespace scalopex::gdi
