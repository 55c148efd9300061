#include "formats/registry.h"

#include "formats/jpeg/jpeg_image.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Module, "jpeg", "JPEG Image File", &TJPEGImage::StaticClass},
    {TRegistryBlock::Module, "jpg", "JPEG Image File", &TJPEGImage::StaticClass},
    {TRegistryBlock::ExtraReaders, "jfif", "JFIF images", &TJPEGImage::StaticClass},
    {TRegistryBlock::ExtraReaders, "jpg", "JPG images", &TJPEGImage::StaticClass},
    {TRegistryBlock::ExtraReaders, "jpe", "JPE images", &TJPEGImage::StaticClass},
    {TRegistryBlock::ExtraReaders, "jpeg", "JPEG images", &TJPEGImage::StaticClass},
};

// Quality 90.
constexpr TFormatWriter kWriter{".jpg", "JPEG", &SaveBitmapAsJpeg};

}  // namespace

const TFormatDescriptor& JpegFormat()
{
    static const TFormatDescriptor descriptor{"JPEG", &TJPEGImage::StaticClass, kRows, &IsJpeg, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
