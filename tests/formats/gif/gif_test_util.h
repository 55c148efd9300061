#pragma once
// Helpers shared by the GIF tests: spelling out LZW code streams and files,
// decoding with warnings collected, and reading images with ImageMagick.

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/opening.h"
#include "formats/gif/gif_image.h"
#include "tests/support/byte_builder.h"
#include "tests/support/tools.h"

namespace scalopex::test::gif {

/// Codes of one fixed width packed least significant bit first. A stream
/// that sends a clear code before every pixel never grows its code width.
inline std::vector<std::uint8_t> PackCodes(const std::vector<int>& codes, int width)
{
    std::vector<std::uint8_t> out;
    std::uint32_t bits = 0;
    int count = 0;
    for (int code : codes) {
        bits |= static_cast<std::uint32_t>(code) << count;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0)
        out.push_back(static_cast<std::uint8_t>(bits));
    return out;
}

/// data as sub-blocks of at most 255 bytes, with the zero terminator.
inline void AppendSubBlocks(ByteBuilder& b, const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        b.u8(static_cast<std::uint32_t>(n));
        b.bytes(std::span<const std::uint8_t>(data.data() + i, n));
    }
    b.u8(0);
}

/// "GIF89a", a logical screen of width × height and, when colors is not
/// empty, a global colour table of its entries (0xRRGGBB, 2, 4, ... entries).
inline ByteBuilder GifHeader(int width, int height, std::initializer_list<std::uint32_t> colors)
{
    ByteBuilder b;
    b.text("GIF89a").u16le(static_cast<std::uint32_t>(width)).u16le(static_cast<std::uint32_t>(height));
    int code = 0;
    while ((2u << code) < colors.size())
        ++code;
    b.u8(colors.size() == 0 ? 0 : static_cast<std::uint32_t>(0x80 | code)).u8(0).u8(0);
    for (std::uint32_t c : colors)
        b.u8(c >> 16).u8((c >> 8) & 0xFF).u8(c & 0xFF);
    return b;
}

/// An image descriptor without local table.
inline void ImageDescriptor(ByteBuilder& b, int left, int top, int width, int height, std::uint8_t flags = 0)
{
    b.u8(0x2C).u16le(static_cast<std::uint32_t>(left)).u16le(static_cast<std::uint32_t>(top));
    b.u16le(static_cast<std::uint32_t>(width)).u16le(static_cast<std::uint32_t>(height)).u8(flags);
}

/// Image data of minimum code size 2 (3-bit codes) sending each pixel
/// after a clear code, then the end code.
inline void ImageData2(ByteBuilder& b, std::initializer_list<int> pixels, bool endCode = true)
{
    std::vector<int> codes;
    for (int p : pixels) {
        codes.push_back(4);
        codes.push_back(p);
    }
    if (endCode)
        codes.push_back(5);
    const std::vector<std::uint8_t> packed = PackCodes(codes, 3);
    b.u8(2);
    AppendSubBlocks(b, packed);
}

/// A graphic control extension with the transparency bit and index.
inline void TransparentControl(ByteBuilder& b, int index)
{
    b.bytes({0x21, 0xF9, 0x04, 0x01, 0x00, 0x00}).u8(static_cast<std::uint32_t>(index)).u8(0);
}

struct Decoded {
    std::unique_ptr<formats::TGIFImage> image = std::make_unique<formats::TGIFImage>();
    std::vector<std::string> warnings;
    bool Warned(const std::string& message) const
    {
        for (const auto& w : warnings)
            if (w == message)
                return true;
        return false;
    }
};

inline Decoded Decode(const std::vector<std::uint8_t>& bytes)
{
    Decoded d;
    d.image->OnWarning = [w = &d.warnings](const std::string& message) { w->push_back(message); };
    d.image->LoadFromBytes(bytes);
    return d;
}

/// The image drawn as opening does it: over a new white 24-bit bitmap.
inline std::unique_ptr<core::TBitmap> Draw(const formats::TGIFImage& image)
{
    return core::GraphicToBitmap(&image);
}

/// Rows of 0xRRGGBB values.
inline std::vector<std::uint32_t> Pixels(const core::TBitmap& bitmap)
{
    const core::TBitmapImage& image = bitmap.Image();
    std::vector<std::uint32_t> out;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(image.width) * 4);
    for (int y = 0; y < image.height; ++y) {
        core::UnpackRow(image, image.Row(y), image.width, bgra.data());
        for (int x = 0; x < image.width; ++x)
            out.push_back((static_cast<std::uint32_t>(bgra[4 * x + 2]) << 16) |
                          (static_cast<std::uint32_t>(bgra[4 * x + 1]) << 8) | bgra[4 * x]);
    }
    return out;
}

/// True when the tool answers its version command.
inline bool HaveTool(const char* versionCommand) { return test::RunTool(versionCommand); }

struct Raster {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB, rows from the top
};

/// Runs command, which writes a PNM image to stdout.
inline std::optional<Raster> ReadPpmFrom(const std::string& command)
{
    const std::optional<TPixmap> pnm = test::RunForPnm(command);
    if (!pnm)
        return std::nullopt;
    Raster out{pnm->width, pnm->height, {}};
    for (std::size_t i = 0; i < pnm->rgb.size(); i += 3)
        out.rgb.push_back((static_cast<std::uint32_t>(pnm->rgb[i]) << 16) | (static_cast<std::uint32_t>(pnm->rgb[i + 1]) << 8) |
                          pnm->rgb[i + 2]);
    return out;
}

/// The first frame of a GIF as ImageMagick shows it over white on its
/// logical screen.
inline std::optional<Raster> FirstFrameByImageMagick(const std::string& path)
{
    return ReadPpmFrom("convert '" + path + "[0]' -background white -flatten -depth 8 ppm:-");
}

}  // namespace scalopex::test::gif
