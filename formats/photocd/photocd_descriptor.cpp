#include "formats/registry.h"

#include "formats/photocd/photocd_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "pcd", "Kodak Photo-CD images", &TPCDGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& PhotoCDFormat()
{
    static const TFormatDescriptor descriptor{"PhotoCD", &TPCDGraphic::StaticClass, kRows, &IsPhotoCDOverview, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
