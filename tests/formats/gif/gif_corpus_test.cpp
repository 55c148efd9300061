// The public GIF decoder test suite: the first frame of every file, drawn
// over white, must match the suite's frame0 with transparent pixels white.
// Files the suite expects to be rejected must fail with a message or decode
// without harm. Where this reader's documented rules give another picture
// than the suite's, the case is listed with its reason.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

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

Conf ReadConf(const std::string& path)
{
    Conf conf;
    std::ifstream in(path);
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

// Cases where the suite's picture is not this reader's, by design.
const std::map<std::string, std::string> kDeviations = {
    {"image-zero-width", "a frame of width 0 takes the logical screen size and has no data: index 0 (black), not transparent"},
    {"image-zero-height", "a frame of height 0 takes the logical screen size and has no data: index 0 (black), not transparent"},
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

// The suite's raw RGBA frame of width × height, transparent pixels white.
std::optional<test::TPixmap> Frame(const std::string& path, int width, int height)
{
    const std::vector<std::uint8_t> rgba = test::ReadBytes(path);
    if (rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
        return std::nullopt;
    test::TPixmap out{width, height, {}, {}, {}};
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        for (std::size_t c = 0; c < 3; ++c)
            out.rgb.push_back(rgba[i + 3] == 0 ? 255 : rgba[i + c]);
    return out;
}

// One entry a test of the suite's TESTS list: files with a frame0 must
// match it; the others, and the listed deviations, may open or fail.
std::vector<Entry> SuiteTests(const std::string& dir)
{
    std::vector<Entry> entries;
    std::ifstream in(dir + "TESTS");
    for (std::string line; std::getline(in, line);) {
        const std::string name = Trim(line);
        if (name.empty())
            continue;
        const Conf conf = ReadConf(dir + name + ".conf");
        if (conf.frame0.empty() || kDeviations.contains(name)) {
            entries.push_back({.file = conf.input, .expect = kDecode | kFailCleanly});
            continue;
        }
        entries.push_back({.file = conf.input, .reference = conf.frame0, .readReference = [conf](const std::string& path) {
                               return Frame(path, conf.width, conf.height);
                           }});
    }
    return entries;
}

test::TPixmap DrawnFirstFrame(const std::string& path)
{
    return test::ToPixmap(*test::gif::Draw(*test::gif::Decode(test::ReadBytes(path)).image));
}

const Row kRows[] = {
    {.name = "testSuite",
     .folder = "gif-test-suite/test-suite",
     .entries = SuiteTests,
     .decode = DrawnFirstFrame,
     .emptyMayDecode = true,  // a logical screen of width or height 0
     .exactFiles = 84,
     .minimumCompared = 64},
};

class GifCorpus : public RowTest {};

TEST_P(GifCorpus, filesBehaveAsTheirRowSays) { Walk(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Corpus, GifCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
