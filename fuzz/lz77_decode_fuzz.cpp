// formats::TLZ77Decoder::Decode driven alone, as TIFF strips use it: one whole
// zlib stream per call. Set-up bytes: the size of the output (up to 256 KiB);
// the rest is the stream. The bytes after those Decode reports must keep
// their value, and a second Decode by the same decoder, which starts afresh,
// must make the same bytes.

#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/lz77.h"
#include "fuzz/support/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace scalopex;
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const std::size_t outputBytes = std::size_t{fields.U16()} * 4;
        const fuzz::Bytes stream = fields.Rest();

        formats::TLZ77Decoder decoder;
        decoder.StartDecoding();
        std::vector<std::uint8_t> first(outputBytes, fuzz::kCanary);
        base::ByteCursor source(stream);
        const std::size_t made = decoder.Decode(source, first);
        if (made > first.size())
            fuzz::Finding("Decode reports " + std::to_string(made) + " bytes for room of " +
                          std::to_string(first.size()));
        fuzz::ExpectCanary(fuzz::Bytes(first).subspan(made), "the output after the bytes Decode reports");

        std::vector<std::uint8_t> second(outputBytes, fuzz::kCanary);
        base::ByteCursor again(stream);
        if (decoder.Decode(again, second) != made || second != first || again.position() != source.position())
            fuzz::Finding("a second Decode of the same stream differs from the first");
        decoder.FinishDecoding();
    });
    return 0;
}
