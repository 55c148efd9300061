#include "formats/registry.h"

#include "formats/jpeg2000/jpeg2000_bitmap.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Module, "jp2", "JPEG 2000 Image", &TJpeg2000Bitmap::StaticClass},
    {TRegistryBlock::Module, "j2k", "JPEG 2000 Image", &TJpeg2000Bitmap::StaticClass},
    {TRegistryBlock::Module, "jpc", "JPEG 2000 Image", &TJpeg2000Bitmap::StaticClass},
};

// Lossy at quality 97. The slots' format boxes offer no JPEG 2000 entry: only
// a .jp2, .j2k or .jpc name (a source kept in its own format) chooses it.
constexpr TFormatWriter kWriter{".jp2", nullptr, &SaveBitmapAsJpeg2000};

}  // namespace

const TFormatDescriptor& Jpeg2000Format()
{
    static const TFormatDescriptor descriptor{"JPEG 2000", &TJpeg2000Bitmap::StaticClass, kRows, &IsJpeg2000, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
