#include "formats/registry.h"

#include "formats/gif/gif_image.h"

namespace scalopex::formats {

namespace {

// The module passes the extension in capitals; the registry lower-cases it.
constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Module, "GIF", "GIF Image", &TGIFImage::StaticClass},
};

// Reduced by the octree with the system colours; transparency comes from the bitmap.
constexpr TFormatWriter kWriter{".gif", "GIF", &WriteGIF};

}  // namespace

const TFormatDescriptor& GifFormat()
{
    static const TFormatDescriptor descriptor{"GIF", &TGIFImage::StaticClass, kRows, &IsGIF, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
