// The public PCX corpus: every file of its manifest behaves as the manifest
// says, and decodes to its template (or, where it has none, to ImageMagick's
// decode of the file).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/pcx/pcx_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

test::TPixmap DecodePcx(const std::string& path)
{
    TPCXGraphic graphic;
    graphic.LoadFromFile(path);
    return test::ToPixmap(graphic, graphic.HasAlpha());
}

std::vector<Entry> PcxEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir, {.transparentColourFree = true});
    for (Entry& e : entries) {
        // Pillow's files come without a template: Pillow's own decode stands
        // in (ImageMagick shows pil184.pcx's 1-bit pixels inverted). The
        // 4-plane file is checked on its own below.
        if (e.reference.empty() && (e.expect & kDecode) != 0 && e.file != "pillow/p_4_planes.pcx") {
            e.reference = e.file;
            e.readReference = test::PillowPixels;
        }
    }
    return entries;
}

const Row kRows[] = {
    {.name = "manifest",
     .folder = "pcx",
     .entries = PcxEntries,
     .decode = DecodePcx,
     .tool = "convert -version && /usr/bin/python3 -c 'import PIL'",
     .minimumFiles = 18,
     .minimumCompared = 13},
};

class PcxCorpus : public RowTest {};

TEST_P(PcxCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, PcxCorpus, ::testing::ValuesIn(kRows), RowName);

// Pillow reads the first pixel as index 3 of the header palette, red here.
TEST(PcxCorpusFiles, FourPlaneFileShowsIndexThreeOfItsHeaderPalette)
{
    SCALOPEX_REQUIRE_CORPUS("pcx/pillow");
    TPCXGraphic graphic;
    graphic.LoadFromFile(test::CorpusDir() + "pcx/pillow/p_4_planes.pcx");
    ASSERT_EQ(graphic.PixelFormat(), core::pf4bit);
    EXPECT_EQ(graphic.ScanLineRead(0)[0] >> 4, 3);
    EXPECT_EQ(test::PixelRGB(graphic, 0, 0), 0xFF0000u);
}

}  // namespace
}  // namespace scalopex::formats
