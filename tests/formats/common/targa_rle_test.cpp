#include "formats/common/targa_rle.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using scalopex::base::ByteCursor;

// Pixels decoded into the first `pixels` pixels of row.
std::size_t DecodeRow(TTargaRLEDecoder& codec, ByteCursor& source, Bytes& row, std::size_t pixels)
{
    const std::size_t bytes = codec.Decode(source, std::span<std::uint8_t>(row).first(pixels * codec.PixelSize()));
    return codec.PixelSize() == 0 ? 0 : bytes / codec.PixelSize();
}

Bytes Encode(const Bytes& pixels, int depth)
{
    TTargaRLEDecoder codec(depth);
    const std::size_t count = pixels.size() / codec.PixelSize();
    Bytes out(codec.EncodeBound(count));
    out.resize(codec.Encode(pixels, out, count));
    return out;
}

TEST(TargaRLE, EncodesThePacketExamplesByteForByte)
{
    const std::uint8_t A = 0x41, B = 0x42, C = 0x43;
    struct Case {
        Bytes pixels;
        Bytes packets;
    } cases[] = {
        {{A}, {0x00, A}},
        {{A, B}, {0x00, A, 0x00, B}},
        {{A, B, C}, {0x01, A, B, 0x00, C}},
        {{A, A, A, B}, {0x82, A, 0x00, B}},
        {{A, B, C, C, C}, {0x01, A, B, 0x82, C}},
        {Bytes(200, A), {0xFF, A, 0xC7, A}},
        {Bytes(129, A), {0xFF, A, 0x00, A}},
        {Bytes(130, A), {0xFF, A, 0x81, A}},
        {Bytes(128, A), {0xFF, A}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Encode(c.pixels, 8), c.packets) << c.pixels.size() << " pixels";
}

TEST(TargaRLE, RawPacketsHoldAtMost128PixelsAndPixelsCompareWhole)
{
    Bytes distinct(300);
    for (std::size_t i = 0; i < distinct.size(); ++i)
        distinct[i] = static_cast<std::uint8_t>(i % 250);  // neighbours always differ
    const Bytes out = Encode(distinct, 8);
    // 128 + 128 + 43 raw, then the last pixel alone.
    ASSERT_EQ(out.size(), 1 + 128 + 1 + 128 + 1 + 43 + 1 + 1u);
    EXPECT_EQ(out[0], 0x7F);
    EXPECT_EQ(out[129], 0x7F);
    EXPECT_EQ(out[258], 42);
    EXPECT_EQ(out[302], 0x00);

    // 32-bit pixels that differ only in the fourth byte are not a run.
    const Bytes twoPixels = {1, 2, 3, 4, 1, 2, 3, 5};
    EXPECT_EQ(Encode(twoPixels, 32), (Bytes{0x00, 1, 2, 3, 4, 0x00, 1, 2, 3, 5}));
    const Bytes equal = {1, 2, 3, 4, 1, 2, 3, 4};
    EXPECT_EQ(Encode(equal, 32), (Bytes{0x81, 1, 2, 3, 4}));
}

TEST(TargaRLE, DecodeReversesEncodeForEveryDepth)
{
    std::mt19937 random(7);
    for (int depth : {8, 15, 16, 24, 32}) {
        TTargaRLEDecoder codec(depth);
        const std::size_t b = codec.PixelSize();
        for (std::size_t count : {1u, 2u, 3u, 127u, 128u, 129u, 300u}) {
            // Short runs of a few values, so both packet kinds occur.
            Bytes pixels(count * b);
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t v = static_cast<std::uint8_t>(random() % 3);
                for (std::size_t k = 0; k < b; ++k)
                    pixels[i * b + k] = static_cast<std::uint8_t>(v * 40 + k);
            }
            const Bytes packets = Encode(pixels, depth);
            Bytes decoded(count * b, 0);
            ByteCursor source(packets);
            codec.StartDecoding();
            EXPECT_EQ(DecodeRow(codec, source, decoded, count), count);
            EXPECT_TRUE(source.atEnd());
            EXPECT_EQ(decoded, pixels) << depth << " bits, " << count << " pixels";
        }
    }
}

TEST(TargaRLE, PacketsCrossingRowsContinueInTheNextRow)
{
    TTargaRLEDecoder codec(8);
    // A run of 5 and a raw packet of 3 over rows of 3 pixels.
    const Bytes packets = {0x84, 9, 0x02, 1, 2, 3};
    Bytes row(3, 0);
    ByteCursor source(packets);
    EXPECT_EQ(DecodeRow(codec, source, row, 3), 3u);
    EXPECT_EQ(row, (Bytes{9, 9, 9}));
    EXPECT_EQ(DecodeRow(codec, source, row, 3), 3u);
    EXPECT_EQ(row, (Bytes{9, 9, 1}));
    EXPECT_EQ(DecodeRow(codec, source, row, 3), 2u);
    EXPECT_EQ(row[0], 2);
    EXPECT_EQ(row[1], 3);
    EXPECT_TRUE(source.atEnd());
    // Starting again forgets the packet left over.
    ByteCursor again(packets);
    EXPECT_EQ(DecodeRow(codec, again, row, 3), 3u);
    codec.StartDecoding();
    const Bytes single = {0x00, 5};
    ByteCursor fresh(single);
    EXPECT_EQ(DecodeRow(codec, fresh, row, 1), 1u);
    EXPECT_EQ(row[0], 5);
}

TEST(TargaRLE, ShortDataDecodesWhatIsThereAndNeverWritesPastTheRow)
{
    TTargaRLEDecoder codec(24);
    // A raw packet of 4 pixels with 1.5 pixels present.
    const Bytes cut = {0x03, 1, 2, 3, 4, 5};
    Bytes row(12, 0xEE);
    ByteCursor source(cut);
    EXPECT_EQ(DecodeRow(codec, source, row, 4), 1u);
    EXPECT_EQ(row, (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(source.position(), 4u);

    // A run whose value is cut off is left unread.
    TTargaRLEDecoder fresh(24);
    const Bytes run = {0x85, 1, 2};
    ByteCursor runSource(run);
    EXPECT_EQ(DecodeRow(fresh, runSource, row, 4), 0u);
    EXPECT_EQ(runSource.position(), 0u);

    // The destination bounds the output, and only whole pixels are written.
    TTargaRLEDecoder bounded(8);
    const Bytes longRun = {0xFF, 7};
    Bytes small(5, 0);
    ByteCursor longSource(longRun);
    EXPECT_EQ(bounded.Decode(longSource, small), 5u);
    EXPECT_EQ(small, Bytes(5, 7));
    TTargaRLEDecoder wide(24);
    Bytes five(5, 0xEE);
    const Bytes wideRun = {0x81, 1, 2, 3};
    ByteCursor wideSource(wideRun);
    EXPECT_EQ(wide.Decode(wideSource, five), 3u);
    EXPECT_EQ(five, (Bytes{1, 2, 3, 0xEE, 0xEE}));

    // Empty and 1-byte data decode nothing.
    for (const Bytes& data : {Bytes{}, Bytes{0x80}, Bytes{0x05}}) {
        TTargaRLEDecoder tiny(8);
        Bytes out(4, 0xEE);
        ByteCursor tinySource(data);
        EXPECT_EQ(tiny.Decode(tinySource, out), 0u);
        EXPECT_EQ(out, Bytes(4, 0xEE));
    }
}

TEST(TargaRLE, UnsupportedDepthDoesNothing)
{
    TTargaRLEDecoder codec(1);
    EXPECT_EQ(codec.PixelSize(), 0u);
    const Bytes packets = {0x80, 1};
    Bytes row(4, 0);
    ByteCursor source(packets);
    EXPECT_EQ(codec.Decode(source, row), 0u);
    EXPECT_EQ(source.position(), 0u);
    EXPECT_EQ(codec.Encode(packets, row, 2), 0u);
}

}  // namespace
}  // namespace scalopex::formats
