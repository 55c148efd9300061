#pragma once
// PCX files spelled out for the tests: the header and run-length data.

#include <array>
#include <cstdint>
#include <vector>

#include "tests/support/byte_builder.h"

namespace scalopex::test::pcx {

struct HeaderSpec {
    std::uint8_t manufacturer = 10;
    std::uint8_t version = 5;
    std::uint8_t encoding = 1;
    std::uint8_t bits = 8;
    std::uint16_t xMin = 0, yMin = 0;
    std::uint16_t width = 1, height = 1;
    std::uint8_t planes = 1;
    std::uint16_t bytesPerLine = 0;  // 0: the width's bytes, rounded up to an even count
    std::uint16_t paletteInfo = 1;
    std::array<std::uint8_t, 48> palette16 = {};
};

inline std::uint16_t BytesPerLine(const HeaderSpec& h)
{
    if (h.bytesPerLine != 0)
        return h.bytesPerLine;
    const unsigned bytes = (unsigned{h.width} * h.bits + 7) / 8;
    return static_cast<std::uint16_t>(bytes + bytes % 2);
}

inline std::vector<std::uint8_t> Header(const HeaderSpec& h)
{
    ByteBuilder b;
    b.u8(h.manufacturer).u8(h.version).u8(h.encoding).u8(h.bits);
    b.u16le(h.xMin).u16le(h.yMin).u16le(h.xMin + h.width - 1u).u16le(h.yMin + h.height - 1u);
    b.u16le(72).u16le(72);
    b.bytes(h.palette16);
    b.u8(0).u8(h.planes).u16le(BytesPerLine(h)).u16le(h.paletteInfo);
    b.fill(58, 0);
    return b.take();
}

/// Run-length encodes bytes: runs of up to 63, single bytes of 0xC0 and
/// more as runs of one.
inline std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < data.size();) {
        std::size_t n = 1;
        while (i + n < data.size() && data[i + n] == data[i] && n < 63)
            ++n;
        if (n > 1 || data[i] >= 0xC0)
            out.push_back(static_cast<std::uint8_t>(0xC0 | n));
        out.push_back(data[i]);
        i += n;
    }
    return out;
}

/// A file: the header, then the pixel data (encoded when the header says
/// so), then the bytes of tail.
inline std::vector<std::uint8_t> File(const HeaderSpec& h, const std::vector<std::uint8_t>& rows,
                                      const std::vector<std::uint8_t>& tail = {})
{
    std::vector<std::uint8_t> out = Header(h);
    const std::vector<std::uint8_t> data = h.encoding == 1 ? Encode(rows) : rows;
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

/// The 769 bytes of a trailing palette whose entry k is (k, 255 - k, k / 2).
inline std::vector<std::uint8_t> TrailingPalette()
{
    std::vector<std::uint8_t> out = {12};
    for (unsigned k = 0; k < 256; ++k)
        out.insert(out.end(), {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
                               static_cast<std::uint8_t>(k / 2)});
    return out;
}

}  // namespace scalopex::test::pcx
