#include "formats/psd/psd_graphic.h"
#include "formats/registry.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "psd", "Photoshop images", &TPSDGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "pdd", "Photoshop images", &TPSDGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& PsdFormat()
{
    static const TFormatDescriptor descriptor{"PSD", &TPSDGraphic::StaticClass, kRows, &IsPSD, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
