#include "formats/registry.h"

#include "formats/autodesk/autodesk_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "cel", "Autodesk images", &TAutodeskGraphic::StaticClass},
    {TRegistryBlock::ExtraReaders, "pic", "Autodesk images", &TAutodeskGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& AutodeskFormat()
{
    static const TFormatDescriptor descriptor{"Autodesk", &TAutodeskGraphic::StaticClass, kRows, &IsAutodesk, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
