// The PCX reader on hand-made files: layouts, palettes, row decoding, and
// files that are cut short or lie about their sizes.

#include "formats/pcx/pcx_graphic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/limits.h"
#include "core/stream.h"
#include "platform/gdi/palette.h"
#include "tests/formats/pcx/pcx_test_util.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::Bytes;
using test::PixelRGB;
using test::pcx::File;
using test::pcx::HeaderSpec;

constexpr const char* kInvalidColorFormat = "Invalid color format in PCX file.";
constexpr const char* kInvalidImage = "Cannot load image. Invalid or unexpected PCX image format.";

std::unique_ptr<TPCXGraphic> Load(const Bytes& bytes)
{
    auto graphic = std::make_unique<TPCXGraphic>();
    test::LoadBytes(*graphic, bytes);
    return graphic;
}

Bytes Prefix(const Bytes& bytes, std::size_t n)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// One row of every plane, for a header of width pixels.
Bytes Planes(std::initializer_list<Bytes> planes)
{
    Bytes out;
    for (const Bytes& p : planes)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(PcxReader, PlanesAndBitsChooseTheRasterOrFail)
{
    struct Case {
        std::uint8_t planes;
        std::uint8_t bits;
        core::TPixelFormat format;  // pfCustom: the load fails with message
        const char* message;
    } cases[] = {
        {1, 1, core::pf1bit, ""},
        {1, 2, core::pf4bit, ""},
        {1, 4, core::pf4bit, ""},
        {1, 8, core::pf8bit, ""},
        {3, 1, core::pf4bit, ""},
        {4, 1, core::pf4bit, ""},
        {3, 8, core::pf24bit, ""},
        {4, 8, core::pf32bit, ""},
        {2, 1, core::pfCustom, kInvalidColorFormat},
        {2, 4, core::pfCustom, kInvalidColorFormat},
        {4, 2, core::pfCustom, kInvalidColorFormat},
        {2, 8, core::pfCustom, kInvalidColorFormat},
        // Layouts the colour manager gives a pixel format it cannot fill.
        {3, 4, core::pfCustom, kInvalidColorFormat},
        {1, 3, core::pfCustom, kInvalidColorFormat},
        {1, 16, core::pfCustom, kInvalidColorFormat},
        {5, 8, core::pfCustom, kSInvalidSampleCount},
        {0, 8, core::pfCustom, kSInvalidSampleCount},
        {1, 0, core::pfCustom, kSInvalidColorDepth},
        {3, 24, core::pfCustom, kSInvalidColorDepth},
    };
    for (const Case& c : cases) {
        const HeaderSpec h{.bits = c.bits, .width = 8, .height = 2, .planes = c.planes, .bytesPerLine = 8};
        const Bytes file = File(h, Bytes(std::size_t{8} * 2 * std::max<std::uint8_t>(c.planes, 1), 0));
        SCOPED_TRACE(std::to_string(c.planes) + " planes of " + std::to_string(c.bits) + " bits");
        if (c.format == core::pfCustom) {
            EXPECT_EQ(test::LoadError<TPCXGraphic>(file), c.message);
            continue;
        }
        const auto graphic = Load(file);
        EXPECT_EQ(graphic->PixelFormat(), c.format);
        EXPECT_EQ(graphic->Width(), 8);
        EXPECT_EQ(graphic->Height(), 2);
    }
}

TEST(PcxReader, EightBitImagesTakeTheTrailingPaletteOrGreyOnlyWhenAsked)
{
    const HeaderSpec plain{.width = 2, .height = 1};
    const Bytes row = {1, 200};
    {
        const auto graphic = Load(File(plain, row, test::pcx::TrailingPalette()));
        EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x01FE00u);
        EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0xC83764u);
    }
    HeaderSpec grey = plain;
    grey.paletteInfo = 2;
    {
        const auto graphic = Load(File(grey, row));
        EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0xC8C8C8u);
    }
    {
        // Neither: the raster keeps the palette an 8-bit raster starts with.
        const auto graphic = Load(File(plain, row));
        core::TBitmap fresh;
        fresh.SetPixelFormat(core::pf8bit);
        EXPECT_EQ(graphic->Palette(), fresh.Palette());
        EXPECT_EQ(graphic->ScanLineRead(0)[1], 200);
    }
}

TEST(PcxReader, TheTrailingPaletteIsTakenOffTheDataOnlyWhenItIsThere)
{
    // 40 raw rows of 32 bytes: the last 769 bytes of data are pixels.
    const HeaderSpec h{.encoding = 0, .width = 32, .height = 40, .paletteInfo = 2};
    Bytes rows(32 * 40);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<std::uint8_t>(i % 11 == 0 ? 12 : i % 200);
    rows[rows.size() - 769] = 13;
    const auto graphic = Load(File(h, rows));
    const std::uint8_t* last = graphic->ScanLineRead(39);
    EXPECT_EQ(Bytes(last, last + 32), Bytes(rows.end() - 32, rows.end()));
    // With the palette behind them the same rows decode the same.
    const auto withPalette = Load(File(h, rows, test::pcx::TrailingPalette()));
    EXPECT_EQ(Bytes(withPalette->ScanLineRead(39), withPalette->ScanLineRead(39) + 32),
              Bytes(rows.end() - 32, rows.end()));
    EXPECT_EQ(PixelRGB(*withPalette, 1, 39), 0x31CE18u);  // index 49
}

TEST(PcxReader, FourBitPalettesComeFromTheVersionTheHeaderOrGrey)
{
    HeaderSpec h{.bits = 4, .width = 2, .height = 1};
    for (std::size_t k = 0; k < 48; ++k)
        h.palette16[k] = static_cast<std::uint8_t>(10 * k);
    const Bytes row = {0x1F, 0x00};
    EXPECT_EQ(PixelRGB(*Load(File(h, row)), 0, 0), 0x1E2832u);  // header entry 1: 30, 40, 50
    h.paletteInfo = 2;
    EXPECT_EQ(PixelRGB(*Load(File(h, row)), 1, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*Load(File(h, row)), 0, 0), 0x111111u);
    h.version = 3;  // the default 16 colours, whatever the rest says
    const auto graphic = Load(File(h, row));
    EXPECT_EQ(graphic->Palette(), gdi::SystemPalette16());
}

TEST(PcxReader, OneBitImagesAreBlackAndWhite)
{
    HeaderSpec h{.bits = 1, .width = 3, .height = 1};
    h.palette16[3] = 0x80;  // the header's entries play no part
    const auto graphic = Load(File(h, {0xA0, 0x00}));
    ASSERT_EQ(graphic->PixelFormat(), core::pf1bit);
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*graphic, 2, 0), 0xFFFFFFu);
}

TEST(PcxReader, TwoBitIndicesAreSpreadOverSixteen)
{
    HeaderSpec h{.bits = 2, .width = 4, .height = 1};
    for (std::size_t k = 0; k < 12; ++k)
        h.palette16[k] = static_cast<std::uint8_t>(20 * (k + 1));
    const auto graphic = Load(File(h, {0x1B, 0x00}));  // 0, 1, 2, 3
    ASSERT_EQ(graphic->PixelFormat(), core::pf4bit);
    const std::uint8_t* row = graphic->ScanLineRead(0);
    EXPECT_EQ(row[0], 0x05);
    EXPECT_EQ(row[1], 0xAF);
    ASSERT_EQ(graphic->Palette().size(), 16u);
    for (int x = 0; x < 4; ++x)  // each shows the header entry it stored
        EXPECT_EQ(PixelRGB(*graphic, x, 0), (20u * (3 * x + 1)) << 16 | (20u * (3 * x + 2)) << 8 | 20u * (3 * x + 3))
            << x;
}

TEST(PcxReader, BitPlanesGiveOneBitOfTheIndexEach)
{
    struct Case {
        std::uint8_t planes;
        Bytes row;  // one 2-byte row per plane
        Bytes indices;
    } cases[] = {
        // Plane 0 is the lowest bit; the first pixel is the top bit of each plane's first byte.
        {4, Planes({{0x80, 0}, {0x00, 0}, {0x80, 0}, {0x00, 0}}), {5, 0, 0}},
        {4, Planes({{0x40, 0}, {0x40, 0}, {0x40, 0}, {0x40, 0}}), {0, 15, 0}},
        {4, Planes({{0xFF, 0}, {0x00, 0}, {0x00, 0}, {0xFF, 0}}), {9, 9, 9}},
        {3, Planes({{0x80, 0}, {0xC0, 0}, {0x20, 0}}), {3, 2, 4}},
    };
    for (const Case& c : cases) {
        HeaderSpec h{.bits = 1, .width = 3, .height = 1, .planes = c.planes, .bytesPerLine = 2};
        for (std::size_t k = 0; k < 48; ++k)
            h.palette16[k] = static_cast<std::uint8_t>(k);
        const auto graphic = Load(File(h, c.row));
        ASSERT_EQ(graphic->PixelFormat(), core::pf4bit);
        const std::uint8_t* row = graphic->ScanLineRead(0);
        EXPECT_EQ((Bytes{static_cast<std::uint8_t>(row[0] >> 4), static_cast<std::uint8_t>(row[0] & 15),
                         static_cast<std::uint8_t>(row[1] >> 4)}),
                  c.indices);
        EXPECT_EQ(row[1] & 15, 0) << "bits after the last pixel stay zero";
        const unsigned k = c.indices[0];
        EXPECT_EQ(PixelRGB(*graphic, 0, 0), (3 * k) << 16 | (3 * k + 1) << 8 | (3 * k + 2));
    }
}

TEST(PcxReader, ColourPlanesAreRedGreenBlueAndAlpha)
{
    const HeaderSpec rgb{.width = 2, .height = 1, .planes = 3};
    const auto graphic = Load(File(rgb, Planes({{0xFF, 0x10}, {0x00, 0x20}, {0x01, 0x30}})));
    ASSERT_EQ(graphic->PixelFormat(), core::pf24bit);
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0xFF0001u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0x102030u);
    EXPECT_FALSE(graphic->HasAlpha());

    const HeaderSpec rgba{.width = 2, .height = 1, .planes = 4};
    const auto withAlpha = Load(File(rgba, Planes({{0xFF, 0x10}, {0x00, 0x20}, {0x01, 0x30}, {0x80, 0xFF}})));
    ASSERT_EQ(withAlpha->PixelFormat(), core::pf32bit);
    EXPECT_TRUE(withAlpha->HasAlpha());
    const std::uint8_t* row = withAlpha->ScanLineRead(0);
    EXPECT_EQ(Bytes(row, row + 8), (Bytes{0x01, 0x00, 0xFF, 0x80, 0x30, 0x20, 0x10, 0xFF}));
}

TEST(PcxReader, RunLengthDataIsOneStreamOverAllRows)
{
    Bytes file = test::pcx::Header({.width = 4, .height = 3, .paletteInfo = 2});
    // A run of 6 ends in row 1, a run of 0 writes nothing, then literals.
    file.insert(file.end(), {0xC6, 0x21, 0xC0, 0x99, 0x01, 0x02, 0xC4, 0x07});
    const auto graphic = Load(file);
    auto row = [&](int y) { return Bytes(graphic->ScanLineRead(y), graphic->ScanLineRead(y) + 4); };
    EXPECT_EQ(row(0), (Bytes{0x21, 0x21, 0x21, 0x21}));
    EXPECT_EQ(row(1), (Bytes{0x21, 0x21, 0x01, 0x02}));
    EXPECT_EQ(row(2), (Bytes{0x07, 0x07, 0x07, 0x07}));
}

TEST(PcxReader, RowsTheDataDoNotFullyHoldAreWhite)
{
    for (const std::uint8_t encoding : {0, 1}) {
        SCOPED_TRACE(encoding == 1 ? "run-length" : "raw");
        const HeaderSpec h{.encoding = encoding, .width = 4, .height = 3, .planes = 3};
        Bytes rows(12 + 6, 0x40);  // a row and a half
        const auto graphic = Load(File(h, rows));
        EXPECT_EQ(PixelRGB(*graphic, 3, 0), 0x404040u);
        EXPECT_EQ(PixelRGB(*graphic, 0, 1), 0xFFFFFFu);
        EXPECT_EQ(PixelRGB(*graphic, 3, 2), 0xFFFFFFu);
    }
}

TEST(PcxReader, TheWindowGivesTheSize)
{
    const HeaderSpec h{.encoding = 0, .xMin = 100, .yMin = 7, .width = 3, .height = 2, .paletteInfo = 2};
    const auto graphic = Load(File(h, Bytes(8, 5)));
    EXPECT_EQ(graphic->Width(), 3);
    EXPECT_EQ(graphic->Height(), 2);
    EXPECT_EQ(graphic->ImageDescription.ImageWidth, 3);
    EXPECT_EQ(graphic->ImageDescription.Compression, CompressionKind::None);
    EXPECT_EQ(graphic->ImageDescription.ResolutionX, 72.0f);

    // x max one below x min: no pixels, an empty raster, whatever the data.
    const auto none = Load(File({.xMin = 1, .width = 0, .height = 7, .bytesPerLine = 2}, Bytes(40, 0x3F)));
    EXPECT_TRUE(none->Empty());
}

TEST(PcxReader, BadHeadersFailOrLoadNothingAsTheFormatSays)
{
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"a row shorter than the width", File({.bits = 1, .width = 20, .height = 1, .bytesPerLine = 2}, Bytes(2, 0)),
         kInvalidImage},
        {"an 8-bit row shorter than the width", File({.width = 13, .height = 1, .bytesPerLine = 12}, Bytes(12, 0)),
         kInvalidImage},
        {"a header cut short", Prefix(test::pcx::Header({}), 100), "Stream read error"},
        {"an empty file", {}, "Stream read error"},
        {"a window beyond the limits", File({.width = 60000, .height = 60000}, {0xC1, 0}), ""},
        {"a run-length image far larger than its data can give",
         File({.width = 16000, .height = 16000}, {0xFF, 0, 0xFF, 0}), ""},
    };
    for (const Case& c : cases) {
        const std::string message = test::LoadError<TPCXGraphic>(c.file);
        if (c.message.empty())
            EXPECT_EQ(message.rfind("Image too large", 0), 0u) << c.what << ": " << message;
        else
            EXPECT_EQ(message, c.message) << c.what;
    }
    // A wrong first byte is not a PCX file: nothing is loaded, without an error.
    Bytes notPcx = File({.width = 4, .height = 4}, Bytes(16, 1));
    notPcx[0] = 11;
    const auto graphic = Load(notPcx);
    EXPECT_TRUE(graphic->Empty());
    EXPECT_FALSE(graphic->ReadImageDescription(*std::make_unique<core::TMemoryStream>(notPcx)));
}

TEST(PcxReader, TheContentCheckWantsAHeaderAndDataOfAKnownKind)
{
    struct Case {
        std::uint8_t manufacturer, version, encoding;
        std::size_t size;
        bool accepted;
    } cases[] = {
        {10, 5, 1, 200, true},  {0xCD, 5, 1, 200, true}, {12, 5, 1, 200, false}, {10, 0, 0, 200, true},
        {10, 2, 1, 200, true},  {10, 3, 1, 200, true},   {10, 4, 1, 200, false}, {10, 1, 1, 200, false},
        {10, 5, 2, 200, false}, {10, 5, 1, 129, true},   {10, 5, 1, 64, true},   {10, 5, 1, 63, false},
    };
    for (const Case& c : cases) {
        Bytes file = test::pcx::Header({.manufacturer = c.manufacturer, .version = c.version, .encoding = c.encoding});
        file.resize(c.size, 0);
        core::TMemoryStream stream(file);
        stream.SetPosition(0);
        TPCXGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.accepted)
            << int{c.manufacturer} << " " << int{c.version} << " " << c.size;
        EXPECT_EQ(stream.Position(), 0u);
    }
}

}  // namespace
}  // namespace scalopex::formats
