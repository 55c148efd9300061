// Scaling to a maximum dimension and rotation by a quarter turn.

#include <gtest/gtest.h>

#include "base/exceptions.h"
#include "core/picture.h"
#include "core/scaling.h"
#include "tests/support/test_files.h"

using namespace scalopex::base;
using namespace scalopex::core;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;

namespace {
std::uint32_t Grey(int, int) { return 0x777777; }
}  // namespace

TEST(ScaleToMaxDimension, ScalesTheLongerSideToTheMaximum)
{
    struct Row {
        int w, h, max, expectedW, expectedH;
    } rows[] = {
        {1024, 768, 800, 800, 600},
        {768, 1024, 800, 600, 800},
        {500, 500, 120, 120, 120},
        {1000, 333, 250, 250, 83},   // 83.25 rounds down
        {1000, 334, 250, 250, 84},   // 83.5 rounds up
        {100, 50, 800, 800, 400},    // enlarging
        {1000, 1, 250, 250, 1},      // a thin image keeps one pixel
    };
    for (const Row& r : rows) {
        auto source = MakeBitmap24(r.w, r.h, Grey);
        std::unique_ptr<TBitmap> result = ScaleToMaxDimension(source.get(), r.max, kHalftoneFilter);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->Width(), r.expectedW) << r.w << "x" << r.h;
        EXPECT_EQ(result->Height(), r.expectedH) << r.w << "x" << r.h;
        EXPECT_EQ(result->PixelFormat(), pf24bit);
        EXPECT_TRUE(result->IsDormant());
        EXPECT_FALSE(result->Transparent());
        EXPECT_EQ(PixelRGB(*result, r.expectedW - 1, r.expectedH - 1), 0x777777u);
        // The argument is left as it was.
        EXPECT_EQ(source->Width(), r.w);
        EXPECT_FALSE(source->IsDormant());
    }
    EXPECT_EQ(ScaleToMaxDimension(nullptr, 100, kHalftoneFilter), nullptr);
}

TEST(ScaleToMaxDimension, TransparentPartsBecomeWhiteAndTheResultIsOpaque)
{
    // Left half blue, bottom-left blue: the transparent colour.
    auto source = MakeBitmap24(40, 20, [](int x, int) { return x < 20 ? 0x0000FFu : 0xFF0000u; });
    source->SetTransparent(true);
    std::unique_ptr<TBitmap> result = ScaleToMaxDimension(source.get(), 10, kHalftoneFilter);
    EXPECT_EQ(result->Width(), 10);
    EXPECT_EQ(result->Height(), 5);
    EXPECT_FALSE(result->Transparent());
    EXPECT_EQ(result->TransparentMode(), tmAuto);
    EXPECT_EQ(PixelRGB(*result, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*result, 9, 4), 0xFF0000u);
}

TEST(ScaleToMaxDimension, AreaAveragesWhenShrinking)
{
    // Alternating black and white columns average to mid grey.
    auto source = MakeBitmap24(8, 4, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; });
    std::unique_ptr<TBitmap> result = ScaleToMaxDimension(source.get(), 4, kHalftoneFilter);
    EXPECT_EQ(PixelRGB(*result, 1, 1), 0x808080u);  // 127.5 rounds up
}

TEST(StretchHalftone, AnEmptySourceStretchesToWhite)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    StretchHalftone(3, 2, bitmap);
    ASSERT_EQ(bitmap.Width(), 3);
    ASSERT_EQ(bitmap.Height(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelRGB(bitmap, x, y), 0xFFFFFFu);
}

TEST(ScaleToMaxDimension, ATargetBeyondTheLimitsFailsWithAMessage)
{
    auto source = MakeBitmap24(4, 4, Grey);
    try {
        ScaleToMaxDimension(source.get(), 1000000, kHalftoneFilter);
        FAIL();
    } catch (const EOutOfResources& e) {
        EXPECT_NE(std::string(e.what()).find("1000000 x 1000000"), std::string::npos) << e.what();
    }
}

TEST(RotateClockwise, TurnsRowsIntoColumns)
{
    // a b c / d e f  ->  d a / e b / f c
    const std::uint32_t a = 0xA, b = 0xB, c = 0xC, d = 0xD, e = 0xE, f = 0xF;
    const std::uint32_t grid[2][3] = {{a, b, c}, {d, e, f}};
    auto bitmap = MakeBitmap24(3, 2, [&](int x, int y) { return grid[y][x]; });
    RotateClockwise(*bitmap);
    EXPECT_EQ(bitmap->PixelFormat(), pf32bit);
    ASSERT_EQ(bitmap->Width(), 2);
    ASSERT_EQ(bitmap->Height(), 3);
    const std::uint32_t expected[3][2] = {{d, a}, {e, b}, {f, c}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(PixelRGB(*bitmap, x, y), expected[y][x]) << x << "," << y;
}

TEST(RotateClockwise, FourTurnsRestoreThePixelsWithTransparencyOff)
{
    auto start = MakeBitmap24(5, 3, [](int x, int y) { return static_cast<std::uint32_t>(x * 0x10203 + y * 0x70000); });
    TBitmap bitmap;
    bitmap.Assign(start.get());
    bitmap.SetTransparent(true);
    bitmap.SetTransparentColor(RGB(1, 1, 1));
    TPicture picture;
    picture.Assign(&bitmap);
    int changes = 0;
    picture.OnChange = [&](TPicture&) { ++changes; };
    TBitmap& held = picture.Bitmap();
    for (int i = 0; i < 4; ++i)
        RotateClockwise(held);
    EXPECT_GE(changes, 4);  // every turn reaches the picture's listeners
    EXPECT_EQ(held.PixelFormat(), pf32bit);
    EXPECT_FALSE(held.Transparent());
    EXPECT_EQ(held.TransparentMode(), tmAuto);
    ASSERT_EQ(held.Width(), 5);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(PixelRGB(held, x, y), PixelRGB(*start, x, y));
}
