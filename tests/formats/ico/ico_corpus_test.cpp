// The public icon and cursor files: each readable file decodes, the masked
// icon matches its reference decode drawn over white (as the program shows
// transparent pixels), and bad/ files fail with a message.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/corpus_harness.h"
#include "tests/support/tools.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

std::vector<Entry> IcoEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        e.readReference = [](const std::string& path) {
            return test::ImageMagickPixels(path, " -background white -alpha remove -alpha off");
        };
        // A fuzzed file whose directory, header and sizes are all sound; only
        // its colours are noise, which an icon may hold.
        if (e.file == "openimageio/bad/crash-002c.ico")
            e.expect = kDecode | kFailCleanly;
    }
    return entries;
}

class IcoCorpus : public RowTest {};

TEST_P(IcoCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, IcoCorpus,
                         ::testing::Values(Row{.name = "ico",
                                               .folder = "ico",
                                               .entries = IcoEntries,
                                               .tool = "convert -version",
                                               .minimumFiles = 18,
                                               .minimumCompared = 1}),
                         RowName);

}  // namespace
