#include "platform/gdi/rle.h"

#include <cstddef>

// The published BMP run-length scheme: a pair (count > 0, value) is a run;
// (0, 0) ends the line, (0, 1) ends the bitmap, (0, 2, dx, dy) moves the
// cursor, (0, n >= 3) starts n literal pixels padded to a 16-bit boundary.
// In RLE4 a value byte holds two pixels, high nibble first, that alternate.

namespace scalopex::gdi {

namespace {

class RleWriter {
public:
    RleWriter(int width, int height, std::uint8_t* out, std::size_t stride)
        : m_width(width), m_height(height), m_out(out), m_stride(stride)
    {
    }

    // Pixels past the row end are dropped; the cursor stays at the row end.
    bool Put(std::uint8_t index)
    {
        if (m_y >= m_height)
            return false;
        if (m_x < m_width) {
            m_out[static_cast<std::size_t>(m_y) * m_stride + static_cast<std::size_t>(m_x)] = index;
            ++m_x;
        }
        return true;
    }
    // Ends of line below the last row set nothing and are harmless.
    void EndOfLine()
    {
        m_x = 0;
        if (m_y < m_height)
            ++m_y;
    }
    // A move may reach the row end or the line below the last row, no further.
    bool Move(int dx, int dy)
    {
        if (dx > m_width - m_x || dy > m_height - m_y)
            return false;
        m_x += dx;
        m_y += dy;
        return true;
    }

private:
    int m_width;
    int m_height;
    std::uint8_t* m_out;
    std::size_t m_stride;
    int m_x = 0;  // invariant: 0 <= m_x <= m_width, 0 <= m_y <= m_height
    int m_y = 0;
};

}  // namespace

bool DecodeBmpRle(std::span<const std::uint8_t> data, int bitsPerPixel, int width, int height, std::uint8_t* out,
                  std::size_t stride)
{
    const bool rle4 = bitsPerPixel == 4;
    RleWriter writer(width, height, out, stride);
    std::size_t pos = 0;
    const std::size_t size = data.size();
    while (pos + 1 < size) {
        const unsigned count = data[pos];
        const std::uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                const std::uint8_t index = rle4 ? static_cast<std::uint8_t>((i & 1) ? (value & 0x0F) : (value >> 4)) : value;
                if (!writer.Put(index))
                    return false;
            }
            continue;
        }
        switch (value) {
        case 0:
            writer.EndOfLine();
            break;
        case 1:
            return true;
        case 2:
            if (pos + 1 >= size)
                return true;  // the data ends inside the move: nothing more is set
            if (!writer.Move(data[pos], data[pos + 1]))
                return false;
            pos += 2;
            break;
        default: {
            const unsigned n = value;
            const std::size_t bytes = rle4 ? (n + 1) / 2 : n;
            for (unsigned i = 0; i < n; ++i) {
                const std::size_t at = pos + (rle4 ? i / 2 : i);
                if (at >= size)
                    return true;  // cut short: keep what was decoded
                const std::uint8_t b = data[at];
                const std::uint8_t index = rle4 ? static_cast<std::uint8_t>((i & 1) ? (b & 0x0F) : (b >> 4)) : b;
                if (!writer.Put(index))
                    return false;
            }
            pos += bytes + (bytes & 1);
            break;
        }
        }
    }
    return true;
}

}  // namespace scalopex::gdi
