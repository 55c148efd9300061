#include "formats/registry.h"

#include "formats/targa/targa_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "win", "Truevision images", &TTargaGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "vst", "Truevision images", &TTargaGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "vda", "Truevision images", &TTargaGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "tga", "Truevision images", &TTargaGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "icb", "Truevision images", &TTargaGraphic::StaticClass},
};

// Run-length encoded.
void WriteTga(const core::TBitmap& bitmap, core::TStream& stream)
{
    TTargaGraphic targa;
    targa.Assign(&bitmap);
    targa.SaveToStream(stream, true);
}

constexpr TFormatWriter kWriter{".tga", "TGA", &WriteTga};

}  // namespace

const TFormatDescriptor& TargaFormat()
{
    static const TFormatDescriptor descriptor{"Targa", &TTargaGraphic::StaticClass, kRows, &IsTarga, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
