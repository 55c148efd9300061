#include "formats/registry.h"

#include "formats/psp/psp_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "psp", "Paintshop Pro images", &TPSPGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& PspFormat()
{
    static const TFormatDescriptor descriptor{"PSP", &TPSPGraphic::StaticClass, kRows, &IsPSP, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
