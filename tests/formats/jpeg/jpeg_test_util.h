#pragma once
// Helpers shared by the JPEG tests: the reference decode by djpeg, test
// rasters and files, and walking the marker segments of a JPEG file. The
// tools and pixel comparisons themselves are in tests/support/tools.h.

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
#include "tests/support/tools.h"

namespace scalopex::test::jpeg {

using test::MaxDifference;
using test::MeanDifference;
using test::RunForPnm;
using test::RunTool;
using test::TPixmap;
using test::ToPixmap;

/// The reference decode: djpeg with the floating-point DCT.
inline std::optional<TPixmap> Djpeg(const std::string& path) { return RunForPnm("djpeg -dct float '" + path + "'"); }

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
