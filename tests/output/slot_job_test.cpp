// One output slot: output names, scaling or not, clipboard.

#include <gtest/gtest.h>

#include <cstring>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/scaling.h"
#include "output/slot_job.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using scalopex::test::FakeDesktop;
using scalopex::test::MakeBitmap24;
using scalopex::test::TempDir;

namespace {

output::TSlotJob Job(const std::string& source, const std::string& suffix, const std::string& target,
                     const std::string& dest = "", int max = 0)
{
    output::TSlotJob job;
    job.sourcePath = source;
    job.suffix = suffix;
    job.targetExtension = target;
    job.destFolder = dest;
    job.maxDimension = max;
    job.defaultExtension = ".bmp";
    return job;
}

}  // namespace

TEST(OutputName, FollowsTheSourceNameSuffixAndTarget)
{
    struct Row {
        const char *source, *suffix, *target, *dest, *expected;
    } rows[] = {
        {"/pics/cat.JPG", "_lge", ".jpg", "", "/pics/cat_lge.JPG"},  // own spelling kept
        {"/pics/cat.JPG", "_lge", ".png", "", "/pics/cat_lge.png"},
        {"/pics/cat.JPG", "_lge", ".png", "/out/", "/out/cat_lge.png"},
        {"/pics/cat.JPG", "_lge", ".png", "/out", "/out/cat_lge.png"},  // a '/' is supplied
        {"/pics/cat", "_lge", "", "", "/pics/cat_lge"},
        {"/pics/cat.bmp", "", ".bmp", "", "/pics/cat.bmp"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(output::OutputName(Job(r.source, r.suffix, r.target, r.dest)), r.expected) << r.source;
}

TEST(ProcessSlot, ScalesSavesAndNeverOverwritesTheSource)
{
    TempDir dir;
    FakeDesktop desktop;
    auto working = MakeBitmap24(400, 200, [](int, int) { return 0x808080u; });
    const std::string source = dir.file("cat.bmp");
    working->SaveToFile(source);
    const auto sourceBytes = scalopex::test::ReadBytes(source);

    EXPECT_EQ(output::ProcessSlot(Job(source, "_med", ".bmp", "", 100), *working, desktop), dir.file("cat_med.bmp"));
    core::TBitmap out;
    out.LoadFromFile(dir.file("cat_med.bmp"));
    EXPECT_EQ(out.Width(), 100);
    EXPECT_EQ(out.Height(), 50);

    // An empty suffix names the source itself: the copy goes to "[1]".
    EXPECT_EQ(output::ProcessSlot(Job(source, "", ".bmp", "", 0), *working, desktop), dir.file("cat[1].bmp"));
    EXPECT_EQ(scalopex::test::ReadBytes(source), sourceBytes);
    EXPECT_EQ(working->Width(), 400);  // the working image is left alone
}

TEST(ProcessSlot, MaximumZeroSavesTheWorkingImageInItsOwnFormat)
{
    TempDir dir;
    FakeDesktop desktop;
    auto working = MakeBitmap24(3, 2, [](int, int) { return 0x010203u; });
    core::RotateClockwise(*working);
    const std::string written = output::ProcessSlot(Job(dir.file("r.bmp"), "_x", ".bmp", "", 0), *working, desktop);
    core::TBitmap out;
    out.LoadFromFile(written);
    EXPECT_EQ(out.PixelFormat(), core::pf32bit);
    EXPECT_EQ(out.Width(), 2);
    EXPECT_EQ(out.Height(), 3);
}

namespace {

// Every pixel of a clipboard copy against the bitmap it was made from.
void ExpectSamePixels(const FakeDesktop::ClipboardImage& pasted, const core::TBitmap& expected)
{
    ASSERT_EQ(pasted.width, expected.Width());
    ASSERT_EQ(pasted.height, expected.Height());
    for (int y = 0; y < expected.Height(); ++y)
        for (int x = 0; x < expected.Width(); ++x)
            ASSERT_EQ(pasted.PixelRGB(x, y), scalopex::test::PixelRGB(expected, x, y)) << x << ", " << y;
}

}  // namespace

TEST(ProcessSlot, CopyOnlyPutsTheScaledRowsOnTheClipboardAndWritesNoFile)
{
    TempDir dir;
    FakeDesktop desktop;
    auto working = MakeBitmap24(300, 100, [](int x, int y) { return static_cast<std::uint32_t>(x << 16 | y << 8 | (x ^ y)); });
    output::TSlotJob job = Job(dir.file("c.bmp"), "_lge", ".bmp", "", 30);
    job.copyOnly = true;
    EXPECT_EQ(output::ProcessSlot(job, *working, desktop), "");
    ASSERT_EQ(desktop.clipboardImages.size(), 1u);
    EXPECT_EQ(desktop.clipboardImages[0].bytesPerPixel, 3);
    const auto scaled = core::ScaleToMaxDimension(working.get(), 30, core::kHalftoneFilter);
    ExpectSamePixels(desktop.clipboardImages[0], *scaled);
    EXPECT_EQ(desktop.clipboardImages[0].width, 30);
    EXPECT_EQ(desktop.clipboardImages[0].height, 10);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    desktop.clipboardFails = true;
    EXPECT_THROW(output::ProcessSlot(job, *working, desktop), base::Exception);
}

TEST(ProcessSlot, CopyOnlyHandsThirtyTwoBitRowsAsTheyAre)
{
    FakeDesktop desktop;
    auto working = MakeBitmap24(5, 3, [](int x, int y) { return static_cast<std::uint32_t>(0x102030 * (x + 1) + y); });
    core::RotateClockwise(*working);  // rotation gives 32-bit rows
    ASSERT_EQ(working->PixelFormat(), core::pf32bit);
    output::TSlotJob job = Job("/pics/r.bmp", "_x", ".bmp");
    job.copyOnly = true;
    output::ProcessSlot(job, *working, desktop);
    ASSERT_EQ(desktop.clipboardImages.size(), 1u);
    EXPECT_EQ(desktop.clipboardImages[0].bytesPerPixel, 4);
    ExpectSamePixels(desktop.clipboardImages[0], *working);
}

TEST(ProcessSlot, CopyOnlyOfPalettedImagesHandsATwentyFourBitCopy)
{
    const gdi::TLogPalette palette = {{200, 100, 50, 0}, {10, 20, 30, 0}, {0, 255, 7, 0}};
    for (const core::TPixelFormat format : {core::pf1bit, core::pf4bit, core::pf8bit}) {
        SCOPED_TRACE(format);
        FakeDesktop desktop;
        core::TBitmap working;
        working.SetPixelFormat(format);
        working.SetPalette(format == core::pf1bit ? gdi::TLogPalette(palette.begin(), palette.begin() + 2) : palette);
        working.SetSize(9, 2);
        for (int y = 0; y < 2; ++y)
            std::memset(working.ScanLine(y), 0, working.RowBytes());  // entry 0
        if (format == core::pf1bit) {
            working.ScanLine(0)[0] = 0x81;  // pixels 0 and 7 take entry 1
            working.ScanLine(1)[1] = 0x80;  // pixel 8
        } else if (format == core::pf4bit) {
            working.ScanLine(0)[0] = 0x12;
            working.ScanLine(1)[4] = 0x20;  // pixel 8
        } else {
            working.ScanLine(0)[0] = 1;
            working.ScanLine(0)[1] = 2;
            working.ScanLine(1)[8] = 2;
        }
        output::TSlotJob job = Job("/pics/p.bmp", "_x", ".bmp");
        job.copyOnly = true;
        output::ProcessSlot(job, working, desktop);
        ASSERT_EQ(desktop.clipboardImages.size(), 1u);
        const FakeDesktop::ClipboardImage& pasted = desktop.clipboardImages[0];
        EXPECT_EQ(pasted.bytesPerPixel, 3);
        ExpectSamePixels(pasted, working);
        EXPECT_EQ(pasted.PixelRGB(0, 0), 0x0A141Eu);
        EXPECT_EQ(pasted.PixelRGB(1, 0), format == core::pf1bit ? 0xC86432u : 0x00FF07u);
        EXPECT_EQ(pasted.PixelRGB(8, 1), format == core::pf1bit ? 0x0A141Eu : 0x00FF07u);
        EXPECT_EQ(pasted.PixelRGB(4, 1), 0xC86432u);
        EXPECT_EQ(working.PixelFormat(), format);  // the copy was converted, not the working image
    }
}

TEST(ProcessSlot, ASuffixWithAnAsteriskFailsAsAnInvalidName)
{
    TempDir dir;
    FakeDesktop desktop;
    auto working = MakeBitmap24(3, 2, [](int, int) { return 0u; });
    try {
        output::ProcessSlot(Job(dir.file("a.bmp"), "*", ".bmp"), *working, desktop);
        FAIL();
    } catch (const base::Exception& e) {
        EXPECT_EQ(std::string(e.what()), dir.file("a*.bmp") + "\rThis is an invalid file name");
    }
}
