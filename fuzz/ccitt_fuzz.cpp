// The CCITT decoders driven alone. Set-up bytes: the row width, the number
// of rows, and a choice of decoder (group 3, modified Huffman, word-aligned)
// and fill order; the rest is one strip. Decoding must stay inside the
// strip buffer and report at most its size.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/ccitt.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const int width = 1 + fields.U16() % 4096;
        const std::size_t rows = 1 + fields.U8() % 64;
        const unsigned mode = fields.U8();
        const bool reversed = (mode & 4) != 0;
        const std::size_t bytesPerLine = (static_cast<std::size_t>(width) + 7) / 8;
        base::ByteCursor source(fields.Rest());

        std::unique_ptr<base::TDecoder> decoder;
        if (mode % 3 == 0)
            decoder = std::make_unique<formats::TCCITTFax3Decoder>(width, bytesPerLine, reversed, 0);
        else
            decoder = std::make_unique<formats::TCCITTMHDecoder>(width, bytesPerLine, reversed, 0, mode % 3 == 2);
        decoder->StartDecoding();
        std::vector<std::uint8_t> strip(rows * bytesPerLine + 16, fuzz::kCanary);
        const std::size_t written = decoder->Decode(source, std::span<std::uint8_t>(strip).first(rows * bytesPerLine));
        if (written > rows * bytesPerLine)
            fuzz::Finding("Decode reports " + std::to_string(written) + " bytes for a strip of " +
                          std::to_string(rows * bytesPerLine));
        fuzz::ExpectCanary(fuzz::Bytes(strip).subspan(rows * bytesPerLine), "the bytes after the strip");
        decoder->FinishDecoding();
    });
    return 0;
}
