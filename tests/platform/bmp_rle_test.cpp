// BMP run-length decoding on hand-built RLE8 and RLE4 streams: runs, literal
// runs, line ends, moves, data cut short, and hostile streams that must fail
// without touching anything beyond the raster.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
#include "base/exceptions.h"
#include "platform/gdi/rle.h"

using scalopex::base::ByteCursor;
using scalopex::base::EInternalError;
using scalopex::base::EInvalidGraphic;
using scalopex::gdi::TBmpRLEDecoder;

namespace {

constexpr std::uint8_t o = 0xAA;  // a byte the data never set
constexpr std::uint8_t kGuard = 0xEE;
constexpr std::size_t kGuardBytes = 16;

struct Geometry {
    int bits;
    int width;
    int height;
    std::size_t stride;
};

// 4 x 2 pixels of RLE8 and 5 x 2 of RLE4, each row padded by 2 or 3 bytes.
constexpr Geometry kRle8 {8, 4, 2, 6};
constexpr Geometry kRle4 {4, 5, 2, 8};

struct Result {
    std::vector<std::uint8_t> raster;  // height × stride bytes
    std::size_t returned = 0;
    std::size_t consumed = 0;
    std::string failure;  // the message of an EInvalidGraphic
    bool guardIntact = true;
};

// Decodes data into a raster of o bytes followed by guard bytes.
Result DecodeInto(const Geometry& g, const std::vector<std::uint8_t>& data)
{
    const std::size_t size = g.stride * static_cast<std::size_t>(g.height);
    std::vector<std::uint8_t> buffer(size, o);
    buffer.resize(size + kGuardBytes, kGuard);
    ByteCursor source(data);
    TBmpRLEDecoder decoder(g.bits, g.width, g.height, g.stride);
    Result r;
    try {
        decoder.StartDecoding();
        r.returned = decoder.Decode(source, std::span<std::uint8_t>(buffer).first(size));
        decoder.FinishDecoding();
    } catch (const EInvalidGraphic& e) {
        r.failure = e.what();
    }
    r.consumed = source.position();
    for (std::size_t i = size; i < buffer.size(); ++i)
        r.guardIntact = r.guardIntact && buffer[i] == kGuard;
    r.raster.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
    return r;
}

struct Case {
    const char* name;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> raster;  // both rows, padding included
    std::size_t returned;
};

void Check(const Geometry& g, const Case& c)
{
    SCOPED_TRACE(c.name);
    const Result r = DecodeInto(g, c.data);
    EXPECT_EQ(r.failure, "");
    EXPECT_EQ(r.raster, c.raster);
    EXPECT_EQ(r.returned, c.returned);
    EXPECT_TRUE(r.guardIntact);
}

}  // namespace

TEST(BmpRle, decodesRle8Streams)
{
    const Case cases[] = {
        {"run", {3, 7, 0, 1}, {7, 7, 7, o, o, o, /**/ o, o, o, o, o, o}, 3},
        {"run past the row end is dropped", {6, 7, 1, 8, 0, 1}, {7, 7, 7, 7, o, o, /**/ o, o, o, o, o, o}, 4},
        {"end of line", {2, 5, 0, 0, 1, 9, 0, 1}, {5, 5, o, o, o, o, /**/ 9, o, o, o, o, o}, 7},
        {"odd literal and its padding", {0, 3, 1, 2, 3, 0xFF, 1, 8, 0, 1}, {1, 2, 3, 8, o, o, /**/ o, o, o, o, o, o}, 4},
        {"even literal without padding", {0, 4, 1, 2, 3, 4, 0, 0, 1, 8, 0, 1}, {1, 2, 3, 4, o, o, /**/ 8, o, o, o, o, o}, 7},
        {"literal past the row end is dropped", {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 1, 6},
         {1, 2, 3, 4, o, o, /**/ 6, o, o, o, o, o}, 7},
        {"move", {0, 2, 2, 1, 1, 9, 0, 1}, {o, o, o, o, o, o, /**/ o, o, 9, o, o, o}, 9},
        {"move to the row end", {0, 2, 4, 0, 1, 9, 0, 0, 1, 3}, {o, o, o, o, o, o, /**/ 3, o, o, o, o, o}, 7},
        {"move to below the last row", {0, 2, 0, 2, 0, 1}, {o, o, o, o, o, o, /**/ o, o, o, o, o, o}, 0},
        {"end of bitmap stops", {1, 1, 0, 1, 1, 2}, {1, o, o, o, o, o, /**/ o, o, o, o, o, o}, 1},
        {"no end of bitmap", {1, 1, 0, 0, 4, 2}, {1, o, o, o, o, o, /**/ 2, 2, 2, 2, o, o}, 10},
        {"ends of line below the last row", {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, std::vector<std::uint8_t>(12, o), 0},
        {"zero-length data", {}, std::vector<std::uint8_t>(12, o), 0},
        {"one byte", {5}, std::vector<std::uint8_t>(12, o), 0},
        {"a lone byte after a run", {2, 4, 9}, {4, 4, o, o, o, o, /**/ o, o, o, o, o, o}, 2},
        {"literal count larger than the data", {0, 200, 1, 2}, {1, 2, o, o, o, o, /**/ o, o, o, o, o, o}, 2},
        {"literal without its padding", {0, 3, 1, 2, 3}, {1, 2, 3, o, o, o, /**/ o, o, o, o, o, o}, 3},
        {"move cut short", {1, 3, 0, 2, 1}, {3, o, o, o, o, o, /**/ o, o, o, o, o, o}, 1},
        {"literal below the last row without its data", {0, 0, 0, 0, 0, 3}, std::vector<std::uint8_t>(12, o), 0},
    };
    for (const Case& c : cases)
        Check(kRle8, c);
}

TEST(BmpRle, decodesRle4Streams)
{
    const Case cases[] = {
        {"run alternates the nibbles", {4, 0x12, 0, 1}, {1, 2, 1, 2, o, o, o, o, /**/ o, o, o, o, o, o, o, o}, 4},
        {"run past the row end is dropped", {7, 0x34, 0, 1}, {3, 4, 3, 4, 3, o, o, o, /**/ o, o, o, o, o, o, o, o}, 5},
        {"odd literal in two bytes", {0, 3, 0x12, 0x3F, 1, 0x70, 0, 1}, {1, 2, 3, 7, o, o, o, o, /**/ o, o, o, o, o, o, o, o}, 4},
        {"literal of three bytes and its padding", {0, 5, 0x12, 0x34, 0x5F, 0xFF, 0, 0, 2, 0x9A, 0, 1},
         {1, 2, 3, 4, 5, o, o, o, /**/ 9, 10, o, o, o, o, o, o}, 10},
        {"move and run", {0, 2, 3, 1, 2, 0xBC, 0, 1}, {o, o, o, o, o, o, o, o, /**/ o, o, o, 11, 12, o, o, o}, 13},
        {"literal count larger than the data", {0, 9, 0x12, 0x34}, {1, 2, 3, 4, o, o, o, o, /**/ o, o, o, o, o, o, o, o}, 4},
        {"literal cut short inside a byte pair", {0, 3, 0x12}, {1, 2, o, o, o, o, o, o, /**/ o, o, o, o, o, o, o, o}, 2},
        {"zero-length data", {}, std::vector<std::uint8_t>(16, o), 0},
        {"one byte", {0}, std::vector<std::uint8_t>(16, o), 0},
    };
    for (const Case& c : cases)
        Check(kRle4, c);
}

TEST(BmpRle, pixelsPastTheLastRowEndTheDecodingAndKeepTheRows)
{
    struct Case {
        const char* name;
        Geometry geometry;
        std::vector<std::uint8_t> data;
        std::uint8_t firstPixel;  // what the data set before it went past the raster
        std::size_t consumed;     // the source stops after the pair that would go past
    };
    const Case cases[] = {
        {"run below the last row", kRle8, {2, 5, 0, 0, 0, 0, 1, 7}, 5, 8},
        {"literal below the last row", kRle8, {2, 5, 0, 0, 0, 0, 0, 3, 1, 2, 3, 0}, 5, 8},
        {"run after a move below the last row", kRle8, {2, 5, 0, 2, 0, 2, 1, 1}, 5, 8},
        {"pixels after a full raster", kRle8, {4, 1, 0, 0, 4, 2, 0, 0, 1, 3}, 1, 10},
        {"RLE4 run below the last row", kRle4, {2, 0x55, 0, 0, 0, 0, 2, 0x11}, 5, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = DecodeInto(c.geometry, c.data);
        EXPECT_EQ(r.failure, "");
        EXPECT_TRUE(r.guardIntact);
        EXPECT_EQ(r.raster[0], c.firstPixel);
        EXPECT_EQ(r.consumed, c.consumed);
    }
}

TEST(BmpRle, movesBeyondTheRasterFailWithoutWritingOutsideIt)
{
    struct Failure {
        const char* name;
        Geometry geometry;
        std::vector<std::uint8_t> data;
    };
    const Failure cases[] = {
        {"move past the row end", kRle8, {0, 2, 5, 0}},
        {"move past the row end from inside the row", kRle8, {3, 1, 0, 2, 2, 0}},
        {"move below the raster", kRle8, {0, 2, 0, 3}},
        {"move below the raster from the second row", kRle8, {0, 0, 0, 2, 0, 2}},
        {"RLE4 move past the row end", kRle4, {0, 2, 6, 0}},
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = DecodeInto(c.geometry, c.data);
        EXPECT_EQ(r.failure, "Bitmap image is not valid");
        EXPECT_TRUE(r.guardIntact);
        for (std::size_t i = 0; i < r.raster.size(); ++i) {
            if (i % c.geometry.stride >= static_cast<std::size_t>(c.geometry.width)) {
                ASSERT_EQ(r.raster[i], o) << "padding byte " << i;
            }
        }
    }
}

TEST(BmpRle, randomStreamsNeverTouchPaddingOrBytesAfterTheRaster)
{
    // Streams of random pairs biased towards escapes: each either decodes or
    // fails as invalid, and the row padding and guard bytes stay as they were.
    std::mt19937 random(20240607);
    for (const Geometry& g : {Geometry {8, 7, 5, 9}, Geometry {4, 7, 5, 9}, Geometry {8, 1, 1, 4}}) {
        const std::size_t size = g.stride * static_cast<std::size_t>(g.height);
        for (int round = 0; round < 2000; ++round) {
            std::vector<std::uint8_t> data(random() % 64);
            for (std::size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<std::uint8_t>(random() % 3 == 0 ? random() % 4 : random() % 256);
            std::vector<std::uint8_t> buffer(size + kGuardBytes, o);
            ByteCursor source(data);
            TBmpRLEDecoder decoder(g.bits, g.width, g.height, g.stride);
            std::size_t returned = size;  // after a failure only padding and guard are checked
            try {
                returned = decoder.Decode(source, std::span<std::uint8_t>(buffer).first(size));
            } catch (const EInvalidGraphic&) {
            }
            ASSERT_LE(returned, size);
            for (std::size_t i = 0; i < buffer.size(); ++i) {
                const bool inRaster = i < size && i % g.stride < static_cast<std::size_t>(g.width);
                if (!inRaster || i >= returned) {
                    ASSERT_EQ(buffer[i], o) << "byte " << i << " of round " << round;
                } else if (g.bits == 4) {
                    ASSERT_TRUE(buffer[i] == o || buffer[i] < 16);
                }
            }
        }
    }
}

TEST(BmpRle, theSourceIsLeftAfterTheEndOfBitmap)
{
    const std::vector<std::uint8_t> data = {1, 1, 0, 1, 1, 2};
    EXPECT_EQ(DecodeInto(kRle8, data).consumed, 4u);
}

TEST(BmpRle, programmingErrorsAreInternalErrors)
{
    std::vector<std::uint8_t> small(11);
    ByteCursor source(std::span<const std::uint8_t> {});
    TBmpRLEDecoder decoder(8, 4, 2, 6);
    EXPECT_THROW(decoder.Decode(source, small), EInternalError);
    EXPECT_THROW(TBmpRLEDecoder(24, 4, 2, 12), EInternalError);
    EXPECT_THROW(TBmpRLEDecoder(8, 4, 2, 3), EInternalError);
    EXPECT_THROW(TBmpRLEDecoder(4, -1, 2, 4), EInternalError);
}
