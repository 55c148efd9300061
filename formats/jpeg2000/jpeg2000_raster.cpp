// Decoded JPEG 2000 components to raster bytes. Three components give a
// 24-bit raster, four a 32-bit one, any other count an 8-bit grey raster of
// the first component. Each component goes to the byte its role gives; a
// role whose byte lies outside the pixel (an opacity channel of a
// three-component image) is left out rather than written into the next
// pixel. Subsampled components are repeated over the pixels they cover;
// bytes that no component reaches stay white.

#include "formats/jpeg2000/jpeg2000_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/limits.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats::jp2 {

namespace {

constexpr std::uint16_t kColourChannel = 0;
constexpr std::uint16_t kOpacityChannel = 1;
constexpr std::uint16_t kWholeImage = 0;
constexpr std::uint16_t kUnspecifiedAssociation = 65535;

TComponentType RoleOf(const TChannelDefinition& entry, TColorSpace space)
{
    if (entry.type == kOpacityChannel && entry.association == kWholeImage)
        return TComponentType::Opacity;
    if (entry.type != kColourChannel)
        return TComponentType::Unspecified;
    switch (entry.association) {
    case 1:
        return space == TColorSpace::sRGB                                      ? TComponentType::Red
               : space == TColorSpace::Greyscale || space == TColorSpace::sYCC ? TComponentType::Luma
                                                                               : TComponentType::Unspecified;
    case 2:
        return space == TColorSpace::sRGB   ? TComponentType::Green
               : space == TColorSpace::sYCC ? TComponentType::ChromaBlue
                                            : TComponentType::Unspecified;
    case 3:
        return space == TColorSpace::sRGB   ? TComponentType::Blue
               : space == TColorSpace::sYCC ? TComponentType::ChromaRed
                                            : TComponentType::Unspecified;
    default:
        return TComponentType::Unspecified;
    }
}

std::uint8_t ClampByte(double value)
{
    return static_cast<std::uint8_t>(std::clamp(std::lrint(value), 0L, 255L));
}

// Y in byte 2, Cb in byte 1, Cr in byte 0 become red, green and blue.
void ConvertSyccRows(core::TBitmap& bitmap, int bytesPerPixel)
{
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* px = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, px += bytesPerPixel) {
            const double luma = px[2];
            const double cb = px[1] - 128.0;
            const double cr = px[0] - 128.0;
            px[2] = ClampByte(luma + 1.402 * cr);
            px[1] = ClampByte(luma - 0.34414 * cb - 0.71414 * cr);
            px[0] = ClampByte(luma + 1.772 * cb);
        }
    }
}

// The component sample that covers each of count raster positions from the
// image's first column (row) `start` on the grid: the last sample at or
// before the position, the first one for positions before it, the last one
// past the end.
std::vector<std::uint32_t> SampleIndices(std::uint32_t start, std::uint32_t count, std::uint32_t step,
                                         std::uint32_t first, std::uint32_t samples)
{
    std::vector<std::uint32_t> indices(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = (std::uint64_t{start} + i) / step;
        indices[i] = static_cast<std::uint32_t>(std::min<std::uint64_t>(at > first ? at - first : 0, samples - 1));
    }
    return indices;
}

void PlaceComponent(const TComponent& component, int byte, const TDecodedImage& image, core::TBitmap& bitmap)
{
    const int bytesPerPixel = core::BitsPerPixel(bitmap.PixelFormat()) / 8;
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    const std::vector<std::uint32_t> columns = SampleIndices(image.x0, width, component.dx, component.x0, component.w);
    const std::vector<std::uint32_t> rows = SampleIndices(image.y0, height, component.dy, component.y0, component.h);
    const bool sameColumns = component.dx == 1 && component.x0 == image.x0 && component.w >= width;
    const TSampleConverter converter(component.precision, component.isSigned);
    std::vector<std::uint8_t> converted(component.w);
    std::uint32_t convertedRow = UINT32_MAX;
    for (std::uint32_t y = 0; y < height; ++y) {
        if (rows[y] != convertedRow) {
            convertedRow = rows[y];
            converter.Convert(component.samples + std::size_t{convertedRow} * component.w, component.w,
                              converted.data());
        }
        std::uint8_t* out = bitmap.ScanLine(static_cast<int>(y)) + byte;
        if (sameColumns)
            for (std::uint32_t x = 0; x < width; ++x, out += bytesPerPixel)
                *out = converted[x];
        else
            for (std::uint32_t x = 0; x < width; ++x, out += bytesPerPixel)
                *out = converted[columns[x]];
    }
}

// Every byte a new raster of this format has: white, and 0 in the fourth
// byte of 32-bit pixels.
void FillWhite(core::TBitmap& bitmap, int bytesPerPixel)
{
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        std::memset(row, 0xFF, static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bytesPerPixel));
        if (bytesPerPixel == 4)
            for (int x = 0; x < bitmap.Width(); ++x)
                row[4 * x + 3] = 0;
    }
}

}  // namespace

std::vector<TComponentType> ComponentTypes(std::span<const TChannelDefinition> channels, TColorSpace colorSpace,
                                           std::size_t count)
{
    // The codec walks the definitions in order and swaps each colour channel
    // into the place of its association, updating the channel numbers of
    // the definitions still to come; the roles travel with the channels.
    std::vector<TComponentType> types(count, TComponentType::Unspecified);
    std::vector<TChannelDefinition> entries(channels.begin(), channels.end());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TChannelDefinition entry = entries[i];
        if (entry.channel >= count)
            continue;
        std::size_t place = entry.channel;
        if (entry.association != kWholeImage && entry.association != kUnspecifiedAssociation) {
            const std::size_t associated = entry.association - 1u;
            if (associated >= count)
                continue;
            if (associated != place && entry.type == kColourChannel) {
                std::swap(types[place], types[associated]);
                for (std::size_t j = i + 1; j < entries.size(); ++j) {
                    if (entries[j].channel == place)
                        entries[j].channel = static_cast<std::uint16_t>(associated);
                    else if (entries[j].channel == associated)
                        entries[j].channel = static_cast<std::uint16_t>(place);
                }
                place = associated;
            }
        }
        types[place] = RoleOf(entry, colorSpace);
    }
    return types;
}

int ComponentByte(TComponentType type, std::size_t index, int bytesPerPixel, TColorSpace colorSpace)
{
    if (bytesPerPixel == 1)
        return 0;  // only the first component is used, as grey, whatever its role
    switch (type) {
    case TComponentType::Red:
        return 2;
    case TComponentType::Green:
        return 1;
    case TComponentType::Blue:
        return 0;
    case TComponentType::Luma:
        return colorSpace == TColorSpace::sYCC ? 2 : 0;
    case TComponentType::ChromaBlue:
        return 1;
    case TComponentType::ChromaRed:
        return 0;
    case TComponentType::Opacity:
        return 3;
    case TComponentType::Unspecified:
        break;
    }
    return bytesPerPixel - 1 - static_cast<int>(index);
}

TSampleConverter::TSampleConverter(int precision, bool isSigned)
    : m_precision(precision), m_offset(isSigned ? std::int64_t{1} << (precision - 1) : 0),
      m_maximum((std::int64_t{1} << precision) - 1)
{
    if (precision != 8 && precision <= 16) {
        m_table.resize(static_cast<std::size_t>(m_maximum) + 1);
        for (std::int64_t v = 0; v <= m_maximum; ++v)
            m_table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v * 255 / m_maximum);
    }
}

void TSampleConverter::Convert(const std::int32_t* samples, std::size_t count, std::uint8_t* out) const
{
    if (m_precision == 8) {
        const auto offset = static_cast<std::uint32_t>(m_offset);
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(samples[i]) + offset);
    } else if (!m_table.empty()) {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = m_table[static_cast<std::size_t>(std::clamp<std::int64_t>(samples[i] + m_offset, 0, m_maximum))];
    } else {
        for (std::size_t i = 0; i < count; ++i)
            out[i] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(samples[i] + m_offset, 0, m_maximum) * 255 /
                                               m_maximum);
    }
}

core::TPixelFormat PixelFormatFor(std::size_t components)
{
    return components == 3 ? core::pf24bit : components == 4 ? core::pf32bit : core::pf8bit;
}

void BuildRaster(const TDecodedImage& image, core::TBitmap& bitmap)
{
    const core::TPixelFormat format = PixelFormatFor(image.components.size());
    const int bytesPerPixel = core::BitsPerPixel(format) / 8;
    const auto width = static_cast<int>(image.x1 - image.x0);
    const auto height = static_cast<int>(image.y1 - image.y0);

    bitmap.SetHasAlpha(false);
    bitmap.SetSizeUninitialized(0, 0);
    bitmap.SetPixelFormat(format);
    if (format == core::pf8bit) {
        gdi::TLogPalette grey(256);
        for (std::size_t i = 0; i < grey.size(); ++i)
            grey[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0};
        bitmap.SetPalette(grey);
    }
    bitmap.SetSizeUninitialized(width, height);
    if (bitmap.Empty())
        return;

    const std::size_t used = bytesPerPixel == 1 ? 1 : image.components.size();
    std::vector<int> bytes(used);
    std::vector<bool> reached(static_cast<std::size_t>(bytesPerPixel), false);
    bool alpha = false;
    for (std::size_t i = 0; i < used; ++i) {
        const TComponent& component = image.components[i];
        bytes[i] = ComponentByte(component.type, i, bytesPerPixel, image.colorSpace);
        if (bytes[i] >= bytesPerPixel || component.samples == nullptr || component.w == 0 || component.h == 0) {
            bytes[i] = -1;  // left out
            continue;
        }
        reached[static_cast<std::size_t>(bytes[i])] = true;
        alpha = alpha || (bytes[i] == 3 && component.type == TComponentType::Opacity);
    }
    if (std::find(reached.begin(), reached.end(), false) != reached.end())
        FillWhite(bitmap, bytesPerPixel);
    for (std::size_t i = 0; i < used; ++i)
        if (bytes[i] >= 0)
            PlaceComponent(image.components[i], bytes[i], image, bitmap);
    if (image.colorSpace == TColorSpace::sYCC && bytesPerPixel >= 3)
        ConvertSyccRows(bitmap, bytesPerPixel);
    bitmap.SetHasAlpha(alpha);
}

}  // namespace scalopex::formats::jp2
