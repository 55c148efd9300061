// The public Photoshop corpus: the composite image of every file of its
// manifest against its template, or, where it has none, against
// ImageMagick's decode of the composite (Pillow's where ImageMagick cannot
// read it). The reader shows the composite's colours as stored, which for
// documents with transparency is the picture matted with white; the
// references are composited over white to compare.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/opening.h"
#include "formats/psd/psd_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

test::TPixmap DecodePsd(const std::string& path)
{
    TPSDGraphic graphic;
    graphic.LoadFromFile(path);
    return test::ToPixmap(*core::GraphicToBitmap(&graphic));
}

// The pixels over white, without alpha.
test::TPixmap OverWhite(test::TPixmap pixels)
{
    for (std::size_t p = 0; p < pixels.alpha.size(); ++p) {
        const int a = pixels.alpha[p];
        for (std::size_t c = 3 * p; c < 3 * p + 3; ++c)
            pixels.rgb[c] = static_cast<std::uint8_t>((pixels.rgb[c] * a + 255 * (255 - a) + 127) / 255);
    }
    pixels.alpha.clear();
    return pixels;
}

// The first image ImageMagick reads from a Photoshop file is the composite.
std::optional<test::TPixmap> Reference(const std::string& path)
{
    const bool document = path.ends_with(".psd") || path.ends_with(".psb");
    std::optional<test::TPixmap> pixels = test::ImageMagickPixels(path + (document ? "[0]" : ""), "-strip");
    if (!pixels)
        pixels = test::PillowPixels(path);
    if (pixels)
        *pixels = OverWhite(std::move(*pixels));
    return pixels;
}

std::vector<Entry> PsdEntries(const std::string& dir)
{
    // Compositing over white rounds on both sides: one step apart at most.
    std::vector<Entry> entries = ManifestEntries(dir, {.colour = 1});
    for (Entry& e : entries) {
        if (e.file.find("/bad/") != std::string::npos) {
            // Some of these are broken only in the layer records, which the reader skips.
            e.expect |= kDecode;
            continue;
        }
        // The Exif orientation is not applied: the templates show the
        // pictures upright, ImageMagick as stored.
        if (e.reference.empty() || e.file.find("orientation") != std::string::npos)
            e.reference = e.file;
        // Lab colours follow the colour manager's formula, which the
        // colour-managed templates do not; the four channels of a
        // multichannel document are inks, read as RGB and alpha. Such files
        // must decode, uncompared.
        if (e.file.find("lab") != std::string::npos || e.file == "kimageformats/mch-8bits.psd")
            e.reference.clear();
        // Pillow's own bound for its hopper pictures.
        if (e.file.starts_with("pillow/hopper"))
            e.tolerance = {.colour = 255, .meanBelow = 4.8};
    }
    return entries;
}

const Row kRows[] = {
    {.name = "manifest",
     .folder = "psd",
     .entries = PsdEntries,
     .decode = DecodePsd,
     .readReference = Reference,
     .tool = "convert -version && /usr/bin/python3 -c 'import PIL'",
     .minimumFiles = 40,
     .minimumCompared = 25},
};

class PsdCorpus : public RowTest {};

TEST_P(PsdCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, PsdCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace scalopex::formats
