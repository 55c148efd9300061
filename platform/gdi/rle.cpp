#include "platform/gdi/rle.h"

#include <algorithm>
#include <cstddef>

#include "base/checked_math.h"
#include "base/exceptions.h"

// The published BMP run-length scheme: a pair (count > 0, value) is a run;
// (0, 0) ends the line, (0, 1) ends the bitmap, (0, 2, dx, dy) moves the
// cursor, (0, n >= 3) starts n literal pixels padded to a 16-bit boundary.
// In RLE4 a value byte holds two pixels, high nibble first, that alternate.

namespace scalopex::gdi {

namespace {

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(base::kSInvalidBitmap);
}

// The write position in the raster. It only moves forward, so the furthest
// byte set is always the last one.
class TRleRaster {
public:
    TRleRaster(std::span<std::uint8_t> dest, int width, int height, std::size_t stride)
        : m_dest(dest), m_width(width), m_height(height), m_stride(stride)
    {
    }

    // True once the position has passed the last row.
    bool Full() const { return m_y >= m_height; }
    // The next n pixels of the current row, clipped at the row end; the
    // position moves past them and the clipped rest is dropped.
    std::span<std::uint8_t> Take(std::size_t n)
    {
        const std::size_t k = std::min(n, static_cast<std::size_t>(m_width - m_x));
        const std::size_t at = static_cast<std::size_t>(m_y) * m_stride + static_cast<std::size_t>(m_x);
        m_x += static_cast<int>(k);
        if (k > 0)
            m_end = at + k;
        return m_dest.subspan(at, k);
    }
    // Ends of line below the last row set nothing and are harmless.
    void EndOfLine()
    {
        m_x = 0;
        if (m_y < m_height)
            ++m_y;
    }
    // A move may reach the row end or the line below the last row, no further.
    void Move(int dx, int dy)
    {
        if (dx > m_width - m_x || dy > m_height - m_y)
            Invalid();
        m_x += dx;
        m_y += dy;
    }
    std::size_t End() const { return m_end; }

private:
    std::span<std::uint8_t> m_dest;
    int m_width;
    int m_height;
    std::size_t m_stride;
    int m_x = 0;  // invariant: 0 <= m_x <= m_width, 0 <= m_y <= m_height
    int m_y = 0;
    std::size_t m_end = 0;
};

// Fills out with the two nibbles of value, high first, alternating.
void FillNibbles(std::span<std::uint8_t> out, std::uint8_t value)
{
    const auto high = static_cast<std::uint8_t>(value >> 4);
    const auto low = static_cast<std::uint8_t>(value & 0x0F);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = (i & 1) ? low : high;
}

// Spreads packed 4-bit pixels, high nibble first, over out.
void UnpackNibbles(std::span<std::uint8_t> out, std::span<const std::uint8_t> packed)
{
    std::size_t i = 0;
    for (const std::uint8_t b : packed) {
        if (i == out.size())
            return;
        out[i++] = static_cast<std::uint8_t>(b >> 4);
        if (i == out.size())
            return;
        out[i++] = static_cast<std::uint8_t>(b & 0x0F);
    }
}

}  // namespace

TBmpRLEDecoder::TBmpRLEDecoder(int bitsPerPixel, int width, int height, std::size_t stride)
    : m_rle4(bitsPerPixel == 4), m_width(width), m_height(height), m_stride(stride)
{
    if (bitsPerPixel != 4 && bitsPerPixel != 8)
        throw base::EInternalError("TBmpRLEDecoder: bits per pixel must be 4 or 8");
    if (width < 0 || height < 0 || stride < static_cast<std::size_t>(width))
        throw base::EInternalError("TBmpRLEDecoder: invalid raster geometry");
}

std::size_t TBmpRLEDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    if (dest.size() < base::checkedMul(static_cast<std::size_t>(m_height), m_stride))
        throw base::EInternalError("TBmpRLEDecoder: destination smaller than the raster");
    TRleRaster raster(dest, m_width, m_height, m_stride);
    // A lone byte after the last whole pair is ignored.
    while (source.remaining() >= 2) {
        const unsigned count = source.u8();
        const std::uint8_t value = source.u8();
        // Pixels for rows past the last one end the decoding; the rows that
        // are there stay, as other readers show them.
        if (raster.Full() && (count > 0 || value >= 3))
            return raster.End();
        if (count > 0) {
            const std::span<std::uint8_t> out = raster.Take(count);
            if (m_rle4)
                FillNibbles(out, value);
            else
                std::fill(out.begin(), out.end(), value);
            continue;
        }
        switch (value) {
        case 0: raster.EndOfLine(); break;
        case 1: return raster.End();
        case 2: {
            if (source.remaining() < 2)
                return raster.End();  // the data ends inside the move: nothing more is set
            const int dx = source.u8();
            const int dy = source.u8();
            raster.Move(dx, dy);
            break;
        }
        default: {
            const std::size_t n = value;
            const std::size_t bytes = m_rle4 ? (n + 1) / 2 : n;
            const std::span<const std::uint8_t> literal = source.bytesUpTo(bytes);
            const std::size_t present = m_rle4 ? std::min(n, 2 * literal.size()) : literal.size();
            if (present > 0) {
                const std::span<std::uint8_t> out = raster.Take(present);
                if (m_rle4)
                    UnpackNibbles(out, literal);
                else
                    std::copy_n(literal.begin(), out.size(), out.begin());
            }
            if (literal.size() < bytes)
                return raster.End();  // cut short: keep what was decoded
            source.bytesUpTo(bytes & 1);  // the padding to a 16-bit boundary, when present
            break;
        }
        }
    }
    return raster.End();
}

}  // namespace scalopex::gdi
