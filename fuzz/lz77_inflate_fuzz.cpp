// formats::TLZ77Decoder::Inflate fed in pieces, as PNG image data arrives in
// chunks. Set-up bytes: the size of the input pieces and of the output
// pieces; the rest is a zlib stream. Each step must move both spans past
// exactly what it used and leave the rest of the output alone, and the bytes
// made must be those Decode makes of the whole stream at once.

#include <algorithm>
#include <span>
#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/lz77.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;
using formats::TLZ77Decoder;

// Output beyond this is not inflated: a deflate bomb would only cost time.
constexpr std::size_t kMaxOutput = std::size_t{1} << 18;

// Finding unless after is the tail of before.
template <typename T>
void ExpectTail(std::span<T> before, std::span<T> after, const char* what)
{
    if (after.size() > before.size() || after.data() != before.data() + (before.size() - after.size()))
        fuzz::Finding(std::string("Inflate did not move the ") + what + " span past what it used");
}

std::vector<std::uint8_t> InflateInPieces(fuzz::Bytes stream, std::size_t inPiece, std::size_t outPiece)
{
    TLZ77Decoder decoder;
    decoder.StartDecoding();
    std::vector<std::uint8_t> produced;
    std::vector<std::uint8_t> piece;
    std::span<std::uint8_t> room;
    std::span<const std::uint8_t> input;
    std::size_t next = 0;  // where the next input piece starts
    for (;;) {
        if (input.empty()) {
            if (next == stream.size())
                break;
            input = stream.subspan(next, std::min(inPiece, stream.size() - next));
            next += input.size();
        }
        if (room.empty()) {
            produced.insert(produced.end(), piece.begin(), piece.end());
            piece.clear();
            if (produced.size() >= kMaxOutput)
                break;
            piece.assign(outPiece, fuzz::kCanary);
            room = piece;
        }
        const std::span<const std::uint8_t> inBefore = input;
        const std::span<std::uint8_t> outBefore = room;
        const TLZ77Decoder::TInflate result = decoder.Inflate(input, room);
        ExpectTail(inBefore, input, "input");
        ExpectTail(outBefore, room, "output");
        fuzz::ExpectCanary(room, "the output after the bytes Inflate made");
        if (result == TLZ77Decoder::TInflate::StreamEnd || result == TLZ77Decoder::TInflate::Error)
            break;
        if (result == TLZ77Decoder::TInflate::Stalled && !input.empty() && !room.empty())
            break;  // neither more input nor more room can help
    }
    produced.insert(produced.end(), piece.begin(), piece.end() - static_cast<std::ptrdiff_t>(room.size()));
    decoder.FinishDecoding();
    return produced;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        const std::size_t inPiece = fields.U8() + 1u;
        const std::size_t outPiece = fields.U16() + 1u;
        const fuzz::Bytes stream = fields.Rest();
        const std::vector<std::uint8_t> pieces = InflateInPieces(stream, inPiece, outPiece);

        TLZ77Decoder whole;
        std::vector<std::uint8_t> dest(pieces.size(), fuzz::kCanary);
        base::ByteCursor source(stream);
        const std::size_t made = whole.Decode(source, dest);
        whole.FinishDecoding();
        if (made > dest.size())
            fuzz::Finding("Decode reports more bytes than it was given room for");
        if (!std::equal(dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(made), pieces.begin()))
            fuzz::Finding("Inflate in pieces and Decode at once make different bytes");
    });
    return 0;
}
