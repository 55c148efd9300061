// The Photoshop reader on hand-made documents: every colour mode, raw and
// PackBits data, 16-bit samples, colour tables, transparency, and data
// that lie about their sizes.

#include "formats/psd/psd_graphic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/opening.h"
#include "core/stream.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/formats/psd/psd_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::Bytes;
using test::PixelRGB;
using test::psd::DocumentSpec;
using test::psd::Packed;
using test::psd::PackedPlanes;
using test::psd::Raw;

constexpr const char* kInvalidImage = "Cannot load image. Invalid or unexpected PSD or PDD image format.";

std::unique_ptr<TPSDGraphic> Load(const Bytes& bytes)
{
    auto graphic = std::make_unique<TPSDGraphic>();
    test::LoadBytes(*graphic, bytes);
    return graphic;
}

// The picture as opening shows it: drawn onto a 24-bit bitmap.
std::uint32_t Shown(const TPSDGraphic& graphic, int x, int y)
{
    return PixelRGB(*core::GraphicToBitmap(&graphic), x, y);
}

TEST(PsdReader, ColourModesShowTheirColours)
{
    struct Case {
        const char* what;
        DocumentSpec document;
        std::vector<Bytes> planes;  // one 2-pixel row per channel
        std::uint32_t first, second;
    } cases[] = {
        {"RGB: red from the first plane", {.width = 2}, {{255, 1}, {0, 2}, {0, 3}}, 0xFF0000u, 0x010203u},
        {"CMYK without ink is white",
         {.channels = 4, .width = 2, .mode = 4},
         {{255, 0}, {255, 255}, {255, 255}, {255, 255}},
         0xFFFFFFu,
         0x00FFFFu},
        {"CMYK with full black is black",
         {.channels = 4, .width = 2, .mode = 4},
         {{255, 255}, {255, 255}, {255, 255}, {0, 128}},
         0x000000u,
         0x808080u},
        {"Lab 255, 128, 128 is white, 0 is black",
         {.width = 2, .mode = 9},
         {{255, 0}, {128, 128}, {128, 128}},
         0xFFFFFFu,
         0x000000u},
        {"Lab with an alpha channel",
         {.channels = 4, .width = 2, .mode = 9},
         {{255, 0}, {128, 128}, {128, 128}, {0, 0}},
         0xFFFFFFu,
         0x000000u},
        {"multichannel of three reads as RGB",
         {.width = 2, .mode = 7},
         {{10, 0}, {20, 0}, {30, 0}},
         0x0A141Eu,
         0x000000u},
        {"extra channels are skipped",
         {.channels = 5, .width = 2},
         {{1, 4}, {2, 5}, {3, 6}, {255, 255}, {9, 9}},
         0x010203u,
         0x040506u},
        {"greyscale", {.channels = 1, .width = 2, .mode = 1}, {{0, 200}}, 0x000000u, 0xC8C8C8u},
        {"grey with alpha reads the grey",
         {.channels = 2, .width = 2, .mode = 1},
         {{0, 200}, {0, 0}},
         0x000000u,
         0xC8C8C8u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes all;
        for (const Bytes& p : c.planes)
            all.insert(all.end(), p.begin(), p.end());
        for (const bool packed : {false, true}) {
            const auto graphic = Load(packed ? PackedPlanes(c.document, c.planes, 2) : Raw(c.document, c.planes));
            EXPECT_EQ(Shown(*graphic, 0, 0), c.first) << (packed ? "PackBits" : "raw");
            EXPECT_EQ(Shown(*graphic, 1, 0), c.second) << (packed ? "PackBits" : "raw");
        }
    }
}

TEST(PsdReader, BitmapModeIsOneBitWithEntryZeroWhite)
{
    const auto graphic = Load(Raw({.channels = 1, .width = 10, .height = 1, .depth = 1, .mode = 0}, {{0x80, 0x40}}));
    ASSERT_EQ(graphic->PixelFormat(), core::pf1bit);
    EXPECT_EQ(graphic->Palette()[0], (gdi::TPaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*graphic, 9, 0), 0x000000u);
    EXPECT_NE(graphic->ImageDescription.Flags & 4, 0);
}

TEST(PsdReader, IndexedImagesUseTheColourTableAsThreePlanes)
{
    Bytes table(768);
    for (std::size_t k = 0; k < 256; ++k) {
        table[k] = static_cast<std::uint8_t>(k);
        table[256 + k] = static_cast<std::uint8_t>(255 - k);
        table[512 + k] = 7;
    }
    const DocumentSpec d{.channels = 1, .width = 2, .mode = 2, .colorModeData = table};
    const auto graphic = Load(Raw(d, {{3, 250}}));
    ASSERT_EQ(graphic->PixelFormat(), core::pf8bit);
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x03FC07u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0xFA0507u);

    // A longer table: the first 768 bytes are the colours, the rest is skipped.
    Bytes longer = table;
    longer.resize(800, 0x55);
    const auto withTail = Load(Raw({.channels = 1, .width = 2, .mode = 2, .colorModeData = longer}, {{3, 250}}));
    EXPECT_EQ(PixelRGB(*withTail, 0, 0), 0x03FC07u);
    EXPECT_EQ(withTail->Palette().size(), 256u);
    // A shorter one gives a third of it to each colour.
    const auto small =
        Load(Raw({.channels = 1, .width = 2, .mode = 2, .colorModeData = {10, 11, 20, 21, 30, 31}}, {{1, 0}}));
    EXPECT_EQ(PixelRGB(*small, 0, 0), 0x0B151Fu);
    EXPECT_EQ(PixelRGB(*small, 1, 0), 0x0A141Eu);
}

TEST(PsdReader, DuotoneIsShownAsGreyAndItsColourDataSkipped)
{
    const DocumentSpec d{.channels = 1, .width = 2, .mode = 8, .colorModeData = Bytes(524, 0xAB)};
    const auto graphic = Load(Raw(d, {{50, 255}}));
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x323232u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0xFFFFFFu);
}

TEST(PsdReader, SixteenBitSamplesAreScaledToEightBits)
{
    // Big-endian samples; 0xFFFF gives 255, 0xFFFE 254, 0x1234 18.
    const std::vector<Bytes> rgb = {{0xFF, 0xFF, 0x00, 0x00}, {0xFF, 0xFE, 0x80, 0x00}, {0x12, 0x34, 0x00, 0xFF}};
    const DocumentSpec d{.width = 2, .depth = 16};
    for (const bool packed : {false, true}) {
        const auto graphic = Load(packed ? PackedPlanes(d, rgb, 4) : Raw(d, rgb));
        ASSERT_EQ(graphic->PixelFormat(), core::pf24bit);
        EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0xFFFE12u) << packed;
        EXPECT_EQ(PixelRGB(*graphic, 1, 0), 0x007F00u) << packed;
    }
    // Grey: scaled into an 8-bit grey raster, not copied.
    const DocumentSpec grey{.channels = 1, .width = 2, .depth = 16, .mode = 1};
    for (const bool packed : {false, true}) {
        const auto graphic =
            Load(packed ? PackedPlanes(grey, {{0xFF, 0xFF, 0x80, 0x00}}, 4) : Raw(grey, {{0xFF, 0xFF, 0x80, 0x00}}));
        ASSERT_EQ(graphic->PixelFormat(), core::pf8bit);
        EXPECT_EQ(Bytes(graphic->ScanLineRead(0), graphic->ScanLineRead(0) + 2), (Bytes{255, 127})) << packed;
    }
    // Lab: the high byte of each sample.
    const auto lab = Load(Raw({.width = 1, .depth = 16, .mode = 9}, {{0xFF, 0x00}, {0x80, 0x00}, {0x80, 0x00}}));
    EXPECT_EQ(PixelRGB(*lab, 0, 0), 0xFFFFFFu);
}

TEST(PsdReader, NegativeLayerCountsMakeTheFirstExtraChannelTransparency)
{
    // A half-transparent red pixel stored matted with white, a transparent one, an opaque one.
    const std::vector<Bytes> planes = {{255, 0, 10}, {127, 0, 20}, {127, 0, 30}, {128, 0, 255}};
    const auto transparent = Load(Raw({.channels = 4, .width = 3, .layers = test::psd::LayerCount(-1)}, planes));
    ASSERT_TRUE(transparent->HasAlpha());
    const std::uint8_t* row = transparent->ScanLineRead(0);
    EXPECT_EQ(Bytes(row, row + 4), (Bytes{0, 0, 255, 128}));
    EXPECT_EQ(Shown(*transparent, 0, 0), 0xFF7F7Fu);
    EXPECT_EQ(Shown(*transparent, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(Shown(*transparent, 2, 0), 0x0A141Eu);
    // Otherwise the colours are shown as stored.
    for (const Bytes& layers : {test::psd::LayerCount(2), Bytes{}}) {
        const auto opaque = Load(Raw({.channels = 4, .width = 3, .layers = layers}, planes));
        EXPECT_FALSE(opaque->HasAlpha());
        EXPECT_EQ(Shown(*opaque, 1, 0), 0x000000u);
    }
}

TEST(PsdReader, PackedRowsNeverReachPastTheirRowOrTheFile)
{
    const DocumentSpec d{.channels = 1, .width = 3, .height = 3, .mode = 1};
    struct Case {
        const char* what;
        std::vector<std::vector<Bytes>> rows;
        std::vector<std::uint32_t> shown;  // the first pixel of each row
    } cases[] = {
        {"a run longer than its row is cut", {{{0x81, 9}, {0xFE, 8}, {0xFE, 7}}}, {0x090909, 0x080808, 0x070707}},
        {"a literal longer than its row is cut",
         {{{0x05, 1, 2, 3, 4, 5, 6}, {0xFE, 8}, {0xFE, 7}}},
         {0x010101, 0x080808, 0x070707}},
        {"a short row keeps the fill", {{{0x00, 4}, {0xFE, 8}, {0xFE, 7}}}, {0x040404, 0x080808, 0x070707}},
        {"a literal cut by its count", {{{0x02, 4}, {0xFE, 8}, {0xFE, 7}}}, {0x040404, 0x080808, 0x070707}},
    };
    for (const Case& c : cases) {
        const auto graphic = Load(Packed(d, c.rows));
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(PixelRGB(*graphic, 0, y), c.shown[static_cast<std::size_t>(y)]) << c.what << ", row " << y;
        if (c.what[2] == 's') {
            EXPECT_EQ(PixelRGB(*graphic, 2, 0), 0xFFFFFFu) << c.what;
        }
    }

    // Counts that run past the end of the file: the rows outside it read nothing.
    Bytes file =
        Packed({.width = 2, .height = 2}, {{{0xFF, 1}, {0xFF, 2}}, {{0xFF, 3}, {0xFF, 4}}, {{0xFF, 5}, {0xFF, 6}}});
    const std::size_t table = file.size() - 12 - 12;
    file[table + 2] = 0x7F;  // red row 1 claims 32 K bytes: the rest of the file and more
    const auto graphic = Load(file);
    // Green and blue now start past the end: they read nothing, 0.
    EXPECT_EQ(PixelRGB(*graphic, 0, 0), 0x010000u);
    EXPECT_EQ(PixelRGB(*graphic, 1, 1), 0x020000u);
}

TEST(PsdReader, BadDocumentsFailWithAMessage)
{
    auto withSignature = [](const char* signature) {
        Bytes b = Raw({}, {{1}, {2}, {3}});
        std::copy(signature, signature + 4, b.begin());
        return b;
    };
    Bytes cut = Raw({.width = 4, .height = 4}, {Bytes(16), Bytes(16), Bytes(16)});
    cut.resize(cut.size() - 1);
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"a wrong signature", withSignature("8BPX"), kInvalidImage},
        {"a lower-case signature", withSignature("8bps"), kInvalidImage},
        {"version 2", Raw({.version = 2}, {{1}, {2}, {3}}), kInvalidImage},
        {"raw data cut short", cut, "Stream read error"},
        {"a colour table past the end", Raw({.channels = 1, .mode = 2, .colorModeData = {}}, {}), "Stream read error"},
        {"an unknown colour mode", Raw({.mode = 5}, {{1}, {2}, {3}}), kSNoConversion},
        {"no channels", Raw({.channels = 0}, {}), kSInvalidSampleCount},
        {"32-bit samples", Raw({.depth = 32}, {Bytes(4), Bytes(4), Bytes(4)}), kSInvalidColorDepth},
        {"1-bit colour", Raw({.depth = 1}, {{0}, {0}, {0}}), kInvalidImage},
        {"4-bit samples", Raw({.channels = 1, .depth = 4, .mode = 1}, {{0}}), kInvalidImage},
        {"RGB of one channel", Raw({.channels = 1}, {{0}}), kInvalidImage},
        {"CMYK of three channels", Raw({.mode = 4}, {{0}, {0}, {0}}), kInvalidImage},
        {"an empty file", {}, kInvalidImage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(test::LoadError<TPSDGraphic>(c.file), c.message) << c.what;
    // The colour table's length field runs past the end.
    Bytes table = Raw({.channels = 1, .mode = 2}, {});
    table[29] = 0x10;
    EXPECT_EQ(test::LoadError<TPSDGraphic>(table), "Stream read error");
    for (const DocumentSpec& huge :
         {DocumentSpec{.width = 30000, .height = 30000}, DocumentSpec{.width = 0x80000000u}}) {
        const std::string message = test::LoadError<TPSDGraphic>(Raw(huge, {}));
        EXPECT_EQ(message.rfind("Image too large", 0), 0u) << message;
    }
    const std::string packed = test::LoadError<TPSDGraphic>(
        Packed({.width = 16000, .height = 16000}, {{{0x81, 0}}, {{0x81, 0}}, {{0x81, 0}}}));
    EXPECT_EQ(packed.rfind("Image too large", 0), 0u) << packed;
}

TEST(PsdReader, TheContentCheckWantsTheSignatureInAnyCaseAndVersionOne)
{
    struct Case {
        const char* signature;
        std::uint16_t version;
        std::size_t size;
        bool accepted;
    } cases[] = {
        {"8BPS", 1, 27, true},  {"8bps", 1, 27, true},  {"8BPS", 2, 27, false},
        {"8BPS", 1, 26, false}, {"8BPX", 1, 40, false},
    };
    for (const Case& c : cases) {
        Bytes file = test::psd::Start({.version = c.version}).take();
        std::copy(c.signature, c.signature + 4, file.begin());
        file.resize(c.size);
        core::TMemoryStream stream(file);
        TPSDGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.accepted) << c.signature << " " << c.version << " " << c.size;
        EXPECT_EQ(stream.Position(), 0u);
    }
}

}  // namespace
}  // namespace scalopex::formats
