// Writing: the exact bytes of small files worked out by hand, the layout of
// a reduced 24-bit save, transparency, and the LZW clear and sub-block rules.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::gif;
using formats::TColorReduction;
using formats::TGIFImage;
using Bytes = std::vector<std::uint8_t>;
using scalopex::test::ByteBuilder;

namespace {

Bytes Save(const core::TBitmap& bitmap)
{
    core::TMemoryStream stream;
    formats::WriteGIF(bitmap, stream);
    return stream.TakeBytes();
}

// A pf8bit bitmap with the given colour table and pixels of index(x, y).
template <typename F>
std::unique_ptr<core::TBitmap> MakeBitmap8(int width, int height, const gdi::TLogPalette& palette, F index)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf8bit);
    bitmap->SetSize(width, height);
    bitmap->SetPalette(palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap->ScanLine(y)[x] = static_cast<std::uint8_t>(index(x, y));
    return bitmap;
}

gdi::TLogPalette GreyRamp(int count)
{
    gdi::TLogPalette palette;
    for (int i = 0; i < count; ++i)
        palette.push_back(
            {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i / 2), 0});
    return palette;
}

// The data sub-blocks starting at offset: their lengths up to the terminator.
std::vector<std::size_t> SubBlockLengths(const Bytes& bytes, std::size_t offset)
{
    std::vector<std::size_t> lengths;
    while (offset < bytes.size() && bytes[offset] != 0) {
        lengths.push_back(bytes[offset]);
        offset += bytes[offset] + 1u;
    }
    return lengths;
}

}  // namespace

TEST(GifWrite, aOneBitBitmapGivesExactlyTheseBytes)
{
    // Pixels 0 1 / 1 0: clear, 0, 1, 1 at 3 bits; the table then reaches
    // code 8, so the last 0 and the end code take 4 bits.
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf1bit);
    bitmap->SetSize(2, 2);
    bitmap->ScanLine(0)[0] = 0x40;
    bitmap->ScanLine(1)[0] = 0x80;
    const Bytes expected = {'G',  'I', 'F',  '8',  '7',  'a',  2, 0, 2, 0,    0x00, 0, 0,  // header, screen
                            0x2C, 0,   0,    0,    0,    2,    0, 2, 0, 0x80,  // descriptor
                            0,    0,   0,    0xFF, 0xFF, 0xFF,  // local table
                            2,    3,   0x44, 0x02, 0x05, 0,  // image data
                            0x3B};
    EXPECT_EQ(Save(*bitmap), expected);
}

TEST(GifWrite, aTwentyFourBitBitmapIsReducedIntoOneFrameOf256Colours)
{
    std::mt19937 random(3);
    auto bitmap = test::MakeBitmap24(61, 47, [&](int x, int y) {
        return (static_cast<std::uint32_t>(x * 4) << 16 | static_cast<std::uint32_t>(y * 5) << 8 | (random() & 0x3F));
    });
    const Bytes bytes = Save(*bitmap);
    ASSERT_GT(bytes.size(), 13u + 10 + 768 + 2);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF87a");
    EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 13), (Bytes {61, 0, 47, 0, 0x77, 0, 0}));
    EXPECT_EQ(Bytes(bytes.begin() + 13, bytes.begin() + 23), (Bytes {0x2C, 0, 0, 0, 0, 61, 0, 47, 0, 0x87}));
    const auto reduced = formats::ReduceColors(*bitmap, TColorReduction::OctreeWithSystemColors);
    const gdi::TLogPalette palette = reduced->Palette();
    for (std::size_t i = 0; i < 256; ++i) {
        EXPECT_EQ(bytes[23 + 3 * i], palette[i].peRed);
        EXPECT_EQ(bytes[24 + 3 * i], palette[i].peGreen);
        EXPECT_EQ(bytes[25 + 3 * i], palette[i].peBlue);
    }
    const std::size_t data = 23 + 768;
    EXPECT_EQ(bytes[data], 8);
    // Clear code first: 256 in 9 bits.
    EXPECT_EQ(bytes[data + 2], 0x00);
    EXPECT_EQ(bytes[data + 3] & 1, 1);
    const std::vector<std::size_t> lengths = SubBlockLengths(bytes, data + 1);
    ASSERT_FALSE(lengths.empty());
    for (std::size_t i = 0; i + 1 < lengths.size(); ++i)
        EXPECT_EQ(lengths[i], 255u);
    std::size_t end = data + 1;
    for (std::size_t n : lengths)
        end += n + 1;
    EXPECT_EQ(bytes[end], 0);
    EXPECT_EQ(end + 2, bytes.size());
    EXPECT_EQ(bytes.back(), 0x3B);

    // The frame holds the reduction's indices.
    const Decoded d = Decode(bytes);
    const auto frame = d.image->Images()[0]->Data();
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 61; ++x)
            ASSERT_EQ(frame[static_cast<std::size_t>(y * 61 + x)], reduced->ScanLineRead(y)[x]) << x << "," << y;
}

TEST(GifWrite, aTransparentBitmapGetsAnEntryAfterItsUsedColours)
{
    // A x6, B x4, C x3 and W x2, W in the bottom-left corner. Sorted by use:
    // A, B, C, W; black is appended as entry 4 and W's pixels point to it.
    constexpr std::uint32_t A = 0x0A141E, B = 0xC86432, C = 0x0080FF, W = 0xFFFFFF;
    const std::uint32_t rows[3][5] = {{A, A, A, A, B}, {A, A, B, B, B}, {W, C, C, C, W}};
    auto bitmap = test::MakeBitmap24(5, 3, [&](int x, int y) { return rows[y][x]; });
    bitmap->SetTransparent(true);
    const Bytes expected = {'G',  'I',  'F',  '8',  '9',  'a',  5,    0,    3,    0,    0x22, 0,
                            0,    0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x04, 0x00,  // graphic control, index 4
                            0x2C, 0,    0,    0,    0,    5,    0,    3,    0,    0x82,  // descriptor, 8 entries, not sorted
                            0x0A, 0x14, 0x1E, 0xC8, 0x64, 0x32, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF,
                            0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,  // black, then padding
                            3,    8,    0x08, 0x0A, 0xA1, 0xF1, 0x44, 0x48, 0x92, 0x00, 0,    0x3B};
    EXPECT_EQ(Save(*bitmap), expected);

    const Decoded d = Decode(expected);
    const auto data = d.image->Images()[0]->Data();
    EXPECT_EQ(Bytes(data.begin(), data.end()), (Bytes {0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 4, 2, 2, 2, 4}));
    EXPECT_FALSE(d.image->Transparent());
}

TEST(GifWrite, aTransparentFrameUsingAll256ColoursStaysOpaqueButSorted)
{
    // Index i is used 1 + (i * 7) % 23 times; all 256 entries are in use.
    std::vector<int> pixels;
    for (int i = 0; i < 256; ++i)
        pixels.insert(pixels.end(), static_cast<std::size_t>(1 + (i * 7) % 23), i);
    pixels.resize(64 * 48, 0);
    const gdi::TLogPalette palette = GreyRamp(256);
    auto bitmap = MakeBitmap8(64, 48, palette, [&](int x, int y) { return pixels[static_cast<std::size_t>(y * 64 + x)]; });
    bitmap->SetTransparent(true);
    const Bytes bytes = Save(*bitmap);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    EXPECT_EQ(bytes[13], 0x2C) << "no graphic control extension";
    EXPECT_EQ(bytes[22], 0xA7) << "256 entries, sorted";

    // Entry k of the written table is used no less than entry k + 1, and
    // every pixel keeps its colour.
    const Decoded d = Decode(bytes);
    const auto& frame = *d.image->Images()[0];
    std::vector<int> uses(256, 0);
    for (std::uint8_t p : frame.Data())
        ++uses[p];
    for (int k = 0; k + 1 < 256; ++k)
        EXPECT_GE(uses[static_cast<std::size_t>(k)], uses[static_cast<std::size_t>(k) + 1]) << k;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const formats::TGIFColor c = frame.ColorMap()[frame.Data()[i]];
        ASSERT_EQ(c.Red, palette[static_cast<std::size_t>(pixels[i])].peRed) << i;
    }
}

TEST(GifWrite, transparencyWithoutAnyPixelOfTheColourLeavesAPlainFile)
{
    auto bitmap = test::MakeBitmap24(4, 4, [](int x, int) { return x < 2 ? 0x102030u : 0x405060u; });
    bitmap->SetTransparent(true);
    bitmap->SetTransparentColor(0x00FF00);  // no such pixel
    const Bytes bytes = Save(*bitmap);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF87a");
    EXPECT_EQ(bytes[13], 0x2C);
    EXPECT_EQ(bytes[22], 0x80) << "two used colours, no sort flag";
}

TEST(GifWrite, oneColourOf70By70NeedsNoClearCodeAfterTheFirst)
{
    // Strings of 1, 2, ... 98 pixels and a last one of 49: 99 codes, with the
    // clear and end codes 101 codes of 9 bits, 114 bytes in one sub-block.
    auto bitmap = test::MakeBitmap24(70, 70, [](int, int) { return 0x336699u; });
    const Bytes bytes = Save(*bitmap);
    const std::size_t data = 23 + 768;
    EXPECT_EQ(bytes[data], 8);
    EXPECT_EQ(SubBlockLengths(bytes, data + 1), (std::vector<std::size_t> {114}));
    EXPECT_EQ(bytes.size(), data + 1 + 1 + 114 + 1 + 1);
}

TEST(GifWrite, theTableIsClearedWhenItsNextFreeCodeReaches4095)
{
    // Every neighbouring pair of pixels is new, so each pixel costs one code
    // and one table entry: 254 codes of 9 bits after the clear, 512 of 10,
    // 1024 of 11, 2047 of 12 up to next free code 4095, then a 12-bit clear,
    // the last pixel and the end code at 9 bits: 43282 bits, 5411 bytes.
    // Walks of 256 steps of an odd stride d = 1, 3, 5, ...: each walk visits
    // every value once, and pairs of different strides differ.
    std::vector<int> pixels {0};
    for (int d = 1; pixels.size() < 3839; d += 2)
        for (int step = 0; step < 256 && pixels.size() < 3839; ++step)
            pixels.push_back((pixels.back() + d) & 255);
    std::set<std::pair<int, int>> pairs;
    for (std::size_t i = 1; i < pixels.size(); ++i)
        ASSERT_TRUE(pairs.insert({pixels[i - 1], pixels[i]}).second) << i;
    auto bitmap = MakeBitmap8(3839, 1, GreyRamp(256), [&](int x, int) { return pixels[static_cast<std::size_t>(x)]; });
    const Bytes bytes = Save(*bitmap);
    const std::size_t data = 23 + 768;
    std::vector<std::size_t> expected(21, 255);
    expected.push_back(5411 - 21 * 255);
    EXPECT_EQ(SubBlockLengths(bytes, data + 1), expected);

    const Decoded d = Decode(bytes);
    const auto frame = d.image->Images()[0]->Data();
    EXPECT_EQ(std::vector<int>(frame.begin(), frame.end()), pixels);
}

TEST(GifWrite, indexedBitmapsKeepTheirTableAndIndices)
{
    const gdi::TLogPalette palette = GreyRamp(16);
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf4bit);
    bitmap->SetSize(5, 3);
    bitmap->SetPalette(palette);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            std::uint8_t& byte = bitmap->ScanLine(y)[x / 2];
            const int v = (x * 3 + y * 5) & 15;
            byte = static_cast<std::uint8_t>((x & 1) ? (byte & 0xF0) | v : (byte & 0x0F) | (v << 4));
        }
    const Decoded d = Decode(Save(*bitmap));
    const auto& frame = *d.image->Images()[0];
    EXPECT_EQ(frame.ColorMap().Count(), 16);
    EXPECT_EQ(frame.ColorMap().Palette(), palette);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(frame.Data()[static_cast<std::size_t>(y * 5 + x)], (x * 3 + y * 5) & 15);
}

TEST(GifWrite, aPixelBeyondTheColourTableFails)
{
    auto bitmap = MakeBitmap8(3, 1, GreyRamp(4), [](int x, int) { return x == 2 ? 9 : x; });
    try {
        Save(*bitmap);
        FAIL();
    } catch (const formats::GIFException& e) {
        EXPECT_STREQ(e.what(), "Color not in color table");
    }
}

TEST(GifWrite, emptyImagesAndOversizedBitmaps)
{
    core::TBitmap empty;
    EXPECT_EQ(Save(empty), (Bytes {'G', 'I', 'F', '8', '7', 'a', 0, 0, 0, 0, 0x77, 0, 0, 0x3B}));

    TGIFImage none;
    try {
        none.SaveToBytes();
        FAIL();
    } catch (const formats::GIFException& e) {
        EXPECT_STREQ(e.what(), "Unsupported GIF version");
    }

    // The 16-bit size fields cannot hold 65536: refused, not truncated.
    auto wide = test::MakeBitmap24(65536, 1, [](int, int) { return 0u; });
    TGIFImage gif;
    EXPECT_THROW(gif.Assign(wide.get()), formats::GIFException);
}

TEST(GifWrite, aGlobalTableSmallerThanALocalOneKeepsItsOwnSizeCode)
{
    // A 2-entry global table and a frame with a 4-entry local table: the
    // header's size code must give the 2 entries written, or a reader takes
    // the frame's first bytes as colours and finds no frame.
    ByteBuilder b = GifHeader(2, 1, {0x000000, 0xFFFFFF});
    ImageDescriptor(b, 0, 0, 2, 1, 0x81);
    b.bytes({0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0});
    ImageData2(b, {3, 1});
    b.u8(0x3B);
    const Decoded original = Decode(b.take());
    ASSERT_EQ(original.image->Header().ColorMap().Count(), 2);

    const Bytes written = original.image->SaveToBytes();
    ASSERT_GT(written.size(), 13u);
    EXPECT_EQ(written[10], 0x90);  // table present, resolution 2 bits, 2 entries
    const Decoded reread = Decode(written);
    EXPECT_TRUE(reread.warnings.empty());
    ASSERT_EQ(reread.image->Images().size(), 1u);
    EXPECT_EQ(reread.image->Header().ColorMap().Count(), 2);
    const auto& frame = *reread.image->Images()[0];
    EXPECT_EQ(frame.ColorMap().Count(), 4);
    EXPECT_EQ(Bytes(frame.Data().begin(), frame.Data().end()), (Bytes{3, 1}));
    EXPECT_EQ(Pixels(*Draw(*reread.image)), (std::vector<std::uint32_t>{0x000000, 0x00FF00}));
}

TEST(GifWrite, theSourceBitmapIsLeftUnchanged)
{
    auto source =
        test::MakeBitmap24(9, 4, [](int x, int y) { return static_cast<std::uint32_t>(x * 0x1C0000 + y * 0x3000 + 7); });
    core::TBitmap deep;
    deep.Assign(source.get());
    deep.SetPixelFormat(core::pf32bit);
    deep.SetTransparent(true);
    const Bytes fromDeep = Save(deep);
    EXPECT_EQ(deep.PixelFormat(), core::pf32bit);
    source->SetTransparent(true);
    EXPECT_EQ(fromDeep, Save(*source));
}

TEST(GifWrite, theClassDefaultIsTheWebCubeAndTheSavingSequenceUsesTheOctree)
{
    TGIFImage gif;
    EXPECT_EQ(gif.GifReduction(), TColorReduction::WebCube);
    auto bitmap = test::MakeBitmap24(2, 1, [](int x, int) { return x ? 0x123456u : 0x654321u; });
    gif.Assign(bitmap.get());
    EXPECT_EQ(gif.Images()[0]->ColorMap().Palette()[1], (gdi::TPaletteEntry {0, 0, 51, 0}));
    const Decoded d = Decode(Save(*bitmap));
    EXPECT_EQ(d.image->Images()[0]->ColorMap().Palette()[9], gdi::DefaultPalette()[9]);
}

TEST(GifWrite, aReadFileIsWrittenBackAsItWasRead)
{
    // Our own transparent file survives reading, copying and writing.
    auto bitmap = test::MakeBitmap24(
        7, 5, [](int x, int y) { return (x + y) % 3 == 0 ? 0xFFFFFFu : static_cast<std::uint32_t>(x * 30 << 8 | y * 50); });
    bitmap->SetTransparent(true);
    const Bytes first = Save(*bitmap);
    const Decoded d = Decode(first);
    TGIFImage copy;
    copy.Assign(d.image.get());
    EXPECT_EQ(copy.SaveToBytes(), first);
}

TEST(GifWrite, anInterlacedFrameIsWrittenInRowOrderWithoutTheInterlaceFlag)
{
    ByteBuilder b = GifHeader(1, 8, {0x000000, 0x111111, 0x222222, 0x333333});
    ImageDescriptor(b, 0, 0, 1, 8, 0x40);
    ImageData2(b, {0, 1, 2, 3, 0, 1, 2, 3});
    const Decoded d = Decode(b.u8(0x3B).take());
    const Bytes written = d.image->SaveToBytes();
    const std::size_t descriptor = 13 + 12;
    ASSERT_EQ(written[descriptor], 0x2C);
    EXPECT_EQ(written[descriptor + 9] & 0x40, 0);
    EXPECT_EQ(Pixels(*Draw(*Decode(written).image)), Pixels(*Draw(*d.image)));
}
