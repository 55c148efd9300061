// The public cut files, which have no palette files: both decode with the
// grey ramp, their pixels equal to ImageMagick's decode of the indices.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/corpus_harness.h"
#include "tests/support/tools.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

std::vector<Entry> CutEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        e.reference = e.file;
        e.expect = kDecode;
    }
    return entries;
}

class CutCorpus : public RowTest {};

TEST_P(CutCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, CutCorpus,
                         ::testing::Values(Row{.name = "cut",
                                               .folder = "cut",
                                               .entries = CutEntries,
                                               .tool = "convert -version",
                                               .exactFiles = 2,
                                               .minimumCompared = 2}),
                         RowName);

}  // namespace
