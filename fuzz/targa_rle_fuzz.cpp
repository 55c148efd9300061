// TTargaRLEDecoder driven alone. Set-up bytes: the colour depth (one of the
// supported ones, or not), the bytes of one row (any count, so rows may end
// inside a pixel), the number of rows, and a mode: bit 0 restarts the decoder
// before every row, bit 1 instead encodes the rest as pixels and decodes the
// packets back, which must give the same pixels. The rest is the data.

#include <algorithm>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/targa_rle.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;

constexpr int kDepths[8] = {8, 15, 16, 24, 32, 0, 7, 33};

void DecodeRows(formats::TTargaRLEDecoder& decoder, fuzz::Bytes data, std::size_t rowBytes, int rows, bool restart)
{
    base::ByteCursor source(data);
    decoder.StartDecoding();
    for (int y = 0; y < rows; ++y) {
        if (restart)
            decoder.StartDecoding();
        std::vector<std::uint8_t> row(rowBytes, fuzz::kCanary);
        const std::size_t before = source.position();
        const std::size_t written = decoder.Decode(source, row);
        if (written > row.size() || (decoder.PixelSize() != 0 && written % decoder.PixelSize() != 0))
            fuzz::Finding("Decode reports " + std::to_string(written) + " bytes for a row of " +
                          std::to_string(row.size()));
        fuzz::ExpectCanary(fuzz::Bytes(row).subspan(written), "the row after the bytes Decode reports");
        if (source.position() < before)
            fuzz::Finding("Decode moved the source back");
        if (source.atEnd() && written == 0)
            break;  // nothing left, not even a packet that runs on
    }
    decoder.FinishDecoding();
}

void ExpectRoundTrip(const formats::TTargaRLEDecoder& codec, fuzz::Bytes pixels)
{
    const std::size_t b = codec.PixelSize();
    if (b == 0)
        return;
    const std::size_t count = pixels.size() / b;
    std::vector<std::uint8_t> packed(codec.EncodeBound(count), fuzz::kCanary);
    const std::size_t packedBytes = codec.Encode(pixels, packed, count);
    if (packedBytes > packed.size())
        fuzz::Finding("Encode reports more bytes than its bound");
    fuzz::ExpectCanary(fuzz::Bytes(packed).subspan(packedBytes), "the packets after the bytes Encode reports");
    formats::TTargaRLEDecoder decoder(codec.ColorDepth());
    decoder.StartDecoding();
    base::ByteCursor source(fuzz::Bytes(packed).first(packedBytes));
    std::vector<std::uint8_t> unpacked(count * b);
    if (decoder.Decode(source, unpacked) != unpacked.size() || !source.atEnd())
        fuzz::Finding("encoded pixels do not decode to as many pixels");
    if (!std::ranges::equal(unpacked, pixels.first(count * b)))
        fuzz::Finding("encoded pixels decode to other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const int depth = kDepths[fields.U8() & 7];
        const std::size_t rowBytes = fields.U16() % 2048;
        const int rows = fields.U8();
        const std::uint8_t mode = fields.U8();
        formats::TTargaRLEDecoder decoder(depth);
        if (mode & 2)
            ExpectRoundTrip(decoder, fields.Rest());
        else
            DecodeRows(decoder, fields.Rest(), rowBytes, rows, mode & 1);
    });
    return 0;
}
