// The public TIFF and EPS corpora: every file of their manifests opens as
// its entry says. A decoded TIFF file is held to libtiff's own decode of it
// (tiff2rgba), composited over white as the program shows it; the kinds
// this reader refuses (group 4, two-dimensional group 3, old-style JPEG and
// the rarer codecs) must fail with the unsupported-compression message.
// EPS files with a binary header show their TIFF preview; plain PostScript
// is refused.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/corpus_harness.h"
#include "tests/support/tools.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

constexpr const char* kUnsupportedMessage =
    "Cannot load image. The compression scheme is not supported for TIF/TIFF files.";

// libtiff's decode of path, over white.
std::optional<test::TPixmap> LibTiffPixels(const std::string& path)
{
    char name[] = "/tmp/scalopex-tiff-ref-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return std::nullopt;
    close(fd);
    std::optional<test::TPixmap> pixels;
    if (test::RunTool("tiff2rgba -c none '" + path + "' '" + name + "' >/dev/null 2>&1"))
        pixels = test::ImageMagickPixels(name, "-background white -alpha remove -alpha off");
    unlink(name);
    return pixels;
}

// The compression tag of a file, as tiffinfo names it; empty when unknown.
std::string CompressionOf(const std::string& path)
{
    const std::vector<std::uint8_t> out =
        test::RunCommand("tiffinfo '" + path + "' 2>/dev/null | grep -m1 'Compression Scheme'");
    return std::string(out.begin(), out.end());
}

std::vector<Entry> TiffEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        const std::string compression = CompressionOf(dir + e.file);
        const bool refused =
            compression.find("CCITT Group 4") != std::string::npos ||
            compression.find("Old-style JPEG") != std::string::npos || compression.find("LZMA") != std::string::npos ||
            compression.find("WEBP") != std::string::npos || compression.find("SGILog") != std::string::npos ||
            compression.find("ZSTD") != std::string::npos;
        e.reference = e.file;
        e.readReference = LibTiffPixels;
        e.referenceMayFail = true;
        if (refused) {
            e.expect = kUnsupported;
            // A file that also lacks its sample count fails on that first.
            if (e.file.find("no-samplesperpixel") == std::string::npos)
                e.message = kUnsupportedMessage;
            e.reference.clear();
        }
        // libtiff scales 16-bit samples and colour maps by the high byte,
        // the colour manager by rounding: one step apart at most.
        e.tolerance = {.colour = 1};
        // Hostile layouts are read as far as the data go (offsets beyond
        // the file, rows per strip beyond the image), so some of these open.
        if (e.file.find("/bad/") != std::string::npos) {
            e.expect |= kDecode;
            e.reference.clear();
        }
        // Decoded, but not comparable with libtiff's picture: CIE L*a*b*
        // follows the colour manager's formula; grey with an extra sample
        // shows the grey as stored; an RGB file with an undeclared fourth
        // sample, which libtiff takes for opacity; a fax row with more runs
        // than pixels, which libtiff gives up and this reader clips; and a
        // ThunderScan page whose row ends libtiff decodes otherwise.
        if (e.file.find("lab") != std::string::npos || e.file.find("Lab") != std::string::npos ||
            e.file == "libtiff/minisblack-2c-8b-alpha.tiff" || e.file == "pillow/tiff_wrong_bits_per_sample_3.tiff" ||
            e.file == "libtiff/testfax3_bug_513.tiff" || e.file == "libtiffpic/text.tif")
            e.reference.clear();
    }
    return entries;
}

// EPS files with a TIFF preview show it; plain PostScript is refused as EPS.
std::vector<Entry> EpsEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        e.reference.clear();
        const std::vector<std::uint8_t> bytes = test::RunCommand("head -c 4 '" + dir + e.file + "' | od -An -tx1");
        const bool binary = std::string(bytes.begin(), bytes.end()).find("c5 d0 d3 c6") != std::string::npos;
        if (binary) {
            e.expect = kDecode;
        } else {
            e.expect = kFailCleanly;
            e.message = "Cannot load image. Invalid or unexpected EPS image format.";
        }
    }
    return entries;
}

const Row kRows[] = {
    {.name = "tiff",
     .folder = "tiff",
     .entries = TiffEntries,
     .tool = "convert -version >/dev/null && command -v tiff2rgba >/dev/null && command -v tiffinfo >/dev/null",
     .minimumFiles = 150,
     .minimumCompared = 100},
    {.name = "eps", .folder = "eps", .entries = EpsEntries, .minimumFiles = 14},
};

class TiffCorpus : public RowTest {};

TEST_P(TiffCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, TiffCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace scalopex::formats
