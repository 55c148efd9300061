// JPEG files through TJPEGImage, decoded by drawing them as opening does
// (loading reads only the headers). The last byte picks the decoding
// options: bit 0 GrayDecode, 1 FastDecode, 2 IndexedDecode, 3
// IncrementalDecode, 4-5 DecodeScale, 6 BlockSmoothing. The size the headers
// promise must be the size decoded.

#include <string>

#include "formats/jpeg/jpeg_image.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    const fuzz::Bytes bytes(data, size);
    const std::uint8_t options = fuzz::OptionByte(bytes);
    fuzz::Run([&] {
        const formats::TFormatDescriptor& jpegFormat = fuzz::FormatNamed("JPEG");
        fuzz::Recognises(jpegFormat, bytes);
        formats::TJPEGImage jpeg;
        jpeg.SetGrayDecode(options & 0x01);
        jpeg.SetFastDecode(options & 0x02);
        jpeg.SetIndexedDecode(options & 0x04);
        jpeg.SetIncrementalDecode(options & 0x08);
        jpeg.SetDecodeScale((options >> 4) & 3);
        jpeg.SetBlockSmoothing(options & 0x40);
        fuzz::LoadFrom(jpeg, bytes);
        const int width = jpeg.Width();
        const int height = jpeg.Height();
        fuzz::DrawAsOpened(jpeg);
        if (jpeg.Width() != width || jpeg.Height() != height)
            fuzz::Finding("the headers promise " + std::to_string(width) + " x " + std::to_string(height) +
                          ", the decoded raster is " + std::to_string(jpeg.Width()) + " x " +
                          std::to_string(jpeg.Height()));
    });
    return 0;
}
