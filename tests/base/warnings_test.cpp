#include "base/warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace scalopex::base;

struct Warnings : ::testing::Test {
    std::vector<std::string> shown;
    void SetUp() override
    {
        SetWarningHandler([this](const std::string& text) { shown.push_back(text); });
    }
    void TearDown() override { SetWarningHandler({}); }
};

TEST_F(Warnings, ACaptureKeepsItsThreadsWarningsUntilTheyAreReplayed)
{
    Warn("before");
    std::vector<std::string> kept;
    {
        TWarningCapture capture;
        Warn("one");
        {
            TWarningCapture inner;  // the innermost capture takes them
            Warn("inner");
            EXPECT_EQ(inner.Take(), std::vector<std::string>{"inner"});
        }
        Warn("two");
        // Another thread is not captured by this one's capture.
        std::thread([] { Warn("other thread"); }).join();
        kept = capture.Take();
        EXPECT_TRUE(capture.Take().empty());
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(shown, (std::vector<std::string>{"before", "other thread"}));
    Replay(kept);
    EXPECT_EQ(shown, (std::vector<std::string>{"before", "other thread", "one", "two"}));
}

TEST_F(Warnings, WithoutAHandlerWarningsGoNowhere)
{
    SetWarningHandler({});
    Warn("lost");
    EXPECT_TRUE(shown.empty());
}

}  // namespace
