// The SGI reader on hand-made files: channel counts, row order, verbatim
// and run-length rows, 16-bit samples, and rows the file does not hold.

#include "formats/sgi/sgi_graphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/stream.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/formats/sgi/sgi_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::Bytes;
using test::PixelRGB;
using test::sgi::HeaderSpec;
using test::sgi::RunLength;
using test::sgi::Verbatim;

constexpr const char* kInvalidImage = "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.";

Bytes Prefix(const Bytes& bytes, std::size_t n)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

std::unique_ptr<TSGIGraphic> Load(const Bytes& bytes)
{
    auto graphic = std::make_unique<TSGIGraphic>();
    test::LoadBytes(*graphic, bytes);
    return graphic;
}

TEST(SgiReader, TheFirstStoredRowIsTheBottomRow)
{
    const HeaderSpec h{.width = 2, .height = 2, .channels = 3};
    const auto graphic = Load(Verbatim(h, {{{1, 2}, {3, 4}}, {{10, 20}, {30, 40}}, {{100, 200}, {150, 250}}}));
    ASSERT_EQ(graphic->PixelFormat(), core::pf24bit);
    EXPECT_EQ(PixelRGB(*graphic, 0, 1), 0x010A64u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 1), 0x0214C8u);
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x031E96u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0x0428FAu);
}

TEST(SgiReader, ChannelCountsChooseTheRasterOrFail)
{
    struct Case {
        std::uint16_t channels;
        std::uint8_t bytesPerSample;
        core::TPixelFormat format;  // pfCustom: fails with message
        std::string message;
    } cases[] = {
        {1, 1, core::pf8bit, ""},
        {1, 2, core::pf8bit, ""},
        {3, 1, core::pf24bit, ""},
        {3, 2, core::pf24bit, ""},
        {4, 1, core::pf32bit, ""},
        {4, 2, core::pf32bit, ""},
        {0x0103, 1, core::pf24bit, ""},  // the low byte counts
        {2, 1, core::pfCustom, "Invalid pixel format"},
        {5, 1, core::pfCustom, kSInvalidSampleCount},
        {0, 1, core::pfCustom, kSInvalidSampleCount},
        {3, 3, core::pfCustom, kSInvalidColorDepth},
        {3, 0, core::pfCustom, kSInvalidColorDepth},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels of " + std::to_string(c.bytesPerSample) + " bytes");
        HeaderSpec h{.bytesPerSample = c.bytesPerSample, .width = 2, .height = 2, .channels = c.channels};
        Bytes file = test::sgi::Header(h);
        file.resize(file.size() + 2 * 2 * 8 * 3, 0x40);
        if (c.format == core::pfCustom) {
            EXPECT_EQ(test::LoadError<TSGIGraphic>(file), c.message);
            continue;
        }
        const auto graphic = Load(file);
        EXPECT_EQ(graphic->PixelFormat(), c.format);
        EXPECT_EQ(graphic->HasAlpha(), c.format == core::pf32bit);
    }
}

TEST(SgiReader, OneChannelIsGreyOfEightOrSixteenBits)
{
    const auto grey = Load(Verbatim({.width = 3, .height = 1, .channels = 1}, {{{0, 128, 255}}}));
    ASSERT_EQ(grey->PixelFormat(), core::pf8bit);
    EXPECT_EQ(PixelRGB(*grey, 0, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*grey, 1, 0), 0x808080u);
    EXPECT_EQ(PixelRGB(*grey, 2, 0), 0xFFFFFFu);
    // 16-bit samples, big-endian, scaled to 8 bits rather than copied.
    const auto deep = Load(Verbatim({.bytesPerSample = 2, .width = 3, .height = 1, .channels = 1},
                                    {{{0xFF, 0xFF, 0x80, 0x00, 0x01, 0x02}}}));
    const std::uint8_t* row = deep->ScanLineRead(0);
    EXPECT_EQ(Bytes(row, row + 3), (Bytes{255, 127, 1}));
}

TEST(SgiReader, SixteenBitColourIsScaledToEightBits)
{
    const HeaderSpec h{.bytesPerSample = 2, .width = 1, .height = 1, .channels = 3};
    const auto graphic = Load(Verbatim(h, {{{0xFF, 0xFF}}, {{0xFF, 0xFE}}, {{0x12, 0x34}}}));
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0xFFFE12u);
}

TEST(SgiReader, RunLengthRowsComeThroughTheirTables)
{
    // Four channels of two rows each; the second row of red repeats the
    // first by pointing at the same packed bytes.
    const HeaderSpec h{.width = 3, .height = 2, .channels = 4};
    Bytes file = RunLength(h, {{{0x83, 1, 2, 3, 0}, {0x03, 9, 0}},
                               {{0x03, 20, 0}, {0x03, 21, 0}},
                               {{0x03, 30, 0}, {0x03, 31, 0}},
                               {{0x82, 255, 0, 0x01, 128, 0}, {0x03, 64, 0}}});
    const std::size_t starts = 512, lengths = 512 + 4 * 8;
    for (std::size_t table : {starts, lengths})
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(table), 4,
                    file.begin() + static_cast<std::ptrdiff_t>(table + 4));
    const auto graphic = Load(file);
    ASSERT_EQ(graphic->PixelFormat(), core::pf32bit);
    ASSERT_TRUE(graphic->HasAlpha());
    const std::uint8_t* bottom = graphic->ScanLineRead(1);
    EXPECT_EQ(Bytes(bottom, bottom + 12), (Bytes{30, 20, 1, 255, 30, 20, 2, 0, 30, 20, 3, 128}));
    const std::uint8_t* top = graphic->ScanLineRead(0);
    EXPECT_EQ(Bytes(top, top + 12), (Bytes{31, 21, 1, 64, 31, 21, 2, 64, 31, 21, 3, 64}));
}

TEST(SgiReader, RowsOutsideTheFileReadNothing)
{
    const HeaderSpec h{.width = 2, .height = 3, .channels = 1};
    Bytes file = RunLength(h, {{{0x02, 7, 0}, {0x02, 8, 0}, {0x02, 9, 0}}});
    // Row 1 starts past the end; row 2 claims far more bytes than there are.
    for (int i = 0; i < 4; ++i)
        file[512 + 4 + i] = 0xFF;
    for (int i = 0; i < 4; ++i)
        file[512 + 12 + 8 + i] = static_cast<std::uint8_t>(i == 0 ? 0x7F : 0xFF);
    const auto graphic = Load(file);
    EXPECT_EQ(PixelRGB(*graphic, 0, 2), 0x070707u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 1), 0xFFFFFFu);  // row 1, from the top, is file row 1
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0x090909u);
}

TEST(SgiReader, ShortVerbatimFilesKeepTheFillForRowsNeverRead)
{
    const HeaderSpec h{.width = 2, .height = 3, .channels = 3};
    Bytes file = Verbatim(h, {{{1, 2}, {3, 4}, {5, 6}}, {{7, 8}, {9, 10}, {11, 12}}, {{13, 14}, {15, 16}, {17, 18}}});
    file.resize(file.size() - 5);  // blue keeps only the first byte of row 0
    const auto graphic = Load(file);
    EXPECT_EQ(PixelRGB(*graphic, 0, 2), 0x01070Du);
    EXPECT_EQ(PixelRGB(*graphic, 1, 1), 0x040A00u);  // a missing sample reads 0
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x050B00u);

    Bytes headerOnly = test::sgi::Header(h);
    headerOnly.push_back(0);
    const auto empty = Load(headerOnly);
    EXPECT_EQ(PixelRGB(*empty, 1, 0), 0xFFFFFFu);
}

TEST(SgiReader, BadHeadersFailWithAMessage)
{
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"a wrong magic number", test::sgi::Header({.magic = 475}), kInvalidImage},
        {"a header cut short", Prefix(test::sgi::Header({}), 300), "Stream read error"},
        {"run-length tables cut short",
         [] {
             Bytes b = test::sgi::Header({.rle = 1, .width = 4, .height = 4});
             b.resize(b.size() + 95);
             return b;
         }(),
         "Stream read error"},
        {"an empty file", {}, "Stream read error"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(test::LoadError<TSGIGraphic>(c.file), c.message) << c.what;
    const std::string bomb =
        test::LoadError<TSGIGraphic>(test::sgi::Header({.rle = 1, .width = 65535, .height = 65535, .channels = 4}));
    EXPECT_EQ(bomb.rfind("Image too large", 0), 0u) << bomb;
}

TEST(SgiReader, TheContentCheckWantsAHeaderOfAKnownKind)
{
    struct Case {
        HeaderSpec header;
        std::size_t size;
        bool accepted;
    } cases[] = {
        {{}, 513, true},
        // The content check sees the first 64 bytes only, and agrees.
        {{}, 512, true},
        {{}, 64, true},
        {{}, 63, false},
        {{.bytesPerSample = 2, .dimension = 1}, 600, true},
        {{.dimension = 2}, 600, true},
        {{.bytesPerSample = 3}, 600, false},
        {{.dimension = 0}, 600, false},
        {{.dimension = 4}, 600, false},
        {{.magic = 0xDA01}, 600, false},
    };
    for (const Case& c : cases) {
        Bytes file = test::sgi::Header(c.header);
        file.resize(c.size, 0);
        core::TMemoryStream stream(file);
        TSGIGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.accepted) << c.size;
        EXPECT_EQ(stream.Position(), 0u);
    }
}

}  // namespace
}  // namespace scalopex::formats
