// PCX files written by independent tools (netpbm's ppmtopcx, ImageMagick,
// Pillow) from pictures made here: each decodes to the picture it was made
// from, and agrees with Pillow's own decode of the file (ImageMagick's
// where Pillow cannot read it).

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "formats/pcx/pcx_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::corpus::Difference;

struct Source {
    const char* name;
    int colours;  // 0: many
};

// The pictures, by name: black and white, 4, 8, 16, 200 colours, and many.
const Source kSources[] = {{"bw", 2}, {"c4", 4}, {"c8", 8}, {"c16", 16}, {"c200", 200}, {"rich", 0}};

struct Case {
    std::string tool;  // IN and OUT stand for the files
    const char* source;
    core::TPixelFormat format;
};

const Case kCases[] = {
    {"ppmtopcx IN > OUT", "rich", core::pf24bit},
    {"ppmtopcx -8bit IN > OUT", "c200", core::pf8bit},
    {"ppmtopcx -8bit IN > OUT", "c16", core::pf8bit},
    {"ppmtopcx IN > OUT", "c16", core::pf4bit},
    {"ppmtopcx -planes=3 IN > OUT", "c8", core::pf4bit},
    {"ppmtopcx -packed IN > OUT", "c16", core::pf4bit},
    {"ppmtopcx -packed IN > OUT", "c4", core::pf4bit},
    {"ppmtopcx -packed IN > OUT", "bw", core::pf1bit},
    {"ppmtopcx -24bit IN > OUT", "c8", core::pf24bit},
    {"convert IN OUT", "rich", core::pf24bit},
    {"convert IN -type Palette OUT", "c200", core::pf8bit},
    {test::PillowSave(), "rich", core::pf24bit},
    {test::PillowSave(".quantize(200)"), "c200", core::pf8bit},
};

TEST(PcxInterop, FilesOtherToolsWriteDecodeToTheirPicture)
{
    if (!test::RunTool("ppmtopcx -version") || !test::RunTool("convert -version") || !test::HavePillow())
        GTEST_SKIP() << "needs netpbm, ImageMagick and Pillow";
    test::TempDir dir;
    std::map<std::string, test::TPixmap> pictures;
    for (const Source& s : kSources) {
        pictures[s.name] = test::Picture(37, 23, s.colours);
        test::WriteBytes(dir.file(std::string(s.name) + ".ppm"), test::PortableMap(pictures[s.name]));
    }
    int n = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.tool + " on " + c.source);
        const std::string out = dir.file("made" + std::to_string(n++) + ".pcx");
        ASSERT_TRUE(test::RunTool(test::ToolCommand(c.tool, dir.file(std::string(c.source) + ".ppm"), out)));
        TPCXGraphic graphic;
        ASSERT_NO_THROW(graphic.LoadFromFile(out));
        EXPECT_EQ(graphic.PixelFormat(), c.format);
        const test::TPixmap got = test::ToPixmap(graphic);
        EXPECT_EQ(Difference(got, pictures[c.source], {}), "");
        // Pillow 9 reads neither planes of 1 bit nor packed 2 and 4-bit pixels: ImageMagick does.
        std::optional<test::TPixmap> other = test::PillowPixels(out);
        if (!other)
            other = test::ImageMagickPixels(out);
        ASSERT_TRUE(other.has_value());
        EXPECT_EQ(Difference(got, *other, {}), "") << "their decode";
    }
}

}  // namespace
}  // namespace scalopex::formats
