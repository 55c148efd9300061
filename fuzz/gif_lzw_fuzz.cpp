// formats::DecodeLZW driven alone. Set-up bytes: the minimum code size (0 to
// 8), the width and height, and a mode: bit 0 interlaced, bit 1 instead takes
// the rest as pixels, encodes them with TLZWEncoder and decodes them back,
// which must give the same pixels. The frame is exactly width × height
// bytes; every pixel decoded must lie below the clear code.

#include <algorithm>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/gif/gif_lzw.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;

void Decode(fuzz::Bytes codes, int codeSize, int width, int height, bool interlaced)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    formats::DecodeLZW(codes, codeSize, frame, width, height, interlaced);
    const int clear = 1 << codeSize;
    for (const std::uint8_t pixel : frame)
        if (pixel >= clear)
            fuzz::Finding("a pixel of " + std::to_string(pixel) + " from codes of " + std::to_string(codeSize) +
                          " bits");
}

// The code stream of the encoder's output: the sub-blocks after the code size
// byte, joined.
std::vector<std::uint8_t> JoinSubBlocks(const std::vector<std::uint8_t>& encoded)
{
    // A short read here is the encoder's fault, not bad input.
    base::ByteCursor in(encoded, [] { fuzz::Finding("the encoder's sub-blocks are cut short"); });
    in.skip(1);
    std::vector<std::uint8_t> joined;
    for (std::size_t length = in.u8(); length != 0; length = in.u8()) {
        const fuzz::Bytes block = in.bytes(length);
        joined.insert(joined.end(), block.begin(), block.end());
    }
    if (!in.atEnd())
        fuzz::Finding("the encoder wrote bytes after the terminator");
    return joined;
}

void ExpectRoundTrip(fuzz::Bytes input, int bits, int width)
{
    const int colors = 1 << bits;
    const std::size_t columns = static_cast<std::size_t>(std::max(width, 1));
    const std::size_t rows = input.size() / columns;
    std::vector<std::uint8_t> pixels(columns * rows);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(input[i] % colors);

    std::vector<std::uint8_t> encoded;
    formats::TLZWEncoder().Encode(pixels, bits, colors, encoded);
    if (encoded.empty() || encoded[0] != std::max(bits, 2))
        fuzz::Finding("the encoder wrote no or a wrong minimum code size");
    const std::vector<std::uint8_t> codes = JoinSubBlocks(encoded);
    std::vector<std::uint8_t> decoded(pixels.size(), 0);
    const formats::TLZWDecodeResult result =
        formats::DecodeLZW(codes, encoded[0], decoded, static_cast<int>(columns), static_cast<int>(rows), false);
    if (result.underRun && !pixels.empty())
        fuzz::Finding("encoded pixels decode with a bit buffer under-run");
    if (decoded != pixels)
        fuzz::Finding("encoded pixels decode to other pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const int codeSize = fields.U8() % 9;
        const int width = fields.U16() % 512;
        const int height = fields.U16() % 512;
        const std::uint8_t mode = fields.U8();
        if (mode & 2)
            ExpectRoundTrip(fields.Rest(), std::max(codeSize, 1), width);
        else
            Decode(fields.Rest(), codeSize, width, height, mode & 1);
    });
    return 0;
}
