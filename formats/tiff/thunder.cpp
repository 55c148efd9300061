#include "formats/tiff/thunder.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

namespace {

// Writes 4-bit pixels into one row, high nibble first, never past its width.
class TNibbleRow {
public:
    TNibbleRow(std::uint8_t* row, int width) : m_row(row), m_width(width) {}

    bool Full() const { return m_x >= m_width; }
    void Put(unsigned value)
    {
        if (Full())
            return;
        std::uint8_t& byte = m_row[m_x >> 1];
        byte = (m_x & 1) == 0 ? static_cast<std::uint8_t>((byte & 0x0F) | (value << 4))
                              : static_cast<std::uint8_t>((byte & 0xF0) | value);
        ++m_x;
    }

private:
    std::uint8_t* m_row;
    int m_width;
    int m_x = 0;
};

constexpr int kNone = 99;  // a delta that adds no pixel
constexpr int kTwoBitDelta[4] = {0, 1, kNone, -1};
constexpr int kThreeBitDelta[8] = {0, 1, 2, 3, kNone, -3, -2, -1};

}  // namespace

TThunderDecoder::TThunderDecoder(int width, std::size_t bytesPerLine)
    : m_width(std::max(width, 0)), m_bytesPerLine(bytesPerLine)
{}

std::size_t TThunderDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    if (m_bytesPerLine == 0 || (static_cast<std::size_t>(m_width) + 1) / 2 > m_bytesPerLine)
        return 0;
    const std::size_t rows = dest.size() / m_bytesPerLine;
    std::size_t y = 0;
    for (; y < rows && !source.atEnd(); ++y) {
        TNibbleRow row(dest.data() + y * m_bytesPerLine, m_width);
        unsigned last = 0;
        auto add = [&](int delta) {
            if (delta == kNone)
                return;
            last = static_cast<unsigned>(static_cast<int>(last) + delta) & 0x0F;
            row.Put(last);
        };
        while (!row.Full() && !source.atEnd()) {
            const std::uint8_t b = source.u8();
            switch (b & 0xC0) {
            case 0x00:
                for (int n = b & 0x3F; n > 0 && !row.Full(); --n)
                    row.Put(last);
                break;
            case 0x40:
                add(kTwoBitDelta[(b >> 4) & 3]);
                add(kTwoBitDelta[(b >> 2) & 3]);
                add(kTwoBitDelta[b & 3]);
                break;
            case 0x80:
                add(kThreeBitDelta[(b >> 3) & 7]);
                add(kThreeBitDelta[b & 7]);
                break;
            default:
                last = b & 0x0F;
                row.Put(last);
                break;
            }
        }
    }
    return y * m_bytesPerLine;
}

}  // namespace scalopex::formats
