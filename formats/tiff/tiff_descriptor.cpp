#include "formats/registry.h"

#include "formats/tiff/tiff_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "tiff", "Macintosh TIFF images", &TTIFFGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "tif", "PC TIF images", &TTIFFGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "fax", "GFI fax images", &TTIFFGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& TiffFormat()
{
    static const TFormatDescriptor descriptor{"TIFF", &TTIFFGraphic::StaticClass, kRows, &IsTIFF, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
