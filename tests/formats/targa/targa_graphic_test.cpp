#include "formats/targa/targa_graphic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "tests/formats/targa/targa_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;
using test::PixelRGB;
using test::targa::Header;
using test::targa::HeaderSpec;
using test::targa::Load;
using test::targa::Save;

using test::ErrorOf;

Bytes Concat(ByteBuilder builder, const Bytes& tail)
{
    builder.bytes(tail);
    return builder.take();
}

// A Targa graphic sharing the pixels of a 24-bit bitmap made by f.
template <typename F>
std::unique_ptr<TTargaGraphic> Targa24(int width, int height, F f)
{
    auto bitmap = test::MakeBitmap24(width, height, f);
    auto graphic = std::make_unique<TTargaGraphic>();
    graphic->Assign(bitmap.get());
    return graphic;
}

Bytes RowBytesOf(const core::TBitmap& bitmap, int y, std::size_t count)
{
    const std::uint8_t* row = bitmap.ScanLineRead(y);
    return Bytes(row, row + count);
}

// ---- writing ---------------------------------------------------------------

TEST(TargaWriter, OnePixelGivesTheHeaderAndOneRawPacket)
{
    auto graphic = Targa24(1, 1, [](int, int) { return 0x102030u; });
    const Bytes expected = {0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x01, 0x18, 0x00, 0x00, 0x00, 0x00,
                            0x01, 0x00, 0x01, 0x00, 0x18, 0x20, 0x00, 0x30, 0x20, 0x10};
    EXPECT_EQ(Save(*graphic, true), expected);
    core::TMemoryStream stream;
    graphic->SaveToStream(stream);  // the plain overload compresses too
    EXPECT_EQ(stream.Bytes(), expected);
}

TEST(TargaWriter, RowsAreEncodedOnePacketSequencePerRow)
{
    struct Case {
        int width;
        std::function<std::uint32_t(int, int)> pixel;
        Bytes packets;
    } cases[] = {
        {3, [](int x, int) { return 0x010101u * static_cast<std::uint32_t>(x + 1); }, {0x01, 1, 1, 1, 2, 2, 2, 0x00, 3, 3, 3}},
        {129, [](int, int) { return 0x0A0B0Cu; }, {0xFF, 0x0C, 0x0B, 0x0A, 0x00, 0x0C, 0x0B, 0x0A}},
        {130, [](int, int) { return 0x0A0B0Cu; }, {0xFF, 0x0C, 0x0B, 0x0A, 0x81, 0x0C, 0x0B, 0x0A}},
    };
    for (const Case& c : cases) {
        auto graphic = Targa24(c.width, 2, c.pixel);
        const Bytes file = Save(*graphic, true);
        Bytes twoRows = c.packets;
        twoRows.insert(twoRows.end(), c.packets.begin(), c.packets.end());
        EXPECT_EQ(Bytes(file.begin() + 18, file.end()), twoRows) << c.width;
    }
}

TEST(TargaWriter, UncompressedRowsAreWrittenTopFirst)
{
    auto graphic = Targa24(2, 2, [](int x, int y) { return static_cast<std::uint32_t>(y * 2 + x + 1); });
    const Bytes file = Save(*graphic, false);
    ASSERT_EQ(file.size(), 18 + 12u);
    EXPECT_EQ(file[1], 0);
    EXPECT_EQ(file[2], 2);
    EXPECT_EQ(file[16], 24);
    EXPECT_EQ(file[17], 0x20);
    EXPECT_EQ(Bytes(file.begin() + 18, file.end()), (Bytes{1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0}));
}

TEST(TargaWriter, EightBitRastersCarryA256EntryColourMap)
{
    TTargaGraphic graphic;
    graphic.SetPixelFormat(core::pf8bit);
    graphic.SetPalette({{10, 20, 30, 0}, {40, 50, 60, 0}});
    graphic.SetSize(3, 1);
    std::uint8_t* row = graphic.ScanLine(0);
    row[0] = 1;
    row[1] = 0;
    row[2] = 1;
    for (bool compressed : {true, false}) {
        const Bytes file = Save(graphic, compressed);
        EXPECT_EQ(file[1], 1);
        EXPECT_EQ(file[2], compressed ? 9 : 1);
        EXPECT_EQ(file[5] | (file[6] << 8), 256);
        EXPECT_EQ(file[7], 24);
        EXPECT_EQ(file[16], 8);
        ASSERT_EQ(file.size(), 18 + 768 + (compressed ? 5u : 3u));
        EXPECT_EQ(Bytes(file.begin() + 18, file.begin() + 24), (Bytes{30, 20, 10, 60, 50, 40}));
        EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 18 + 768), Bytes(762, 0));
        const Bytes pixels(file.begin() + 18 + 768, file.end());
        EXPECT_EQ(pixels, compressed ? (Bytes{0x01, 1, 0, 0x00, 1}) : (Bytes{1, 0, 1}));
    }
}

TEST(TargaWriter, EmptyRasterWritesNothingAndHugeOnesFail)
{
    TTargaGraphic empty;
    EXPECT_TRUE(Save(empty, true).empty());

    TTargaGraphic wide;
    wide.SetPixelFormat(core::pf8bit);
    wide.SetSize(65536, 1);
    core::TMemoryStream stream;
    EXPECT_THROW(wide.SaveToStream(stream, true), base::EInvalidGraphic);
    EXPECT_EQ(stream.Size(), 0u);
}

TEST(TargaWriter, EveryPixelFormatReadsBackUnchanged)
{
    for (core::TPixelFormat format : {core::pf8bit, core::pf15bit, core::pf24bit, core::pf32bit}) {
        for (bool compressed : {true, false}) {
            TTargaGraphic source;
            source.SetPixelFormat(format);
            if (format == core::pf8bit) {
                gdi::TLogPalette palette(256);
                for (int i = 0; i < 256; ++i)
                    palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                                            static_cast<std::uint8_t>(i * 7), 0};
                source.SetPalette(palette);
            }
            source.SetSize(150, 5);
            const std::size_t rowBytes = 150 * static_cast<std::size_t>(core::BitsPerPixel(format) / 8);
            for (int y = 0; y < 5; ++y) {
                std::uint8_t* row = source.ScanLine(y);
                for (std::size_t i = 0; i < rowBytes; ++i)
                    row[i] = static_cast<std::uint8_t>(i < 40 ? y : (i * 31 + static_cast<std::size_t>(y)) % 251);
                if (format == core::pf15bit)
                    for (std::size_t i = 1; i < rowBytes; i += 2)
                        row[i] &= 0x7F;
            }
            TTargaGraphic copy;
            Load(copy, Save(source, compressed));
            ASSERT_EQ(copy.PixelFormat(), format);
            ASSERT_EQ(copy.Width(), 150);
            ASSERT_EQ(copy.Height(), 5);
            for (int y = 0; y < 5; ++y)
                EXPECT_EQ(RowBytesOf(copy, y, rowBytes), RowBytesOf(source, y, rowBytes)) << format << " row " << y;
            if (format == core::pf8bit) {
                EXPECT_EQ(copy.Palette(), source.Palette());
            }
        }
    }
}

TEST(TargaWriter, ShallowAndSixteenBitRastersAreConvertedWithoutChangingTheRaster)
{
    TTargaGraphic mono;
    mono.SetPixelFormat(core::pf1bit);
    mono.SetPalette({{10, 20, 30, 0}, {200, 100, 50, 0}});
    mono.SetSize(10, 1);
    mono.ScanLine(0)[0] = 0xA0;  // pixels 0 and 2 take entry 1
    mono.ScanLine(0)[1] = 0x40;  // pixel 9 takes entry 1
    TTargaGraphic copy;
    Load(copy, Save(mono, true));
    EXPECT_EQ(mono.PixelFormat(), core::pf1bit);
    ASSERT_EQ(copy.PixelFormat(), core::pf8bit);
    EXPECT_EQ(RowBytesOf(copy, 0, 10), (Bytes{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(PixelRGB(copy, 0, 0), 0xC86432u);
    EXPECT_EQ(PixelRGB(copy, 1, 0), 0x0A141Eu);

    // 5-6-5 words become the file's 5-5-5: green keeps its top five bits.
    TTargaGraphic wide;
    wide.SetPixelFormat(core::pf16bit);
    wide.SetSize(1, 1);
    const unsigned w565 = (21u << 11) | (45u << 5) | 9u;
    wide.ScanLine(0)[0] = static_cast<std::uint8_t>(w565);
    wide.ScanLine(0)[1] = static_cast<std::uint8_t>(w565 >> 8);
    const Bytes file = Save(wide, false);
    ASSERT_EQ(file.size(), 20u);
    EXPECT_EQ(file[16], 16);
    EXPECT_EQ(file[18] | (file[19] << 8), static_cast<int>((21u << 10) | (22u << 5) | 9u));
}

// ---- reading ---------------------------------------------------------------

TEST(TargaReader, RowOrderFollowsTheDescriptor)
{
    const Bytes rows = {1, 1, 1, 2, 2, 2};  // file row 0, file row 1
    struct Case {
        std::uint8_t descriptor;
        std::uint32_t top, bottom;
    } cases[] = {{0x00, 0x020202, 0x010101}, {0x20, 0x010101, 0x020202}};
    for (const Case& c : cases) {
        TTargaGraphic graphic;
        Load(graphic, Concat(Header({.imageType = 2, .depth = 24, .width = 1, .height = 2, .descriptor = c.descriptor}), rows));
        EXPECT_EQ(PixelRGB(graphic, 0, 0), c.top);
        EXPECT_EQ(PixelRGB(graphic, 0, 1), c.bottom);
    }
}

TEST(TargaReader, RightToLeftColumnsAreMirrored)
{
    const Bytes pixels = {1, 2, 3};
    for (std::uint8_t type : {std::uint8_t{3}, std::uint8_t{11}}) {
        const Bytes data = type == 3 ? pixels : Bytes{0x02, 1, 2, 3};
        TTargaGraphic graphic;
        Load(graphic, Concat(Header({.imageType = type, .depth = 8, .width = 3, .height = 1, .descriptor = 0x30}), data));
        EXPECT_EQ(RowBytesOf(graphic, 0, 3), (Bytes{3, 2, 1}));
    }
}

TEST(TargaReader, SixteenBitColourMapEntriesShiftIntoTheTopBits)
{
    for (std::uint8_t bits : {std::uint8_t{15}, std::uint8_t{16}}) {
        ByteBuilder file = Header({.imageType = 1, .depth = 8, .width = 3, .height = 1, .mapType = 1, .mapLength = 3, .mapBits = bits});
        file.u16le(0x7FFF).u16le(0x001F).u16le(0xFC00);  // white, blue, red with bit 15 set
        file.bytes({0, 1, 2});
        TTargaGraphic graphic;
        Load(graphic, file.take());
        EXPECT_EQ(PixelRGB(graphic, 0, 0), 0xF8F8F8u);
        EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x0000F8u);
        EXPECT_EQ(PixelRGB(graphic, 2, 0), 0xF80000u);
        EXPECT_EQ(graphic.Palette().size(), 3u);
    }
}

TEST(TargaReader, ColourMapsOf24And32BitsAndMoreThan256Entries)
{
    ByteBuilder file = Header({.imageType = 1, .depth = 8, .width = 2, .height = 1, .mapType = 1, .mapLength = 300, .mapBits = 32});
    for (int i = 0; i < 300; ++i)
        file.bytes({static_cast<std::uint8_t>(i), 0x11, 0x22, 0xFF});
    file.bytes({0, 255});
    TTargaGraphic graphic;
    Load(graphic, file.take());
    EXPECT_EQ(graphic.Palette().size(), 256u);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x221100u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x2211FFu);

    ByteBuilder rle = Header({.imageType = 9, .depth = 8, .width = 4, .height = 1, .mapType = 1, .mapLength = 2, .mapBits = 24});
    rle.bytes({1, 2, 3, 4, 5, 6}).bytes({0x83, 1});
    TTargaGraphic graphic2;
    Load(graphic2, rle.take());
    EXPECT_EQ(PixelRGB(graphic2, 3, 0), 0x060504u);
}

TEST(TargaReader, GreyImagesUseTheGreyRampAndSkipAColourMap)
{
    ByteBuilder file = Header({.imageType = 3, .depth = 8, .width = 3, .height = 1, .mapType = 1, .mapLength = 2, .mapBits = 16});
    file.u16le(0x7C00).u16le(0x03E0);  // a map the grey image does not use
    file.bytes({0, 128, 255});
    TTargaGraphic graphic;
    Load(graphic, file.take());
    ASSERT_EQ(graphic.PixelFormat(), core::pf8bit);
    ASSERT_EQ(graphic.Palette().size(), 256u);
    EXPECT_EQ(graphic.Palette()[77], (gdi::TPaletteEntry{77, 77, 77, 0}));
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x808080u);
    EXPECT_EQ(PixelRGB(graphic, 2, 0), 0xFFFFFFu);
}

TEST(TargaReader, IdentificationFieldIsSkipped)
{
    ByteBuilder file = Header({.imageType = 2, .depth = 24, .width = 1, .height = 1, .idLength = 255});
    file.fill(255, 0xAB).bytes({1, 2, 3});
    TTargaGraphic graphic;
    Load(graphic, file.take());
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x030201u);
}

TEST(TargaReader, AlphaIsMarkedOnlyWhenTheDescriptorCountsAlphaBits)
{
    struct Case {
        std::uint8_t descriptor;
        bool hasAlpha;
    } cases[] = {{0x28, true}, {0x20, false}, {0x21, true}};
    for (const Case& c : cases) {
        TTargaGraphic graphic;
        Load(graphic, Concat(Header({.imageType = 2, .depth = 32, .width = 1, .height = 1, .descriptor = c.descriptor}), {1, 2, 3, 77}));
        EXPECT_EQ(graphic.HasAlpha(), c.hasAlpha) << int(c.descriptor);
        EXPECT_EQ(graphic.ScanLineRead(0)[3], 77);
    }
}

TEST(TargaReader, SixteenBitGreyFilesHoldGreyAndAlpha)
{
    for (std::uint8_t type : {std::uint8_t{3}, std::uint8_t{11}}) {
        const Bytes data = type == 3 ? Bytes{10, 255, 20, 0} : Bytes{0x01, 10, 255, 20, 0};
        TTargaGraphic graphic;
        Load(graphic, Concat(Header({.imageType = type, .depth = 16, .width = 2, .height = 1, .descriptor = 0x28}), data));
        ASSERT_EQ(graphic.PixelFormat(), core::pf32bit);
        EXPECT_TRUE(graphic.HasAlpha());
        EXPECT_EQ(RowBytesOf(graphic, 0, 8), (Bytes{10, 10, 10, 255, 20, 20, 20, 0}));
    }
}

TEST(TargaReader, SixteenBitPixelsIgnoreTheTopBit)
{
    TTargaGraphic graphic;
    ByteBuilder file = Header({.imageType = 2, .depth = 16, .width = 2, .height = 1});
    file.u16le(0x7C00).u16le(0xFC00);
    Load(graphic, file.take());
    ASSERT_EQ(graphic.PixelFormat(), core::pf15bit);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0xFF0000u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0xFF0000u);
    EXPECT_FALSE(graphic.HasAlpha());
}

TEST(TargaReader, RunsCrossingRowsDecodeAsOneStream)
{
    // 2 × 2 grey, bottom-up: a raw packet of three pixels crosses the first row.
    TTargaGraphic graphic;
    Load(graphic, Concat(Header({.imageType = 11, .depth = 8, .width = 2, .height = 2, .descriptor = 0}), {0x02, 0, 255, 255, 0x00, 0}));
    EXPECT_EQ(RowBytesOf(graphic, 0, 2), (Bytes{255, 0}));
    EXPECT_EQ(RowBytesOf(graphic, 1, 2), (Bytes{0, 255}));
}

TEST(TargaReader, FailuresCarryTheirMessages)
{
    const std::string readError = "Stream read error";
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"pixel depth 1", Concat(Header({.imageType = 3, .depth = 1}), {0}),
         "Sample count per pixel does not correspond to the given color scheme."},
        {"pixel depth 12", Concat(Header({.imageType = 2, .depth = 12}), {0, 0}),
         "Sample count per pixel does not correspond to the given color scheme."},
        {"short header", Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0}, readError},
        {"raw data cut short", Concat(Header({.imageType = 2, .depth = 24, .width = 2, .height = 2}), {1, 2, 3, 4, 5, 6, 7}),
         readError},
        {"id field past the end", Concat(Header({.imageType = 2, .depth = 24, .idLength = 200}), {1, 2, 3}), readError},
        {"colour map past the end",
         Concat(Header({.imageType = 1, .depth = 8, .mapType = 1, .mapLength = 65535, .mapBits = 32}), {1, 2, 3}), readError},
        {"map entries of 8 bits", Concat(Header({.imageType = 1, .depth = 8, .mapType = 1, .mapLength = 1, .mapBits = 8}), {9, 0}),
         "Cannot load image. Invalid or unexpected TGA image format."},
    };
    for (const Case& c : cases) {
        TTargaGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, c.file); }), c.message) << c.what;
    }
}

TEST(TargaReader, HostileSizesAreRefusedBeforeAllocation)
{
    // 65535 × 65535 pixels exceed the engine's raster limit.
    TTargaGraphic graphic;
    const Bytes huge = Concat(Header({.imageType = 10, .depth = 32, .width = 65535, .height = 65535}), {0xFF, 1, 2, 3, 4});
    EXPECT_THROW(Load(graphic, huge), base::EOutOfResources);
    // A raw file of 40000 × 40000 that holds one row fails as short at once.
    const Bytes claims = Concat(Header({.imageType = 3, .depth = 8, .width = 40000, .height = 6000}), Bytes(40000, 1));
    EXPECT_EQ(ErrorOf([&] { Load(graphic, claims); }), "Stream read error");
    EXPECT_TRUE(graphic.Empty());
}

TEST(TargaReader, ShortRunLengthDataLeavesTheRestOfTheRaster)
{
    TTargaGraphic graphic;
    Load(graphic, Concat(Header({.imageType = 10, .depth = 24, .width = 3, .height = 2, .descriptor = 0}), {0x81, 1, 2, 3, 0x02, 4, 5}));
    // Bottom-up: the first file row is the raster's bottom row.
    EXPECT_EQ(PixelRGB(graphic, 0, 1), 0x030201u);
    EXPECT_EQ(PixelRGB(graphic, 1, 1), 0x030201u);
    EXPECT_EQ(PixelRGB(graphic, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0xFFFFFFu);
}

TEST(TargaReader, ImageWithoutPixelDataKeepsItsSize)
{
    TTargaGraphic graphic;
    Load(graphic, Header({.imageType = 0, .depth = 24, .width = 2, .height = 3}).take());
    EXPECT_EQ(graphic.Width(), 2);
    EXPECT_EQ(graphic.Height(), 3);
    EXPECT_EQ(PixelRGB(graphic, 1, 2), 0xFFFFFFu);
}

TEST(TargaReader, LoadingReplacesTheWholeRaster)
{
    TTargaGraphic graphic;
    Load(graphic, Concat(Header({.imageType = 2, .depth = 32, .width = 2, .height = 2, .descriptor = 0x28}), Bytes(16, 9)));
    ASSERT_TRUE(graphic.HasAlpha());
    Load(graphic, Concat(Header({.imageType = 3, .depth = 8, .width = 1, .height = 1}), {5}));
    EXPECT_EQ(graphic.PixelFormat(), core::pf8bit);
    EXPECT_FALSE(graphic.HasAlpha());
    EXPECT_EQ(graphic.Width(), 1);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x050505u);
}

TEST(TargaReader, StartsAtTheStreamPosition)
{
    ByteBuilder file;
    file.fill(7, 0xCC);
    file.bytes(Header({.imageType = 2, .depth = 24}).data()).bytes({1, 2, 3});
    core::TMemoryStream stream(file.take());
    stream.SetPosition(7);
    TTargaGraphic graphic;
    graphic.LoadFromStream(stream);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x030201u);
}

TEST(TargaDescription, ReportsTheSampleLayoutOfEachDepth)
{
    struct Case {
        std::uint8_t type, depth;
        ColorScheme scheme;
        std::uint8_t bits, count;
        CompressionKind compression;
    } cases[] = {
        {1, 8, ColorScheme::Indexed, 8, 1, CompressionKind::None},
        {11, 8, ColorScheme::Gray, 8, 1, CompressionKind::RLE},
        {2, 15, ColorScheme::RGB, 5, 3, CompressionKind::None},
        {10, 16, ColorScheme::RGB, 5, 3, CompressionKind::RLE},
        {2, 24, ColorScheme::RGB, 8, 3, CompressionKind::None},
        {2, 32, ColorScheme::RGBA, 8, 4, CompressionKind::None},
        {3, 16, ColorScheme::GrayAlpha, 8, 2, CompressionKind::None},
        {2, 7, ColorScheme::Unknown, 8, 0, CompressionKind::None},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(Header({.imageType = c.type, .depth = c.depth, .width = 300, .height = 200}).take());
        TTargaGraphic graphic;
        EXPECT_TRUE(graphic.ReadImageDescription(stream));
        const TImageProperties& d = graphic.ImageDescription;
        EXPECT_EQ(d.ImageWidth, 300);
        EXPECT_EQ(d.ImageHeight, 200);
        EXPECT_EQ(d.Scheme, c.scheme) << int(c.depth);
        EXPECT_EQ(d.SampleBits, c.bits);
        EXPECT_EQ(d.SampleCount, c.count);
        EXPECT_EQ(d.PixelBits, c.bits * c.count);
        EXPECT_EQ(d.Compression, c.compression);
    }
}

TEST(TargaContentTest, AcceptsTargaHeadersAndRestoresThePosition)
{
    struct Case {
        HeaderSpec header;
        bool expected;
    } cases[] = {
        {{.imageType = 2, .depth = 24}, true},
        {{.imageType = 10, .depth = 32, .mapBits = 24}, true},
        {{.imageType = 1, .depth = 8, .mapType = 1, .mapLength = 1, .mapBits = 16}, true},
        {{.imageType = 4, .depth = 24}, false},
        {{.imageType = 2, .depth = 12}, false},
        {{.imageType = 2, .depth = 24, .mapType = 2}, false},
        {{.imageType = 1, .depth = 8, .mapType = 1, .mapBits = 8}, false},
    };
    for (const Case& c : cases) {
        ByteBuilder file;
        file.u8(0xEE).bytes(Header(c.header).data()).bytes({1, 2, 3});
        core::TMemoryStream stream(file.take());
        stream.SetPosition(1);
        TTargaGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.expected) << int(c.header.imageType) << "/" << int(c.header.depth);
        EXPECT_EQ(stream.Position(), 1u);
    }
    // Eighteen bytes are a header without data: not enough.
    core::TMemoryStream bare(Header({.imageType = 2, .depth = 24}).take());
    EXPECT_FALSE(TTargaGraphic().CanLoadStream(bare));
}

}  // namespace
}  // namespace scalopex::formats
