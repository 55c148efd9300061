// Outputs appear under their final name only when complete: killed or
// interrupted writers leave no output and no image-named file behind.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/paths.h"
#include "output/publishing.h"
#include "output/saving.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using scalopex::test::TempDir;

namespace {

std::vector<std::string> Names(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    return names;
}

// Runs body in a child process and returns how it ended (the signal, or
// 1000 + the exit status).
template <typename Body>
int InChild(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 1000 + WEXITSTATUS(status);
}

}  // namespace

TEST(Publishing, APendingFileHasNoNameUntilItIsPublished)
{
    TempDir dir;
    {
        output::TPendingFile pending(dir.path(), dir.file("a.bmp"));
        pending.Stream().WriteBuffer("half", 4);
        const std::vector<std::string> names = Names(dir);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(names[0].front(), '.');  // hidden, and
        EXPECT_TRUE(names[0].ends_with(".tmp")) << names[0];  // no image extension
        EXPECT_TRUE(pending.PublishAs(dir.file("a.bmp")));
    }
    EXPECT_EQ(Names(dir), std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(test::ReadBytes(dir.file("a.bmp")), (std::vector<std::uint8_t>{'h', 'a', 'l', 'f'}));

    // A name taken stays taken; an unpublished file goes away with its object.
    {
        output::TPendingFile pending(dir.path(), dir.file("a.bmp"));
        pending.Stream().WriteBuffer("new", 3);
        EXPECT_FALSE(pending.PublishAs(dir.file("a.bmp")));
    }
    EXPECT_EQ(Names(dir), std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(test::ReadBytes(dir.file("a.bmp")).size(), 4u);
}

TEST(Publishing, AWriterKilledMidFileLeavesNoOutput)
{
    TempDir dir;
    const int ended = InChild([&] {
        output::TPendingFile pending(dir.path(), dir.file("a.png"));
        pending.Stream().WriteBuffer("partial", 7);
        ::raise(SIGKILL);
    });
    EXPECT_EQ(ended, SIGKILL);
    // The half-written file is left only under its hidden temporary name.
    for (const std::string& name : Names(dir))
        EXPECT_TRUE(name.front() == '.' && name.ends_with(".tmp")) << name;

    // Killed after writing, right before publishing: still no output.
    const int killed = InChild([&] {
        output::SavingOptions().beforeCreate = [](const std::string&) { ::raise(SIGKILL); };
        test::FakeDesktop desktop;
        std::string finalName;
        auto bitmap = test::MakeBitmap24(8, 8, [](int, int) { return 0x808080u; });
        output::SaveImageFile(dir.file("b.bmp"), *bitmap, finalName, desktop);
    });
    EXPECT_EQ(killed, SIGKILL);
    EXPECT_FALSE(base::FileExists(dir.file("b.bmp")));
}

TEST(Publishing, AnInterruptedWriterRemovesItsTemporaryFile)
{
    TempDir dir;
    for (const int signal : {SIGINT, SIGTERM}) {
        const int ended = InChild([&] {
            output::RemovePendingFilesOnSignals();
            output::TPendingFile pending(dir.path(), dir.file("a.gif"));
            pending.Stream().WriteBuffer("partial", 7);
            ::raise(signal);
            ::_exit(3);  // not reached: the signal takes its course after the clean-up
        });
        EXPECT_EQ(ended, signal);
        EXPECT_TRUE(Names(dir).empty()) << signal;
    }
}

TEST(Publishing, AFailedWriteNamesTheFileAndTheReasonAndLeavesNothing)
{
    TempDir dir;
    const int ended = InChild([&] {
        // Files may not grow past 4 KiB in this child: the write fails part-way.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 4096;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        test::FakeDesktop desktop;
        std::string finalName;
        auto big = test::MakeBitmap24(200, 200, [](int, int) { return 0x123456u; });
        try {
            output::SaveImageFile(dir.file("big.bmp"), *big, finalName, desktop);
        } catch (const base::EWriteError& e) {
            const std::string expected = "Cannot write file \"" + dir.file("big.bmp") + "\". File too large";
            ::_exit(e.what() == expected && finalName == dir.file("big.bmp") ? 0 : 2);
        }
        ::_exit(3);
    });
    EXPECT_EQ(ended, 1000);
    EXPECT_TRUE(Names(dir).empty());
}
