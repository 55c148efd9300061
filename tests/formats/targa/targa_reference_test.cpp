// Targa files made by other tools, checked against ImageMagick's decode of
// the same file: the public corpus, files ImageMagick writes, and files this
// writer makes read back by ImageMagick.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "formats/targa/targa_graphic.h"
#include "tests/formats/targa/targa_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

namespace fs = std::filesystem;
using namespace test::corpus;
using Bytes = std::vector<std::uint8_t>;

// The raster's pixels, with alpha where the raster says its fourth byte is alpha.
test::TPixmap Pixels(const TTargaGraphic& graphic) { return test::ToPixmap(graphic, graphic.HasAlpha()); }

test::TPixmap DecodeTarga(const std::string& path)
{
    TTargaGraphic graphic;
    graphic.LoadFromFile(path);
    return Pixels(graphic);
}

// ImageMagick's decode in viewing orientation.
std::optional<test::TPixmap> ImageMagickUpright(const std::string& path) { return test::ImageMagickPixels(path, "-auto-orient"); }

// The tolerance a file needs: 5-bit channels are widened by rounding here
// and by ImageMagick alike, but may differ by one; 16-bit colour map entries
// are shifted into the top bits (31 gives 248), where ImageMagick scales.
// A transparent pixel's colour is not part of the picture.
Tolerance ToleranceFor(const Bytes& file)
{
    const bool grey = file.size() >= 18 && (file[2] == 3 || file[2] == 11);
    int colour = 0;
    if (file.size() >= 18 && file[1] == 1 && !grey && (file[7] == 15 || file[7] == 16) && (file[2] == 1 || file[2] == 9))
        colour = 7;
    else if (file.size() >= 18 && !grey && (file[16] == 15 || file[16] == 16))
        colour = 1;
    return {.colour = colour, .transparentColourFree = true};
}

// The reference picture published beside a file: a PNG of the same name,
// or the one its JSON description names; relative to the row's folder.
std::optional<std::string> PublishedReference(const std::string& dir, const std::string& file)
{
    fs::path png(file);
    png.replace_extension(".png");
    if (fs::exists(dir + png.string()))
        return png.string();
    const Bytes json = test::ReadBytes(dir + file + ".json");
    const std::string text(json.begin(), json.end());
    const std::size_t key = text.find("\"fileName\"");
    if (key == std::string::npos)
        return std::nullopt;
    const std::size_t open = text.find('"', text.find(':', key));
    const std::size_t close = text.find('"', open + 1);
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    return (fs::path(file).parent_path() / text.substr(open + 1, close - open - 1)).string();
}

bool IsGreyAlpha(const Bytes& file)
{
    return file.size() >= 18 && (file[2] == 3 || file[2] == 11) && file[16] == 16;
}

// 32-bit pixels whose descriptor counts other than 8 alpha bits: the fourth
// byte is read whole, as ImageMagick does; the published reference of such
// a file takes only the counted low bits.
bool HasPartialAlphaBits(const Bytes& file)
{
    return file.size() >= 18 && file[16] == 32 && (file[17] & 0x0F) != 0 && (file[17] & 0x0F) != 8;
}

// Reference pixels: the published PNG where there is one, else ImageMagick's
// decode of the Targa file itself. Only files that ImageMagick cannot read
// either may fail, and are then not compared (a truncated file decoded as far
// as it goes). ImageMagick reads 16-bit grey files as 5-5-5 colour words made
// grey, not as the grey and alpha bytes they hold, so those files are only
// checked against published references, and must decode.
std::vector<Entry> CorpusFiles(const std::string& dir)
{
    std::vector<Entry> entries;
    for (const char* folder : {"pillow", "kimageformats"}) {
        for (const std::string& file : FilesIn(dir, folder, ".tga")) {
            const Bytes bytes = test::ReadBytes(dir + file);
            const std::optional<std::string> published = PublishedReference(dir, file);
            Entry entry{.file = file, .tolerance = ToleranceFor(bytes), .referenceMayFail = !IsGreyAlpha(bytes)};
            if (published && !HasPartialAlphaBits(bytes))
                entry.reference = *published;
            else if (!IsGreyAlpha(bytes))
                entry.reference = file;
            entries.push_back(entry);
        }
    }
    return entries;
}

const Row kRows[] = {
    {.name = "pillowAndKimageformats",
     .folder = "targa",
     .entries = CorpusFiles,
     .decode = DecodeTarga,
     .readReference = ImageMagickUpright,
     .tool = "convert -version",
     .minimumFiles = 50,
     .minimumCompared = 42},
};

class TargaCorpus : public RowTest {};

TEST_P(TargaCorpus, filesBehaveAsTheirRowSays) { Walk(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Corpus, TargaCorpus, ::testing::ValuesIn(kRows), RowName);

// The grey and alpha files of the matrix hold the picture of the grey
// files beside them, with alpha added, in every row order and compression.
TEST(TargaCorpus, GreyAndAlphaFilesShowTheGreyOfTheirGreyTwins)
{
    SCALOPEX_REQUIRE_CORPUS("targa/pillow");
    const std::string dir = test::CorpusDir() + "targa/pillow/";
    TTargaGraphic grey;
    grey.LoadFromFile(dir + "200x32_l_tl_raw.tga");
    for (const char* name : {"200x32_la_bl_raw.tga", "200x32_la_bl_rle.tga", "200x32_la_tl_raw.tga", "200x32_la_tl_rle.tga"}) {
        SCOPED_TRACE(name);
        TTargaGraphic graphic;
        graphic.LoadFromFile(dir + name);
        ASSERT_EQ(graphic.PixelFormat(), core::pf32bit);
        EXPECT_TRUE(graphic.HasAlpha());
        ASSERT_EQ(graphic.Width(), grey.Width());
        ASSERT_EQ(graphic.Height(), grey.Height());
        int differences = 0;
        for (int y = 0; y < grey.Height(); ++y)
            for (int x = 0; x < grey.Width(); ++x)
                differences += test::PixelRGB(graphic, x, y) != test::PixelRGB(grey, x, y);
        EXPECT_EQ(differences, 0);
    }
}

TEST(TargaCorpus, EveryPrefixOfSmallFilesLoadsOrFailsCleanly)
{
    SCALOPEX_REQUIRE_CORPUS("targa");
    for (const char* name : {"targa/pillow/200x32_p_tl_rle.tga", "targa/pillow/200x32_la_bl_rle.tga",
                             "targa/pillow/rgba16.tga", "targa/kimageformats/colormapped.tga", "targa/pillow/p_16.tga"}) {
        const Bytes file = test::ReadBytes(test::CorpusDir() + name);
        ASSERT_FALSE(file.empty()) << name;
        const std::size_t step = std::max<std::size_t>(1, file.size() / 300);
        for (std::size_t n = 0; n < file.size(); n += step) {
            TTargaGraphic graphic;
            try {
                test::targa::Load(graphic, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
            } catch (const base::Exception& e) {
                EXPECT_FALSE(std::string(e.what()).empty());
            }
        }
    }
}

// A deterministic picture: a diagonal pattern with flat bands, so that
// run-length files hold both packet kinds.
Bytes PortablePixmap(int width, int height, bool alpha)
{
    const std::string head = alpha ? "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                                         "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                                   : "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool band = (y / 4) % 2 == 0;
            out.push_back(static_cast<std::uint8_t>(band ? 200 : x * 7 + y));
            out.push_back(static_cast<std::uint8_t>(band ? 40 : (x * y) & 255));
            out.push_back(static_cast<std::uint8_t>(band ? 90 : 255 - x * 3));
            if (alpha)
                out.push_back(static_cast<std::uint8_t>(x < 5 ? 255 : (x * 11 + y * 3) & 255));
        }
    }
    return out;
}

TEST(TargaImageMagick, FilesImageMagickWritesDecodeToItsPixels)
{
    test::TempDir dir;
    test::WriteBytes(dir.file("rich.ppm"), PortablePixmap(37, 23, false));
    test::WriteBytes(dir.file("alpha.pam"), PortablePixmap(37, 23, true));
    struct Case {
        const char* source;
        const char* options;
        core::TPixelFormat format;
    } cases[] = {
        {"rich.ppm", "-compress none", core::pf24bit},
        {"rich.ppm", "-compress RLE", core::pf24bit},
        {"rich.ppm", "-orient TopLeft -compress none", core::pf24bit},
        {"rich.ppm", "-orient TopLeft -compress RLE", core::pf24bit},
        {"rich.ppm", "-colors 40 -type Palette -compress none", core::pf8bit},
        {"rich.ppm", "-colors 40 -type Palette -compress RLE", core::pf8bit},
        {"rich.ppm", "-colors 40 -type Palette -orient TopLeft -compress RLE", core::pf8bit},
        {"rich.ppm", "-type Grayscale -compress none", core::pf8bit},
        {"rich.ppm", "-type Grayscale -compress RLE", core::pf8bit},
        {"rich.ppm", "-depth 5 -compress none", core::pf15bit},
        {"rich.ppm", "-depth 5 -compress RLE", core::pf15bit},
        {"alpha.pam", "-type TrueColorAlpha -compress none", core::pf32bit},
        {"alpha.pam", "-type TrueColorAlpha -compress RLE", core::pf32bit},
        {"alpha.pam", "-type TrueColorAlpha -orient TopLeft -compress RLE", core::pf32bit},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " " + c.options);
        const std::string out = dir.file("made" + std::to_string(n++) + ".tga");
        ASSERT_TRUE(test::RunTool("convert '" + dir.file(c.source) + "' " + c.options + " '" + out + "'"));
        const std::optional<test::TPixmap> reference = ImageMagickUpright(out);
        ASSERT_TRUE(reference.has_value());
        TTargaGraphic graphic;
        graphic.LoadFromFile(out);
        EXPECT_EQ(graphic.PixelFormat(), c.format);
        EXPECT_EQ(graphic.HasAlpha(), c.format == core::pf32bit);
        EXPECT_EQ(Difference(Pixels(graphic), *reference, {.colour = c.format == core::pf15bit ? 1 : 0, .transparentColourFree = true}),
                  "");
    }
}

TEST(TargaImageMagick, FilesThisWriterMakesReadBackInImageMagick)
{
    test::TempDir dir;
    int n = 0;
    for (core::TPixelFormat format : {core::pf8bit, core::pf15bit, core::pf24bit, core::pf32bit}) {
        for (bool compressed : {true, false}) {
            SCOPED_TRACE(std::to_string(format) + (compressed ? " compressed" : " raw"));
            TTargaGraphic graphic;
            graphic.SetPixelFormat(format);
            if (format == core::pf8bit) {
                gdi::TLogPalette palette(200);
                for (std::size_t i = 0; i < palette.size(); ++i)
                    palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 5), static_cast<std::uint8_t>(255 - i), 0};
                graphic.SetPalette(palette);
            }
            graphic.SetSize(45, 17);
            const std::size_t rowBytes = 45 * static_cast<std::size_t>(core::BitsPerPixel(format) / 8);
            for (int y = 0; y < 17; ++y) {
                std::uint8_t* row = graphic.ScanLine(y);
                for (std::size_t i = 0; i < rowBytes; ++i)
                    row[i] = static_cast<std::uint8_t>(y % 3 == 0 ? 60 : (i * 13 + static_cast<std::size_t>(y) * 5) % 200);
            }
            const std::string path = dir.file("ours" + std::to_string(n++) + ".tga");
            core::TMemoryStream stream;
            graphic.SaveToStream(stream, compressed);
            test::WriteBytes(path, stream.Bytes());
            const std::optional<test::TPixmap> reference = ImageMagickUpright(path);
            ASSERT_TRUE(reference.has_value());
            // The writer marks no alpha bits, so only colours are compared.
            EXPECT_EQ(Difference(Pixels(graphic), *reference, {.colour = format == core::pf15bit ? 1 : 0, .transparentColourFree = true}),
                      "");
        }
    }
}

}  // namespace
}  // namespace scalopex::formats
