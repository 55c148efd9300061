// formats::TPackbitsRLEDecoder driven alone. Set-up bytes: the size of each
// output row and the number of rows; the rest is the data, decoded row after
// row from one source. Each call must report at most its row and leave the
// bytes after those it reports alone.

#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/packbits.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const std::size_t rowBytes = fields.U16() % 1024;
        const int rows = fields.U8();
        base::ByteCursor source(fields.Rest());

        formats::TPackbitsRLEDecoder decoder;
        decoder.StartDecoding();
        for (int y = 0; y < rows; ++y) {
            std::vector<std::uint8_t> row(rowBytes, fuzz::kCanary);
            const std::size_t before = source.position();
            const std::size_t written = decoder.Decode(source, row);
            if (written > row.size())
                fuzz::Finding("Decode reports " + std::to_string(written) + " bytes for a row of " +
                              std::to_string(row.size()));
            fuzz::ExpectCanary(fuzz::Bytes(row).subspan(written), "the row after the bytes Decode reports");
            if (source.position() < before)
                fuzz::Finding("Decode moved the source back");
            if (source.atEnd())
                break;  // later rows would see the same empty source
        }
        decoder.FinishDecoding();
    });
    return 0;
}
