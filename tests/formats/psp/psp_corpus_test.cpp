// The public Paint Shop Pro files: the run-length and deflated files hold
// the picture of the uncompressed one and must decode to exactly its
// pixels; the small version 3 file decodes.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/corpus_harness.h"
#include "tests/support/tools.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

std::vector<Entry> PspEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        if (e.reference.ends_with(".psp"))
            e.readReference = [](const std::string& path) {
                return std::optional<test::TPixmap>(DecodeAsBitmap(path));
            };
        else
            e.reference.clear();  // a tag listing, no picture
    }
    return entries;
}

class PspCorpus : public RowTest {};

TEST_P(PspCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, PspCorpus,
    ::testing::Values(Row{
        .name = "psp", .folder = "psp", .entries = PspEntries, .exactFiles = 4, .minimumCompared = 2}),
    RowName);

}  // namespace
