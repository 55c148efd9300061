// PngSuite (shared corpus): every valid file, drawn over white as the
// program draws it, against the suite's own RGBA decodes; interlaced files
// against their plain twins; every corrupted x* file fails with a message.
//
// How the references are brought to what the program shows: a 16-bit
// sample becomes v * 255 div 65535 (the reference holds the 16-bit
// values); colour samples then go through the gamma table that the file's
// gAMA gives (display gamma 2.2, as the reader applies it); alpha is left
// as it is; and the result is composited over white with
// round((c * a + 255 * (255 - a)) / 255). The match must be exact.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/opening.h"
#include "formats/common/color_manager.h"
#include "formats/png/png_graphic.h"
#include "tests/formats/png/png_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::corpus;

namespace {

// The integers of a JSON array.
std::vector<std::uint32_t> ReadNumbers(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::uint32_t> values;
    std::uint32_t value = 0;
    bool inNumber = false;
    for (char ch; in.get(ch);) {
        if (std::isdigit(static_cast<unsigned char>(ch))) {
            value = value * 10 + static_cast<std::uint32_t>(ch - '0');
            inNumber = true;
        } else if (inNumber) {
            values.push_back(value);
            value = 0;
            inNumber = false;
        }
    }
    return values;
}

std::unique_ptr<formats::TPNGGraphic> DecodeFile(const std::string& path)
{
    core::TFileStream stream(path, core::TFileStream::Mode::OpenRead);
    auto png = std::make_unique<formats::TPNGGraphic>();
    png->LoadFromStream(stream);
    return png;
}

test::TPixmap Drawn(const std::string& path) { return test::ToPixmap(*core::GraphicToBitmap(DecodeFile(path).get())); }

// The raster itself, with its alpha and layout, for comparing twins.
test::TPixmap Raster(const std::string& path)
{
    const auto png = DecodeFile(path);
    test::TPixmap pixels = test::ToPixmap(*png, true);
    std::ostringstream form;
    form << "format " << png->PixelFormat() << ", palette";
    for (const gdi::TPaletteEntry& e : png->Palette())
        form << ' ' << int{e.peRed} << ',' << int{e.peGreen} << ',' << int{e.peBlue} << ',' << int{e.peFlags};
    pixels.form = form.str();
    return pixels;
}

// The suite's RGBA decode of png (16-bit values for 16-bit files) as the
// program shows it; see the top of the file.
std::optional<test::TPixmap> ShownReference(const std::string& png, const std::string& json)
{
    const auto decoded = DecodeFile(png);
    const bool sixteen = decoded->ImageDescription.SampleBits == 16;
    const std::vector<std::uint8_t> bytes = test::ReadBytes(png);
    // The description reports 1.0 both for gAMA 100000 and for no gAMA.
    const bool gamma = std::string(bytes.begin(), bytes.end()).find("gAMA") != std::string::npos;
    formats::TColorManager manager;
    manager.SetGammaValues(decoded->ImageDescription.Gamma, 2.2f);
    const auto& table = manager.GammaTable();
    const std::vector<std::uint32_t> ref = ReadNumbers(json);
    test::TPixmap out{decoded->Width(), decoded->Height(), {}, {}, {}};
    if (ref.size() != static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 4)
        return std::nullopt;
    auto to8 = [&](std::uint32_t v) { return sixteen ? formats::MulDiv16(v, 255, 65535) : v; };
    for (std::size_t at = 0; at < ref.size(); at += 4) {
        const std::uint32_t a = to8(ref[at + 3]);
        for (std::size_t c = 0; c < 3; ++c) {
            std::uint32_t v = to8(ref[at + c]);
            if (gamma)
                v = table[v];
            out.rgb.push_back(static_cast<std::uint8_t>((v * a + 255 * (255 - a) + 127) / 255));
        }
    }
    return out;
}

std::vector<Entry> ValidFiles(const std::string& dir)
{
    std::vector<Entry> entries;
    for (const std::string& file : FilesIn(dir, "png", ".png")) {
        if (file[4] == 'x')
            continue;
        const std::string json = "json/" + file.substr(4, file.size() - 8) + ".json";
        entries.push_back({.file = file, .reference = json, .readReference = [png = dir + file](const std::string& path) {
                               return ShownReference(png, path);
                           }});
    }
    return entries;
}

// Each interlaced file (the fourth letter of its name is 'i') whose plain
// twin ('n') is in the suite.
std::vector<Entry> InterlacedFiles(const std::string& dir)
{
    std::vector<Entry> entries;
    for (const std::string& file : FilesIn(dir, "png", ".png")) {
        std::string twin = file;
        twin[7] = 'n';
        if (file.size() == 16 && file[7] == 'i' && file[4] != 'x' && std::filesystem::exists(dir + twin))
            entries.push_back({.file = file, .reference = twin});
    }
    return entries;
}

// Every x* file fails; a few causes by name: the checks that catch them.
std::vector<Entry> CorruptedFiles(const std::string& dir)
{
    const std::map<std::string, std::string> messages = {
        {"png/xc1n0g08.png", "Invalid color format in PNG file."},
        {"png/xd3n2c08.png", "Invalid color format in PNG file."},
        {"png/xhdn0g08.png", "Cannot load image. CRC error found in PNG file."},
        {"png/xcsn0g01.png", "Cannot load image. CRC error found in PNG file."},
        {"png/xdtn0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
        {"png/xs1n0g01.png", "Cannot load image. Invalid or unexpected PNG image format."},
    };
    std::vector<Entry> entries;
    for (const std::string& file : FilesIn(dir, "png", ".png"))
        if (file[4] == 'x')
            entries.push_back({.file = file, .expect = kFailCleanly, .message = messages.contains(file) ? messages.at(file) : ""});
    return entries;
}

const Row kRows[] = {
    {.name = "valid", .folder = "pngsuite", .entries = ValidFiles, .decode = Drawn, .exactFiles = 161},
    {.name = "interlaced", .folder = "pngsuite", .entries = InterlacedFiles, .decode = Raster, .readReference = Raster,
     .minimumFiles = 30},
    {.name = "corrupted", .folder = "pngsuite", .entries = CorruptedFiles,
     .decode = [](const std::string& path) { return test::ToPixmap(*test::png::Decode(test::ReadBytes(path))); },
     .exactFiles = 14},
};

class PngSuite : public RowTest {};

TEST_P(PngSuite, filesBehaveAsTheirRowSays) { Walk(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Corpus, PngSuite, ::testing::ValuesIn(kRows), RowName);

}  // namespace
