// The format registry, the acceptance test and opening files as 24-bit rasters.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "base/exceptions.h"
#include "core/file_formats.h"
#include "core/opening.h"
#include "core/picture.h"
#include "formats/png/png_graphic.h"
#include "formats/registry.h"
#include "formats/targa/targa_graphic.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;
using namespace scalopex::core;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;
using scalopex::test::TempDir;

namespace {

class TBitmapChild : public TBitmap {
    SCALOPEX_GRAPHIC_CLASS(TBitmapChild)
};
SCALOPEX_DEFINE_GRAPHIC_CLASS(TBitmapChild, TBitmap)

class TOther : public TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TOther)
};
SCALOPEX_DEFINE_GRAPHIC_CLASS(TOther, TGraphic)

class Opening : public ::testing::Test {
protected:
    void SetUp() override { scalopex::formats::RegisterFileFormats(); }
};

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no exception)";
}

}  // namespace

TEST(FileFormatsList, NewestEntryWinsAndLookupIgnoresCase)
{
    TFileFormatsList list;
    list.Add("BMP", "first", TBitmap::StaticClass());
    list.Add("bmp", "second", TBitmapChild::StaticClass());
    list.Add("xyz", "other", TOther::StaticClass());
    EXPECT_EQ(list.Entries()[0].extension, "bmp");
    EXPECT_EQ(list.FindExt("Bmp"), &TBitmapChild::StaticClass());
    EXPECT_EQ(list.FindExt("bm"), nullptr);
    EXPECT_EQ(list.FindExt(".bmp"), nullptr);
    EXPECT_EQ(list.GraphicFileMask(TGraphic::StaticClass()), "*.xyz;*.bmp;*.bmp");
    EXPECT_EQ(list.GraphicFileMask(TBitmap::StaticClass()), "*.bmp;*.bmp");

    // Removing a class removes the classes derived from it too.
    list.Remove(TBitmap::StaticClass());
    EXPECT_EQ(list.GraphicFileMask(TGraphic::StaticClass()), "*.xyz");
}

TEST_F(Opening, RegistersTheBuiltFormatsInOrder)
{
    // The mask runs from the newest row to the oldest, duplicates kept (the
    // rows themselves are checked against the design's table elsewhere).
    const std::string mask = GetFileFormats().GraphicFileMask(TGraphic::StaticClass());
    EXPECT_EQ(mask.rfind("*.jpc;*.j2k;*.jp2;*.png;*.psp;", 0), 0u) << mask;
    EXPECT_NE(mask.find(";*.fax;*.tif;*.tiff;*.icb;*.tga;"), std::string::npos) << mask;
    EXPECT_TRUE(mask.ends_with(";*.gif;*.bmp;*.ico;*.emf;*.wmf")) << mask;
    EXPECT_EQ(std::count(mask.begin(), mask.end(), ';') + 1, static_cast<long>(GetFileFormats().Entries().size()));
    std::set<std::string> extensions;
    for (const auto& entry : GetFileFormats().Entries())
        extensions.insert(entry.extension);
    EXPECT_EQ(extensions.size(), 43u);  // every extension of the table, each format built
    EXPECT_EQ(GetFileFormats().FindExt("DIB"), &TBitmap::StaticClass());
    // The reader registered last wins over the writer for png.
    EXPECT_EQ(GetFileFormats().FindExt("Png"), &scalopex::formats::TPNGGraphic::StaticClass());
    EXPECT_EQ(GetFileFormats().FindExt("icb"), &scalopex::formats::TTargaGraphic::StaticClass());
}

TEST_F(Opening, AcceptanceIsASubstringTestOfTheMask)
{
    EXPECT_TRUE(IsGraphicFile("/pics/cat.BMP"));
    EXPECT_TRUE(IsGraphicFile("/pics/cat.dib"));
    EXPECT_TRUE(IsGraphicFile("/pics/cat.bm"));  // ".bm" occurs in "*.bmp"
    EXPECT_TRUE(IsGraphicFile("/pics/cat."));
    EXPECT_FALSE(IsGraphicFile("/pics/cat"));
    EXPECT_FALSE(IsGraphicFile("/pics.bmp/cat"));
    EXPECT_FALSE(IsGraphicFile("/pics/cat.txt"));
    EXPECT_FALSE(IsGraphicFile(""));
}

TEST_F(Opening, UnknownExtensionsFailWithTheExtensionAsWritten)
{
    TempDir dir;
    EXPECT_EQ(MessageOf([&] { LoadGraphicAsBitmap(dir.file("cat.bm")); }), "Unknown picture file extension (.bm)");
    EXPECT_EQ(MessageOf([&] { LoadGraphicAsBitmap(dir.file("cat.")); }), "Unknown picture file extension (.)");
    EXPECT_EQ(MessageOf([&] { LoadGraphicAsBitmap(dir.file("cat")); }), "Unknown picture file extension (.)");
    EXPECT_EQ(MessageOf([&] { LoadGraphicAsBitmap(dir.file("cat.TXT")); }), "Unknown picture file extension (.TXT)");
}

TEST_F(Opening, OpensAnyCaseOfARegisteredExtensionAs24Bit)
{
    TempDir dir;
    auto source = MakeBitmap24(3, 2, [](int x, int y) { return static_cast<std::uint32_t>(0x102030 * (x + 1) + y); });
    source->SetPixelFormat(pf8bit);
    source->SaveToFile(dir.file("cat.BMP"));
    std::unique_ptr<TBitmap> bitmap = LoadGraphicAsBitmap(dir.file("cat.BMP"));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
    EXPECT_EQ(bitmap->Width(), 3);
    EXPECT_EQ(bitmap->Height(), 2);
    EXPECT_FALSE(bitmap->Transparent());
    // The indexed source's colour table comes along as an attached palette.
    EXPECT_EQ(bitmap->Palette().size(), 256u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelRGB(*bitmap, x, y), PixelRGB(*source, x, y));
}

TEST_F(Opening, APipeOrADeviceIsRefusedWithoutWaiting)
{
    scalopex::test::TempDir dir;
    const std::string fifo = dir.file("x.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.file("null.bmp");
    ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
    ::alarm(10);  // a blocking open would hang here: fail the test instead
    for (const std::string& path : {fifo, device}) {
        try {
            LoadGraphicAsBitmap(path);
            ADD_FAILURE() << path << " opened";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". Not a regular file");
        }
    }
    ::alarm(0);
}

TEST_F(Opening, AFailedOpenLeavesThePictureAsItWas)
{
    TempDir dir;
    scalopex::test::WriteBytes(dir.file("bad.bmp"), {'B', 'M', 1, 2, 3});
    TPicture picture;
    auto shown = MakeBitmap24(2, 2, [](int, int) { return 0x00FF00u; });
    picture.Assign(shown.get());
    const TGraphic* before = picture.Graphic();
    EXPECT_EQ(MessageOf([&] { picture.LoadFromFile(dir.file("bad.bmp")); }), "Stream read error");
    EXPECT_EQ(MessageOf([&] { picture.LoadFromFile(dir.file("missing.bmp")); }),
              "Cannot open file \"" + dir.file("missing.bmp") + "\". No such file or directory");
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 2);
}

TEST(GraphicToBitmap, DrawsATransparentGraphicOverWhite)
{
    auto source = MakeBitmap24(2, 2, [](int x, int y) { return x == 0 && y == 1 ? 0x0000FFu : 0x808080u; });
    source->SetTransparent(true);
    std::unique_ptr<TBitmap> bitmap = GraphicToBitmap(source.get());
    EXPECT_TRUE(bitmap->Transparent());
    EXPECT_EQ(bitmap->TransparentMode(), tmAuto);
    EXPECT_EQ(PixelRGB(*bitmap, 0, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 1), 0x808080u);
    EXPECT_EQ(bitmap->TransparentColor(), 0x02FFFFFFu);
    EXPECT_EQ(GraphicToBitmap(nullptr), nullptr);
}

TEST(GraphicToBitmap, SharesTheStorageOfAnOpaque24BitBitmap)
{
    auto source = MakeBitmap24(4, 3, [](int x, int y) { return static_cast<std::uint32_t>(x * 3 + y); });
    source->SetTransparentColor(RGB(1, 2, 3));
    std::unique_ptr<TBitmap> bitmap = GraphicToBitmap(source.get());
    EXPECT_TRUE(bitmap->SharesStorageWith(*source));
    EXPECT_EQ(bitmap->TransparentMode(), tmAuto);
    EXPECT_FALSE(bitmap->Transparent());

    source->SetPixelFormat(pf32bit);
    bitmap = GraphicToBitmap(source.get());
    EXPECT_FALSE(bitmap->SharesStorageWith(*source));
    EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
    EXPECT_EQ(PixelRGB(*bitmap, 3, 2), 11u);
}

namespace {

// A 4 × 1 raster of blue, green, red, alpha pixels flagged (or not) as real alpha.
std::unique_ptr<TBitmap> AlphaRow(bool realAlpha)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(pf32bit);
    bitmap->SetSize(4, 1);
    const std::uint8_t pixels[16] = {0, 0, 255, 255,  0, 0, 255, 0,  0, 0, 255, 128,  200, 100, 0, 51};
    std::memcpy(bitmap->ScanLine(0), pixels, sizeof pixels);
    bitmap->SetHasAlpha(realAlpha);
    return bitmap;
}

}  // namespace

TEST(GraphicToBitmap, CompositesRealAlphaOverWhite)
{
    std::unique_ptr<TBitmap> source = AlphaRow(true);
    ASSERT_TRUE(source->HasAlpha());
    std::unique_ptr<TBitmap> bitmap = GraphicToBitmap(source.get());
    EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
    EXPECT_FALSE(bitmap->Transparent());
    EXPECT_EQ(PixelRGB(*bitmap, 0, 0), 0xFF0000u);  // opaque red
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFFFFFFu);  // fully transparent: white
    EXPECT_EQ(PixelRGB(*bitmap, 2, 0), 0xFF7F7Fu);  // half red over white
    // 20% of red 0, green 100, blue 200 over white: v / 5 + 204.
    EXPECT_EQ(PixelRGB(*bitmap, 3, 0), 0xCCE0F4u);

    // Stretched, the nearest-pixel path composites the same way.
    TBitmap wide;
    wide.SetPixelFormat(pf24bit);
    wide.SetSize(8, 2);
    wide.Canvas().StretchDraw(TRect{0, 0, 8, 2}, source.get());
    EXPECT_EQ(PixelRGB(wide, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(wide, 5, 0), 0xFF7F7Fu);
}

TEST(GraphicToBitmap, AFourthByteThatIsNotAlphaIsCopiedPlainly)
{
    std::unique_ptr<TBitmap> bitmap = GraphicToBitmap(AlphaRow(false).get());
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFF0000u);
    EXPECT_EQ(PixelRGB(*bitmap, 2, 0), 0xFF0000u);

    // Conversions clear the flag; copies and dormant images keep it.
    std::unique_ptr<TBitmap> source = AlphaRow(true);
    TBitmap copy;
    copy.Assign(source.get());
    copy.Dormant();
    EXPECT_TRUE(copy.HasAlpha());
    EXPECT_EQ(PixelRGB(*GraphicToBitmap(&copy), 1, 0), 0xFFFFFFu);
    source->SetPixelFormat(pf24bit);
    source->SetPixelFormat(pf32bit);
    EXPECT_FALSE(source->HasAlpha());
}
