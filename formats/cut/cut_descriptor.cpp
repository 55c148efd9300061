#include "formats/registry.h"

#include "formats/cut/cut_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "cut", "Dr. Halo images", &TCUTGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& CutFormat()
{
    static const TFormatDescriptor descriptor{"CUT", &TCUTGraphic::StaticClass, kRows, &IsCUT, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
