// BMP files are the raster's own file image (core/bmp_file.cpp): TBitmap
// opens and writes them; this module only describes them.

#include "formats/registry.h"

#include "base/byte_cursor.h"
#include "core/bitmap.h"
#include "core/bmp_file.h"

namespace scalopex::formats {

namespace {

constexpr TRegistryRow kRows[] = {
    {TRegistryBlock::Creation, "bmp", "Bitmaps", &core::TBitmap::StaticClass},
    {TRegistryBlock::ExtraReaders, "bmp", "Windows bitmaps", &core::TBitmap::StaticClass},
    {TRegistryBlock::ExtraReaders, "rle", "Run length encoded Windows bitmaps", &core::TBitmap::StaticClass},
    {TRegistryBlock::ExtraReaders, "dib", "Device independant Windows bitmaps", &core::TBitmap::StaticClass},
};

bool IsBmp(std::span<const std::uint8_t> start) noexcept
{
    base::ByteCursor in(start);
    return in.remaining() >= 2 && in.u8() == 'B' && in.u8() == 'M';
}

// In the bitmap's own pixel format.
void WriteBmp(const core::TBitmap& bitmap, core::TStream& stream)
{
    core::bmp::Write(bitmap.Image(), stream);
}

constexpr TFormatWriter kWriter{".bmp", "BMP", &WriteBmp};

}  // namespace

const TFormatDescriptor& BmpFormat()
{
    static const TFormatDescriptor descriptor{"BMP", &core::TBitmap::StaticClass, kRows, &IsBmp, &kWriter};
    return descriptor;
}

}  // namespace scalopex::formats
