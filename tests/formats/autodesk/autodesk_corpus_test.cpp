// The public cel files: the three of the 0x9119 layout decode to the size
// their header gives and show their palette's colours; the FLC-based cels
// are refused with a message. No independent decodes exist, so the pixels
// are checked against the file's own bytes.

#include <gtest/gtest.h>

#include <string>

#include "base/exceptions.h"
#include "core/opening.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/registry.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

class AutodeskCorpus : public RowTest {};

TEST_P(AutodeskCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, AutodeskCorpus, ::testing::Values(ManifestRow("autodesk", "autodesk")), RowName);

TEST(AutodeskCorpusFiles, PixelsShowTheirPaletteColours)
{
    SCALOPEX_REQUIRE_CORPUS("autodesk");
    struct Case {
        const char* file;
        int width, height;
    } cases[] = {{"animator/CRSHAIR.CEL", 314, 146}, {"animator/ZIN.CEL", 6, 6}, {"animator/ZOUT.CEL", 6, 5}};
    for (const Case& c : cases) {
        const std::string path = test::CorpusDir() + "autodesk/" + c.file;
        const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
        formats::TAutodeskGraphic graphic;
        graphic.LoadFromFile(path);
        ASSERT_EQ(graphic.Width(), c.width) << c.file;
        ASSERT_EQ(graphic.Height(), c.height) << c.file;
        ASSERT_GE(bytes.size(), 800u + static_cast<std::size_t>(c.width * c.height)) << c.file;
        for (int y = 0; y < c.height; y += 7)
            for (int x = 0; x < c.width; x += 5) {
                const std::size_t index = bytes[800 + static_cast<std::size_t>(y * c.width + x)];
                const std::uint32_t rgb = (std::uint32_t{bytes[32 + 3 * index]} << 18) |
                                          (std::uint32_t{bytes[33 + 3 * index]} << 10) |
                                          (std::uint32_t{bytes[34 + 3 * index]} << 2);
                ASSERT_EQ(test::PixelRGB(graphic, x, y), rgb) << c.file << " at " << x << ", " << y;
            }
    }
}

}  // namespace
