// The public SGI corpus: every file of its manifest decodes to its
// reference, or, where it has none, to ImageMagick's decode of the file.
// The files of bad/ hold run-length rows that overrun their row or point
// outside the file: the reader cuts such rows and reads nothing outside the
// file, so these files may decode; none may crash, hang or fail without a
// message.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/sgi/sgi_graphic.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

// ImageMagick's 16-bit samples, each brought to 8 bits as v × 255 div 65535.
std::optional<test::TPixmap> ImageMagick16(const std::string& path)
{
    int status = -1;
    const std::vector<std::uint8_t> pam =
        test::RunCommand("convert '" + path + "' -depth 16 pam:- 2>/dev/null", &status);
    const std::string text(pam.begin(), pam.end());
    const std::size_t end = text.find("ENDHDR\n");
    if (status != 0 || end == std::string::npos)
        return std::nullopt;
    auto field = [&](const char* name) {
        const std::size_t at = text.find(name);
        return at < end ? std::stoi(text.substr(at + std::strlen(name))) : 0;
    };
    test::TPixmap out;
    out.width = field("WIDTH ");
    out.height = field("HEIGHT ");
    const int depth = field("DEPTH ");
    const std::size_t pixels = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
    const std::uint8_t* p = pam.data() + end + 7;
    if (field("MAXVAL ") != 65535 || (depth != 3 && depth != 4) || pam.size() < end + 7 + pixels * depth * 2)
        return std::nullopt;
    for (std::size_t i = 0; i < pixels * static_cast<std::size_t>(depth); ++i, p += 2) {
        const auto v = static_cast<std::uint8_t>((p[0] << 8 | p[1]) * 255 / 65535);
        (depth == 4 && i % 4 == 3 ? out.alpha : out.rgb).push_back(v);
    }
    return out;
}

// ImageMagick keeps a PPM file's comment in the PAM it writes, which the
// reference reader does not take.
std::optional<test::TPixmap> ImageMagickStripped(const std::string& path)
{
    return test::ImageMagickPixels(path, "-strip");
}

test::TPixmap DecodeSgi(const std::string& path)
{
    TSGIGraphic graphic;
    graphic.LoadFromFile(path);
    return test::ToPixmap(graphic, graphic.HasAlpha());
}

std::vector<Entry> SgiEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir, {.transparentColourFree = true});
    for (Entry& e : entries) {
        if (e.file.find("/bad/") != std::string::npos) {
            e.expect = kDecode | kFailCleanly;
            continue;
        }
        // The grey file's reference is the colour picture it was made from.
        if (e.reference.empty() || e.file == "pillow/hopper.bw")
            e.reference = e.file;
        // 16-bit samples become v × 255 div 65535, where ImageMagick rounds.
        if (e.reference == e.file && e.file.find("-16") != std::string::npos)
            e.readReference = ImageMagick16;
        // The same pictures made from 16-bit samples whose low byte is not the high one.
        if (e.file == "pillow/hopper16.rgb")
            e.tolerance.colour = 1;
    }
    return entries;
}

const Row kRows[] = {
    {.name = "manifest",
     .folder = "sgi",
     .entries = SgiEntries,
     .decode = DecodeSgi,
     .readReference = ImageMagickStripped,
     .tool = "convert -version",
     .minimumFiles = 34,
     .minimumCompared = 15},
};

class SgiCorpus : public RowTest {};

TEST_P(SgiCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, SgiCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace scalopex::formats
