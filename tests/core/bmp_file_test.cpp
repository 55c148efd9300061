// BMP file images built byte by byte: header forms, colour tables, masks,
// run-length data, short and broken files, and the writer's exact output.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/bmp_file.h"
#include "core/stream.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;
using namespace scalopex::core;
using scalopex::test::ByteBuilder;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The fields of a BITMAPINFOHEADER (or a longer form, zero-padded).
struct Info {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = BI_RGB;
    std::uint32_t clrUsed = 0;
    std::uint32_t headerSize = 40;
    std::uint16_t planes = 1;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrImportant = 0;
};

// File header (size and pixel offset patched by Finish) and info header.
ByteBuilder Headers(const Info& i)
{
    ByteBuilder b;
    b.text("BM").u32le(0).u16le(0).u16le(0).u32le(0);
    b.u32le(i.headerSize).u32le(static_cast<std::uint32_t>(i.width)).u32le(static_cast<std::uint32_t>(i.height));
    b.u16le(i.planes).u16le(i.bitCount).u32le(i.compression).u32le(i.sizeImage);
    b.u32le(static_cast<std::uint32_t>(i.xPelsPerMeter)).u32le(static_cast<std::uint32_t>(i.yPelsPerMeter));
    b.u32le(i.clrUsed).u32le(i.clrImportant);
    b.fill(i.headerSize > 40 ? i.headerSize - 40 : 0, 0);
    return b;
}

// Colour table entry k as 0xRRGGBB: red k, green 0x40 + k, blue 0x80 + k (mod 256).
std::uint32_t TableColor(std::uint32_t k) { return ((k & 0xFF) << 16) | (((0x40 + k) & 0xFF) << 8) | ((0x80 + k) & 0xFF); }

ByteBuilder& Table(ByteBuilder& b, std::uint32_t count, std::size_t entrySize = 4)
{
    for (std::uint32_t k = 0; k < count; ++k) {
        b.u8(0x80 + k).u8(0x40 + k).u8(k);
        if (entrySize == 4)
            b.u8(0);
    }
    return b;
}

// Sets bfSize to the length and bfOffBits to offBits.
Bytes Finish(ByteBuilder& b, std::size_t offBits)
{
    b.patch32le(2, static_cast<std::uint32_t>(b.size()));
    b.patch32le(10, static_cast<std::uint32_t>(offBits));
    return b.take();
}

Bytes Save(TBitmap& bitmap)
{
    TMemoryStream stream;
    bitmap.SaveToStream(stream);
    return stream.TakeBytes();
}

std::uint32_t U32At(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The exception class and message that loading the bytes raises.
std::string LoadFailure(const Bytes& bytes)
{
    TBitmap bitmap;
    try {
        bitmap.LoadFromBytes(bytes);
    } catch (const EReadError& e) {
        return std::string("EReadError: ") + e.what();
    } catch (const EInvalidGraphic& e) {
        return std::string("EInvalidGraphic: ") + e.what();
    } catch (const EOutOfResources& e) {
        return std::string("EOutOfResources: ") + e.what();
    } catch (const Exception& e) {
        return std::string("Exception: ") + e.what();
    }
    return "no failure";
}

// Colour indices of a row of an 8-bit raster.
Bytes Indices(const TBitmap& bitmap, int y)
{
    const std::uint8_t* row = bitmap.ScanLineRead(y);
    return Bytes(row, row + bitmap.Width());
}

// 2 x 2, 16 bits with BI_BITFIELDS, a 40-byte header, masks and an optional
// table of two entries: the longest run of header parts that exists.
Bytes MaskedFileWithTable()
{
    ByteBuilder b = Headers({.width = 2, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .clrUsed = 2});
    b.u32le(0xF800).u32le(0x07E0).u32le(0x001F);
    Table(b, 2);
    const std::size_t offBits = b.size();
    b.u16le(0xF800).u16le(0x001F).u16le(0x07E0).u16le(0xFFFF);
    return Finish(b, offBits);
}

// 3 x 1, 8 bits, a core header and a full table of 3-byte entries.
Bytes CoreFile(std::size_t offBits)
{
    ByteBuilder b;
    b.text("BM").u32le(0).u16le(0).u16le(0).u32le(0);
    b.u32le(12).u16le(3).u16le(1).u16le(1).u16le(8);
    Table(b, 256, 3);
    b.bytes({1, 255, 7, 0});
    return Finish(b, offBits);
}

}  // namespace

TEST(BmpRead, EmptyFileGivesAnEmptyRasterWithoutPalette)
{
    auto bitmap = MakeBitmap24(2, 2, [](int, int) { return 0x123456u; });
    bitmap->LoadFromBytes({});
    EXPECT_TRUE(bitmap->Empty());
    EXPECT_TRUE(bitmap->Palette().empty());

    scalopex::test::TempDir dir;
    scalopex::test::WriteBytes(dir.file("empty.bmp"), {});
    TBitmap fromFile;
    fromFile.LoadFromFile(dir.file("empty.bmp"));
    EXPECT_TRUE(fromFile.Empty());
}

TEST(BmpRead, EveryCutInsideHeadersMasksOrTableIsAReadError)
{
    const Bytes masked = MaskedFileWithTable();
    const Bytes core = CoreFile(14 + 12 + 768);
    struct Case {
        const char* name;
        const Bytes& file;
        std::size_t pixelsAt;
    };
    for (const Case& c : {Case{"masks and table", masked, 14 + 40 + 12 + 8}, Case{"core header", core, 14 + 12 + 768}}) {
        for (std::size_t n = 1; n < c.pixelsAt; ++n)
            EXPECT_EQ(LoadFailure(Bytes(c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(n))),
                      "EReadError: Stream read error")
                << c.name << ", cut after " << n << " bytes";
    }
    // The file header is read whole before its signature is looked at.
    EXPECT_EQ(LoadFailure(Bytes(13, 'x')), "EReadError: Stream read error");
}

TEST(BmpRead, CutInsidePixelsKeepsTheStoredRowsAndZeroesTheRest)
{
    // 2 x 3, 24 bits: rows of 8 bytes, stored bottom row first.
    ByteBuilder b = Headers({.width = 2, .height = 3});
    for (int k = 0; k < 24; ++k)
        b.u8(0x10 + k);
    const Bytes whole = Finish(b, 54);
    for (std::size_t cut = 54; cut <= whole.size(); ++cut) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        TBitmap bitmap;
        bitmap.LoadFromBytes(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_EQ(bitmap.Height(), 3);
        for (std::size_t k = 0; k < 3; ++k) {
            const std::uint8_t* row = bitmap.ScanLineRead(2 - static_cast<int>(k));  // stored row k
            for (std::size_t i = 0; i < 6; ++i) {
                const std::size_t at = 54 + 8 * k + i;
                EXPECT_EQ(row[i], at < cut ? whole[at] : 0) << "stored row " << k << ", byte " << i;
            }
        }
    }
    // The hand-worked case: only the bottom row is there.
    TBitmap bitmap;
    bitmap.LoadFromBytes(Bytes(whole.begin(), whole.begin() + 62));
    EXPECT_EQ(PixelRGB(bitmap, 0, 2), 0x121110u);
    EXPECT_EQ(PixelRGB(bitmap, 1, 2), 0x151413u);
    EXPECT_EQ(PixelRGB(bitmap, 0, 1), 0u);
    EXPECT_EQ(PixelRGB(bitmap, 1, 0), 0u);
}

TEST(BmpRead, BrokenHeadersFailWithTheirMessages)
{
    const std::string invalid = "EInvalidGraphic: Bitmap image is not valid";
    const std::string tooLarge = "EOutOfResources: Image too large: ";
    struct Case {
        const char* name;
        Info info;
        std::string failure;
    };
    const Case cases[] = {
        {"two planes", {.planes = 2}, invalid},
        {"header size 39", {.headerSize = 39}, invalid},
        {"header size 16 (short OS/2 form)", {.headerSize = 16}, invalid},
        {"header size 4", {.headerSize = 4}, invalid},
        {"embedded JPEG", {.compression = 4}, invalid},
        {"embedded PNG", {.compression = 5}, invalid},
        {"257 colours", {.bitCount = 8, .clrUsed = 257}, invalid},
        {"257 colours of an optional table", {.clrUsed = 257}, invalid},
        {"2 bits per pixel", {.bitCount = 2}, invalid},
        {"0 bits per pixel", {.bitCount = 0}, invalid},
        {"RLE8 with 4 bits", {.bitCount = 4, .compression = BI_RLE8}, invalid},
        {"bitfields with 24 bits", {.compression = BI_BITFIELDS}, invalid},
        {"width 0", {.width = 0}, invalid},
        {"negative width", {.width = -3}, invalid},
        {"height 0", {.height = 0}, invalid},
        {"top-down RLE", {.height = -1, .bitCount = 8, .compression = BI_RLE8}, invalid},
        {"huge width", {.width = 0x7FFFFFFF}, tooLarge + "2147483647 x 1 pixels"},
        {"huge height", {.height = 0x40000000}, tooLarge + "1 x 1073741824 pixels"},
        {"most negative height", {.height = INT32_MIN}, tooLarge + "1 x 2147483648 pixels"},
        {"too many pixels", {.width = 1 << 20, .height = 1 << 20}, tooLarge + "1048576 x 1048576 pixels"},
    };
    for (const Case& c : cases) {
        ByteBuilder b = Headers(c.info);
        const std::size_t offBits = b.size();
        b.fill(1100, 0);  // enough for any table the header could ask for
        const std::string failure = LoadFailure(Finish(b, offBits));
        EXPECT_EQ(failure.substr(0, c.failure.size()), c.failure) << c.name << ": " << failure;
    }
    ByteBuilder wrongType = Headers({});
    wrongType.patch32le(0, 0x4142);  // "BA": an array of bitmaps, not a bitmap
    EXPECT_EQ(LoadFailure(Finish(wrongType, 54)), invalid);
}

TEST(BmpRead, FailedLoadLeavesTheRasterUnchanged)
{
    auto bitmap = MakeBitmap24(2, 1, [](int, int) { return 0xABCDEFu; });
    EXPECT_THROW(bitmap->LoadFromBytes(Bytes{'B', 'M', 0}), EReadError);
    EXPECT_EQ(bitmap->Width(), 2);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xABCDEFu);
}

TEST(BmpRead, HeightSignChoosesTheRowOrder)
{
    for (const std::int32_t height : {2, -2}) {
        ByteBuilder b = Headers({.width = 1, .height = height});
        b.bytes({0, 0, 0xFF, 0}).bytes({0xFF, 0, 0, 0});  // red, then blue
        TBitmap bitmap;
        bitmap.LoadFromBytes(Finish(b, 54));
        ASSERT_EQ(bitmap.Height(), 2);
        // The first stored row is the bottom of a bottom-up file, the top of a top-down one.
        EXPECT_EQ(PixelRGB(bitmap, 0, height < 0 ? 0 : 1), 0xFF0000u) << "height " << height;
        EXPECT_EQ(PixelRGB(bitmap, 0, height < 0 ? 1 : 0), 0x0000FFu) << "height " << height;
    }
}

TEST(BmpRead, CoreHeaderReadsThreeByteEntries)
{
    // bfOffBits at the table's end, or pointing into the headers: both read
    // the pixels right after the 768-byte table.
    for (const std::size_t offBits : {std::size_t{14 + 12 + 768}, std::size_t{0}, std::size_t{20}}) {
        TBitmap bitmap;
        bitmap.LoadFromBytes(CoreFile(offBits));
        EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
        ASSERT_EQ(bitmap.Palette().size(), 256u);
        EXPECT_EQ(PixelRGB(bitmap, 0, 0), TableColor(1)) << "bfOffBits " << offBits;
        EXPECT_EQ(PixelRGB(bitmap, 1, 0), TableColor(255)) << "bfOffBits " << offBits;
        EXPECT_EQ(PixelRGB(bitmap, 2, 0), TableColor(7)) << "bfOffBits " << offBits;
    }
}

TEST(BmpRead, CoreHeaderTableEndsWhereBfOffBitsSaysThePixelsBegin)
{
    // A core header cannot give its table size; this file has 4 entries.
    ByteBuilder b;
    b.text("BM").u32le(0).u16le(0).u16le(0).u32le(0);
    b.u32le(12).u16le(2).u16le(1).u16le(1).u16le(8);
    Table(b, 4, 3);
    b.bytes({3, 1, 0, 0});
    TBitmap bitmap;
    bitmap.LoadFromBytes(Finish(b, 14 + 12 + 12));
    EXPECT_EQ(bitmap.Palette().size(), 4u);
    EXPECT_EQ(PixelRGB(bitmap, 0, 0), TableColor(3));
    EXPECT_EQ(PixelRGB(bitmap, 1, 0), TableColor(1));

    // Written again, the header counts the 4 entries it writes, not 256.
    const Bytes out = Save(bitmap);
    EXPECT_EQ(U32At(out, 10), 54u + 16u);  // bfOffBits
    EXPECT_EQ(U32At(out, 46), 4u);         // biClrUsed
    TBitmap reread;
    reread.LoadFromBytes(out);
    EXPECT_EQ(PixelRGB(reread, 0, 0), TableColor(3));
}

TEST(BmpRead, BfOffBitsAfterTheTableAndInsideTheFileIsHonoured)
{
    struct Case {
        const char* name;
        std::size_t offBits;
        std::size_t gap;
        std::uint32_t left;  // expected colour of pixel 0
    };
    const Case cases[] = {
        {"gap of 6 bytes", 54 + 8 + 6, 6, TableColor(1)},
        {"no gap", 54 + 8, 0, TableColor(1)},
        {"offset into the headers", 20, 0, TableColor(1)},
        {"offset past the end", 5000, 0, TableColor(1)},
        {"gap ignored by an offset into the headers", 20, 6, 0},  // index 0xEE: past the table, black
    };
    for (const Case& c : cases) {
        ByteBuilder b = Headers({.width = 2, .bitCount = 8, .clrUsed = 2});
        Table(b, 2).fill(c.gap, 0xEE).bytes({1, 0, 0, 0});
        TBitmap bitmap;
        bitmap.LoadFromBytes(Finish(b, c.offBits));
        EXPECT_EQ(PixelRGB(bitmap, 0, 0), c.left) << c.name;
    }
}

TEST(BmpRead, OptionalTableOfATrueColourFileIsKeptAndWrittenBack)
{
    ByteBuilder b = Headers({.width = 1, .clrUsed = 16});
    Table(b, 16).bytes({1, 2, 3, 0});
    TBitmap bitmap;
    bitmap.LoadFromBytes(Finish(b, 54 + 64));
    EXPECT_EQ(PixelRGB(bitmap, 0, 0), 0x030201u);
    ASSERT_EQ(bitmap.Palette().size(), 16u);
    EXPECT_EQ(bitmap.Palette()[15].peRed, 15);

    const Bytes out = Save(bitmap);
    EXPECT_EQ(U32At(out, 10), 54u + 64u);  // bfOffBits
    EXPECT_EQ(U32At(out, 46), 16u);        // biClrUsed
    for (std::uint32_t k = 0; k < 16; ++k)
        EXPECT_EQ(U32At(out, 54 + 4 * k), TableColor(k) & 0xFFFFFF);
}

TEST(BmpRead, BitfieldMasksComeFromTheirPlaceForTheHeaderSize)
{
    // A 40-byte header is followed by the masks, then the table; a 124-byte
    // header holds the masks itself. The masks put red in the low bits.
    for (const std::uint32_t headerSize : {40u, 124u}) {
        ByteBuilder b =
            Headers({.width = 2, .bitCount = 16, .compression = BI_BITFIELDS, .clrUsed = 1, .headerSize = headerSize});
        if (headerSize == 40)
            b.u32le(0x001F).u32le(0x03E0).u32le(0x7C00);
        else
            b.patch32le(54, 0x001F).patch32le(58, 0x03E0).patch32le(62, 0x7C00);
        Table(b, 1);
        const std::size_t offBits = b.size();
        b.u16le(0x001F).u16le(0x7C00);
        TBitmap bitmap;
        bitmap.LoadFromBytes(Finish(b, offBits));
        EXPECT_EQ(PixelRGB(bitmap, 0, 0), 0xFF0000u) << "header " << headerSize;
        EXPECT_EQ(PixelRGB(bitmap, 1, 0), 0x0000FFu) << "header " << headerSize;
        EXPECT_EQ(bitmap.Palette().size(), 1u) << "header " << headerSize;
    }
    // 5-6-5 masks after a 40-byte header, with a table after them.
    TBitmap masked;
    masked.LoadFromBytes(MaskedFileWithTable());
    EXPECT_EQ(PixelRGB(masked, 0, 1), 0xFF0000u);
    EXPECT_EQ(PixelRGB(masked, 1, 1), 0x0000FFu);
    EXPECT_EQ(PixelRGB(masked, 0, 0), 0x00FF00u);
    EXPECT_EQ(PixelRGB(masked, 1, 0), 0xFFFFFFu);
}

TEST(BmpRead, RunLengthDataDecodesToIndicesWithTheFileTable)
{
    struct Case {
        const char* name;
        Info info;
        Bytes data;
        std::vector<Bytes> rows;  // expected indices, top row first
    };
    const Case cases[] = {
        {"RLE8",
         {.width = 4, .height = 3, .bitCount = 8, .compression = BI_RLE8, .clrUsed = 16},
         {
             0, 2, 2, 0,           // move right by 2
             5, 4,                 // run of five 4s, clipped at the row end
             0, 2, 0, 1,           // move down by 1, staying at the row end
             0, 0,                 // end of line
             0, 2, 1, 0,           // move right by 1
             0, 3, 1, 2, 3, 0,     // three literal pixels, padded to a word
             0, 1,                 // end of bitmap
         },
         {{0, 1, 2, 3}, {0, 0, 0, 0}, {0, 0, 4, 4}}},
        {"RLE4",
         {.width = 5, .height = 2, .bitCount = 4, .compression = BI_RLE4},
         {
             0, 5, 0x12, 0x34, 0x50, 0,  // five literal pixels in three bytes, padded
             0, 0,                       // end of line
             0, 2, 1, 0,                 // move right by 1
             3, 0x67,                    // alternating 6 7 6
             0, 1,                       // end of bitmap
         },
         {{0, 6, 7, 6, 0}, {1, 2, 3, 4, 5}}},
        {"RLE8 without an end of bitmap",
         {.width = 2, .height = 2, .bitCount = 8, .compression = BI_RLE8, .clrUsed = 4},
         {1, 3},
         {{0, 0}, {3, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteBuilder b = Headers(c.info);
        Table(b, c.info.clrUsed != 0 ? c.info.clrUsed : 16);
        const std::size_t offBits = b.size();
        b.bytes(c.data);
        TBitmap bitmap;
        bitmap.LoadFromBytes(Finish(b, offBits));
        EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
        ASSERT_EQ(bitmap.Height(), static_cast<int>(c.rows.size()));
        for (std::size_t y = 0; y < c.rows.size(); ++y)
            EXPECT_EQ(Indices(bitmap, static_cast<int>(y)), c.rows[y]) << "row " << y;
        EXPECT_EQ(PixelRGB(bitmap, 1, 0), TableColor(c.rows[0][1]));
    }
}

TEST(BmpRead, RunLengthRowsPastTheLastOneAreDroppedAndMovesBeyondTheRasterAreInvalid)
{
    struct Case {
        const char* name;
        std::uint32_t compression;
        Bytes data;
        bool valid;
    };
    const Case cases[] = {
        {"RLE8 run after the last row", BI_RLE8, {2, 1, 0, 0, 1, 1}, true},
        {"RLE8 literal after the last row", BI_RLE8, {2, 1, 0, 0, 0, 3, 1, 1, 1, 0}, true},
        {"RLE4 run after the last row", BI_RLE4, {2, 0x11, 0, 0, 1, 0x11}, true},
        {"RLE8 move below the raster", BI_RLE8, {0, 2, 0, 2, 1, 1}, false},
        {"RLE8 move past the row end", BI_RLE8, {0, 2, 3, 0, 0, 1}, false},
    };
    for (const Case& c : cases) {
        const auto bits = static_cast<std::uint16_t>(c.compression == BI_RLE8 ? 8 : 4);
        ByteBuilder b = Headers({.width = 2, .height = 1, .bitCount = bits, .compression = c.compression, .clrUsed = 2});
        Table(b, 2).bytes(c.data);
        const Bytes file = Finish(b, 54 + 8);
        if (!c.valid) {
            EXPECT_EQ(LoadFailure(file), "EInvalidGraphic: Bitmap image is not valid") << c.name;
            continue;
        }
        TBitmap bitmap;
        bitmap.LoadFromBytes(file);
        EXPECT_EQ(PixelRGB(bitmap, 0, 0), TableColor(1)) << c.name;  // the row that is there stays
        EXPECT_EQ(PixelRGB(bitmap, 1, 0), TableColor(1)) << c.name;
    }
}

TEST(BmpWrite, TwentyFourBitRasterOfWidthOneHasFourByteRows)
{
    auto bitmap = MakeBitmap24(1, 2, [](int, int y) { return y == 0 ? 0x112233u : 0x445566u; });
    ByteBuilder expected;
    expected.text("BM").u32le(62).u16le(0).u16le(0).u32le(54);
    expected.u32le(40).u32le(1).u32le(2).u16le(1).u16le(24).u32le(BI_RGB).u32le(8).u32le(0).u32le(0).u32le(0).u32le(0);
    expected.bytes({0x66, 0x55, 0x44, 0}).bytes({0x33, 0x22, 0x11, 0});  // bottom row first, padded
    EXPECT_EQ(Save(*bitmap), expected.data());
}

TEST(BmpWrite, ThirtyTwoBitRasterHasNoMasks)
{
    auto bitmap = MakeBitmap24(2, 1, [](int x, int) { return x == 0 ? 0x010203u : 0x040506u; });
    bitmap->SetPixelFormat(pf32bit);
    ByteBuilder expected;
    expected.text("BM").u32le(62).u16le(0).u16le(0).u32le(54);
    expected.u32le(40).u32le(2).u32le(1).u16le(1).u16le(32).u32le(BI_RGB).u32le(8).u32le(0).u32le(0).u32le(0).u32le(0);
    expected.bytes({3, 2, 1, 0, 6, 5, 4, 0});
    EXPECT_EQ(Save(*bitmap), expected.data());
}

TEST(BmpWrite, WriteReadWriteGivesTheSameBytesForEveryFormat)
{
    for (const TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        auto bitmap =
            MakeBitmap24(5, 3, [](int x, int y) { return static_cast<std::uint32_t>(x * 0x330000 + y * 0x5500 + 0x7F); });
        bitmap->SetPixelFormat(format);
        const Bytes first = Save(*bitmap);
        TBitmap reread;
        reread.LoadFromBytes(first);
        EXPECT_EQ(reread.PixelFormat(), format);
        EXPECT_EQ(Save(reread), first) << "pixel format " << format;
    }
}

TEST(BmpWrite, EmptyRasterWritesNothing)
{
    scalopex::test::TempDir dir;
    TBitmap bitmap;
    bitmap.SaveToFile(dir.file("empty.bmp"));
    EXPECT_TRUE(scalopex::test::ReadBytes(dir.file("empty.bmp")).empty());
}

TEST(BmpRead, AnAlphaMaskInALongHeaderGivesRealAlpha)
{
    // 2 x 1 pixels of a V5 header (124 bytes): 32-bit bit fields with an
    // alpha mask, and 16-bit 4-4-4-4.
    struct Case {
        const char* name;
        std::uint16_t bitCount;
        std::uint32_t masks[4];
        Bytes pixels;
        std::uint32_t firstRGB;
        std::uint8_t firstAlpha, secondAlpha;
    } cases[] = {
        {"32-bit", 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, {0x10, 0x20, 0x30, 0x80, 0x01, 0x02, 0x03, 0xFF},
         0x302010, 0x80, 0xFF},
        {"16-bit 4444", 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, {0x21, 0x83, 0xFF, 0x0F, 0, 0}, 0x332211, 0x88, 0x00},
    };
    for (const Case& c : cases) {
        ByteBuilder b = Headers({.width = 2, .height = 1, .bitCount = c.bitCount, .compression = BI_BITFIELDS, .headerSize = 124});
        for (int k = 0; k < 4; ++k)
            b.patch32le(14 + 40 + 4 * static_cast<std::size_t>(k), c.masks[k]);
        const std::size_t offBits = b.size();
        b.bytes(c.pixels);
        b.fill((4 - c.pixels.size() % 4) % 4, 0);
        TBitmap bitmap;
        bitmap.LoadFromBytes(Finish(b, offBits));
        ASSERT_EQ(bitmap.PixelFormat(), pf32bit) << c.name;
        EXPECT_TRUE(bitmap.HasAlpha()) << c.name;
        EXPECT_EQ(PixelRGB(bitmap, 0, 0), c.firstRGB) << c.name;
        EXPECT_EQ(bitmap.ScanLineRead(0)[3], c.firstAlpha) << c.name;
        EXPECT_EQ(bitmap.ScanLineRead(0)[7], c.secondAlpha) << c.name;
    }

    // A mask but no alpha in any pixel: an opaque picture, as before.
    ByteBuilder b = Headers({.width = 1, .height = 1, .bitCount = 32, .compression = BI_BITFIELDS, .headerSize = 124});
    const std::uint32_t masks[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    for (int k = 0; k < 4; ++k)
        b.patch32le(14 + 40 + 4 * static_cast<std::size_t>(k), masks[k]);
    const std::size_t offBits = b.size();
    b.bytes({9, 8, 7, 0});
    TBitmap opaque;
    opaque.LoadFromBytes(Finish(b, offBits));
    EXPECT_FALSE(opaque.HasAlpha());
    EXPECT_EQ(PixelRGB(opaque, 0, 0), 0x070809u);
}

TEST(BmpWrite, ADormantRasterWritesTheSameBytes)
{
    auto bitmap = MakeBitmap24(3, 2, [](int x, int y) { return static_cast<std::uint32_t>(x * 0x10203 + y * 0x400000); });
    const Bytes before = Save(*bitmap);
    bitmap->Dormant();
    EXPECT_EQ(Save(*bitmap), before);
    EXPECT_TRUE(bitmap->IsDormant());
    EXPECT_EQ(PixelRGB(*bitmap, 2, 1), 0x420406u);
    EXPECT_EQ(Save(*bitmap), before);
}

TEST(BmpWrite, BitFieldMasksAreWrittenAsTheyAreEvenWithoutRed)
{
    ByteBuilder b = Headers({.width = 1, .height = 1, .bitCount = 16, .compression = BI_BITFIELDS});
    b.u32le(0).u32le(0x03E0).u32le(0x001F);
    const std::size_t offBits = b.size();
    b.bytes({0xFF, 0x7F, 0, 0});
    TBitmap bitmap;
    bitmap.LoadFromBytes(Finish(b, offBits));
    const Bytes out = Save(bitmap);
    EXPECT_EQ(U32At(out, 54), 0u);
    EXPECT_EQ(U32At(out, 58), 0x03E0u);
    EXPECT_EQ(U32At(out, 62), 0x001Fu);
    TBitmap back;
    back.LoadFromBytes(out);
    EXPECT_EQ(PixelRGB(back, 0, 0), PixelRGB(bitmap, 0, 0));
}

TEST(BmpWrite, WritingNeverChangesTheRasterOrItsSharers)
{
    // An 8-bit raster without a colour table, and 16 bits without masks:
    // the file gets the defaults, the shared storage stays as it was.
    TBitmap indexed;
    indexed.SetPixelFormat(pf8bit);
    indexed.SetSize(2, 2);
    indexed.SetPalette({});
    TBitmap sharer;
    sharer.Assign(&indexed);
    const Bytes file = Save(indexed);
    EXPECT_EQ(U32At(file, 46), 256u);  // colours used: the black default table
    EXPECT_TRUE(sharer.Palette().empty());
    EXPECT_TRUE(indexed.Palette().empty());
    EXPECT_TRUE(sharer.SharesStorageWith(indexed));
    EXPECT_EQ(indexed.Image().clrUsed, 0u);
}

TEST(BmpWrite, KeptHeaderFieldsSurviveAReadAndAWrite)
{
    struct Case {
        const char* name;
        Info info;
    };
    const Case cases[] = {
        {"8 bits, short table",
         {.width = 2, .bitCount = 8, .clrUsed = 3, .sizeImage = 4, .xPelsPerMeter = 2835, .yPelsPerMeter = -7,
          .clrImportant = 2}},
        {"24 bits, no table", {.width = 2, .sizeImage = 8, .xPelsPerMeter = 1, .yPelsPerMeter = 70000, .clrImportant = 5}},
    };
    for (const Case& c : cases) {
        ByteBuilder b = Headers(c.info);
        Table(b, c.info.clrUsed);
        const std::size_t offBits = b.size();
        b.fill(c.info.sizeImage, 1);
        const Bytes file = Finish(b, offBits);
        TBitmap bitmap;
        bitmap.LoadFromBytes(file);
        const Bytes out = Save(bitmap);
        for (const std::size_t at : {38, 42, 46, 50})  // pels per metre x and y, colours used, colours important
            EXPECT_EQ(U32At(out, at), U32At(file, at)) << c.name << ", offset " << at;
        EXPECT_EQ(out, file) << c.name;
    }
}
