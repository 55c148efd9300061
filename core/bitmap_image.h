#pragma once
/// TBitmapImage: the pixel storage of a TBitmap, shared between bitmaps made
/// from one another by Assign and copied before one of them changes. It holds
/// a device-independent raster in the layout of a BMP info header, rows from
/// the top.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/palette.h"

namespace scalopex::core {

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;

struct TBitmapImage {
    // Layout, as a BMP info header describes it.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = BI_RGB;  // BI_RGB or BI_BITFIELDS
    std::uint32_t masks[3] = {0, 0, 0};  // red, green, blue with BI_BITFIELDS
    // Header fields carried from a file to its rewrite.
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;

    /// The colour table for 8 bits or fewer; an attached palette otherwise.
    gdi::TLogPalette palette;
    /// The palette is one the bitmap made for itself (never written to files).
    bool ownHalftonePalette = false;
    /// The fourth byte of 32-bit pixels is alpha read from a file (not
    /// filler), so drawing composites these pixels over the surface.
    bool hasAlpha = false;

    /// Rows from the top, stride bytes apart; null while empty.
    std::unique_ptr<std::uint8_t[]> bits;
    std::size_t stride = 0;

    TPixelFormat PixelFormat() const;
    std::size_t ImageBytes() const { return stride * static_cast<std::size_t>(height); }
    bool Empty() const { return width == 0 || height == 0; }
    std::uint8_t* Row(int y) { return bits.get() + static_cast<std::size_t>(y) * stride; }
    const std::uint8_t* Row(int y) const { return bits.get() + static_cast<std::size_t>(y) * stride; }

    /// Allocates uninitialised storage for width × height pixels of bitCount
    /// bits, after checking the engine's limits.
    void Allocate(std::int32_t newWidth, std::int32_t newHeight);
    /// Copies the layout, the alpha flag and the carried header fields of other (size,
    /// pixels, palette and kept file image excepted).
    void CopyDescription(const TBitmapImage& other);
    /// A deep copy (pixels, palette, header).
    std::unique_ptr<TBitmapImage> Clone() const;
    /// Sets bitCount, compression and masks for a pixel format.
    void SetLayout(TPixelFormat format);
};

/// Bits per pixel of a pixel format (pfDevice counts as the 24-bit display).
int BitsPerPixel(TPixelFormat format);

/// Unpacks width pixels of row into blue, green, red, x quadruples.
void UnpackRow(const TBitmapImage& image, const std::uint8_t* row, int width, std::uint8_t* bgra);
/// Packs width blue, green, red, x quadruples into row in image's layout;
/// formats of 8 bits or fewer take the nearest entry of the colour table.
void PackRow(const TBitmapImage& image, const std::uint8_t* bgra, int width, std::uint8_t* row, gdi::TNearestColorMap* nearest);

}  // namespace scalopex::core
