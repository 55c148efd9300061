// TTIFFGraphic on files spelled out byte by byte: byte orders, sample sizes,
// colour schemes, the decoders, strip, plane and tile layouts, the exact
// messages, and hostile layouts that must clamp or fail, never overrun.

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "base/limits.h"
#include "formats/tiff/tiff_graphic.h"
#include "tests/formats/tiff/tiff_test_util.h"

namespace scalopex::formats {
namespace {

using namespace test::tiff;

constexpr const char* kInvalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
constexpr const char* kUnsupported = "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

// 3 x 2 RGB: red, green, blue; then white, grey, black.
const Bytes kRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 128, 128, 128, 0, 0, 0};

void ExpectRgb3x2(const test::TPixmap& p)
{
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(At(p, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(p, 1, 0), 0x00FF00u);
    EXPECT_EQ(At(p, 2, 0), 0x0000FFu);
    EXPECT_EQ(At(p, 0, 1), 0xFFFFFFu);
    EXPECT_EQ(At(p, 1, 1), 0x808080u);
    EXPECT_EQ(At(p, 2, 1), 0x000000u);
}

TEST(TiffGraphic, bothByteOrdersGiveTheSameRaster)
{
    ExpectRgb3x2(Pixels<TTIFFGraphic>(Image(3, 2, {8, 8, 8}, 2, kRgb).Build()));
    ExpectRgb3x2(Pixels<TTIFFGraphic>(Image(3, 2, {8, 8, 8}, 2, kRgb, 1, true).Build()));
}

TEST(TiffGraphic, sixteenBitBigEndianSamplesKeepTheirHighByte)
{
    const Bytes data = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    TTIFFGraphic graphic;
    Load(graphic, Image(1, 1, {16, 16, 16}, 2, data, 1, true).Build());
    EXPECT_EQ(graphic.PixelFormat(), core::pf24bit);
    EXPECT_EQ(test::PixelRGB(graphic, 0, 0), 0x12569Au);
    // The same samples little-endian.
    const Bytes little = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A};
    EXPECT_EQ(At(Pixels<TTIFFGraphic>(Image(1, 1, {16, 16, 16}, 2, little).Build()), 0, 0), 0x12569Au);
}

TEST(TiffGraphic, twoBitGreyBecomesFourBitWithEvenLevels)
{
    TTIFFGraphic graphic;
    Load(graphic, Image(4, 1, {2}, 1, {0x1B}).Build());
    EXPECT_EQ(graphic.PixelFormat(), core::pf4bit);
    EXPECT_EQ(test::PixelRGB(graphic, 0, 0), 0x000000u);
    EXPECT_EQ(test::PixelRGB(graphic, 1, 0), 0x555555u);
    EXPECT_EQ(test::PixelRGB(graphic, 2, 0), 0xAAAAAAu);
    EXPECT_EQ(test::PixelRGB(graphic, 3, 0), 0xFFFFFFu);
}

TEST(TiffGraphic, minimumIsWhiteInvertsTheGreyPalette)
{
    const test::TPixmap p = Pixels<TTIFFGraphic>(Image(2, 1, {8}, 0, {0, 255}).Build());
    EXPECT_EQ(At(p, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(p, 1, 0), 0x000000u);
}

TEST(TiffGraphic, paletteScalesTheColourMapFromSixteenBits)
{
    TiffBuilder b = Image(3, 1, {8}, 3, {0, 1, 2});
    std::vector<std::uint32_t> map(768, 0);
    map[0] = 0xFFFF;        // red of entry 0
    map[256 + 1] = 0x3333;  // green of entry 1
    map[512 + 2] = 0xFFFF;  // blue of entry 2
    b.Short(320, map);
    TTIFFGraphic graphic;
    Load(graphic, b.Build());
    EXPECT_EQ(graphic.PixelFormat(), core::pf8bit);
    EXPECT_EQ(test::PixelRGB(graphic, 0, 0), 0xFF0000u);
    EXPECT_EQ(test::PixelRGB(graphic, 1, 0), 0x003300u);
    EXPECT_EQ(test::PixelRGB(graphic, 2, 0), 0x0000FFu);
}

TEST(TiffGraphic, colourMapShorterThanThePaletteLeavesTheRestBlack)
{
    TiffBuilder b = Image(2, 1, {8}, 3, {1, 200});
    b.Short(320, {0xFFFF, 0xFFFF, 0, 0, 0, 0xFFFF});  // two entries
    const test::TPixmap p = Pixels<TTIFFGraphic>(b.Build());
    EXPECT_EQ(At(p, 0, 0), 0xFF00FFu);
    EXPECT_EQ(At(p, 1, 0), 0x000000u);
}

TEST(TiffGraphic, cmykGoesThroughTheCmykRoutine)
{
    const Bytes data = {255, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0};
    TTIFFGraphic graphic;
    Load(graphic, Image(3, 1, {8, 8, 8, 8}, 5, data).Build());
    EXPECT_EQ(graphic.PixelFormat(), core::pf24bit);
    EXPECT_EQ(test::PixelRGB(graphic, 0, 0), 0x00FFFFu);
    EXPECT_EQ(test::PixelRGB(graphic, 1, 0), 0x000000u);
    EXPECT_EQ(test::PixelRGB(graphic, 2, 0), 0xFFFFFFu);
}

TEST(TiffGraphic, stripsFollowRowsPerStripAndReuseItsLastValue)
{
    // Without RowsPerStrip the one strip holds the whole image.
    ExpectRgb3x2(Pixels<TTIFFGraphic>(Image(3, 2, {8, 8, 8}, 2, kRgb).Build()));
    // RowsPerStrip 0 is read as the image height.
    ExpectRgb3x2(Pixels<TTIFFGraphic>(Image(3, 2, {8, 8, 8}, 2, kRgb, 1, false, 0).Short(278, {0}).Build()));
    // Two strips of one row each, the second stored first.
    TiffBuilder b;
    const std::uint32_t second = b.Data(Bytes(kRgb.begin() + 9, kRgb.end()));
    const std::uint32_t first = b.Data(Bytes(kRgb.begin(), kRgb.begin() + 9));
    b.Short(256, {3}).Short(257, {2}).Short(258, {8, 8, 8}).Short(259, {1}).Short(262, {2});
    b.Long(273, {first, second}).Short(277, {3}).Short(278, {1}).Long(279, {9, 9});
    ExpectRgb3x2(Pixels<TTIFFGraphic>(b.Build()));
}

TEST(TiffGraphic, packBitsSkipsTheNoOperationCode)
{
    // Literal "abc", -128 (nothing), a run of three 'z'.
    const Bytes packed = {0x02, 'a', 'b', 'c', 0x80, 0xFE, 'z'};
    const test::TPixmap p = Pixels<TTIFFGraphic>(Image(6, 1, {8}, 1, packed, 32773).Build());
    const char want[] = "abczzz";
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(At(p, x, 0), 0x010101u * static_cast<std::uint8_t>(want[x])) << x;
}

TEST(TiffGraphic, predictorTwoWithDeflateUndoesDifferencesWithStrideThree)
{
    const Bytes differences = {10, 20, 30, 1, 2, 3, 1, 1, 1};
    Bytes packed(compressBound(differences.size()));
    uLongf size = packed.size();
    ASSERT_EQ(compress2(packed.data(), &size, differences.data(), differences.size(), 9), Z_OK);
    packed.resize(size);
    for (int compression : {8, 32946}) {
        const test::TPixmap p =
            Pixels<TTIFFGraphic>(Image(3, 1, {8, 8, 8}, 2, packed, compression).Short(317, {2}).Build());
        EXPECT_EQ(At(p, 0, 0), 0x0A141Eu);
        EXPECT_EQ(At(p, 1, 0), 0x0B1621u);
        EXPECT_EQ(At(p, 2, 0), 0x0C1722u);
    }
}

TEST(TiffGraphic, corruptDeflateStripLeavesTheNextStripIntact)
{
    const Bytes row = {7, 7, 7};
    Bytes packed(compressBound(row.size()));
    uLongf size = packed.size();
    ASSERT_EQ(compress2(packed.data(), &size, row.data(), row.size(), 9), Z_OK);
    packed.resize(size);
    TiffBuilder b;
    const std::uint32_t bad = b.Data({0xDE, 0xAD, 0xBE, 0xEF});
    const std::uint32_t good = b.Data(packed);
    b.Short(256, {3}).Short(257, {2}).Short(258, {8}).Short(259, {8}).Short(262, {1});
    b.Long(273, {bad, good}).Short(277, {1}).Short(278, {1}).Long(279, {4, static_cast<std::uint32_t>(packed.size())});
    const test::TPixmap p = Pixels<TTIFFGraphic>(b.Build());
    EXPECT_EQ(At(p, 2, 1), 0x070707u);
}

TEST(TiffGraphic, lzwStripsDecode)
{
    // Nine-bit codes, most significant bit first: clear, 'A', 'B', "AB", end.
    const Bytes packed = {0x80, 0x10, 0x48, 0x50, 0x28, 0x08};
    const test::TPixmap p = Pixels<TTIFFGraphic>(Image(4, 1, {8}, 1, packed, 5).Build());
    EXPECT_EQ(At(p, 0, 0), 0x414141u);
    EXPECT_EQ(At(p, 1, 0), 0x424242u);
    EXPECT_EQ(At(p, 2, 0), 0x414141u);
    EXPECT_EQ(At(p, 3, 0), 0x424242u);
}

TEST(TiffGraphic, groupThreeShowsBlackRunsBlackWithMinimumIsWhite)
{
    // EOL, white 2 (0111), black 3 (10), white 3 (1000).
    const Bytes fax = {0x00, 0x17, 0xA0};
    TTIFFGraphic graphic;
    Load(graphic, Image(8, 1, {1}, 0, fax, 3).Build());
    EXPECT_EQ(graphic.PixelFormat(), core::pf1bit);
    EXPECT_EQ(graphic.ScanLineRead(0)[0], 0x38);  // the black run as 1 bits
    const gdi::TLogPalette palette = graphic.Palette();
    ASSERT_GE(palette.size(), 2u);
    EXPECT_EQ(palette[1], (gdi::TPaletteEntry{0, 0, 0, 0}));
    // The same row with its bits reversed (fill order 2).
    const Bytes reversed = {0x00, 0xE8, 0x05};
    TTIFFGraphic graphic2;
    Load(graphic2, Image(8, 1, {1}, 0, reversed, 3).Short(266, {2}).Build());
    EXPECT_EQ(graphic2.ScanLineRead(0)[0], 0x38);
}

TEST(TiffGraphic, modifiedHuffmanRowsStartOnNewBytes)
{
    // Each row: white 2 (0111), black 3 (10), then the rest of the byte.
    const Bytes mh = {0x78, 0x78};
    TTIFFGraphic graphic;
    Load(graphic, Image(5, 2, {1}, 0, mh, 2).Build());
    EXPECT_EQ(graphic.ScanLineRead(0)[0], 0x38);
    EXPECT_EQ(graphic.ScanLineRead(1)[0], 0x38);
    // Word alignment: the second row starts on an even byte.
    const Bytes words = {0x78, 0xFF, 0x78, 0x00};
    TTIFFGraphic graphic2;
    Load(graphic2, Image(5, 2, {1}, 0, words, 32771).Build());
    EXPECT_EQ(graphic2.ScanLineRead(1)[0], 0x38);
}

TEST(TiffGraphic, fillOrderTwoReversesTheBitsOfEveryKindOfData)
{
    // Uncompressed 8-bit grey: 0x01 stored is 0x80.
    EXPECT_EQ(At(Pixels<TTIFFGraphic>(Image(1, 1, {8}, 1, {0x01}).Short(266, {2}).Build()), 0, 0), 0x808080u);
    // PackBits: the packed bytes are reversed before decoding (0x7F is a run of 2).
    const test::TPixmap p = Pixels<TTIFFGraphic>(Image(2, 1, {8}, 1, {0x7F, 0x02}, 32773).Short(266, {2}).Build());
    EXPECT_EQ(At(p, 0, 0), 0x404040u);
    EXPECT_EQ(At(p, 1, 0), 0x404040u);
}

TEST(TiffGraphic, refusedCompressionsGiveTheUnsupportedMessage)
{
    const Bytes data(16, 0);
    for (int compression : {4, 6, 32766, 34661, 12345})
        EXPECT_EQ(LoadError<TTIFFGraphic>(Image(8, 2, {1}, 0, data, compression).Build()), kUnsupported) << compression;
    // Two-dimensional group 3 data.
    EXPECT_EQ(LoadError<TTIFFGraphic>(Image(8, 2, {1}, 0, data, 3).Long(292, {1}).Build()), kUnsupported);
}

TEST(TiffGraphic, notATiffOrAnEmptyImageGivesTheInvalidMessage)
{
    EXPECT_EQ(LoadError<TTIFFGraphic>({'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0}), kInvalid);
    EXPECT_EQ(LoadError<TTIFFGraphic>({'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0}), kInvalid);
    EXPECT_EQ(LoadError<TTIFFGraphic>(Image(0, 2, {8}, 1, {1, 2}).Build()), kInvalid);
    // The first IFD beyond the file.
    Bytes bytes = Image(2, 1, {8}, 1, {1, 2}).Build();
    bytes[4] = 0xF0;
    EXPECT_EQ(LoadError<TTIFFGraphic>(bytes), kInvalid);
}

TEST(TiffGraphic, canLoadStreamChecksTheHeaderAndRestoresThePosition)
{
    const Bytes good = Image(2, 1, {8}, 1, {1, 2}).Build();
    core::TMemoryStream stream(good);
    TTIFFGraphic graphic;
    EXPECT_TRUE(graphic.CanLoadStream(stream));
    EXPECT_EQ(stream.Position(), 0u);
    core::TMemoryStream shortStream(Bytes{'I', 'I', 42, 0, 8, 0, 0, 0});
    EXPECT_FALSE(graphic.CanLoadStream(shortStream));
    core::TMemoryStream version43(Bytes{'M', 'M', 0, 41, 0, 0, 0, 8, 0, 0});
    EXPECT_FALSE(graphic.CanLoadStream(version43));
}

TEST(TiffGraphic, separatePlanesAreConvertedAsPlanes)
{
    TiffBuilder b;
    const std::uint32_t r = b.Data({255, 0, 0});
    const std::uint32_t g = b.Data({0, 255, 0});
    const std::uint32_t bl = b.Data({0, 0, 255});
    b.Short(256, {3}).Short(257, {1}).Short(258, {8, 8, 8}).Short(259, {1}).Short(262, {2});
    b.Long(273, {r, g, bl}).Short(277, {3}).Long(279, {3, 3, 3}).Short(284, {2});
    const test::TPixmap p = Pixels<TTIFFGraphic>(b.Build());
    EXPECT_EQ(At(p, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(p, 1, 0), 0x00FF00u);
    EXPECT_EQ(At(p, 2, 0), 0x0000FFu);
}

TEST(TiffGraphic, tilesAreCroppedAtTheRightAndBottomEdges)
{
    // A 3 x 3 grey image in 2 x 2 tiles; pixels beyond the image hold 99.
    const auto value = [](int x, int y) { return static_cast<std::uint8_t>(x < 3 && y < 3 ? 10 * y + x + 1 : 99); };
    TiffBuilder b;
    std::vector<std::uint32_t> offsets;
    for (int ty = 0; ty < 2; ++ty)
        for (int tx = 0; tx < 2; ++tx)
            offsets.push_back(b.Data({value(2 * tx, 2 * ty), value(2 * tx + 1, 2 * ty), value(2 * tx, 2 * ty + 1),
                                      value(2 * tx + 1, 2 * ty + 1)}));
    b.Short(256, {3}).Short(257, {3}).Short(258, {8}).Short(259, {1}).Short(262, {1}).Short(277, {1});
    b.Short(322, {2}).Short(323, {2}).Long(324, offsets).Long(325, {4, 4, 4, 4});
    const test::TPixmap p = Pixels<TTIFFGraphic>(b.Build());
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(At(p, x, y), 0x010101u * value(x, y)) << x << "," << y;
}

TEST(TiffGraphic, hostileLayoutsClampInsteadOfOverrunning)
{
    // Strip offset beyond the file: the rows keep the fill.
    TiffBuilder far = Image(3, 2, {8, 8, 8}, 2, kRgb);
    far.Long(273, {0x7FFFFFF0});
    EXPECT_EQ(LoadError<TTIFFGraphic>(far.Build()), "(no error)");
    // A byte count far beyond the file with PackBits.
    EXPECT_EQ(
        LoadError<TTIFFGraphic>(Image(6, 1, {8}, 1, {0x02, 'a', 'b', 'c'}, 32773).Long(279, {0xFFFFFFF0}).Build()),
        "(no error)");
    // More strips than the image needs.
    TiffBuilder many;
    const std::uint32_t o = many.Data(Bytes(kRgb.begin(), kRgb.begin() + 9));
    many.Short(256, {3}).Short(257, {1}).Short(258, {8, 8, 8}).Short(259, {1}).Short(262, {2});
    many.Long(273, {o, o, o, o}).Short(277, {3}).Short(278, {1}).Long(279, {9, 9, 9, 9});
    EXPECT_EQ(LoadError<TTIFFGraphic>(many.Build()), "(no error)");
    // An entry count the file cannot hold.
    Bytes counted = Image(2, 1, {8}, 1, {1, 2}).Build();
    counted[10] = 0xFF;
    counted[11] = 0xFF;
    const std::string message = LoadError<TTIFFGraphic>(counted);
    EXPECT_TRUE(message == "(no error)" || message == kInvalid) << message;
}

TEST(TiffGraphic, sizesBeyondTheLimitsFailBeforeAllocating)
{
    base::TLimits limits = base::Limits();
    limits.maxPixels = 1000;
    base::TScopedLimits scoped(limits);
    try {
        TTIFFGraphic graphic;
        Load(graphic, Image(100, 100, {8}, 1, {1, 2, 3}).Build());
        FAIL() << "loaded";
    } catch (const base::ELimitExceeded& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
    }
}

TEST(TiffGraphic, everyTruncationEndsInARasterOrAMessage)
{
    const Bytes packed = {0x02, 10, 20, 30, 0xFB, 40, 0x02, 50, 60, 70, 0xFB, 80};
    const Bytes whole = Image(3, 2, {8, 8, 8}, 2, packed, 32773, true).Build();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        try {
            TTIFFGraphic graphic;
            Load(graphic, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        } catch (const base::Exception& e) {
            EXPECT_FALSE(std::string(e.what()).empty()) << n;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "cut at " << n << ": " << e.what();
        }
    }
}

TEST(TiffGraphic, saveToStreamWritesNothing)
{
    TTIFFGraphic graphic;
    Load(graphic, Image(3, 2, {8, 8, 8}, 2, kRgb).Build());
    core::TMemoryStream out;
    graphic.SaveToStream(out);
    EXPECT_EQ(out.Size(), 0u);
}

}  // namespace
}  // namespace scalopex::formats
