#include "formats/registry.h"

#include "formats/rla/rla_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "rpf", "Alias/Wavefront images", &TRLAGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "rla", "Alias/Wavefront images", &TRLAGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& RlaFormat()
{
    static const TFormatDescriptor descriptor{"RLA", &TRLAGraphic::StaticClass, kRows, &IsRLA, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
