// BMP, DIB and RLE files through the raster's own reader. The last byte picks
// what follows the load: bit 0 draws the raster as opening does; bits 1-3,
// when 1 to 7, convert it to pf1bit .. pf32bit first; bit 4 writes the raster
// and reads it back, which must give the same size, layout and colours.

#include <cstdio>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/stream.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;

// The blue, green and red of every pixel of a row, as drawing sees them.
std::vector<std::uint8_t> RowColours(const core::TBitmap& bitmap, int y)
{
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(bitmap.Width()) * 4);
    core::UnpackRow(bitmap.Image(), bitmap.ScanLineRead(y), bitmap.Width(), bgra.data());
    for (std::size_t i = 3; i < bgra.size(); i += 4)
        bgra[i] = 0;  // the fourth byte is filler unless the raster has alpha
    return bgra;
}

std::string Layout(const core::TBitmap& bitmap)
{
    const core::TBitmapImage& image = bitmap.Image();
    char masks[40];
    std::snprintf(masks, sizeof masks, "%X/%X/%X", image.masks[0], image.masks[1], image.masks[2]);
    return std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height()) + ", " +
           std::to_string(image.bitCount) + " bits, compression " + std::to_string(image.compression) + ", masks " +
           masks;
}

void ExpectRoundTrip(core::TBitmap& bitmap)
{
    core::TMemoryStream written;
    bitmap.SaveToStream(written);
    core::TBitmap reread;
    written.SetPosition(0);
    reread.LoadFromStream(written);
    if (reread.Width() != bitmap.Width() || reread.Height() != bitmap.Height() ||
        reread.PixelFormat() != bitmap.PixelFormat())
        fuzz::Finding("a written BMP reads back as " + Layout(reread) + " instead of " + Layout(bitmap));
    for (int y = 0; y < bitmap.Height(); ++y)
        if (RowColours(reread, y) != RowColours(bitmap, y))
            fuzz::Finding("a written BMP reads back with other colours in row " + std::to_string(y));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::Bytes bytes(data, size);
    const std::uint8_t options = fuzz::OptionByte(bytes);
    fuzz::Run([&] {
        const formats::TFormatDescriptor& bmp = fuzz::FormatNamed("BMP");
        fuzz::Recognises(bmp, bytes);
        core::TBitmap bitmap;
        fuzz::LoadFrom(bitmap, bytes);
        if (const int format = (options >> 1) & 7; format != 0)
            bitmap.SetPixelFormat(static_cast<core::TPixelFormat>(core::pf1bit + format - 1));
        if (options & 1)
            fuzz::DrawAsOpened(bitmap);
        if (options & 0x10)
            ExpectRoundTrip(bitmap);
    });
    return 0;
}
