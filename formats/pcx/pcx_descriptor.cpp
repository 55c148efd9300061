#include "formats/pcx/pcx_graphic.h"
#include "formats/registry.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "pcx", "ZSoft Paintbrush images", &TPCXGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "pcc", "ZSoft Paintbrush images", &TPCXGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "scr", "Word 5.x screen capture images", &TPCXGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& PcxFormat()
{
    static const TFormatDescriptor descriptor{"PCX", &TPCXGraphic::StaticClass, kRows, &IsPCX, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
