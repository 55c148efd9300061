#pragma once
// How the components of a decoded JPEG 2000 image become raster bytes
// (private to this module): the role each component has from the JP2
// channel definitions, the byte of the pixel each role goes to, the
// conversion of samples of any precision to bytes, the placement of full
// resolution and subsampled components, and the sYCC conversion. Works on a
// plain view of the decoded image, so that it is tested without the codec.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "formats/jpeg2000/jp2_header.h"

namespace scalopex::formats::jp2 {

enum class TComponentType { Unspecified, Red, Green, Blue, Luma, ChromaBlue, ChromaRed, Opacity };

/// The colour space of a JP2 file's colour box ("colr"); a raw
/// codestream has none (Unknown).
enum class TColorSpace { Unknown, sRGB, Greyscale, sYCC };

/// One decoded component, as the codec hands it over.
struct TComponent {
    std::uint32_t dx = 1;  // sample separation on the reference grid
    std::uint32_t dy = 1;
    std::uint32_t x0 = 0;  // grid position of the first sample, divided by dx (dy)
    std::uint32_t y0 = 0;
    std::uint32_t w = 0;  // samples per row and rows
    std::uint32_t h = 0;
    int precision = 8;
    bool isSigned = false;
    TComponentType type = TComponentType::Unspecified;
    const std::int32_t* samples = nullptr;  // w × h, rows from the top
};

struct TDecodedImage {
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the image area on the grid
    TColorSpace colorSpace = TColorSpace::Unknown;
    std::vector<TComponent> components;
};

/// The role of each of count components after the codec has applied the
/// channel definitions, which moves every colour channel to the place its
/// association gives (association a to component a - 1).
std::vector<TComponentType> ComponentTypes(std::span<const TChannelDefinition> channels, TColorSpace colorSpace,
                                           std::size_t count);

/// The byte of a pixel of bytesPerPixel bytes that component index of type
/// goes to; bytesPerPixel or more when it lies outside the pixel.
int ComponentByte(TComponentType type, std::size_t index, int bytesPerPixel, TColorSpace colorSpace);

/// Converts count samples of a component to bytes: the low 8 bits of
/// sample + offset at precision 8, else (sample + offset) × 255 div maximum,
/// limited to 0..255.
class TSampleConverter {
public:
    TSampleConverter(int precision, bool isSigned);
    void Convert(const std::int32_t* samples, std::size_t count, std::uint8_t* out) const;

private:
    int m_precision;
    std::int64_t m_offset;
    std::int64_t m_maximum;
    std::vector<std::uint8_t> m_table;  // by sample + offset, for precisions up to 16 other than 8
};

/// The pixel format the component count gives: pf24bit for 3, pf32bit for
/// 4, else pf8bit (grey).
core::TPixelFormat PixelFormatFor(std::size_t components);

/// Replaces bitmap's raster by the decoded image. The raster size must have
/// been checked against the limits.
void BuildRaster(const TDecodedImage& image, core::TBitmap& bitmap);

}  // namespace scalopex::formats::jp2
