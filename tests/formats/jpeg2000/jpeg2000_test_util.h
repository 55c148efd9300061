#pragma once
// Helpers of the JPEG 2000 tests: loading and saving through memory, small
// rasters of known pixels, a box walker that reads written files back, and
// the codec's own command-line tools as references.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/jpeg2000/jpeg2000_bitmap.h"
#include "tests/support/tools.h"

namespace scalopex::test::jpeg2000 {

using Bytes = std::vector<std::uint8_t>;

inline std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "(no error)";
}

inline std::unique_ptr<formats::TJpeg2000Bitmap> Load(const Bytes& bytes)
{
    auto bitmap = std::make_unique<formats::TJpeg2000Bitmap>();
    core::TMemoryStream stream(bytes);
    bitmap->LoadFromStream(stream);
    return bitmap;
}

inline Bytes Save(const core::TBitmap& raster, bool lossless, int quality = 97)
{
    formats::TJpeg2000Bitmap writer;
    writer.SetJ2kLossless(lossless);
    writer.SetJ2kQuality(quality);
    writer.Assign(&raster);
    core::TMemoryStream stream;
    writer.SaveToStream(stream);
    return stream.TakeBytes();
}

/// A raster of the format filled with bytes from a fixed pseudo-random
/// sequence (every byte of every pixel, the fourth one included).
inline std::unique_ptr<core::TBitmap> NoiseBitmap(int width, int height, core::TPixelFormat format, std::uint32_t seed)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(format);
    bitmap->SetSize(width, height);
    const int bytesPerPixel = core::BitsPerPixel(format) / 8;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int i = 0; i < width * bytesPerPixel; ++i) {
            seed = seed * 1664525u + 1013904223u;
            row[i] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    return bitmap;
}

/// The bytes of the pixels of a row (no padding).
inline Bytes RowOf(const core::TBitmap& bitmap, int y)
{
    const std::uint8_t* row = bitmap.ScanLineRead(y);
    return Bytes(row, row + static_cast<std::size_t>(bitmap.Width()) * (core::BitsPerPixel(bitmap.PixelFormat()) / 8));
}

struct Box {
    std::string type;
    Bytes content;
};

inline std::uint32_t BigEndian(const Bytes& bytes, std::size_t at, int count)
{
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v = v << 8 | bytes.at(at + static_cast<std::size_t>(i));
    return v;
}

/// The boxes of a JP2 file or superbox content, in order (plain 32-bit
/// lengths only, as the writer makes them).
inline std::vector<Box> BoxesOf(const Bytes& bytes)
{
    std::vector<Box> boxes;
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        const std::size_t length = BigEndian(bytes, at, 4);
        if (length < 8 || at + length > bytes.size())
            break;
        boxes.push_back({std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                         Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    return boxes;
}

/// The codestream of a JP2 file (the content of its jp2c box).
inline Bytes CodestreamOf(const Bytes& jp2)
{
    for (const Box& box : BoxesOf(jp2))
        if (box.type == "jp2c")
            return box.content;
    return {};
}

inline bool HaveOpenJpegTools()
{
    return RunTool("command -v opj_compress >/dev/null && command -v opj_decompress >/dev/null && command -v opj_dump");
}

}  // namespace scalopex::test::jpeg2000
