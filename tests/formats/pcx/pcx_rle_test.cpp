// The PCX run-length decoder on hand-made and hostile streams.

#include "formats/pcx/pcx_rle.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Decoded {
    Bytes out;
    std::size_t consumed;
};

Decoded DecodeOnce(TPCXRLEDecoder& decoder, const Bytes& in, std::size_t room)
{
    base::ByteCursor source(in);
    Bytes out(room, 0xEE);
    out.resize(decoder.Decode(source, out));
    return {out, source.position()};
}

TEST(PcxRle, StreamsDecodeAsThePacketsSay)
{
    struct Case {
        const char* what;
        Bytes in;
        std::size_t room;
        Bytes out;
        std::size_t consumed;
    } cases[] = {
        {"literals below 0xC0", {0x00, 0x7F, 0xBF}, 8, {0x00, 0x7F, 0xBF}, 3},
        {"0xC0 writes nothing", {0xC0, 0x07, 0x01}, 8, {0x01}, 3},
        {"0xC1 0x00 writes one zero", {0xC1, 0x00}, 8, {0x00}, 2},
        {"a run of 63", {0xFF, 0x11}, 70, Bytes(63, 0x11), 2},
        {"a run value may be 0xC0 or more", {0xC2, 0xD0}, 8, {0xD0, 0xD0}, 2},
        {"a run without its value is left unread", {0x05, 0xC3}, 8, {0x05}, 1},
        {"a full destination stops before the next packet", {0x01, 0x02, 0x03}, 2, {0x01, 0x02}, 2},
        {"no room reads nothing", {0xC3, 0x09}, 0, {}, 0},
        {"an empty source writes nothing", {}, 4, {}, 0},
    };
    for (const Case& c : cases) {
        TPCXRLEDecoder decoder;
        decoder.StartDecoding();
        const Decoded got = DecodeOnce(decoder, c.in, c.room);
        EXPECT_EQ(got.out, c.out) << c.what;
        EXPECT_EQ(got.consumed, c.consumed) << c.what;
    }
}

TEST(PcxRle, ARunCutByTheRowGoesOnInTheNextRow)
{
    TPCXRLEDecoder decoder;
    decoder.StartDecoding();
    const Bytes in = {0xC5, 0xAA, 0x01};
    base::ByteCursor source(in);
    Bytes row(3);
    ASSERT_EQ(decoder.Decode(source, row), 3u);
    EXPECT_EQ(row, (Bytes{0xAA, 0xAA, 0xAA}));
    ASSERT_EQ(decoder.Decode(source, row), 3u);
    EXPECT_EQ(row, (Bytes{0xAA, 0xAA, 0x01}));
    // A new load forgets what was left over.
    const Bytes again = {0xC4, 0x33};
    base::ByteCursor second(again);
    Bytes two(2);
    decoder.Decode(second, two);
    decoder.StartDecoding();
    const Bytes literal = {0x07};
    base::ByteCursor third(literal);
    Bytes one(2, 0xEE);
    EXPECT_EQ(decoder.Decode(third, one), 1u);
    EXPECT_EQ(one[0], 0x07);
}

TEST(PcxRle, HostileStreamsNeverWritePastTheDestination)
{
    std::mt19937 random(16);
    for (int round = 0; round < 2000; ++round) {
        Bytes in(random() % 64);
        for (std::uint8_t& b : in)
            b = static_cast<std::uint8_t>(random() % 3 == 0 ? 0xC0 + random() % 64 : random());
        const std::size_t room = random() % 40;
        Bytes buffer(room + 16, 0xEE);
        TPCXRLEDecoder decoder;
        decoder.StartDecoding();
        base::ByteCursor source(in);
        for (int call = 0; call < 3; ++call) {
            const std::size_t written = decoder.Decode(source, std::span<std::uint8_t>(buffer.data(), room));
            ASSERT_LE(written, room);
        }
        for (std::size_t i = room; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "round " << round;
        ASSERT_LE(source.position(), in.size());
    }
}

}  // namespace
}  // namespace scalopex::formats
