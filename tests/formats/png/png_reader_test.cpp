// PNG files built chunk by chunk: every colour type and depth with
// hand-worked pixels, the filters, transparency and background, gamma, the
// image description, and broken files with their exact messages.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/opening.h"
#include "formats/common/color_manager.h"
#include "formats/png/png_graphic.h"
#include "tests/formats/png/png_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::png;
using formats::TPNGGraphic;
using scalopex::test::PixelRGB;

namespace {

constexpr const char* kInvalid = "Cannot load image. Invalid or unexpected PNG image format.";
constexpr const char* kCrc = "Cannot load image. CRC error found in PNG file.";
constexpr const char* kCritical = "Cannot load PNG image. Unexpected but critical chunk detected.";
constexpr const char* kColorFormat = "Invalid color format in PNG file.";

Bytes Row(std::initializer_list<std::uint8_t> bytes) { return Bytes(bytes); }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A file of one IHDR, optional chunks, one IDAT of rows and IEND.
Bytes Simple(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType, const Bytes& rows,
             const std::function<void(PngFile&)>& extra = {})
{
    PngFile f;
    f.Ihdr(w, h, depth, colorType);
    if (extra)
        extra(f);
    f.Idat(rows).Iend();
    return f.bytes();
}

std::uint8_t Alpha(const core::TBitmap& b, int x, int y) { return b.ScanLineRead(y)[4 * x + 3]; }

struct LayoutCase {
    const char* name;
    Bytes file;
    core::TPixelFormat format;
    bool hasAlpha;
    std::vector<std::uint32_t> rgb;    // row 0, 0xRRGGBB
    std::vector<std::uint8_t> alpha;   // row 0, for pf32bit
};

TEST(PngReader, decodesEveryColourTypeAndDepthIntoItsRasterLayout)
{
    auto plte3 = [](PngFile& f) { f.Chunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}); };
    auto plteBW = [](PngFile& f) { f.Chunk("PLTE", {0, 0, 0, 255, 255, 255}); };
    const std::vector<LayoutCase> cases = {
        {"grey1", Simple(8, 1, 1, 0, Row({0, 0xA5})), core::pf1bit, false,
         {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0xFFFFFF, 0, 0xFFFFFF}, {}},
        {"grey2", Simple(4, 1, 2, 0, Row({0, 0x1B})), core::pf4bit, false, {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF}, {}},
        {"grey4", Simple(2, 1, 4, 0, Row({0, 0x0F})), core::pf4bit, false, {0x000000, 0xFFFFFF}, {}},
        {"grey8", Simple(2, 1, 8, 0, Row({0, 0x00, 0x80})), core::pf8bit, false, {0x000000, 0x808080}, {}},
        // 16-bit samples are reduced with v * 255 div 65535.
        {"grey16", Simple(3, 1, 16, 0, Row({0, 0xFF, 0xFF, 0xFF, 0xFE, 0x12, 0x34})), core::pf8bit, false,
         {0xFFFFFF, 0xFEFEFE, 0x121212}, {}},
        {"rgb8", Simple(2, 1, 8, 2, Row({0, 1, 2, 3, 250, 251, 252})), core::pf24bit, false, {0x010203, 0xFAFBFC}, {}},
        {"rgb16", Simple(1, 1, 16, 2, Row({0, 0xFF, 0xFF, 0xFF, 0xFE, 0x01, 0x00})), core::pf24bit, false, {0xFFFE00}, {}},
        {"indexed2", Simple(4, 1, 2, 3, Row({0, 0x18}), plte3), core::pf4bit, false,
         {0xFF0000, 0x00FF00, 0x0000FF, 0xFF0000}, {}},
        {"indexed8", Simple(2, 1, 8, 3, Row({0, 1, 2}), plte3), core::pf8bit, false, {0x00FF00, 0x0000FF}, {}},
        // Grey with alpha keeps its alpha (pf32bit), as RGBA does.
        {"greyAlpha8", Simple(2, 1, 8, 4, Row({0, 100, 255, 50, 0})), core::pf32bit, true, {0x646464, 0x323232}, {255, 0}},
        {"greyAlpha16", Simple(1, 1, 16, 4, Row({0, 0xFF, 0xFF, 0x80, 0x00})), core::pf32bit, true, {0xFFFFFF}, {127}},
        {"rgba8", Simple(1, 1, 8, 6, Row({0, 10, 20, 30, 40})), core::pf32bit, true, {0x0A141E}, {40}},
        {"rgba16", Simple(1, 1, 16, 6, Row({0, 0xFF, 0xFF, 0, 0, 0x80, 0, 0xFF, 0xFE})), core::pf32bit, true, {0xFF007F}, {254}},
        // An indexed file's alpha list gives real alpha; entries past it are opaque.
        {"indexed1Alpha", Simple(8, 1, 1, 3, Row({0, 0x0F}), [&](PngFile& f) { plteBW(f); f.Chunk("tRNS", {0x80}); }),
         core::pf32bit, true, {0, 0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, {128, 128, 128, 128, 255, 255, 255, 255}},
        {"indexed2Alpha", Simple(4, 1, 2, 3, Row({0, 0x1B}), [&](PngFile& f) {
             f.Chunk("PLTE", {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
             f.Chunk("tRNS", {255, 0});
         }),
         core::pf32bit, true, {0x010101, 0x020202, 0x030303, 0x040404}, {255, 0, 255, 255}},
        // An alpha list that is all 255 changes nothing.
        {"indexedOpaqueList", Simple(2, 1, 8, 3, Row({0, 0, 1}), [&](PngFile& f) { plte3(f); f.Chunk("tRNS", {255, 255}); }),
         core::pf8bit, false, {0xFF0000, 0x00FF00}, {}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto png = Decode(c.file);
        EXPECT_EQ(png->PixelFormat(), c.format);
        EXPECT_EQ(png->HasAlpha(), c.hasAlpha);
        EXPECT_FALSE(png->Transparent());
        ASSERT_EQ(png->Width(), static_cast<int>(c.rgb.size()));
        for (std::size_t x = 0; x < c.rgb.size(); ++x) {
            EXPECT_EQ(PixelRGB(*png, static_cast<int>(x), 0), c.rgb[x]) << "x=" << x;
            if (!c.alpha.empty()) {
                EXPECT_EQ(Alpha(*png, static_cast<int>(x), 0), c.alpha[x]) << "x=" << x;
            }
        }
    }
}

// Row 1 of a 2 x 2 RGB image, (12,22,32) (20,30,40), under each filter; row 0
// is (10,20,30) (15,25,35) written with Sub.
TEST(PngReader, undoesEveryFilterType)
{
    struct Case {
        const char* name;
        Bytes row1;
    };
    const std::vector<Case> cases = {
        {"none", Row({0, 12, 22, 32, 20, 30, 40})},
        {"sub", Row({1, 12, 22, 32, 8, 8, 8})},
        {"up", Row({2, 2, 2, 2, 5, 5, 5})},
        {"average", Row({3, 7, 12, 17, 7, 7, 7})},
        {"paeth", Row({4, 2, 2, 2, 5, 5, 5})},
        {"unknown type leaves the bytes", Row({7, 12, 22, 32, 20, 30, 40})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto png = Decode(Simple(2, 2, 8, 2, Concat({Row({1, 10, 20, 30, 5, 5, 5}), c.row1})));
        EXPECT_EQ(PixelRGB(*png, 0, 0), 0x0A141Eu);
        EXPECT_EQ(PixelRGB(*png, 1, 0), 0x0F1923u);
        EXPECT_EQ(PixelRGB(*png, 0, 1), 0x0C1620u);
        EXPECT_EQ(PixelRGB(*png, 1, 1), 0x141E28u);
    }
}

TEST(PngReader, filtersGreyWithAlphaOverTwoByteDistance)
{
    // Sub over (10,200) (20,100) (30,50).
    const auto png = Decode(Simple(3, 1, 8, 4, Row({1, 10, 200, 10, 156, 10, 206})));
    EXPECT_EQ(PixelRGB(*png, 2, 0), 0x1E1E1Eu);
    EXPECT_EQ(Alpha(*png, 1, 0), 100);
    EXPECT_EQ(Alpha(*png, 2, 0), 50);
}

struct KeyCase {
    const char* name;
    Bytes file;
    bool transparent;
    core::TColor color;
};

TEST(PngReader, takesTheTransparentColourThatTheRasterShows)
{
    const std::vector<KeyCase> cases = {
        {"grey8 128", Simple(1, 1, 8, 0, Row({0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 128}); }), true, 0x02808080},
        // Value 2 of a 2-bit image shows as grey 170, not as 2 * 5.
        {"grey2 value 2", Simple(1, 1, 2, 0, Row({0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 2}); }), true, 0x02AAAAAA},
        {"grey1 value 1", Simple(1, 1, 1, 0, Row({0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 1}); }), true, 0x02FFFFFF},
        {"grey16", Simple(1, 1, 16, 0, Row({0, 0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0x12, 0x34}); }), true, 0x02121212},
        {"rgb8", Simple(1, 1, 8, 2, Row({0, 0, 0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 10, 0, 20, 0, 30}); }), true,
         0x021E140A},
        {"rgb16", Simple(1, 1, 16, 2, Row({0, 0, 0, 0, 0, 0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0xFF, 0xFF, 0x80, 0, 0, 0}); }),
         true, 0x02007FFF},
        // Values outside the depth's range match no pixel.
        {"grey4 value 16", Simple(1, 1, 4, 0, Row({0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 16}); }), false, 0},
        {"rgb8 value 256", Simple(1, 1, 8, 2, Row({0, 0, 0, 0}), [](PngFile& f) { f.Chunk("tRNS", {1, 0, 0, 0, 0, 0}); }), false, 0},
        {"short tRNS", Simple(1, 1, 8, 2, Row({0, 0, 0, 0}), [](PngFile& f) { f.Chunk("tRNS", {0, 1}); }), false, 0},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto png = Decode(c.file);
        EXPECT_EQ(png->Transparent(), c.transparent);
        if (c.transparent) {
            EXPECT_EQ(png->TransparentColor(), c.color);
        }
    }
}

TEST(PngReader, transparentColourFollowsGammaCorrection)
{
    // Pixel 0 holds the tRNS value 100, pixel 1 the value 150.
    const auto png = Decode(Simple(2, 1, 8, 2, Row({0, 100, 100, 100, 150, 150, 150}), [](PngFile& f) {
        f.Chunk("gAMA", {0, 1, 0x86, 0xA0});  // 100000
        f.Chunk("tRNS", {0, 100, 0, 100, 0, 100});
    }));
    ASSERT_TRUE(png->Transparent());
    EXPECT_EQ(core::ColorToRGB(png->TransparentColor()), [&] {
        const std::uint32_t rgb = PixelRGB(*png, 0, 0);
        return core::RGB(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb));
    }());
    // Drawn over white, the keyed pixel disappears and its neighbour stays.
    const auto drawn = core::GraphicToBitmap(png.get());
    EXPECT_EQ(PixelRGB(*drawn, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*drawn, 1, 0), PixelRGB(*png, 1, 0));
}

TEST(PngReader, drawsGreyKeyOfLowDepthAsWhite)
{
    // 2-bit values 0 1 2 3 with value 2 transparent.
    const auto png = Decode(Simple(4, 1, 2, 0, Row({0, 0x1B}), [](PngFile& f) { f.Chunk("tRNS", {0, 2}); }));
    const auto drawn = core::GraphicToBitmap(png.get());
    EXPECT_EQ(PixelRGB(*drawn, 0, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*drawn, 1, 0), 0x555555u);
    EXPECT_EQ(PixelRGB(*drawn, 2, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*drawn, 3, 0), 0xFFFFFFu);
}

TEST(PngReader, compositesAlphaImagesOverWhiteWhenDrawn)
{
    struct Case {
        const char* name;
        Bytes file;
    };
    // Each first pixel is half-transparent black (alpha 128), the second opaque black.
    const std::vector<Case> cases = {
        {"rgba", Simple(2, 1, 8, 6, Row({0, 0, 0, 0, 128, 0, 0, 0, 255}))},
        {"grey+alpha", Simple(2, 1, 8, 4, Row({0, 0, 128, 0, 255}))},
        {"indexed+tRNS", Simple(2, 1, 8, 3, Row({0, 0, 1}), [](PngFile& f) {
             f.Chunk("PLTE", {0, 0, 0, 0, 0, 0});
             f.Chunk("tRNS", {128, 255});
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto drawn = core::GraphicToBitmap(Decode(c.file).get());
        EXPECT_EQ(PixelRGB(*drawn, 0, 0), 0x7F7F7Fu);  // round(255 * 127 / 255)
        EXPECT_EQ(PixelRGB(*drawn, 1, 0), 0x000000u);
    }
}

// Stored (level 0) zlib data cut after the first row: the rest has no data.
Bytes CutAfterFirstRow(const Bytes& rows, std::size_t rowLength)
{
    Bytes z = Zlib(rows, 0);
    z.resize(2 + 5 + rowLength);  // zlib header, stored block header, one row
    return z;
}

TEST(PngReader, rowsWithoutDataShowTheBackgroundColour)
{
    struct Case {
        const char* name;
        std::uint8_t depth, colorType;
        Bytes rows;  // two rows of one pixel
        std::function<void(PngFile&)> extra;
        std::uint32_t background;
    };
    const std::vector<Case> cases = {
        {"no bKGD: white", 8, 2, Row({0, 1, 2, 3, 0, 1, 2, 3}), {}, 0xFFFFFF},
        {"grey8", 8, 0, Row({0, 9, 0, 9}), [](PngFile& f) { f.Chunk("bKGD", {0, 0x40}); }, 0x404040},
        {"grey2", 2, 0, Row({0, 0, 0, 0}), [](PngFile& f) { f.Chunk("bKGD", {0, 1}); }, 0x555555},
        {"rgb16", 16, 2, Row({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), [](PngFile& f) {
             f.Chunk("bKGD", {0xFF, 0xFF, 0, 0, 0x80, 0});
         }, 0xFF007F},
        {"rgba8", 8, 6, Row({0, 1, 2, 3, 255, 0, 1, 2, 3, 255}), [](PngFile& f) { f.Chunk("bKGD", {0, 0, 0, 255, 0, 0}); },
         0x00FF00},
        {"grey+alpha16", 16, 4, Row({0, 0, 0, 255, 255, 0, 0, 0, 255, 255}), [](PngFile& f) { f.Chunk("bKGD", {0xFF, 0xFF}); },
         0xFFFFFF},
        {"indexed", 8, 3, Row({0, 0, 0, 0}), [](PngFile& f) {
             f.Chunk("PLTE", {1, 2, 3, 40, 50, 60});
             f.Chunk("bKGD", {1});
         }, 0x28323C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PngFile f;
        f.Ihdr(1, 2, c.depth, c.colorType);
        if (c.extra)
            c.extra(f);
        f.Chunk("IDAT", CutAfterFirstRow(c.rows, c.rows.size() / 2)).Iend();
        const auto png = Decode(f.bytes());
        const auto drawn = core::GraphicToBitmap(png.get());
        EXPECT_EQ(PixelRGB(*drawn, 0, 1), c.background);
        EXPECT_NE(PixelRGB(*drawn, 0, 0), c.background);
    }
}

TEST(PngReader, zlibStreamThatEndsEarlyLeavesTheRestToTheBackground)
{
    PngFile f;
    f.Ihdr(1, 3, 8, 0).Chunk("bKGD", {0, 7}).Idat(Row({0, 50})).Iend();
    const auto png = Decode(f.bytes());
    EXPECT_EQ(PixelRGB(*png, 0, 0), 0x323232u);
    EXPECT_EQ(PixelRGB(*png, 0, 1), 0x070707u);
    EXPECT_EQ(PixelRGB(*png, 0, 2), 0x070707u);
}

TEST(PngReader, readsImageDataSplitOverManyChunks)
{
    // Five 1-pixel RGB rows, one per filter type: (10,20,30) (1,2,3) (2,3,4) (2,2,3) (4,5,7).
    const Bytes z = Zlib(Row({0, 10, 20, 30, 1, 1, 2, 3, 2, 1, 1, 1, 3, 1, 1, 1, 4, 2, 3, 4}));
    PngFile split;
    split.Ihdr(1, 5, 8, 2).Chunk("IDAT", std::span<const std::uint8_t>());
    for (std::uint8_t b : z) {
        split.Chunk("IDAT", {b});
        split.Chunk("IDAT", std::span<const std::uint8_t>());  // empty chunks are passed over
    }
    split.Iend();
    const auto png = Decode(split.bytes());
    const std::uint32_t expected[] = {0x0A141E, 0x010203, 0x020304, 0x020203, 0x040507};
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(PixelRGB(*png, 0, y), expected[y]) << y;
}

TEST(PngReader, appliesGammaFromGamaToSamplesAndLaterPalettes)
{
    formats::TColorManager reference;
    reference.SetGammaValues(1.0f, 2.2f);  // gAMA 100000
    const auto& table = reference.GammaTable();
    const std::uint8_t gama[] = {0, 1, 0x86, 0xA0};

    const auto grey = Decode(Simple(2, 1, 8, 0, Row({0, 60, 200}), [&](PngFile& f) { f.Chunk("gAMA", gama); }));
    EXPECT_EQ(PixelRGB(*grey, 0, 0), table[60] * 0x010101u);
    EXPECT_EQ(PixelRGB(*grey, 1, 0), table[200] * 0x010101u);

    const auto rgb = Decode(Simple(1, 1, 8, 2, Row({0, 60, 100, 200}), [&](PngFile& f) { f.Chunk("gAMA", gama); }));
    EXPECT_EQ(PixelRGB(*rgb, 0, 0), (std::uint32_t{table[60]} << 16) | (std::uint32_t{table[100]} << 8) | table[200]);

    // A palette before gAMA stays as it is; one after it is corrected.
    const auto before = Decode(Simple(1, 1, 8, 3, Row({0, 0}), [&](PngFile& f) {
        f.Chunk("PLTE", {60, 60, 60});
        f.Chunk("gAMA", gama);
    }));
    EXPECT_EQ(PixelRGB(*before, 0, 0), 0x3C3C3Cu);
    const auto after = Decode(Simple(1, 1, 8, 3, Row({0, 0}), [&](PngFile& f) {
        f.Chunk("gAMA", gama);
        f.Chunk("PLTE", {60, 60, 60});
    }));
    EXPECT_EQ(PixelRGB(*after, 0, 0), table[60] * 0x010101u);
}

TEST(PngReader, gammaOfOneFileDoesNotCarryOverToTheNext)
{
    const std::uint8_t gama[] = {0, 1, 0x86, 0xA0};
    TPNGGraphic png;
    core::TMemoryStream first(Simple(1, 1, 8, 0, Row({0, 60}), [&](PngFile& f) { f.Chunk("gAMA", gama); }));
    png.LoadFromStream(first);
    EXPECT_NE(PixelRGB(png, 0, 0), 0x3C3C3Cu);
    core::TMemoryStream second(Simple(1, 1, 8, 0, Row({0, 60})));
    png.LoadFromStream(second);
    EXPECT_EQ(PixelRGB(png, 0, 0), 0x3C3C3Cu);
}

TEST(PngReader, describesTheImageFromItsHeader)
{
    PngFile f;
    f.Ihdr(7, 3, 16, 6, 1).Chunk("tEXt", {'a', 0, 'b'}).Chunk("gAMA", {0, 0, 0xB1, 0x8F}).Idat(Row({0})).Iend();
    TPNGGraphic png;
    core::TMemoryStream stream(f.bytes());
    ASSERT_TRUE(png.ReadImageDescription(stream));
    const formats::TImageProperties& d = png.ImageDescription;
    EXPECT_EQ(d.ImageWidth, 7);
    EXPECT_EQ(d.ImageHeight, 3);
    EXPECT_EQ(d.Scheme, formats::ColorScheme::RGBA);
    EXPECT_EQ(d.SampleBits, 16);
    EXPECT_EQ(d.SampleCount, 4);
    EXPECT_EQ(d.PixelBits, 64);
    EXPECT_EQ(d.Compression, formats::CompressionKind::LZ77);
    EXPECT_TRUE(d.IsInterlaced);
    EXPECT_TRUE(d.HasAlphaChannel);
    EXPECT_FLOAT_EQ(d.Gamma, 0.45455f);

    PngFile grey;
    grey.Ihdr(1, 1, 8, 4).Iend();
    core::TMemoryStream greyStream(grey.bytes());
    ASSERT_TRUE(png.ReadImageDescription(greyStream));
    EXPECT_EQ(png.ImageDescription.Scheme, formats::ColorScheme::GrayAlpha);
    EXPECT_EQ(png.ImageDescription.SampleCount, 1);
    EXPECT_FLOAT_EQ(png.ImageDescription.Gamma, 1.0f);

    for (const Bytes& bad : {PngFile().Chunk("gAMA", {0, 1, 0, 0}).bytes(), PngFile().Ihdr(0, 1, 8, 0).bytes(),
                             Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}}) {
        core::TMemoryStream s(bad);
        EXPECT_FALSE(png.ReadImageDescription(s));
    }
}

TEST(PngReader, recognisesItsSignatureWithoutMovingTheStream)
{
    TPNGGraphic png;
    const Bytes file = Simple(1, 1, 8, 0, Row({0, 0}));
    Bytes prefixed = {1, 2, 3};
    prefixed.insert(prefixed.end(), file.begin(), file.end());
    core::TMemoryStream stream(prefixed);
    stream.SetPosition(3);
    EXPECT_TRUE(png.CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 3u);

    core::TMemoryStream signatureOnly(Bytes(file.begin(), file.begin() + 8));
    EXPECT_FALSE(png.CanLoadStream(signatureOnly));  // more than 8 bytes must remain
    Bytes other = file;
    other[1] = 'p';
    core::TMemoryStream wrong(other);
    EXPECT_FALSE(png.CanLoadStream(wrong));
    EXPECT_EQ(wrong.Position(), 0u);
}

struct ErrorCase {
    const char* name;
    Bytes file;
    std::string message;
};

TEST(PngReader, failsOnBrokenFilesWithTheirMessages)
{
    const Bytes row = Row({0, 0});
    const Bytes badDeflate = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes extra = Zlib(row);
    extra.push_back(0);
    Bytes shortStream = Zlib(Row({0, 1, 2}));  // 2 pixels where 3 are needed, then the stream ends
    const std::vector<ErrorCase> cases = {
        {"bad signature", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0B, 0, 0, 0, 0}, kInvalid},
        {"first chunk not IHDR", PngFile().Chunk("gAMA", {0, 1, 0x86, 0xA0}).Ihdr(1, 1, 8, 0).Idat(row).Iend().bytes(),
         kInvalid},
        {"zero height", PngFile().Ihdr(1, 0, 8, 0).Idat(row).Iend().bytes(), kInvalid},
        {"IHDR of 12 bytes", PngFile().Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0}).Iend().bytes(), kInvalid},
        {"IHDR CRC", PngFile().Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0}, 1).Idat(row).Iend().bytes(), kCrc},
        {"IDAT CRC", PngFile().Ihdr(1, 1, 8, 0).Chunk("IDAT", Zlib(row), 1).Iend().bytes(), kCrc},
        {"PLTE CRC", PngFile().Ihdr(1, 1, 8, 3).Chunk("PLTE", {1, 2, 3}, 1).Idat(row).Iend().bytes(), kCrc},
        {"tRNS CRC", PngFile().Ihdr(1, 1, 8, 0).Chunk("tRNS", {0, 1}, 1).Idat(row).Iend().bytes(), kCrc},
        {"gAMA CRC", PngFile().Ihdr(1, 1, 8, 0).Chunk("gAMA", {0, 1, 0x86, 0xA0}, 1).Idat(row).Iend().bytes(), kCrc},
        {"unknown ancillary chunk with a bad CRC is skipped",
         PngFile().Ihdr(1, 1, 8, 0).Chunk("quUx", {1, 2}, 5).Idat(row).Iend().bytes(), ""},
        {"unknown critical chunk", PngFile().Ihdr(1, 1, 8, 0).Chunk("QUUX", {1, 2}).Idat(row).Iend().bytes(), kCritical},
        {"critical chunk after the image data", PngFile().Ihdr(1, 1, 8, 0).Idat(row).Chunk("QUUX", {}).Iend().bytes(),
         kCritical},
        {"second run of image data", PngFile().Ihdr(1, 1, 8, 0).Idat(row).Chunk("tEXt", {'a', 0}).Idat(row).Iend().bytes(),
         kCritical},
        {"palette of 4 bytes", PngFile().Ihdr(1, 1, 8, 3).Chunk("PLTE", {1, 2, 3, 4}).Idat(row).Iend().bytes(),
         "Cannot load image. Palette in PNG file is invalid."},
        {"colour type 1", PngFile().Ihdr(1, 1, 8, 1).Idat(row).Iend().bytes(), kColorFormat},
        {"colour type 7", PngFile().Ihdr(1, 1, 8, 7).Idat(row).Iend().bytes(), kColorFormat},
        {"RGB of 4 bits", PngFile().Ihdr(1, 1, 4, 2).Idat(row).Iend().bytes(), kColorFormat},
        {"indexed of 16 bits", PngFile().Ihdr(1, 1, 16, 3).Idat(row).Iend().bytes(), kColorFormat},
        {"grey of 3 bits", PngFile().Ihdr(1, 1, 3, 0).Idat(row).Iend().bytes(), kColorFormat},
        {"compression method 1", PngFile().Ihdr(1, 1, 8, 0, 0, 1).Idat(row).Iend().bytes(),
         "Cannot load image. The compression scheme is not supported for PNG files."},
        {"no IEND", PngFile().Ihdr(1, 1, 8, 0).Idat(row).bytes(), "Stream read error"},
        {"no IDAT", PngFile().Ihdr(1, 1, 8, 0).Iend().bytes(), kInvalid},
        {"chunk longer than 2^31 - 1",
         PngFile().Ihdr(1, 1, 8, 0).Raw({0x80, 0, 0, 0, 'I', 'D', 'A', 'T'}).bytes(), kInvalid},
        {"chunk longer than the file", PngFile().Ihdr(1, 1, 8, 0).Raw({0x10, 0, 0, 0, 'I', 'D', 'A', 'T', 1, 2, 3}).bytes(),
         "Stream read error"},
        {"palette longer than the file", PngFile().Ihdr(1, 1, 8, 3).Raw({0x7F, 0, 0, 0, 'P', 'L', 'T', 'E'}).bytes(),
         "Stream read error"},
        {"bad deflate data", PngFile().Ihdr(1, 1, 8, 0).Chunk("IDAT", badDeflate).Iend().bytes(),
         "Cannot load image. Compression error found in PNG file."},
        {"data after the zlib stream", PngFile().Ihdr(1, 1, 8, 0).Chunk("IDAT", extra).Iend().bytes(),
         "Cannot load image. Extra compressed data found in PNG file."},
        {"zlib stream ending inside a row", PngFile().Ihdr(3, 1, 8, 0).Chunk("IDAT", shortStream).Iend().bytes(),
         "Cannot load image. Extra compressed data found in PNG file."},
        {"more image data after the zlib stream ended",
         PngFile().Ihdr(1, 2, 8, 0).Chunk("IDAT", Zlib(row)).Chunk("IDAT", Zlib(row)).Iend().bytes(),
         "Cannot load image. Extra compressed data found in PNG file."},
        // A few bytes cannot hold 16000 x 16000 pixels: refused before the raster is made.
        {"size far beyond the data", PngFile().Ihdr(16000, 16000, 8, 6).Idat(row).Iend().bytes(),
         "Image too large for its data: 16000 x 16000 pixels cannot come from 26 bytes"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadError(c.file), c.message);
    }
}

TEST(PngReader, refusesRastersBeyondTheEngineLimits)
{
    const std::string message = LoadError(PngFile().Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 16, 6).Idat(Row({0})).Iend().bytes());
    EXPECT_NE(message.find("Image too large"), std::string::npos) << message;
}

TEST(PngReader, everyTruncationOfAValidFileFailsCleanly)
{
    PngFile f;
    f.Ihdr(3, 3, 8, 3, 1)
        .Chunk("PLTE", {1, 2, 3, 4, 5, 6})
        .Chunk("tRNS", {0})
        .Chunk("bKGD", {1})
        .Chunk("gAMA", {0, 0, 0xB1, 0x8F})
        .Idat(Row({0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1}))  // the five passes of 3 x 3
        .Iend();
    const Bytes& whole = f.bytes();
    ASSERT_EQ(LoadError(whole), "");
    // IEND's CRC is never read, so the cuts inside it do not count.
    for (std::size_t n = 0; n + 4 < whole.size(); ++n) {
        const std::string message = LoadError(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_FALSE(message.empty()) << "cut at " << n;
    }
}

TEST(PngReader, loadingEmptiesTheRasterFirst)
{
    TPNGGraphic png;
    core::TMemoryStream good(Simple(2, 1, 8, 6, Row({0, 1, 2, 3, 4, 5, 6, 7, 8})));
    png.LoadFromStream(good);
    ASSERT_TRUE(png.HasAlpha());
    core::TMemoryStream bad(PngFile().Ihdr(1, 1, 8, 7).Iend().bytes());
    EXPECT_THROW(png.LoadFromStream(bad), base::EInvalidGraphic);
    EXPECT_TRUE(png.Empty());
    EXPECT_FALSE(png.HasAlpha());
    EXPECT_FALSE(png.Transparent());
}

}  // namespace
