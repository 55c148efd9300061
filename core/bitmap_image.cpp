#include "core/bitmap_image.h"

#include <bit>
#include <cstring>
#include <new>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/huge_pages.h"

namespace scalopex::core {

namespace {

struct MaskChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;  // largest value of the channel after shifting
};

MaskChannel Channel(std::uint32_t mask)
{
    MaskChannel c;
    c.mask = mask;
    if (mask == 0)
        return c;
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
    return c;
}

// Scales a channel value of any width to 0..255, rounding to nearest.
inline std::uint8_t Scale(std::uint32_t pixel, const MaskChannel& c)
{
    if (c.max == 0)
        return 0;
    const std::uint64_t v = (pixel & c.mask) >> c.shift;
    return static_cast<std::uint8_t>((v * 255 + c.max / 2) / c.max);
}

struct Masks {
    MaskChannel r, g, b;
};

Masks MasksOf(const TBitmapImage& image)
{
    if (image.compression == BI_BITFIELDS)
        return {Channel(image.masks[0]), Channel(image.masks[1]), Channel(image.masks[2])};
    if (image.bitCount == 16)
        return {Channel(0x7C00), Channel(0x03E0), Channel(0x001F)};
    return {Channel(0xFF0000), Channel(0xFF00), Channel(0xFF)};
}

inline std::uint32_t Pack(std::uint8_t value, const MaskChannel& c)
{
    if (c.max == 0)
        return 0;
    const std::uint64_t v = (static_cast<std::uint64_t>(value) * c.max + 127) / 255;
    return static_cast<std::uint32_t>(v << c.shift) & c.mask;
}

void UnpackIndexed(const TBitmapImage& image, const std::uint8_t* row, int width, std::uint8_t* out)
{
    const int bpp = image.bitCount;
    const unsigned perByte = 8u / static_cast<unsigned>(bpp);
    const unsigned valueMask = (1u << bpp) - 1;
    const auto& pal = image.palette;
    for (int x = 0; x < width; ++x) {
        unsigned index;
        if (bpp == 8) {
            index = row[x];
        } else {
            const unsigned byte = row[static_cast<unsigned>(x) / perByte];
            const unsigned shift = 8 - static_cast<unsigned>(bpp) * (static_cast<unsigned>(x) % perByte + 1);
            index = (byte >> shift) & valueMask;
        }
        // Indices past the colour table read as black.
        if (index < pal.size()) {
            out[0] = pal[index].peBlue;
            out[1] = pal[index].peGreen;
            out[2] = pal[index].peRed;
        } else {
            out[0] = out[1] = out[2] = 0;
        }
        out[3] = 0;
        out += 4;
    }
}

}  // namespace

int BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
    }
}

TPixelFormat TBitmapImage::PixelFormat() const
{
    switch (bitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 24: return pf24bit;
    case 16:
        if (compression != BI_BITFIELDS || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F))
            return pf15bit;
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
            return pf16bit;
        return pfCustom;
    case 32:
        if (compression != BI_BITFIELDS || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF))
            return pf32bit;
        return pfCustom;
    default: return pfCustom;
    }
}

void TBitmapImage::SetLayout(TPixelFormat format)
{
    bitCount = static_cast<std::uint16_t>(BitsPerPixel(format));
    compression = BI_RGB;
    masks[0] = masks[1] = masks[2] = 0;
    if (format == pf16bit) {
        compression = BI_BITFIELDS;
        masks[0] = 0xF800;
        masks[1] = 0x07E0;
        masks[2] = 0x001F;
    }
}

namespace {

// Uninitialised pixel storage, huge pages for photo-sized rasters.
std::unique_ptr<std::uint8_t[]> AllocatePixels(std::size_t bytes)
{
    std::unique_ptr<std::uint8_t[]> storage(new (std::nothrow) std::uint8_t[bytes]);
    if (!storage)
        throw base::EOutOfResources();
    if (bytes >= kHugePageWorthy)
        AdviseHugePages(storage.get(), bytes);
    return storage;
}

}  // namespace

void TBitmapImage::Allocate(std::int32_t newWidth, std::int32_t newHeight)
{
    const std::size_t bytes = base::CheckRasterSize(newWidth, newHeight, bitCount);
    bits = bytes != 0 ? AllocatePixels(bytes) : nullptr;
    width = newWidth;
    height = newHeight;
    stride = newWidth == 0 ? 0 : base::RowBytes(newWidth, bitCount);
}

void TBitmapImage::CopyDescription(const TBitmapImage& other)
{
    bitCount = other.bitCount;
    compression = other.compression;
    std::memcpy(masks, other.masks, sizeof masks);
    xPelsPerMeter = other.xPelsPerMeter;
    yPelsPerMeter = other.yPelsPerMeter;
    clrUsed = other.clrUsed;
    clrImportant = other.clrImportant;
    hasAlpha = other.hasAlpha;
}

std::unique_ptr<TBitmapImage> TBitmapImage::Clone() const
{
    auto copy = std::make_unique<TBitmapImage>();
    copy->CopyDescription(*this);
    copy->width = width;
    copy->height = height;
    copy->palette = palette;
    copy->ownHalftonePalette = ownHalftonePalette;
    copy->stride = stride;
    if (bits) {
        copy->bits = AllocatePixels(ImageBytes());
        std::memcpy(copy->bits.get(), bits.get(), ImageBytes());
    }
    return copy;
}

void UnpackRow(const TBitmapImage& image, const std::uint8_t* row, int width, std::uint8_t* bgra)
{
    switch (image.bitCount) {
    case 1:
    case 4:
    case 8:
        UnpackIndexed(image, row, width, bgra);
        return;
    case 24:
        for (int x = 0; x < width; ++x) {
            bgra[0] = row[0];
            bgra[1] = row[1];
            bgra[2] = row[2];
            bgra[3] = 0;
            row += 3;
            bgra += 4;
        }
        return;
    default:
        break;
    }
    if (image.bitCount == 32 && image.compression != BI_BITFIELDS) {
        std::memcpy(bgra, row, static_cast<std::size_t>(width) * 4);
        return;
    }
    const Masks m = MasksOf(image);
    const bool wide = image.bitCount == 32;
    for (int x = 0; x < width; ++x) {
        std::uint32_t px;
        if (wide) {
            px = static_cast<std::uint32_t>(row[0]) | (static_cast<std::uint32_t>(row[1]) << 8) |
                 (static_cast<std::uint32_t>(row[2]) << 16) | (static_cast<std::uint32_t>(row[3]) << 24);
            row += 4;
        } else {
            px = static_cast<std::uint32_t>(row[0]) | (static_cast<std::uint32_t>(row[1]) << 8);
            row += 2;
        }
        bgra[0] = Scale(px, m.b);
        bgra[1] = Scale(px, m.g);
        bgra[2] = Scale(px, m.r);
        bgra[3] = 0;
        bgra += 4;
    }
}

void PackRow(const TBitmapImage& image, const std::uint8_t* bgra, int width, std::uint8_t* row, gdi::TNearestColorMap* nearest)
{
    switch (image.bitCount) {
    case 1:
    case 4:
    case 8: {
        const int bpp = image.bitCount;
        const unsigned perByte = 8u / static_cast<unsigned>(bpp);
        if (bpp < 8)
            std::memset(row, 0, (static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp) + 7) / 8);
        for (int x = 0; x < width; ++x, bgra += 4) {
            const unsigned index = nearest ? nearest->Lookup(bgra[2], bgra[1], bgra[0]) : 0;
            if (bpp == 8) {
                row[x] = static_cast<std::uint8_t>(index);
            } else {
                const unsigned shift = 8 - static_cast<unsigned>(bpp) * (static_cast<unsigned>(x) % perByte + 1);
                row[static_cast<unsigned>(x) / perByte] |= static_cast<std::uint8_t>(index << shift);
            }
        }
        return;
    }
    case 24:
        for (int x = 0; x < width; ++x) {
            row[0] = bgra[0];
            row[1] = bgra[1];
            row[2] = bgra[2];
            row += 3;
            bgra += 4;
        }
        return;
    default:
        break;
    }
    if (image.bitCount == 32 && image.compression != BI_BITFIELDS) {
        std::memcpy(row, bgra, static_cast<std::size_t>(width) * 4);
        return;
    }
    const Masks m = MasksOf(image);
    const bool wide = image.bitCount == 32;
    for (int x = 0; x < width; ++x, bgra += 4) {
        const std::uint32_t px = Pack(bgra[2], m.r) | Pack(bgra[1], m.g) | Pack(bgra[0], m.b);
        row[0] = static_cast<std::uint8_t>(px);
        row[1] = static_cast<std::uint8_t>(px >> 8);
        if (wide) {
            row[2] = static_cast<std::uint8_t>(px >> 16);
            row[3] = static_cast<std::uint8_t>(px >> 24);
            row += 4;
        } else {
            row += 2;
        }
    }
}

}  // namespace scalopex::core
