// JPEG 2000 data (JP2 files and raw codestreams) through TJpeg2000Bitmap,
// the codec included: content check, load, drawing as opening does it. A
// small 24-bit result is also written losslessly and read back, which must
// give its bytes unchanged.

#include <cstring>
#include <string>

#include "core/stream.h"
#include "formats/jpeg2000/jpeg2000_bitmap.h"
#include "fuzz/support/fuzz_support.h"

namespace {

// Rasters up to this many pixels are written back; larger ones would make
// the run slow without reaching more of the writer.
constexpr int kRoundTripPixels = 4096;

void RoundTrip(const scalopex::formats::TJpeg2000Bitmap& decoded)
{
    using namespace scalopex;
    formats::TJpeg2000Bitmap writer;
    writer.SetJ2kLossless(true);
    writer.Assign(&decoded);
    core::TMemoryStream out;
    writer.SaveToStream(out);
    formats::TJpeg2000Bitmap back;
    core::TMemoryStream in(out.TakeBytes());
    back.LoadFromStream(in);
    if (back.Width() != decoded.Width() || back.Height() != decoded.Height() || back.PixelFormat() != core::pf24bit)
        fuzz::Finding("a lossless round trip changed the raster's size or format");
    const auto rowBytes = static_cast<std::size_t>(decoded.Width()) * 3;
    for (int y = 0; y < decoded.Height(); ++y)
        if (std::memcmp(back.ScanLineRead(y), decoded.ScanLineRead(y), rowBytes) != 0)
            fuzz::Finding("a lossless round trip changed row " + std::to_string(y));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    fuzz::Run([&] {
        const formats::TFormatDescriptor& format = fuzz::FormatNamed("JPEG 2000");
        fuzz::Recognises(format, bytes);
        formats::TJpeg2000Bitmap bitmap;
        fuzz::LoadFrom(bitmap, bytes);
        fuzz::DrawAsOpened(bitmap);
        if (bitmap.PixelFormat() == core::pf24bit && !bitmap.Empty() &&
            bitmap.Width() * bitmap.Height() <= kRoundTripPixels)
            RoundTrip(bitmap);
    });
    return 0;
}
