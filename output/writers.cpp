#include "output/writers.h"

#include <array>

#include "formats/gif/gif_image.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/png/png_object.h"
#include "formats/targa/targa_graphic.h"

namespace scalopex::output {

namespace {

// BMP in the bitmap's own pixel format (a dormant bitmap writes its kept
// file image byte for byte).
void WriteBmp(core::TBitmap& bitmap, core::TStream& stream)
{
    bitmap.SaveToStream(stream);
}

// Targa, run-length encoded.
void WriteTga(core::TBitmap& bitmap, core::TStream& stream)
{
    formats::TTargaGraphic targa;
    targa.Assign(&bitmap);
    targa.SaveToStream(stream, true);
}

// PNG with the Sub and Up filters at deflate level 8; transparency comes
// from the bitmap.
void WritePng(core::TBitmap& bitmap, core::TStream& stream)
{
    formats::TPNGObject png;
    png.PngFilters = formats::PngFilter::Sub | formats::PngFilter::Up;
    png.PngDeflateLevel = 8;
    png.Assign(&bitmap);
    png.SaveToStream(stream);
}

// JPEG at quality 90.
void WriteJpg(core::TBitmap& bitmap, core::TStream& stream)
{
    formats::SaveBitmapAsJpeg(bitmap, stream);
}

// GIF reduced to 256 colours by the octree with the system colours;
// transparency comes from the bitmap.
void WriteGif(core::TBitmap& bitmap, core::TStream& stream)
{
    formats::WriteGIF(bitmap, stream);
}

// One row per writable format; an extension without a row is saveable by
// name only and ends in "Graphic type cannot be saved!".
constexpr std::array kWriters = {
    TWriter{".bmp", &WriteBmp},
    TWriter{".tga", &WriteTga},
    TWriter{".jpg", &WriteJpg},
    TWriter{".png", &WritePng},
    TWriter{".gif", &WriteGif},
};

}  // namespace

const TWriter* FindWriter(const std::string& ext)
{
    for (const TWriter& writer : kWriters)
        if (ext == writer.extension)
            return &writer;
    return nullptr;
}

}  // namespace scalopex::output
