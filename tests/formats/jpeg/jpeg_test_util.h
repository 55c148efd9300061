#pragma once
// Helpers shared by the JPEG tests: running the independent command-line
// tools (djpeg, cjpeg, ImageMagick) and reading their PNM output, comparing
// rasters, and walking the marker segments of a JPEG file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/jpeg/jpeg_image.h"
#include "tests/support/test_files.h"

namespace scalopex::test::jpeg {

/// Pixels as rows of RGB triples from the top.
struct TPixmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    const std::uint8_t* At(int x, int y) const { return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

/// Reads one binary PNM (P5 grey or P6 colour, maxval 255); grey becomes RGB.
inline std::optional<TPixmap> ReadPnm(FILE* in)
{
    char kind = 0;
    int width = 0, height = 0, maxval = 0;
    if (std::fscanf(in, "P%c %d %d %d", &kind, &width, &height, &maxval) != 4 || maxval != 255 ||
        (kind != '5' && kind != '6') || width <= 0 || height <= 0 || std::fgetc(in) == EOF)
        return std::nullopt;
    const int channels = kind == '6' ? 3 : 1;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(width) * height * channels);
    if (std::fread(raw.data(), 1, raw.size(), in) != raw.size())
        return std::nullopt;
    TPixmap out{width, height, {}};
    if (channels == 3) {
        out.rgb = std::move(raw);
    } else {
        out.rgb.reserve(raw.size() * 3);
        for (std::uint8_t v : raw)
            out.rgb.insert(out.rgb.end(), {v, v, v});
    }
    return out;
}

/// Runs a shell command that writes one PNM image to its standard output.
inline std::optional<TPixmap> RunForPnm(const std::string& command)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::optional<TPixmap> result = ReadPnm(pipe);
    ::pclose(pipe);
    return result;
}

/// Runs a shell command; true when it exits with 0.
inline bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

/// The reference decode: djpeg with the floating-point DCT.
inline std::optional<TPixmap> Djpeg(const std::string& path) { return RunForPnm("djpeg -dct float '" + path + "'"); }

/// A raster's pixels as RGB, whatever its pixel format.
inline TPixmap ToPixmap(const core::TBitmap& bitmap)
{
    const core::TBitmapImage& image = bitmap.Image();
    TPixmap out{image.width, image.height, {}};
    out.rgb.reserve(static_cast<std::size_t>(image.width) * image.height * 3);
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(image.width) * 4);
    for (int y = 0; y < image.height; ++y) {
        core::UnpackRow(image, image.Row(y), image.width, bgra.data());
        for (int x = 0; x < image.width; ++x)
            out.rgb.insert(out.rgb.end(), {bgra[4 * x + 2], bgra[4 * x + 1], bgra[4 * x]});
    }
    return out;
}

/// Largest difference of one sample; -1 when the sizes differ.
inline int MaxDifference(const TPixmap& a, const TPixmap& b)
{
    if (a.width != b.width || a.height != b.height)
        return -1;
    int worst = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        worst = std::max(worst, std::abs(a.rgb[i] - b.rgb[i]));
    return worst;
}

/// Mean absolute difference of all samples (sizes must match).
inline double MeanDifference(const TPixmap& a, const TPixmap& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        sum += std::abs(a.rgb[i] - b.rgb[i]);
    return a.rgb.empty() ? 0.0 : sum / static_cast<double>(a.rgb.size());
}

/// Writes a raster as a binary PPM, the input format of cjpeg.
inline void WritePpm(const std::string& path, const core::TBitmap& bitmap)
{
    const TPixmap pixels = ToPixmap(bitmap);
    const std::string header = "P6\n" + std::to_string(pixels.width) + " " + std::to_string(pixels.height) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), pixels.rgb.begin(), pixels.rgb.end());
    WriteBytes(path, bytes);
}

/// A photo-like test raster: smooth gradients, a hard edge and a little texture.
inline std::unique_ptr<core::TBitmap> Photo(int width, int height)
{
    return MakeBitmap24(width, height, [&](int x, int y) {
        const std::uint32_t r = static_cast<std::uint32_t>(255 * x / std::max(1, width - 1));
        const std::uint32_t g = static_cast<std::uint32_t>(255 * y / std::max(1, height - 1));
        const std::uint32_t b = (x > width / 2 ? 200u : 40u) + static_cast<std::uint32_t>((x * 7 + y * 13) % 16);
        return (r << 16) | (g << 8) | b;
    });
}

/// The file image TJPEGImage writes for bitmap with the given options.
inline std::vector<std::uint8_t> EncodeBitmap(const core::TBitmap& bitmap, const formats::TJPEGOptions& options = {})
{
    formats::TJPEGImage jpeg;
    jpeg.SetJpegQuality(options.JpegQuality);
    jpeg.SetGrayDecode(options.GrayDecode);
    jpeg.SetProgressiveWrite(options.ProgressiveWrite);
    jpeg.Assign(&bitmap);
    core::TMemoryStream stream;
    jpeg.SaveToStream(stream);
    return stream.TakeBytes();
}

/// A TJPEGImage loaded from a file image.
inline std::unique_ptr<formats::TJPEGImage> LoadJpeg(const std::vector<std::uint8_t>& bytes)
{
    auto jpeg = std::make_unique<formats::TJPEGImage>();
    core::TMemoryStream stream(bytes);
    jpeg->LoadFromStream(stream);
    return jpeg;
}

/// One marker segment of a JPEG file: the marker byte and its payload.
struct TSegment {
    std::uint8_t marker = 0;
    std::vector<std::uint8_t> payload;
};

/// The segments from the start of the file up to and including the first SOS.
inline std::vector<TSegment> SegmentsUpToScan(const std::vector<std::uint8_t>& file)
{
    std::vector<TSegment> segments;
    base::ByteCursor cursor(file);
    if (cursor.u16be() != 0xFFD8)
        return segments;
    while (!cursor.atEnd()) {
        if (cursor.u8() != 0xFF)
            break;
        TSegment segment;
        segment.marker = cursor.u8();
        const std::uint16_t length = cursor.u16be();
        const auto payload = cursor.bytes(length - 2u);
        segment.payload.assign(payload.begin(), payload.end());
        segments.push_back(std::move(segment));
        if (segments.back().marker == 0xDA)
            break;
    }
    return segments;
}

}  // namespace scalopex::test::jpeg
