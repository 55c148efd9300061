// The public portable map corpus: every file of its manifest behaves as the
// manifest says. Plain files match their binary twins; files without a twin
// match ImageMagick's decode. Maps with 16-bit samples are read as the
// reader reads every map, text values modulo 256 and binary data one byte
// per sample, so their references are made from the file's bytes here.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "formats/pnm/ppm_graphic.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using namespace test::corpus;

test::TPixmap DecodePpm(const std::string& path)
{
    TPPMGraphic graphic;
    graphic.LoadFromFile(path);
    return test::ToPixmap(graphic);
}

// A binary grey map's width, height and the offset of its samples (a
// header without comments).
struct GreyMap {
    int width = 0;
    int height = 0;
    std::size_t data = 0;
};

std::optional<GreyMap> ParseGreyMap(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.size() < 3 || bytes[0] != 'P' || bytes[1] != '5')
        return std::nullopt;
    std::size_t at = 2;
    long numbers[3] = {0, 0, 0};
    for (long& n : numbers) {
        while (at < bytes.size() && std::isspace(bytes[at]))
            ++at;
        while (at < bytes.size() && std::isdigit(bytes[at]))
            n = n * 10 + (bytes[at++] - '0');
    }
    return GreyMap{static_cast<int>(numbers[0]), static_cast<int>(numbers[1]), at + 1};
}

test::TPixmap Grey(int width, int height, const std::vector<std::uint8_t>& levels)
{
    test::TPixmap out;
    out.width = width;
    out.height = height;
    for (const std::uint8_t v : levels)
        out.rgb.insert(out.rgb.end(), {v, v, v});
    return out;
}

// The first width × height bytes of the samples, one a pixel.
std::optional<test::TPixmap> BytesAsSamples(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    const std::optional<GreyMap> map = ParseGreyMap(bytes);
    const std::size_t pixels = map ? static_cast<std::size_t>(map->width) * map->height : 0;
    if (!map || bytes.size() < map->data + pixels)
        return std::nullopt;
    return Grey(map->width, map->height, {bytes.begin() + map->data, bytes.begin() + map->data + pixels});
}

// The low byte of every big-endian 16-bit sample of a binary grey map: the
// values of its plain twin modulo 256.
std::optional<test::TPixmap> LowBytesOfSamples(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    const std::optional<GreyMap> map = ParseGreyMap(bytes);
    const std::size_t pixels = map ? static_cast<std::size_t>(map->width) * map->height : 0;
    if (!map || bytes.size() < map->data + 2 * pixels)
        return std::nullopt;
    std::vector<std::uint8_t> levels(pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        levels[i] = bytes[map->data + 2 * i + 1];
    return Grey(map->width, map->height, levels);
}

// ImageMagick keeps a map's comment in the PAM it writes, which the
// reference reader does not take.
std::optional<test::TPixmap> ImageMagickStripped(const std::string& path)
{
    return test::ImageMagickPixels(path, "-strip");
}

std::vector<Entry> PnmEntries(const std::string& dir)
{
    std::vector<Entry> entries = ManifestEntries(dir);
    for (Entry& e : entries) {
        if (e.file == "pillow/hopper_16bit.pgm" || e.file == "pillow/16_bit_binary.pgm") {
            e.reference = e.file;
            e.readReference = BytesAsSamples;
        } else if (e.file == "pillow/hopper_16bit_plain.pgm") {
            e.readReference = LowBytesOfSamples;
        } else if (e.file == "pillow/hopper.pnm") {
            e.tolerance.colour = 1;  // a twin "similar within 0.0001", one sample apart
        } else if (e.reference.empty() && (e.expect & kDecode) != 0 && !e.file.ends_with(".pfm")) {
            e.reference = e.file;
        }
    }
    return entries;
}

const Row kRows[] = {
    {.name = "manifest",
     .folder = "pnm",
     .entries = PnmEntries,
     .decode = DecodePpm,
     .readReference = ImageMagickStripped,
     .tool = "convert -version",
     .minimumFiles = 23,
     .minimumCompared = 16},
};

class PnmCorpus : public RowTest {};

TEST_P(PnmCorpus, filesBehaveAsTheirRowSays)
{
    Walk(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Corpus, PnmCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace scalopex::formats
