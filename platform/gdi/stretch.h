#pragma once
/// The area-average ("halftone") stretch: every destination pixel is the
/// per-channel average of the source area that maps onto it, each source
/// pixel weighted by the part of its area inside that region.

#include <cstddef>
#include <cstdint>

namespace scalopex::gdi {

/// Rows of pixels in memory: row r starts at bits + r * stride.
struct TPixelRows {
    std::uint8_t* bits = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

struct TConstPixelRows {
    const std::uint8_t* bits = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

/// Stretches the whole of src onto the whole of dst; both hold
/// bytesPerPixel bytes a pixel (1 to 4) and every byte is averaged on its
/// own. Results are rounded to nearest, halves up. Empty rasters do nothing.
void AreaAverageStretch(const TConstPixelRows& src, const TPixelRows& dst, int bytesPerPixel);

}  // namespace scalopex::gdi
