#include "formats/targa/targa_rle.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

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
            std::size_t position = 0;
            EXPECT_EQ(codec.Decode(packets, position, decoded, count), count);
            EXPECT_EQ(position, packets.size());
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
    std::size_t position = 0;
    EXPECT_EQ(codec.Decode(packets, position, row, 3), 3u);
    EXPECT_EQ(row, (Bytes{9, 9, 9}));
    EXPECT_EQ(codec.Decode(packets, position, row, 3), 3u);
    EXPECT_EQ(row, (Bytes{9, 9, 1}));
    EXPECT_EQ(codec.Decode(packets, position, row, 3), 2u);
    EXPECT_EQ(row[0], 2);
    EXPECT_EQ(row[1], 3);
    EXPECT_EQ(position, packets.size());
}

TEST(TargaRLE, ShortDataDecodesWhatIsThereAndNeverWritesPastTheRow)
{
    TTargaRLEDecoder codec(24);
    // A raw packet of 4 pixels with 1.5 pixels present.
    const Bytes cut = {0x03, 1, 2, 3, 4, 5};
    Bytes row(12, 0xEE);
    std::size_t position = 0;
    EXPECT_EQ(codec.Decode(cut, position, row, 4), 1u);
    EXPECT_EQ(row, (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(position, 4u);

    // A run whose value is cut off is left unread.
    TTargaRLEDecoder fresh(24);
    const Bytes run = {0x85, 1, 2};
    position = 0;
    EXPECT_EQ(fresh.Decode(run, position, row, 4), 0u);
    EXPECT_EQ(position, 0u);

    // A destination smaller than the pixel count bounds the output.
    TTargaRLEDecoder bounded(8);
    const Bytes longRun = {0xFF, 7};
    Bytes small(5, 0);
    position = 0;
    EXPECT_EQ(bounded.Decode(longRun, position, small, 100), 5u);
    EXPECT_EQ(small, Bytes(5, 7));
}

TEST(TargaRLE, UnsupportedDepthDoesNothing)
{
    TTargaRLEDecoder codec(1);
    EXPECT_EQ(codec.PixelSize(), 0u);
    const Bytes packets = {0x80, 1};
    Bytes row(4, 0);
    std::size_t position = 0;
    EXPECT_EQ(codec.Decode(packets, position, row, 4), 0u);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(codec.Encode(packets, row, 2), 0u);
}

}  // namespace
}  // namespace scalopex::formats
