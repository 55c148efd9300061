#include "formats/registry.h"
#include "formats/sgi/sgi_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "sgi", "SGI true color images", &TSGIGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "rgba", "SGI true color images with alpha", &TSGIGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "rgb", "SGI true color images", &TSGIGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "bw", "SGI black/white images", &TSGIGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& SgiFormat()
{
    static const TFormatDescriptor descriptor{"SGI", &TSGIGraphic::StaticClass, kRows, &IsSGI, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
