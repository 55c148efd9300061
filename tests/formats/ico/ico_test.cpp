// The icon reader on icon files built here: BMP entries of every depth with
// their AND masks, PNG entries, the choice between entries, and bad
// directories.

#include "formats/ico/ico_graphic.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "tests/support/byte_builder.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;
using test::PixelRGB;

using test::ErrorOf;

// A BMP entry of width x height: info header (height doubled), colour
// table, pixels bottom row first, then the AND mask. index(x, y) is a
// palette index for depths up to 8, else 0xAARRGGBB; masked(x, y) sets
// the mask bit.
Bytes BmpEntry(int width, int height, unsigned depth, const std::vector<std::uint32_t>& table,
               const std::function<std::uint32_t(int, int)>& pixel, const std::function<bool(int, int)>& masked)
{
    ByteBuilder b;
    b.u32le(40)
        .u32le(static_cast<std::uint32_t>(width))
        .u32le(static_cast<std::uint32_t>(2 * height))
        .u16le(1)
        .u16le(depth);
    b.u32le(0).u32le(0).u32le(0).u32le(0).u32le(static_cast<std::uint32_t>(table.size())).u32le(0);
    for (const std::uint32_t c : table)
        b.u32le(c & 0xFFFFFF);  // blue, green, red, 0
    const std::size_t stride = (static_cast<std::size_t>(width) * depth + 31) / 32 * 4;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(stride, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (depth <= 8) {
                const std::size_t bit = static_cast<std::size_t>(x) * depth;
                row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (v << (8 - depth - bit % 8)));
            } else {
                for (unsigned k = 0; k < depth / 8; ++k)
                    row[static_cast<std::size_t>(x) * depth / 8 + k] = static_cast<std::uint8_t>(v >> (8 * k));
            }
        }
        b.bytes(row);
    }
    const std::size_t maskStride = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(maskStride, 0);
        for (int x = 0; x < width; ++x)
            if (masked(x, y))
                row[static_cast<std::size_t>(x) / 8] =
                    static_cast<std::uint8_t>(row[static_cast<std::size_t>(x) / 8] | (0x80 >> (x % 8)));
        b.bytes(row);
    }
    return b.take();
}

void Chunk(ByteBuilder& b, const char* type, const Bytes& data)
{
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    b.u32be(static_cast<std::uint32_t>(data.size())).bytes(typed);
    b.u32be(static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// A PNG of 8-bit RGBA pixels 0xAARRGGBB.
Bytes PngEntry(int width, int height, const std::function<std::uint32_t(int, int)>& pixel)
{
    Bytes raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            raw.insert(raw.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 24)});
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    packed.resize(size);
    ByteBuilder b;
    b.bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    ByteBuilder ihdr;
    ihdr.u32be(static_cast<std::uint32_t>(width))
        .u32be(static_cast<std::uint32_t>(height))
        .u8(8)
        .u8(6)
        .u8(0)
        .u8(0)
        .u8(0);
    Chunk(b, "IHDR", ihdr.take());
    Chunk(b, "IDAT", packed);
    Chunk(b, "IEND", {});
    return b.take();
}

// An icon directory of type over the entries, which follow it in order.
Bytes Icon(const std::vector<Bytes>& entries, std::uint16_t type = 1)
{
    ByteBuilder b;
    b.u16le(0).u16le(type).u16le(static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const Bytes& e : entries) {
        // The stated size and depth are wrong on purpose: the entry's own header counts.
        b.u8(1).u8(1).u8(0).u8(0).u16le(1).u16le(1).u32le(static_cast<std::uint32_t>(e.size())).u32le(offset);
        offset += static_cast<std::uint32_t>(e.size());
    }
    for (const Bytes& e : entries)
        b.bytes(e);
    return b.take();
}

void Load(TIcon& icon, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    icon.LoadFromStream(stream);
}

std::uint8_t Alpha(const TIcon& icon, int x, int y)
{
    return icon.ScanLineRead(y)[4 * x + 3];
}

const auto kNoMask = [](int, int) { return false; };

std::uint32_t Colours(int x, int y)
{
    return static_cast<std::uint32_t>(0x102030 + x * 0x200000 + y * 0x000700);
}

TEST(IcoReader, BmpEntriesOfEveryDepthGiveTheirColours)
{
    const std::vector<std::uint32_t> table = {0x000000, 0xFFFFFF, 0x123456, 0xABCDEF, 0x00FF00, 0xFF0000,
                                              0x0000FF, 0x808080, 0x111111, 0x222222, 0x333333, 0x444444,
                                              0x555555, 0x666666, 0x777777, 0x999999};
    struct Case {
        unsigned depth;
        std::function<std::uint32_t(int, int)> pixel;
        std::function<std::uint32_t(int, int)> expected;
    } cases[] = {
        {1, [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 2); },
         [&](int x, int y) { return table[(x + y) % 2]; }},
        {4, [](int x, int y) { return static_cast<std::uint32_t>((x * 3 + y) % 16); },
         [&](int x, int y) { return table[(x * 3 + y) % 16]; }},
        {8, [](int x, int y) { return static_cast<std::uint32_t>((x + 5 * y) % 16); },
         [&](int x, int y) { return table[(x + 5 * y) % 16]; }},
        {24, Colours, Colours},
    };
    for (const Case& c : cases) {
        // 9 pixels wide: padded rows for every depth, a mask row of 2 bytes used.
        const std::vector<std::uint32_t> used(table.begin(), table.begin() + (c.depth == 1    ? 2
                                                                              : c.depth == 24 ? 0
                                                                                              : 16));
        TIcon icon;
        Load(icon, Icon({BmpEntry(9, 3, c.depth, used, c.pixel, kNoMask)}));
        ASSERT_EQ(icon.Width(), 9) << c.depth;
        ASSERT_EQ(icon.Height(), 3) << c.depth;  // without the mask's half
        EXPECT_EQ(icon.PixelFormat(), core::pf32bit);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 9; ++x) {
                EXPECT_EQ(PixelRGB(icon, x, y), c.expected(x, y) & 0xFFFFFF) << c.depth << " at " << x << ", " << y;
                EXPECT_EQ(Alpha(icon, x, y), 255) << c.depth << " at " << x << ", " << y;
            }
    }
}

TEST(IcoReader, TheAndMaskMakesPixelsTransparentAndTheyShowWhite)
{
    const auto masked = [](int x, int y) { return x == 1 || (x == 8 && y == 2); };
    const Bytes file = Icon({BmpEntry(
        9, 3, 24, {}, [](int, int) { return 0x000000u; }, masked)});
    TIcon icon;
    Load(icon, file);
    EXPECT_TRUE(icon.HasAlpha());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(Alpha(icon, x, y), masked(x, y) ? 0 : 255) << x << ", " << y;

    // Opened as the program opens files, the masked pixels are white.
    test::TempDir dir;
    test::WriteBytes(dir.file("masked.ico"), file);
    const test::TPixmap shown = test::corpus::DecodeAsBitmap(dir.file("masked.ico"));
    ASSERT_EQ(shown.width, 9);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(shown.At(x, y)[0], masked(x, y) ? 255 : 0) << x << ", " << y;
}

TEST(IcoReader, ThirtyTwoBitEntriesCarryTheirOwnAlpha)
{
    // Alpha in the pixels wins over the mask; all-zero alpha means the mask decides.
    TIcon icon;
    Load(icon, Icon({BmpEntry(
                   2, 1, 32, {}, [](int x, int) { return x == 0 ? 0x80112233u : 0xFF445566u; },
                   [](int, int) { return true; })}));
    EXPECT_EQ(Alpha(icon, 0, 0), 0x80);
    EXPECT_EQ(Alpha(icon, 1, 0), 0xFF);
    EXPECT_EQ(PixelRGB(icon, 1, 0), 0x445566u);
    Load(icon, Icon({BmpEntry(
                   2, 1, 32, {}, [](int, int) { return 0x00112233u; }, [](int x, int) { return x == 1; })}));
    EXPECT_EQ(Alpha(icon, 0, 0), 0xFF);
    EXPECT_EQ(Alpha(icon, 1, 0), 0);
}

TEST(IcoReader, PngEntriesAreReadByThePngReader)
{
    const auto pixel = [](int x, int y) { return (x + y) % 3 == 0 ? 0x00000000u : 0xFF000000u | Colours(x, y); };
    TIcon icon;
    Load(icon, Icon({PngEntry(5, 4, pixel)}));
    ASSERT_EQ(icon.Width(), 5);
    ASSERT_EQ(icon.Height(), 4);
    EXPECT_EQ(icon.ImageDescription.Compression, CompressionKind::LZ77);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(Alpha(icon, x, y), pixel(x, y) >> 24) << x << ", " << y;
            if (pixel(x, y) >> 24 != 0) {
                EXPECT_EQ(PixelRGB(icon, x, y), Colours(x, y)) << x << ", " << y;
            }
        }
}

TEST(IcoReader, TheLargestThenTheDeepestEntryIsChosen)
{
    const std::vector<std::uint32_t> grey = {0x808080, 0x808080};
    const auto one = [](int, int) { return 1u; };
    const Bytes small24 = BmpEntry(
        4, 4, 24, {}, [](int, int) { return 0x0000FFu; }, kNoMask);
    const Bytes large1 = BmpEntry(16, 16, 1, grey, one, kNoMask);
    const Bytes large24 = BmpEntry(
        16, 16, 24, {}, [](int, int) { return 0x00FF00u; }, kNoMask);
    const Bytes largePng = PngEntry(32, 32, [](int, int) { return 0xFFFF0000u; });
    Bytes hugePng = largePng;  // IHDR: 3907578088 x 3907578088, more than any image holds
    std::fill(hugePng.begin() + 16, hugePng.begin() + 24, 0xE8);
    struct Case {
        const char* what;
        std::vector<Bytes> entries;
        int width;
        std::uint32_t colour;
    } cases[] = {
        {"the larger of two", {small24, large1}, 16, 0x808080},
        {"the deeper of two the same size", {large1, large24, small24}, 16, 0x00FF00},
        {"the first of equals",
         {large24, BmpEntry(
                       16, 16, 24, {}, [](int, int) { return 0x0000FFu; }, kNoMask)},
         16,
         0x00FF00},
        {"a PNG larger than the BMP", {large24, largePng, small24}, 32, 0xFF0000},
        {"an entry whose data are no image is passed over", {large24, Bytes(40, 0xEE)}, 16, 0x00FF00},
        {"a PNG header beyond 2^31 pixels a side is passed over", {hugePng, large24}, 16, 0x00FF00},
    };
    for (const Case& c : cases) {
        TIcon icon;
        Load(icon, Icon(c.entries));
        EXPECT_EQ(icon.Width(), c.width) << c.what;
        EXPECT_EQ(PixelRGB(icon, 1, 1), c.colour) << c.what;
        EXPECT_EQ(icon.ImageDescription.ImageTotal, static_cast<std::int16_t>(c.entries.size())) << c.what;
    }
}

TEST(IcoReader, CursorsAreReadLikeIcons)
{
    TIcon icon;
    Load(icon, Icon({BmpEntry(2, 2, 24, {}, Colours, kNoMask)}, 2));
    EXPECT_EQ(PixelRGB(icon, 1, 1), Colours(1, 1));
}

TEST(IcoReader, BadDirectoriesAndEntriesFailWithMessages)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected ICO image format.";
    const Bytes good = Icon({BmpEntry(2, 2, 24, {}, Colours, kNoMask)});
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        std::string message;
    } cases[] = {
        {"reserved word set", [](Bytes& f) { f[0] = 1; }, invalid},
        {"type 3", [](Bytes& f) { f[2] = 3; }, invalid},
        {"no entries", [](Bytes& f) { f[4] = 0; }, invalid},
        {"more entries than the directory holds", [](Bytes& f) { f[4] = 200; }, "Stream read error"},
        {"the only offset outside the file", [](Bytes& f) { f[6 + 12 + 3] = 0x7F; }, invalid},
        {"an unknown info header size",
         [](Bytes& f) {
             f[22] = 41;
             f[23] = 1;
         },
         invalid},
        {"zero width", [](Bytes& f) { f[22 + 4] = 0; }, invalid},
        {"a depth of 7", [](Bytes& f) { f[22 + 14] = 7; }, invalid},
        {"the directory alone", [](Bytes& f) { f.resize(22); }, invalid},
        {"pixels cut short", [](Bytes& f) { f.resize(22 + 40 + 4); }, "(no error)"},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        c.change(file);
        TIcon icon;
        EXPECT_EQ(ErrorOf([&] { Load(icon, file); }), c.message) << c.what;
    }
}

TEST(IcoReader, APngEntryBeyondTheLimitsIsRefusedBeforeAllocating)
{
    Bytes png = PngEntry(1, 1, [](int, int) { return 0xFF000000u; });
    // IHDR width and height 60000 x 60000, the chunk's checksum made right again.
    for (int k : {16, 20}) {
        png[static_cast<std::size_t>(k) + 2] = 0xEA;
        png[static_cast<std::size_t>(k) + 3] = 0x60;
        png[static_cast<std::size_t>(k)] = png[static_cast<std::size_t>(k) + 1] = 0;
    }
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17));
    for (int k = 0; k < 4; ++k)
        png[29 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
    TIcon icon;
    EXPECT_NE(ErrorOf([&] { Load(icon, Icon({png})); }), "(no error)");
    EXPECT_EQ(icon.Width(), 0);
}

TEST(IcoContentTest, NeedsADirectoryOfOneEntryOrMore)
{
    const Bytes file = Icon({BmpEntry(2, 2, 24, {}, Colours, kNoMask)});
    struct Case {
        const char* what;
        Bytes bytes;
        bool expected;
    } cases[] = {
        {"an icon", file, true},
        {"a cursor",
         [&] {
             Bytes f = file;
             f[2] = 2;
             return f;
         }(),
         true},
        {"no entries",
         [&] {
             Bytes f = file;
             f[4] = 0;
             return f;
         }(),
         false},
        {"type 0",
         [&] {
             Bytes f = file;
             f[2] = 0;
             return f;
         }(),
         false},
        {"the directory cut short", Bytes(file.begin(), file.begin() + 21), false},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(c.bytes);
        TIcon icon;
        EXPECT_EQ(icon.CanLoadStream(stream), c.expected) << c.what;
        EXPECT_EQ(stream.Position(), 0u) << c.what;
    }
}

}  // namespace
}  // namespace scalopex::formats
