// The shared decoders on hand-built and hostile streams: every decoder stays
// inside its source and its destination whatever the data say.

#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "base/byte_cursor.h"
#include "formats/common/lz77.h"
#include "formats/common/packbits.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using base::ByteCursor;

struct Decoded {
    Bytes out;
    std::size_t written;
    std::size_t consumed;
};

// Decodes data into a destination of size bytes followed by guard bytes.
template <typename Decoder>
Decoded DecodeInto(Decoder& decoder, const Bytes& data, std::size_t size)
{
    Bytes buffer(size + 8, 0xEE);
    ByteCursor source(data);
    const std::size_t written = decoder.Decode(source, std::span<std::uint8_t>(buffer).first(size));
    for (std::size_t i = size; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], 0xEE) << "wrote past the destination at " << i;
    buffer.resize(size);
    return {buffer, written, source.position()};
}

TEST(PackBits, DecodesLiteralAndRepeatedRuns)
{
    TPackbitsRLEDecoder decoder;
    struct Case {
        const char* name;
        Bytes data;
        std::size_t size;
        Bytes expected;
        std::size_t consumed;
    } cases[] = {
        // The example of the TIFF 6.0 document, section 9.
        {"TIFF example", {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA},
         24, {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0x22,
              0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}, 15},
        {"-128 is no operation", {0x80, 0x00, 0x07}, 1, {0x07}, 3},
        {"longest repeat", {0x81, 0x05}, 128, Bytes(128, 0x05), 2},
        {"longest literal", [] { Bytes b(129, 9); b[0] = 0x7F; return b; }(), 128, Bytes(128, 9), 129},
    };
    for (const Case& c : cases) {
        const Decoded d = DecodeInto(decoder, c.data, c.size);
        EXPECT_EQ(d.out, c.expected) << c.name;
        EXPECT_EQ(d.written, c.size) << c.name;
        EXPECT_EQ(d.consumed, c.consumed) << c.name;
    }
}

TEST(PackBits, HostileCountsStopAtTheEndOfEitherBuffer)
{
    TPackbitsRLEDecoder decoder;
    struct Case {
        const char* name;
        Bytes data;
        std::size_t size;
        std::size_t written;
        std::size_t consumed;
    } cases[] = {
        {"empty data", {}, 4, 0, 0},
        {"a count alone", {0x05}, 4, 0, 1},
        {"a repeat without its byte", {0xFD}, 4, 0, 1},
        {"a literal longer than the data", {0x7F, 1, 2, 3}, 10, 3, 4},
        {"a literal longer than the destination", {0x7F, 1, 2, 3, 4, 5, 6}, 3, 3, 4},
        {"a repeat longer than the destination", {0x81, 7}, 5, 5, 2},
        {"an empty destination", {0x81, 7}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Decoded d = DecodeInto(decoder, c.data, c.size);
        EXPECT_EQ(d.written, c.written) << c.name;
        EXPECT_EQ(d.consumed, c.consumed) << c.name;
    }
}

Bytes Deflate(const Bytes& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
    out.resize(size);
    return out;
}

TEST(LZ77, EveryCallInflatesAStreamOfItsOwn)
{
    Bytes first(1000), second(300);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<std::uint8_t>(i / 3);
    TLZ77Decoder decoder;
    decoder.StartDecoding();
    const Decoded a = DecodeInto(decoder, Deflate(first), first.size());
    EXPECT_EQ(a.out, first);
    EXPECT_EQ(decoder.LastResult(), Z_STREAM_END);
    const Decoded b = DecodeInto(decoder, Deflate(second), second.size());
    EXPECT_EQ(b.out, second);
    // A destination smaller than the stream takes what fits.
    const Decoded c = DecodeInto(decoder, Deflate(first), 10);
    EXPECT_EQ(c.written, 10u);
    EXPECT_EQ(c.out, Bytes(first.begin(), first.begin() + 10));
    decoder.FinishDecoding();
}

TEST(LZ77, CorruptAndShortStreamsKeepTheRestOfTheDestination)
{
    const Bytes raw(500, 0x41);
    Bytes cut = Deflate(raw);
    cut.resize(cut.size() / 2);
    struct Case {
        const char* name;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x78}},
        {"bad header", {0x12, 0x34, 0x56, 0x78}},
        {"corrupt body", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"cut in half", cut},
    };
    TLZ77Decoder decoder;
    for (const Case& c : cases) {
        const Decoded d = DecodeInto(decoder, c.data, raw.size());
        EXPECT_LT(d.written, raw.size()) << c.name;
        EXPECT_LE(d.consumed, c.data.size()) << c.name;
        for (std::size_t i = d.written; i < raw.size(); ++i)
            ASSERT_EQ(d.out[i], 0xEE) << c.name << " at " << i;
    }
    // The next stream starts afresh.
    const Decoded good = DecodeInto(decoder, Deflate(raw), raw.size());
    EXPECT_EQ(good.out, raw);
}

TEST(LZ77, AStreamFedInPiecesReportsItsEnd)
{
    Bytes raw(4000);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint8_t>((i * i) >> 3);
    const Bytes packed = Deflate(raw);
    TLZ77Decoder decoder;
    Bytes out(raw.size());
    std::span<std::uint8_t> room(out);
    TLZ77Decoder::TInflate result = TLZ77Decoder::TInflate::Progress;
    for (std::size_t at = 0; at < packed.size() && result != TLZ77Decoder::TInflate::StreamEnd; at += 7) {
        std::span<const std::uint8_t> piece = std::span(packed).subspan(at, std::min<std::size_t>(7, packed.size() - at));
        while (!piece.empty() && result != TLZ77Decoder::TInflate::StreamEnd) {
            result = decoder.Inflate(piece, room);
            ASSERT_NE(result, TLZ77Decoder::TInflate::Error);
        }
    }
    EXPECT_EQ(result, TLZ77Decoder::TInflate::StreamEnd);
    EXPECT_TRUE(room.empty());
    EXPECT_EQ(out, raw);
    std::span<const std::uint8_t> nothing;
    EXPECT_EQ(decoder.Inflate(nothing, room), TLZ77Decoder::TInflate::Stalled);

    TLZ77Decoder broken;
    const Bytes junk = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
    std::span<const std::uint8_t> in(junk);
    std::span<std::uint8_t> all(out);
    EXPECT_EQ(broken.Inflate(in, all), TLZ77Decoder::TInflate::Error);
}

}  // namespace
}  // namespace scalopex::formats
