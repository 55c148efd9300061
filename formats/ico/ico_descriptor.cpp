#include "formats/registry.h"

#include "formats/ico/ico_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Creation, "ico", "Icons", &TIcon::StaticClass},
    {TRegistryBlock::ExtraReaders, "ico", "Windows icons", &TIcon::StaticClass},
};

}  // namespace

const TFormatDescriptor& IcoFormat()
{
    static const TFormatDescriptor descriptor{"ICO", &TIcon::StaticClass, kRows, &IsIcon, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
