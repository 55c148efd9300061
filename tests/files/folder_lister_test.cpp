// The folder listing worker: which entries it lists, and how a newer listing
// replaces an older one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "files/folder_lister.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using files::TFolderLister;
using test::TempDir;
using test::WriteBytes;

namespace {

using namespace std::chrono_literals;

// Stands in for the window: matches are queued as if posted to its event
// loop, and appended to the list only while their generation is current.
class FakeList {
public:
    FakeList() : lister([this](std::uint64_t generation, const std::string& path) { Post(generation, path); }) {}

    void Post(std::uint64_t generation, const std::string& path)
    {
        std::unique_lock lock(mutex);
        posted.emplace_back(generation, path);
        arrived.notify_all();
        // A held list keeps the worker inside this post until Release.
        arrived.wait(lock, [this] { return !held; });
    }
    // Waits until at least n matches were posted.
    void WaitForPosts(std::size_t n)
    {
        std::unique_lock lock(mutex);
        arrived.wait(lock, [&] { return posted.size() >= n; });
    }
    void Release()
    {
        const std::lock_guard lock(mutex);
        held = false;
        arrived.notify_all();
    }
    std::size_t PostedCount()
    {
        const std::lock_guard lock(mutex);
        return posted.size();
    }
    // Runs the queued events and gives the list's entries, sorted.
    std::vector<std::string> Entries()
    {
        lister.Wait();
        std::vector<std::string> entries;
        for (const auto& [generation, path] : posted)
            if (lister.IsCurrent(generation))
                entries.push_back(path);
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    bool held = false;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::uint64_t, std::string>> posted;
    TFolderLister lister;
};

void Touch(const std::string& path)
{
    WriteBytes(path, {});
}

}  // namespace

TEST(FolderLister, ListsImageFilesWithFullPaths)
{
    TempDir dir;
    // ".jp", ".t" and ".tga;" occur within the mask text; ".jpgx" and ".pcx" do not.
    for (const char* name : {"a.JPG", "b.png", "c.txt", ".hidden.jpg", "x.jp", "x.t", "x.", "noext", "y.TIFF", "z.jpgx",
                             "p.pcx", "t.tga;"})
        Touch(dir.file(name));
    std::filesystem::create_directory(dir.file("album.jpg"));     // folders are listed like files
    std::filesystem::create_directory(dir.file("nested"));
    Touch(dir.file("nested/deep.jpg"));                            // no recursion

    FakeList list;
    list.lister.ListFolder(dir.file("a.JPG"));
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{dir.file("a.JPG"), dir.file("album.jpg"), dir.file("b.png"),
                                                        dir.file("t.tga;"), dir.file("x.jp"), dir.file("x.t"),
                                                        dir.file("y.TIFF")}));
}

TEST(FolderLister, MissingFolderListsNothing)
{
    TempDir dir;
    FakeList list;
    list.lister.ListFolder(dir.file("missing/a.jpg"));
    list.lister.ListFolder(dir.file("plain.jpg/"));  // not a folder
    Touch(dir.file("plain.jpg"));
    EXPECT_TRUE(list.Entries().empty());
}

TEST(FolderLister, BareFileNameListsCurrentFolder)
{
    TempDir dir;
    Touch(dir.file("a.bmp"));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    FakeList list;
    list.lister.ListFolder("a.bmp");
    const auto entries = list.Entries();
    std::filesystem::current_path(previous);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::filesystem::path(entries[0]), std::filesystem::canonical(dir.file("a.bmp")));
}

TEST(FolderLister, NewerListingReplacesAnEarlierOne)
{
    TempDir big;
    constexpr int kBigCount = 400;
    for (int i = 0; i < kBigCount; ++i)
        Touch(big.file("img" + std::to_string(i) + ".jpg"));
    TempDir small;
    Touch(small.file("one.png"));
    Touch(small.file("two.gif"));

    FakeList list;
    const std::uint64_t first = list.lister.ListFolder(big.file("x.jpg"));
    list.WaitForPosts(1);  // the big listing is under way
    const std::uint64_t second = list.lister.ListFolder(small.file("one.png"));
    const std::size_t postedBefore = list.PostedCount();
    EXPECT_FALSE(list.lister.IsCurrent(first));
    EXPECT_TRUE(list.lister.IsCurrent(second));
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{small.file("one.png"), small.file("two.gif")}));

    // The earlier worker sent nothing after the new listing began.
    const auto fromFirst = std::count_if(list.posted.begin(), list.posted.end(),
                                         [&](const auto& p) { return p.first == first; });
    EXPECT_GE(fromFirst, 1);
    EXPECT_LE(static_cast<std::size_t>(fromFirst), postedBefore);
}

TEST(FolderLister, StoppedWorkersEndAtTheirNextEntry)
{
    TempDir dir;
    for (int i = 0; i < 200; ++i)
        Touch(dir.file(std::to_string(i) + ".png"));
    {
        FakeList list;
        list.held = true;
        list.lister.ListFolder(dir.file("a.png"));
        list.WaitForPosts(1);  // the worker is inside its first post
        list.lister.Stop();
        list.Release();
        list.lister.Wait();
        EXPECT_EQ(list.PostedCount(), 1u);
    }
    // Destroying a lister stops its workers the same way before it waits.
    FakeList list;
    list.lister.ListFolder(dir.file("a.png"));
    list.WaitForPosts(1);
}

TEST(FolderLister, ThrowingSinkEndsOnlyItsWorker)
{
    TempDir dir;
    Touch(dir.file("a.png"));
    Touch(dir.file("b.png"));
    int calls = 0;
    TFolderLister lister([&](std::uint64_t, const std::string&) {
        ++calls;
        throw std::runtime_error("sink failed");
    });
    lister.ListFolder(dir.file("a.png"));
    lister.Wait();
    EXPECT_EQ(calls, 1);
}
