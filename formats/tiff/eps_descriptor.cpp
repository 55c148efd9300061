#include "formats/registry.h"

#include "formats/tiff/eps_graphic.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::ExtraReaders, "eps", "Encapsulated Postscript images", &TEPSGraphic::StaticClass},
};

}  // namespace

const TFormatDescriptor& EpsFormat()
{
    static const TFormatDescriptor descriptor{"EPS", &TEPSGraphic::StaticClass, kRows, &IsEPS, nullptr};
    return descriptor;
}

}  // namespace scalopex::formats
