#include "formats/registry.h"

#include "formats/png/png_graphic.h"
#include "formats/png/png_object.h"

namespace scalopex::formats {

namespace {

// TPNGObject is registered by the module, but only writes; the reader's
// later row wins when a file is opened.
constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Module, "PNG", "Portable Network Graphics", &TPNGObject::StaticClass},
    {TRegistryBlock::ExtraReaders, "png", "Portable network graphic images", &TPNGGraphic::StaticClass},
};

// The Sub and Up filters at deflate level 8; transparency comes from the bitmap.
void WritePng(const core::TBitmap& bitmap, core::TStream& stream)
{
    TPNGObject png;
    png.PngFilters = PngFilter::Sub | PngFilter::Up;
    png.PngDeflateLevel = 8;
    png.Assign(&bitmap);
    png.SaveToStream(stream);
}

constexpr TFormatWriter kWriter{".png", "PNG", &WritePng};

}  // namespace

const TFormatDescriptor& PngFormat()
{
    static const TFormatDescriptor descriptor{"PNG", &TPNGGraphic::StaticClass, kRows, &IsPNG, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
