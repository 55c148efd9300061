// The byte cursor and the bit reader: every read inside the data, every read
// past it refused, whatever the counts say.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/bit_reader.h"
#include "base/byte_cursor.h"
#include "base/exceptions.h"

using namespace scalopex::base;

TEST(ByteCursor, ReadsFixedAndDeclaredByteOrders)
{
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
    ByteCursor in(data);
    EXPECT_EQ(in.u16le(), 0x0201);
    EXPECT_EQ(in.u32be(), 0x03040506u);
    EXPECT_EQ(in.u24le(), 0x090807u);
    EXPECT_EQ(in.u24be(), 0x0A0B0Cu);
    EXPECT_EQ(in.peek(), 0x0D);
    EXPECT_EQ(in.position(), 12u);  // peeking does not move

    ByteCursor declared(data);
    EXPECT_EQ(declared.u16(), 0x0201);  // little-endian until told otherwise
    declared.setByteOrder(ByteOrder::BigEndian);
    EXPECT_EQ(declared.u16(), 0x0304);
    EXPECT_EQ(declared.u24(), 0x050607u);
    EXPECT_EQ(declared.u32(), 0x08090A0Bu);
    declared.seek(0);
    ByteCursor child = declared.sub(4);  // a chunk keeps its parent's order
    EXPECT_EQ(child.u32(), 0x01020304u);

    const std::uint8_t negative[] = {0xFF, 0xFF, 0xFE, 0x80, 0x00, 0x00, 0x00};
    ByteCursor signedValues(negative);
    EXPECT_EQ(signedValues.i8(), -1);
    EXPECT_EQ(signedValues.i16be(), -2);
    EXPECT_EQ(signedValues.i32be(), INT32_MIN);
}

TEST(ByteCursor, RefusesEveryReadPastTheEndWithoutMoving)
{
    const std::uint8_t one[] = {0x2A};
    ByteCursor in(one);
    EXPECT_THROW(in.u16le(), EReadError);
    EXPECT_THROW(in.u24be(), EReadError);
    EXPECT_THROW(in.u32le(), EReadError);
    EXPECT_THROW(in.bytes(2), EReadError);
    EXPECT_THROW(in.skip(2), EReadError);
    EXPECT_THROW(in.sub(2), EReadError);
    EXPECT_THROW(in.seek(2), EReadError);
    EXPECT_EQ(in.position(), 0u);
    EXPECT_EQ(in.u8(), 0x2A);
    EXPECT_THROW(in.peek(), EReadError);
    EXPECT_THROW(in.u8(), EReadError);
    EXPECT_TRUE(in.atEnd());

    ByteCursor empty(std::span<const std::uint8_t>{});
    EXPECT_THROW(empty.u8(), EReadError);
    EXPECT_EQ(empty.bytesUpTo(100).size(), 0u);
    EXPECT_NO_THROW(empty.seek(0));

    // Counts far beyond the data, as a hostile length field gives them.
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6};
    ByteCursor lengths(data);
    lengths.u8();
    EXPECT_THROW(lengths.bytes(SIZE_MAX), EReadError);
    EXPECT_THROW(lengths.skip(SIZE_MAX - 1), EReadError);
    EXPECT_THROW(lengths.seek(SIZE_MAX), EReadError);
    EXPECT_EQ(lengths.bytesUpTo(SIZE_MAX).size(), 5u);
}

TEST(ByteCursor, SubCursorIsLimitedToItsChunk)
{
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6};
    ByteCursor in(data);
    ByteCursor chunk = in.sub(2);
    EXPECT_EQ(chunk.u16le(), 0x0201);
    EXPECT_THROW(chunk.u8(), EReadError);
    EXPECT_EQ(in.u8(), 3);
    EXPECT_THROW(in.sub(4), EReadError);
    EXPECT_EQ(in.rest().size(), 3u);
}

TEST(ByteCursor, SkipToFindsTheNextByteOrStopsAtTheEnd)
{
    const std::uint8_t data[] = {0x00, 0xFF, 0x12, 0xFF};
    ByteCursor in(data);
    EXPECT_TRUE(in.skipTo(0xFF));
    EXPECT_EQ(in.position(), 1u);
    EXPECT_TRUE(in.skipTo(0xFF));  // already there
    EXPECT_EQ(in.position(), 1u);
    in.u8();
    EXPECT_TRUE(in.skipTo(0xFF));
    EXPECT_EQ(in.position(), 3u);
    in.u8();
    EXPECT_FALSE(in.skipTo(0xFF));
    EXPECT_TRUE(in.atEnd());
}

TEST(ByteCursor, SkipPrefixMovesOnlyPastAWholeMatch)
{
    const std::uint8_t data[] = {0xEF, 0xBB, 0xBF, 0x41};
    ByteCursor in(data);
    EXPECT_FALSE(in.skipPrefix({0xFF, 0xFE}));
    EXPECT_FALSE(in.skipPrefix({0xEF, 0xBB, 0xBE}));  // the last byte differs
    EXPECT_EQ(in.position(), 0u);
    EXPECT_TRUE(in.skipPrefix({0xEF, 0xBB, 0xBF}));
    EXPECT_EQ(in.position(), 3u);
    EXPECT_FALSE(in.skipPrefix({0x41, 0x42}));  // longer than what is left
    EXPECT_TRUE(in.skipPrefix({}));
    EXPECT_EQ(in.u8(), 0x41);
}

TEST(ByteCursor, UsesTheHandlerGivenForShortReads)
{
    const std::uint8_t data[] = {1};
    ByteCursor in(data, [] { throw EInvalidGraphic("Cannot load image. Invalid or unexpected TGA image format."); });
    EXPECT_THROW(in.u32le(), EInvalidGraphic);
    EXPECT_THROW(in.seek(5), EInvalidGraphic);
    // A handler that returns still ends the read.
    ByteCursor lenient(data, [] {});
    EXPECT_THROW(lenient.u16le(), EReadError);
}

TEST(BitReader, ReadsMostSignificantBitFirst)
{
    const std::uint8_t data[] = {0b1011'0010, 0b0111'1111, 0x80};
    BitReader in(data, BitOrder::MsbFirst);
    EXPECT_EQ(in.Read(1), 1u);
    EXPECT_EQ(in.Read(3), 0b011u);
    EXPECT_EQ(in.Read(6), 0b0010'01u);  // across the byte boundary
    EXPECT_EQ(in.BytePosition(), 2u);
    in.AlignToByte();
    EXPECT_EQ(in.Read(8), 0x80u);
    EXPECT_TRUE(in.AtEnd());
}

TEST(BitReader, ReadsLeastSignificantBitFirstAsGifCodesArePacked)
{
    // Codes 0x104, 0x005, 0x1FF of 9 bits, packed from the low end.
    const std::uint32_t codes[] = {0x104, 0x005, 0x1FF};
    std::vector<std::uint8_t> bytes;
    std::uint64_t acc = 0;
    unsigned bits = 0;
    for (std::uint32_t c : codes) {
        acc |= std::uint64_t{c} << bits;
        bits += 9;
    }
    for (unsigned i = 0; i < (bits + 7) / 8; ++i)
        bytes.push_back(static_cast<std::uint8_t>(acc >> (8 * i)));
    BitReader in(bytes, BitOrder::LsbFirst);
    for (std::uint32_t c : codes)
        EXPECT_EQ(in.Read(9), c);
    EXPECT_EQ(in.BitsLeft(), 5u);
}

TEST(BitReader, WideFieldsAndLongDataStayExact)
{
    std::vector<std::uint8_t> data(64);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (const BitOrder order : {BitOrder::MsbFirst, BitOrder::LsbFirst}) {
        BitReader in(data, order);
        // 13-bit and 32-bit fields over 512 bits, checked against a plain bit walk.
        std::size_t bit = 0;
        auto walk = [&](unsigned width) {
            std::uint32_t v = 0;
            for (unsigned k = 0; k < width; ++k, ++bit) {
                const unsigned b = order == BitOrder::MsbFirst ? (data[bit / 8] >> (7 - bit % 8)) & 1
                                                               : (data[bit / 8] >> (bit % 8)) & 1;
                if (order == BitOrder::MsbFirst)
                    v = (v << 1) | b;
                else
                    v |= b << k;
            }
            return v;
        };
        while (in.BitsLeft() >= 45) {
            EXPECT_EQ(in.Read(13), walk(13));
            EXPECT_EQ(in.Read(32), walk(32));
        }
    }
}

TEST(BitReader, ShortDataIsRefusedAndNothingBeyondItIsRead)
{
    const std::uint8_t one[] = {0xA5};
    BitReader in(one, BitOrder::MsbFirst);
    std::uint32_t value = 99;
    EXPECT_FALSE(in.TryRead(9, value));  // 8 bits are there, 9 are asked
    EXPECT_EQ(value, 99u);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_THROW(in.Read(1), EReadError);

    BitReader empty(std::span<const std::uint8_t>{}, BitOrder::LsbFirst);
    EXPECT_FALSE(empty.TryRead(1, value));
    EXPECT_THROW(empty.Read(1), EReadError);

    BitReader custom(one, BitOrder::LsbFirst, [] { throw EInvalidGraphic("cut short"); });
    custom.Read(8);
    EXPECT_THROW(custom.Read(1), EInvalidGraphic);
}
