#include "formats/pnm/ppm_graphic.h"
#include "formats/registry.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "ppm", "Portable pixel map images", &TPPMGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "pgm", "Portable gray map images", &TPPMGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "pbm", "Portable bitmap images", &TPPMGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& PpmFormat()
{
    static const TFormatDescriptor descriptor{"PPM", &TPPMGraphic::StaticClass, kRows, &IsPPM, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
