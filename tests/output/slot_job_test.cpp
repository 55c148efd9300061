// One output slot: output names, scaling or not, clipboard.

#include <gtest/gtest.h>

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

TEST(ProcessSlot, CopyOnlyFillsTheClipboardAndWritesNoFile)
{
    TempDir dir;
    FakeDesktop desktop;
    auto working = MakeBitmap24(300, 100, [](int, int) { return 0xFF0000u; });
    output::TSlotJob job = Job(dir.file("c.bmp"), "_lge", ".bmp", "", 30);
    job.copyOnly = true;
    EXPECT_EQ(output::ProcessSlot(job, *working, desktop), "");
    ASSERT_EQ(desktop.clipboardImages.size(), 1u);
    core::TBitmap pasted;
    pasted.LoadFromBytes(desktop.clipboardImages[0]);
    EXPECT_EQ(pasted.Width(), 30);
    EXPECT_EQ(pasted.Height(), 10);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    desktop.clipboardFails = true;
    EXPECT_THROW(output::ProcessSlot(job, *working, desktop), base::Exception);
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
