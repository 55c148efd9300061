// GO, GO ALL and STOP over a stand-in window.

#include <gtest/gtest.h>

#include <algorithm>

#include "base/exceptions.h"
#include "base/paths.h"
#include "core/opening.h"
#include "formats/registry.h"
#include "output/runs.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using scalopex::test::MakeBitmap24;
using scalopex::test::TempDir;

namespace {

class FakeHost : public output::IRunHost {
public:
    const files::TSettings& Settings() const override { return settings; }
    bool SlotActive(int slot) const override { return active[static_cast<std::size_t>(slot)]; }
    bool CopyOnly() const override { return copyOnly; }
    std::string CurrentFile() const override { return current; }
    void SetCurrentFile(const std::string& path) override { current = path; }
    bool LastOpenFailed() const override { return openFailed; }
    void SetLastOpenFailed(bool failed) override { openFailed = failed; }
    int FileCount() const override { return static_cast<int>(entries.size()); }
    std::string FileName(int i) const override { return entries[static_cast<std::size_t>(i)].first; }
    bool FileChecked(int i) const override { return entries[static_cast<std::size_t>(i)].second; }
    core::TPicture& Picture() override { return picture; }
    void RepaintPreview() override {}
    void SetBatchRunning(bool running) override { batchShown.push_back(running); }
    void FileWritten(const std::string& path) override { written.push_back(base::ExtractFileName(path)); }
    void FileVanished(const std::string& path) override { vanished.push_back(base::ExtractFileName(path)); }
    platform::IDesktopServices& Desktop() override { return desktop; }

    files::TSettings settings;
    std::array<bool, 3> active = {true, true, true};
    bool copyOnly = false;
    bool openFailed = false;
    std::string current;
    std::vector<std::pair<std::string, bool>> entries;
    core::TPicture picture;
    std::vector<bool> batchShown;
    std::vector<std::string> written;
    std::vector<std::string> vanished;
    scalopex::test::FakeDesktop desktop;
};

class Runs : public ::testing::Test {
protected:
    void SetUp() override
    {
        formats::RegisterFileFormats();
        host.settings.defaultIndex = 0;  // ".bmp"
        for (auto& slot : host.settings.slots)
            slot.maxDimension = 20;
    }
    std::string MakeImage(const std::string& name)
    {
        auto bitmap = MakeBitmap24(40, 30, [](int x, int) { return 0x010101u * static_cast<unsigned>(x); });
        bitmap->SaveToFile(dir.file(name));
        return dir.file(name);
    }
    void Show(const std::string& path)
    {
        host.current = path;
        auto bitmap = core::LoadGraphicAsBitmap(path);
        host.picture.Assign(bitmap.get());
    }

    TempDir dir;
    FakeHost host;
    output::TRunner runner{host};
};

}  // namespace

TEST_F(Runs, NoChangeCarriesTheFormatOfTheNearestEarlierSlot)
{
    Show(MakeImage("photo.bmp"));
    host.settings.SetFormatIndex(0, 3);  // PNG
    host.settings.SetFormatIndex(1, 0);  // NC: also PNG
    host.settings.SetFormatIndex(2, 1);  // BMP
    runner.Go();
    EXPECT_EQ(host.written, (std::vector<std::string>{"photo_lge.png", "photo_med.png", "photo_sml.bmp"}));
    EXPECT_TRUE(host.desktop.messages.empty());

    // With slot 1 off, slot 2's "NC" keeps the source's own format.
    host.written.clear();
    host.active[0] = false;
    runner.Go();
    EXPECT_EQ(host.written, (std::vector<std::string>{"photo_med.bmp", "photo_sml[1].bmp"}));
    EXPECT_EQ(host.desktop.waitCursorShown, host.desktop.cursorRestored);
}

TEST_F(Runs, GoWithAnEmptyPreviewWritesNothing)
{
    int changes = 0;
    host.picture.OnChange = [&](core::TPicture&) { ++changes; };
    runner.Go();
    EXPECT_EQ(changes, 1);  // the picture was given an empty bitmap
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.desktop.waitCursorShown, 0);
}

TEST_F(Runs, GoAfterAFailedOpenWritesNothingAndSaysSo)
{
    Show(MakeImage("shown.bmp"));
    host.current = dir.file("broken.jpg");  // the box names the file that failed
    host.openFailed = true;
    runner.Go();
    EXPECT_TRUE(host.written.empty());
    ASSERT_EQ(host.desktop.messages.size(), 1u);
    EXPECT_EQ(host.desktop.messages[0].text, dir.file("broken.jpg") + " could not be opened; nothing was written.");
    EXPECT_EQ(host.desktop.messages[0].title, "Scalopex");
}

TEST_F(Runs, GoAllReportsAFileThatOpensEmptyAndWritesNothingForIt)
{
    const std::string good = MakeImage("good.bmp");
    const std::string empty = dir.file("empty.bmp");
    scalopex::test::WriteBytes(empty, {});
    host.entries = {{empty, true}, {good, true}};
    const output::TBatchResult result = runner.GoAll();
    EXPECT_EQ(result.failures, 1);
    EXPECT_EQ(result.filesDone, 1);
    ASSERT_EQ(host.desktop.messages.size(), 1u);
    EXPECT_EQ(host.desktop.messages[0].text, empty + " holds no image.");
    EXPECT_EQ(host.written, (std::vector<std::string>{"good_lge.bmp", "good_med.bmp", "good_sml.bmp"}));
    EXPECT_FALSE(base::FileExists(dir.file("empty_lge.bmp")));
}

TEST_F(Runs, GoAllCountsSlotsThatWroteNothingAndKeepsTheOpenStateCurrent)
{
    // ".dib" is read but not saveable; without a default format the output
    // loses its extension and "Graphic type cannot be saved!" follows.
    const std::string photo = MakeImage("photo.dib");
    const std::string broken = dir.file("broken.bmp");
    scalopex::test::WriteBytes(broken, {'B', 'M', 1, 2});
    host.settings.defaultIndex = -1;
    host.active = {true, false, false};
    host.entries = {{photo, true}, {broken, true}};
    const output::TBatchResult result = runner.GoAll();
    EXPECT_EQ(result.outputsMissing, 1);
    EXPECT_EQ(result.failures, 1);
    EXPECT_EQ(result.filesDone, 1);
    EXPECT_TRUE(host.written.empty());
    EXPECT_TRUE(host.openFailed);  // the last file did not open
    host.entries = {{photo, true}};
    runner.GoAll();
    EXPECT_FALSE(host.openFailed);
}

TEST_F(Runs, CopyOnlyAppliesToSlotOneOfGoAlone)
{
    const std::string photo = MakeImage("photo.bmp");
    Show(photo);
    host.copyOnly = true;
    host.active = {true, false, false};  // the Copy box disables slots 2 and 3
    runner.Go();
    ASSERT_EQ(host.desktop.clipboardImages.size(), 1u);
    EXPECT_TRUE(host.written.empty());
    // Slot 1's size: 40 × 30 scaled to at most 20.
    EXPECT_EQ(host.desktop.clipboardImages[0].width, 20);
    EXPECT_EQ(host.desktop.clipboardImages[0].height, 15);

    host.entries = {{photo, true}};
    runner.GoAll();
    EXPECT_EQ(host.written, (std::vector<std::string>{"photo_lge.bmp"}));
    EXPECT_EQ(host.desktop.clipboardImages.size(), 1u);
}

TEST_F(Runs, AFailingSlotEndsGoAndReachesTheCaller)
{
    Show(MakeImage("photo.bmp"));
    host.settings.slots[1].suffix = "?";
    EXPECT_THROW(runner.Go(), base::Exception);
    EXPECT_EQ(host.written, (std::vector<std::string>{"photo_lge.bmp"}));  // slot 3 did not run
    EXPECT_EQ(host.desktop.waitCursorShown, host.desktop.cursorRestored);
}

TEST_F(Runs, GoAllProcessesCheckedExistingFilesAndGoesOnAfterAFailure)
{
    host.active = {true, false, false};
    const std::string a = MakeImage("a.bmp");
    const std::string gone = MakeImage("gone.bmp");
    const std::string bad = dir.file("bad.bmp");
    scalopex::test::WriteBytes(bad, {'X', 'Y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const std::string skipped = MakeImage("skipped.bmp");
    const std::string c = MakeImage("c.bmp");
    std::filesystem::remove(gone);
    host.entries = {{a, true}, {gone, true}, {bad, true}, {skipped, false}, {c, true}};

    const output::TBatchResult result = runner.GoAll();
    EXPECT_EQ(host.written, (std::vector<std::string>{"a_lge.bmp", "c_lge.bmp"}));
    ASSERT_EQ(host.desktop.messages.size(), 1u);
    EXPECT_EQ(host.desktop.messages[0].text, "Bitmap image is not valid");
    EXPECT_EQ(result.failures, 1);
    EXPECT_EQ(result.filesDone, 2);
    EXPECT_EQ(result.filesVanished, 1);
    EXPECT_EQ(host.vanished, std::vector<std::string>{"gone.bmp"});
    EXPECT_EQ(host.current, c);
    EXPECT_EQ(host.batchShown.front(), true);
    EXPECT_EQ(host.batchShown.back(), false);
    EXPECT_EQ(host.desktop.waitCursorShown, 1);
    EXPECT_EQ(host.desktop.cursorRestored, 1);
}

TEST_F(Runs, StopEndsTheBatchBeforeItsNextFile)
{
    host.active = {true, false, false};
    host.entries = {{MakeImage("a.bmp"), true}, {MakeImage("b.bmp"), true}, {MakeImage("c.bmp"), true}};
    // Pending events are processed before every file: the user clicks STOP
    // while the first one is done, and the list grows meanwhile.
    host.desktop.onPendingEvents = [&] {
        if (host.desktop.pendingEventCalls == 2) {
            runner.Stop();
            host.entries.push_back({MakeImage("late.bmp"), true});
        }
    };
    const output::TBatchResult result = runner.GoAll();
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(host.written, (std::vector<std::string>{"a_lge.bmp"}));
}

TEST_F(Runs, EntriesAddedDuringABatchAreNotProcessed)
{
    host.active = {true, false, false};
    host.entries = {{MakeImage("a.bmp"), true}};
    host.desktop.onPendingEvents = [&] { host.entries.push_back({MakeImage("late.bmp"), true}); };
    runner.GoAll();
    EXPECT_EQ(host.written, (std::vector<std::string>{"a_lge.bmp"}));
}

TEST_F(Runs, GoAllWithNothingCheckedWritesNothing)
{
    host.entries = {{MakeImage("a.bmp"), false}};
    runner.GoAll();
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.desktop.waitCursorShown, host.desktop.cursorRestored);
    EXPECT_EQ(host.batchShown.back(), false);
}

TEST_F(Runs, OpeningAheadGivesTheSameRun)
{
    const std::string a = MakeImage("a.bmp");
    const std::string bad = dir.file("bad.bmp");
    scalopex::test::WriteBytes(bad, {'B', 'M', 0, 0});
    const std::string c = MakeImage("c.bmp");
    const std::string empty = dir.file("empty.bmp");
    scalopex::test::WriteBytes(empty, {});
    const std::string d = MakeImage("d.bmp");
    host.entries = {{a, true}, {bad, true}, {c, false}, {empty, true}, {d, true}};
    const output::TBatchResult plain = runner.GoAll();

    FakeHost ahead;
    ahead.settings = host.settings;
    ahead.entries = host.entries;
    output::TRunner opening(ahead, 2);
    // Names are unique: the outputs of the first run are there.
    const output::TBatchResult early = opening.GoAll();
    EXPECT_EQ(early.filesDone, plain.filesDone);
    EXPECT_EQ(early.failures, plain.failures);
    ASSERT_EQ(ahead.desktop.messages.size(), host.desktop.messages.size());
    for (std::size_t i = 0; i < host.desktop.messages.size(); ++i)
        EXPECT_EQ(ahead.desktop.messages[i].text, host.desktop.messages[i].text);
    std::vector<std::string> expected;
    for (std::string name : host.written)
        expected.push_back(name.insert(name.find('.'), "[1]"));
    EXPECT_EQ(ahead.written, expected);
}

TEST_F(Runs, AFileChangedAfterItWasOpenedAheadIsOpenedAgain)
{
    for (auto& slot : host.settings.slots)
        slot.maxDimension = 0;
    host.active = {true, false, false};
    const std::string a = MakeImage("a.bmp");
    const std::string b = MakeImage("b.bmp");  // 40 x 30 when it is opened ahead
    host.entries = {{a, true}, {b, true}};
    int calls = 0;
    host.desktop.onPendingEvents = [&] {
        if (++calls == 2) {  // before b's turn, after a's slots
            auto bigger = MakeBitmap24(41, 31, [](int, int) { return 0x0000FFu; });
            bigger->SaveToFile(b);
        }
    };
    output::TRunner opening(host, 2);
    opening.GoAll();
    core::TBitmap written;
    written.LoadFromFile(dir.file("b_lge.bmp"));
    EXPECT_EQ(written.Width(), 41);
    EXPECT_EQ(test::PixelRGB(written, 0, 0), 0x0000FFu);
}

TEST_F(Runs, StopWhileFilesAreOpenedAheadWritesNothingMore)
{
    host.active = {true, false, false};
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"})
        host.entries.emplace_back(MakeImage(name), true);
    output::TRunner opening(host, 2);
    host.desktop.onPendingEvents = [&] {
        if (host.written.size() == 1)
            opening.Stop();
    };
    const output::TBatchResult result = opening.GoAll();
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(host.written, std::vector<std::string>{"a_lge.bmp"});
    EXPECT_FALSE(base::FileExists(dir.file("b_lge.bmp")));
}
