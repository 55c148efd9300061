// The LZW decoder on hand-built code streams: streams that end early or
// mid-code, surplus pixels, codes the table does not hold yet, and a table
// that fills up. Every frame is followed by guard bytes that must stay put.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "formats/gif/gif_exception.h"
#include "formats/gif/gif_lzw.h"
#include "tests/formats/gif/gif_test_util.h"

using scalopex::formats::DecodeLZW;
using scalopex::formats::GIFException;
using scalopex::formats::TLZWDecodeResult;
using scalopex::test::gif::PackCodes;

namespace {

constexpr std::uint8_t o = 0xAA;  // a pixel the data never reached
constexpr std::uint8_t kGuard = 0xEE;
constexpr std::size_t kGuardBytes = 16;

struct Frame {
    std::vector<std::uint8_t> pixels;
    TLZWDecodeResult result;
    bool guardIntact = true;
};

Frame Decode(const std::vector<std::uint8_t>& data, int codeSize, int width, int height, bool interlaced)
{
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> buffer(size, o);
    buffer.resize(size + kGuardBytes, kGuard);
    Frame f;
    f.result = DecodeLZW(data, codeSize, std::span<std::uint8_t>(buffer).first(size), width, height, interlaced);
    for (std::size_t i = size; i < buffer.size(); ++i)
        f.guardIntact = f.guardIntact && buffer[i] == kGuard;
    f.pixels.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size));
    return f;
}

// Packs codes least significant bit first with the widths the decoder
// expects: minimum code size + 1 after a clear code, one bit more once the
// next free entry no longer fits, at most 12 bits. Every code but the first
// after a clear adds one entry while the table has room.
std::vector<std::uint8_t> PackGrowing(const std::vector<int>& codes, int codeSize)
{
    const int clear = 1 << codeSize;
    int width = codeSize + 1;
    int next = clear + 2;
    bool afterClear = true;
    std::vector<std::uint8_t> out;
    std::uint64_t bits = 0;
    int count = 0;
    for (const int code : codes) {
        bits |= static_cast<std::uint64_t>(code) << count;
        count += width;
        for (; count >= 8; count -= 8, bits >>= 8)
            out.push_back(static_cast<std::uint8_t>(bits));
        if (code == clear) {
            width = codeSize + 1;
            next = clear + 2;
            afterClear = true;
            continue;
        }
        if (!afterClear && next < 4096)
            ++next;
        afterClear = false;
        if (next >= (1 << width) && width < 12)
            ++width;
    }
    if (count > 0)
        out.push_back(static_cast<std::uint8_t>(bits));
    return out;
}

std::vector<std::uint8_t> WithoutLastByte(std::vector<std::uint8_t> data)
{
    data.pop_back();
    return data;
}

}  // namespace

TEST(GifLzw, streamsThatEndEarlyKeepTheUnreachedPixels)
{
    struct Case {
        const char* name;
        int codeSize;
        std::vector<std::uint8_t> data;
        std::vector<std::uint8_t> pixels;  // a 3 x 1 frame
        bool underRun;
    };
    const Case cases[] = {
        {"zero-length data", 2, {}, {o, o, o}, true},
        {"one byte: a clear code and one pixel", 2, {0x0C}, {1, o, o}, true},
        {"one byte of a 9-bit code", 8, {0x00}, {o, o, o}, true},
        {"ends in the middle of a code", 8, WithoutLastByte(PackCodes({256, 7, 256, 9}, 9)), {7, o, o}, true},
        {"ends between codes", 8, PackCodes({256, 7, 256, 9}, 9), {7, 9, o}, true},
        {"end code before the last pixel", 2, PackCodes({4, 1, 5}, 3), {1, o, o}, false},
        {"every pixel but no code after them", 8, PackCodes({256, 1, 256, 2, 256, 3}, 9), {1, 2, 3}, true},
        {"every pixel and the end code", 8, PackCodes({256, 1, 256, 2, 256, 3, 257}, 9), {1, 2, 3}, false},
    };
    for (const Case& c : cases)
        for (const bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? ", interlaced" : ""));
            const Frame f = Decode(c.data, c.codeSize, 3, 1, interlaced);
            EXPECT_EQ(f.pixels, c.pixels);
            EXPECT_EQ(f.result.underRun, c.underRun);
            EXPECT_TRUE(f.guardIntact);
        }
}

TEST(GifLzw, surplusPixelsAreDropped)
{
    struct Case {
        const char* name;
        std::vector<int> codes;  // 3-bit codes, minimum code size 2
        int width;
        int height;
        bool interlaced;
        std::vector<std::uint8_t> pixels;
    };
    const Case cases[] = {
        {"single pixels", {4, 1, 4, 2, 4, 3, 5}, 2, 1, false, {1, 2}},
        // 1, then 6 = "1 1", then 7 = "1 1 1" of which one pixel fits.
        {"a string longer than the rest of the frame", {4, 1, 6, 7}, 4, 1, false, {1, 1, 1, 1}},
        {"a string longer than the frame", {4, 1, 6, 7}, 2, 1, false, {1, 1}},
        // Three rows arrive as rows 0, 2, 1.
        {"interlaced single pixels", {4, 1, 4, 2, 4, 3, 4, 0, 4, 1}, 1, 3, true, {1, 3, 2}},
        {"interlaced string beyond the last pass", {4, 1, 6, 7}, 1, 2, true, {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Frame f = Decode(PackCodes(c.codes, 3), 2, c.width, c.height, c.interlaced);
        EXPECT_EQ(f.pixels, c.pixels);
        EXPECT_TRUE(f.guardIntact);
    }
}

TEST(GifLzw, codesBeyondTheTableFail)
{
    std::vector<int> beyondAt12Bits = {4};
    beyondAt12Bits.insert(beyondAt12Bits.end(), 3000, 1);  // entries up to 3004, 12-bit codes by now
    beyondAt12Bits.push_back(4000);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        int width;
    };
    const Case cases[] = {
        {"two past the next free entry", PackCodes({4, 1, 7}, 3), 4},
        {"a table code right after a clear", PackCodes({4, 6}, 3), 4},
        {"a code beyond the table right after a clear", PackCodes({4, 7}, 3), 4},
        {"a table code before any clear", PackCodes({6}, 3), 4},
        {"far past the next free entry at 12 bits", PackGrowing(beyondAt12Bits, 2), 4000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t size = static_cast<std::size_t>(c.width);
        std::vector<std::uint8_t> buffer(size + kGuardBytes, kGuard);
        try {
            DecodeLZW(c.data, 2, std::span<std::uint8_t>(buffer).first(size), c.width, 1, false);
            ADD_FAILURE() << "no failure";
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), "Circular decoder table entry");
        }
        for (std::size_t i = size; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], kGuard);
    }
}

TEST(GifLzw, aFullTableKeepsDecodingTwelveBitCodes)
{
    // 5000 single pixels without a clear: the table fills at 4096 entries and
    // the codes stay 12 bits wide up to the end code.
    std::vector<int> codes = {4};
    for (int i = 0; i < 5000; ++i)
        codes.push_back(i % 4);
    codes.push_back(5);
    const Frame f = Decode(PackGrowing(codes, 2), 2, 100, 50, false);
    EXPECT_FALSE(f.result.underRun);
    EXPECT_TRUE(f.guardIntact);
    for (std::size_t i = 0; i < f.pixels.size(); ++i)
        ASSERT_EQ(f.pixels[i], i % 4) << "pixel " << i;
}

TEST(GifLzw, aFrameBufferSmallerThanTheFrameIsAProgrammingError)
{
    std::vector<std::uint8_t> small(5);
    const std::vector<std::uint8_t> data = PackCodes({4, 1, 5}, 3);
    EXPECT_THROW(DecodeLZW(data, 2, small, 3, 2, false), scalopex::base::EInternalError);
    EXPECT_THROW(DecodeLZW(data, 9, small, 1, 1, false), scalopex::base::EInternalError);
    EXPECT_FALSE(DecodeLZW(data, 2, small, 0, 2, false).underRun);  // an empty frame reads nothing
}
