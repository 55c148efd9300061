// The SGI run-length decoder on hand-made and hostile rows.

#include "formats/sgi/sgi_rle.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SgiRle, RowsDecodeAsTheirPacketsSay)
{
    struct Case {
        const char* what;
        int bits;
        Bytes in;
        std::size_t room;
        Bytes out;
    } cases[] = {
        {"a copy, a run, the end",
         8,
         {0x85, 'a', 'b', 'c', 'd', 'e', 0x03, 'f', 0x00},
         16,
         {'a', 'b', 'c', 'd', 'e', 'f', 'f', 'f'}},
        {"the end packet stops the row", 8, {0x02, 9, 0x00, 0x02, 7}, 16, {9, 9}},
        {"a run is cut to the row", 8, {0x7F, 4}, 3, {4, 4, 4}},
        {"a copy is cut to the row", 8, {0x84, 1, 2, 3, 4}, 2, {1, 2}},
        {"a copy cut by the data", 8, {0x85, 1, 2}, 16, {1, 2}},
        {"a run without its value", 8, {0x01, 5, 0x04}, 16, {5}},
        {"bit 7 alone is an empty copy, the end", 8, {0x80, 0x01, 2}, 16, {}},
        {"16-bit: control words, words as stored",
         16,
         {0x00, 0x82, 0x12, 0x34, 0x56, 0x78, 0x00, 0x02, 0xAB, 0xCD, 0x00, 0x00},
         16,
         {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD, 0xAB, 0xCD}},
        {"16-bit: the high byte of the control is ignored", 16, {0x7F, 0x01, 0x01, 0x02}, 16, {0x01, 0x02}},
        {"16-bit: a run cut to whole samples", 16, {0x00, 0x05, 0xAA, 0xBB}, 5, {0xAA, 0xBB, 0xAA, 0xBB}},
        {"16-bit: a copy cut by the data to whole samples", 16, {0x00, 0x83, 1, 2, 3}, 16, {1, 2}},
        {"other sample sizes decode nothing", 24, {0x01, 1, 2, 3}, 16, {}},
    };
    for (const Case& c : cases) {
        TSGIRLEDecoder decoder(c.bits);
        decoder.StartDecoding();
        base::ByteCursor source(c.in);
        Bytes out(c.room, 0xEE);
        out.resize(decoder.Decode(source, out));
        EXPECT_EQ(out, c.out) << c.what;
    }
}

TEST(SgiRle, HostileRowsNeverWritePastTheRow)
{
    std::mt19937 random(13);
    for (int round = 0; round < 3000; ++round) {
        const int bits = round % 2 == 0 ? 8 : 16;
        Bytes in(random() % 48);
        for (std::uint8_t& b : in)
            b = static_cast<std::uint8_t>(random());
        const std::size_t room = random() % 33;
        Bytes buffer(room + 16, 0xEE);
        TSGIRLEDecoder decoder(bits);
        base::ByteCursor source(in);
        const std::size_t written = decoder.Decode(source, std::span<std::uint8_t>(buffer.data(), room));
        ASSERT_LE(written, room);
        ASSERT_EQ(written % (bits / 8), 0u);
        for (std::size_t i = room; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "round " << round;
    }
}

}  // namespace
}  // namespace scalopex::formats
