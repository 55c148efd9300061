// gdi::TBmpRLEDecoder driven alone. Set-up bytes: RLE4 or RLE8 (bit 0), the
// width, the height and the padding after each row; the rest is the data.
// The raster is exactly height × stride bytes; the decoder must leave every
// byte from the offset it returns on, and the padding of every row, alone,
// and RLE4 pixels must be nibbles.

#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "fuzz/support/fuzz_support.h"
#include "platform/gdi/rle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const bool rle4 = fields.U8() & 1;
        const int width = fields.U16() % 1024;
        const int height = fields.U16() % 256;
        const std::size_t stride = static_cast<std::size_t>(width) + fields.U8() % 8;
        std::vector<std::uint8_t> raster(stride * static_cast<std::size_t>(height), fuzz::kCanary);

        gdi::TBmpRLEDecoder decoder(rle4 ? 4 : 8, width, height, stride);
        base::ByteCursor source(fields.Rest());
        decoder.StartDecoding();
        const std::size_t end = decoder.Decode(source, raster);
        decoder.FinishDecoding();

        if (end > raster.size())
            fuzz::Finding("Decode returns an end past the raster");
        fuzz::ExpectCanary(fuzz::Bytes(raster).subspan(end), "the raster after the end Decode returns");
        for (int y = 0; y < height; ++y) {
            const fuzz::Bytes row = fuzz::Bytes(raster).subspan(static_cast<std::size_t>(y) * stride, stride);
            fuzz::ExpectCanary(row.subspan(static_cast<std::size_t>(width)), "the padding of a row");
            if (rle4)
                for (const std::uint8_t pixel : row.first(static_cast<std::size_t>(width)))
                    if (pixel != fuzz::kCanary && pixel > 15)
                        fuzz::Finding("an RLE4 pixel of " + std::to_string(pixel));
        }
    });
    return 0;
}
