#pragma once
// The 18-byte header that opens every Targa file (Truevision TGA 2.0,
// "TGA File Format", section "Header"). All fields are little-endian.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_cursor.h"

namespace scalopex::formats::targa {

inline constexpr std::size_t kHeaderSize = 18;

struct TTargaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;  // 0 none, 1 present
    std::uint8_t imageType = 0;     // 1, 2, 3 raw; 9, 10, 11 run-length encoded
    std::uint16_t colorMapFirst = 0;
    std::uint16_t colorMapLength = 0;
    std::uint8_t colorMapEntryBits = 0;
    std::uint16_t xOrigin = 0;
    std::uint16_t yOrigin = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelDepth = 0;
    std::uint8_t descriptor = 0;  // bits 0-3 alpha bits, bit 4 right-to-left, bit 5 top-to-bottom

    bool IsRLE() const { return imageType >= 9 && imageType <= 11; }
    bool IsGray() const { return imageType == 3 || imageType == 11; }
    bool IsColorMapped() const { return imageType == 1 || imageType == 9; }
    bool HasPixelData() const { return (imageType >= 1 && imageType <= 3) || IsRLE(); }
    bool TopDown() const { return (descriptor & 0x20) != 0; }
    bool RightToLeft() const { return (descriptor & 0x10) != 0; }
    unsigned AlphaBits() const { return descriptor & 0x0Fu; }
    // Grey levels with an alpha byte each, as 16-bit grey files store them.
    bool IsGrayAlpha() const { return IsGray() && pixelDepth == 16; }
    // Bytes a colour map occupies in the file: whole bytes per entry.
    std::size_t ColorMapBytes() const { return std::size_t{colorMapLength} * ((colorMapEntryBits + 7u) / 8u); }
};

/// Reads the header at the cursor's position.
inline TTargaHeader ParseHeader(base::ByteCursor& in)
{
    TTargaHeader h;
    h.idLength = in.u8();
    h.colorMapType = in.u8();
    h.imageType = in.u8();
    h.colorMapFirst = in.u16le();
    h.colorMapLength = in.u16le();
    h.colorMapEntryBits = in.u8();
    h.xOrigin = in.u16le();
    h.yOrigin = in.u16le();
    h.width = in.u16le();
    h.height = in.u16le();
    h.pixelDepth = in.u8();
    h.descriptor = in.u8();
    return h;
}

}  // namespace scalopex::formats::targa
