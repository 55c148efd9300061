// The public RLA files: 8-bit files match the independent decodes in
// ref-gm/ (drawn over white, as the program shows them); the 10 and 16-bit
// files of the same pictures match those decodes too, within a step of
// rounding; the crop matches its part of the whole picture; bad/ files
// fail with a message.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/corpus_harness.h"
#include "tests/support/tools.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

std::optional<test::TPixmap> OverWhite(const std::string& path, const std::string& options = "")
{
    return test::ImageMagickPixels(path, options + " -background white -alpha remove -alpha off");
}

std::vector<Entry> RlaEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        const std::string& f = e.file;
        e.readReference = [](const std::string& path) { return OverWhite(path); };
        if (f.find("_nc10") != std::string::npos || f.find("_nc16") != std::string::npos) {
            // The wide files hold the pictures of the 8-bit ones.
            std::string name = f.substr(f.find('/') + 1);
            name.replace(name.find("_nc1"), 5, "_nc8");
            e.reference = "openimageio/ref-gm/" + name + ".png";
            e.expect = kDecode;
        }
        // Matte pixels are drawn over white, and two ways of blending round apart.
        e.tolerance.colour = f.find("_rgba_") != std::string::npos || f.find("_a_") != std::string::npos ? 2 : 1;
        if (f == "openimageio/rlacrop.rla") {
            e.reference = "openimageio/ref-gm/ginsu_rgb_nc8.rla.png";
            e.readReference = [](const std::string& path) { return OverWhite(path, "-crop 100x100+100+100 +repage"); };
        }
    }
    return entries;
}

class RlaCorpus : public RowTest {};

TEST_P(RlaCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, RlaCorpus,
                         ::testing::Values(Row{.name = "rla",
                                               .folder = "rla",
                                               .entries = RlaEntries,
                                               .tool = "convert -version",
                                               .minimumFiles = 20,
                                               .minimumCompared = 10}),
                         RowName);

}  // namespace
