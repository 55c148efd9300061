// The raster: new pixels, resizing, formats, transparency, sharing, drawing.

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/picture.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;
using namespace scalopex::core;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;

namespace {

// A graphic class of its own, to check what the base does with it.
class TStubGraphic : public TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TStubGraphic)
};
SCALOPEX_DEFINE_GRAPHIC_CLASS(TStubGraphic, TGraphic)

std::uint32_t Red(int, int) { return 0xFF0000; }

}  // namespace

TEST(Bitmap, NewBitmapIsEmptyAndNewPixelsAreWhite)
{
    TBitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_FALSE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparentMode(), tmAuto);
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(3, 2);
    EXPECT_EQ(bitmap.RowBytes(), 12u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelRGB(bitmap, x, y), 0xFFFFFFu);
}

TEST(Bitmap, ResizingKeepsTheTopLeftAndFillsOnlyNewPixelsWithTheBrush)
{
    auto bitmap = MakeBitmap24(2, 2, Red);
    bitmap->SetWidth(3);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 1), 0xFF0000u);
    EXPECT_EQ(PixelRGB(*bitmap, 2, 0), 0xFFFFFFu);
    bitmap->Canvas().SetBrushColor(RGB(0, 0, 255));
    bitmap->SetHeight(3);
    EXPECT_EQ(PixelRGB(*bitmap, 0, 2), 0x0000FFu);
    EXPECT_EQ(PixelRGB(*bitmap, 2, 1), 0xFFFFFFu);
    bitmap->SetSize(1, 1);
    EXPECT_EQ(PixelRGB(*bitmap, 0, 0), 0xFF0000u);
}

TEST(Bitmap, SubBytePixelsKeepTheirPlaceWhenResized)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf1bit);
    bitmap.Canvas().SetBrushColor(clBlack);
    bitmap.SetSize(5, 1);
    bitmap.Canvas().SetBrushColor(clWhite);
    bitmap.SetSize(11, 1);
    EXPECT_EQ(bitmap.ScanLineRead(0)[0], 0x07);  // five black pixels, then white
    EXPECT_EQ(bitmap.ScanLineRead(0)[1], 0xE0);  // pixels 8 to 10
}

TEST(Bitmap, ScanLineOutsideTheRowsFails)
{
    auto bitmap = MakeBitmap24(2, 2, Red);
    for (int row : {-1, 2}) {
        try {
            bitmap->ScanLine(row);
            FAIL();
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_STREQ(e.what(), "Scan line index out of range");
        }
    }
}

TEST(Bitmap, ConvertsBetweenPixelFormats)
{
    auto bitmap = MakeBitmap24(2, 1, [](int x, int) { return x == 0 ? 0x0A141Eu : 0xFFFFFFu; });
    bitmap->SetPixelFormat(pf32bit);
    const std::uint8_t* p = bitmap->ScanLineRead(0);
    EXPECT_EQ(p[0], 0x1E);
    EXPECT_EQ(p[1], 0x14);
    EXPECT_EQ(p[2], 0x0A);
    EXPECT_EQ(p[3], 0);
    EXPECT_EQ(p[7], 0);

    bitmap->SetPixelFormat(pf16bit);
    EXPECT_EQ(bitmap->PixelFormat(), pf16bit);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFFFFFFu);
    bitmap->SetPixelFormat(pf15bit);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFFFFFFu);
    bitmap->SetPixelFormat(pf8bit);
    EXPECT_EQ(bitmap->Palette().size(), 256u);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFFFFFFu);
    bitmap->SetPixelFormat(pf1bit);
    EXPECT_EQ(PixelRGB(*bitmap, 0, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0xFFFFFFu);

    try {
        bitmap->SetPixelFormat(pfCustom);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Invalid pixel format");
    }
}

TEST(Bitmap, AutomaticTransparentColorIsTheBottomLeftPixel)
{
    auto bitmap = MakeBitmap24(3, 2, [](int x, int y) { return x == 0 && y == 1 ? 0x0A141Eu : 0xFFFFFFu; });
    EXPECT_EQ(bitmap->TransparentColor(), 0x021E140Au);

    // tmFixed freezes the colour read at that moment.
    bitmap->SetTransparentMode(tmFixed);
    bitmap->ScanLine(1)[0] = 0;
    EXPECT_EQ(bitmap->TransparentColor(), 0x021E140Au);
    bitmap->SetTransparentMode(tmAuto);
    EXPECT_EQ(bitmap->TransparentColor(), 0x0200140Au);

    bitmap->SetTransparentColor(RGB(1, 2, 3));
    EXPECT_EQ(bitmap->TransparentMode(), tmFixed);
    EXPECT_EQ(bitmap->TransparentColor(), 0x02030201u);
    bitmap->SetTransparentColor(clDefault);
    EXPECT_EQ(bitmap->TransparentMode(), tmAuto);

    TBitmap mono;
    mono.SetPixelFormat(pf1bit);
    mono.Canvas().SetBrushColor(clBlack);
    mono.SetSize(4, 4);
    EXPECT_EQ(mono.TransparentColor(), 0x02FFFFFFu);
}

TEST(Bitmap, AssignSharesStorageAndCopiesOnTheFirstWrite)
{
    auto a = MakeBitmap24(2, 2, Red);
    a->SetTransparent(true);
    a->SetTransparentColor(RGB(0, 255, 0));
    TBitmap b;
    int changes = 0;
    b.OnChange = [&](TGraphic&) { ++changes; };
    b.Assign(a.get());
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(b.SharesStorageWith(*a));
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(b.TransparentMode(), tmFixed);

    b.ScanLine(0)[0] = 0x12;
    EXPECT_FALSE(b.SharesStorageWith(*a));
    EXPECT_EQ(PixelRGB(*a, 0, 0), 0xFF0000u);
    EXPECT_EQ(PixelRGB(b, 0, 0), 0xFF0012u);

    b.Assign(nullptr);
    EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, AssignFromAnUnrelatedGraphicFailsWithBothClassNames)
{
    TBitmap bitmap;
    TStubGraphic stub;
    try {
        bitmap.Assign(&stub);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TStubGraphic to a TBitmap");
    }
}

TEST(Bitmap, UnfilledGraphicOperationsFailWithAbstractError)
{
    TStubGraphic stub;
    TMemoryStream stream;
    EXPECT_THROW(stub.LoadFromStream(stream), EAbstractError);
    EXPECT_THROW(stub.SaveToStream(stream), EAbstractError);
    EXPECT_THROW((void)stub.Width(), EAbstractError);
}

TEST(Bitmap, TransparentDrawLeavesEveryPixelOfTheKeyColourUnpainted)
{
    // Bottom-left is blue, and so is one pixel at the top right.
    auto source = MakeBitmap24(3, 2, [](int x, int y) {
        if ((x == 0 && y == 1) || (x == 2 && y == 0))
            return 0x0000FFu;
        return 0x123456u;
    });
    source->SetTransparent(true);
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(3, 2);
    target.Canvas().Draw(0, 0, source.get());
    EXPECT_EQ(PixelRGB(target, 0, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(target, 2, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(target, 1, 0), 0x123456u);
    EXPECT_EQ(PixelRGB(target, 1, 1), 0x123456u);
}

TEST(Bitmap, StretchedDrawTakesTheNearestSourcePixel)
{
    auto source = MakeBitmap24(2, 1, [](int x, int) { return x == 0 ? 0x010101u : 0x020202u; });
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(4, 2);
    target.Canvas().StretchDraw(TRect{0, 0, 4, 2}, source.get());
    EXPECT_EQ(PixelRGB(target, 0, 1), 0x010101u);
    EXPECT_EQ(PixelRGB(target, 1, 0), 0x010101u);
    EXPECT_EQ(PixelRGB(target, 2, 1), 0x020202u);
    EXPECT_EQ(PixelRGB(target, 3, 0), 0x020202u);
}

TEST(Bitmap, DrawingAnEmptyGraphicChangesNothing)
{
    auto target = MakeBitmap24(2, 2, Red);
    int changes = 0;
    target->OnChange = [&](TGraphic&) { ++changes; };
    TBitmap empty;
    target->Canvas().Draw(0, 0, &empty);
    target->Canvas().Draw(0, 0, nullptr);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(PixelRGB(*target, 0, 0), 0xFF0000u);
}

TEST(Bitmap, DormantKeepsThePixelsUntilTheyChange)
{
    auto bitmap = MakeBitmap24(5, 3, [](int x, int y) { return static_cast<std::uint32_t>(x * 40 + y * 7000); });
    TMemoryStream before;
    bitmap->SaveToStream(before);
    bitmap->Dormant();
    EXPECT_TRUE(bitmap->IsDormant());
    EXPECT_EQ(bitmap->Width(), 5);
    TMemoryStream kept;
    bitmap->SaveToStream(kept);
    EXPECT_EQ(kept.Bytes(), before.Bytes());
    EXPECT_EQ(PixelRGB(*bitmap, 4, 2), 4u * 40 + 2 * 7000);

    bitmap->FreeImage();
    bitmap->ScanLine(0)[0] = 0xEE;
    EXPECT_FALSE(bitmap->IsDormant());
    TMemoryStream after;
    bitmap->SaveToStream(after);
    EXPECT_NE(after.Bytes(), before.Bytes());
    EXPECT_EQ(after.Bytes().size(), before.Bytes().size());
}

TEST(Bitmap, DormantDoesNotDisturbBitmapsSharingTheStorage)
{
    auto a = MakeBitmap24(4, 4, Red);
    TBitmap b;
    b.Assign(a.get());
    const std::uint8_t* row = b.ScanLineRead(0);
    a->Dormant();
    EXPECT_EQ(row[2], 0xFF);  // b's storage is untouched
    EXPECT_FALSE(b.IsDormant());
}

TEST(Bitmap, FileOpenAndCreateFailuresNameThePath)
{
    scalopex::test::TempDir dir;
    TBitmap bitmap;
    try {
        bitmap.LoadFromFile(dir.file("missing.bmp"));
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir.file("missing.bmp") + "\". No such file or directory");
    }
    try {
        bitmap.SaveToFile(dir.file("no/such/folder.bmp"));
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u);
    }
}

TEST(Picture, BitmapOnAnEmptyPictureMakesOneAndSignalsOnce)
{
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    TBitmap& bitmap = picture.Bitmap();
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(&picture.Bitmap(), &bitmap);
    EXPECT_EQ(changes, 1);
    // Changes of the held bitmap reach the picture's listeners.
    bitmap.SetSize(2, 3);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(picture.Width(), 2);
    EXPECT_EQ(picture.Height(), 3);
}

TEST(Picture, AssignHoldsACopyOfTheGraphicsOwnClass)
{
    auto source = MakeBitmap24(2, 2, Red);
    TPicture picture;
    picture.Assign(source.get());
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_NE(picture.Graphic(), source.get());
    EXPECT_EQ(picture.Graphic()->ClassName(), "TBitmap");
    EXPECT_TRUE(static_cast<TBitmap*>(picture.Graphic())->SharesStorageWith(*source));
    picture.Assign(static_cast<const TGraphic*>(nullptr));
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 0);
}
