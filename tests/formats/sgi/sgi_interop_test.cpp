// SGI files written by independent tools (netpbm's pnmtosgi, ImageMagick,
// Pillow) from pictures made here: each decodes to the picture it was made
// from, alpha included, and agrees with ImageMagick's decode of the file.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "formats/sgi/sgi_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::corpus::Difference;

struct Case {
    std::string tool;    // IN and OUT stand for the files
    const char* source;  // rich.ppm, grey.pgm or alpha.pam
    core::TPixelFormat format;
    const char* input = nullptr;  // the file given to the tool, when not the source
};

const Case kCases[] = {
    {"pnmtosgi IN > OUT", "rich.ppm", core::pf24bit},
    {"pnmtosgi -verbatim IN > OUT", "rich.ppm", core::pf24bit},
    {"pnmtosgi IN > OUT", "grey.pgm", core::pf8bit},
    {"pnmtosgi -verbatim IN > OUT", "grey.pgm", core::pf8bit},
    {"convert IN -compress RLE OUT", "rich.ppm", core::pf24bit},
    {"convert IN -compress None OUT", "rich.ppm", core::pf24bit},
    {"convert IN -compress RLE OUT", "alpha.pam", core::pf32bit},
    {"convert IN -compress None OUT", "alpha.pam", core::pf32bit},
    {"convert IN -depth 16 -compress RLE OUT", "rich.ppm", core::pf24bit},
    {"convert IN -depth 16 -compress None OUT", "alpha.pam", core::pf32bit},
    {"convert IN -depth 16 -compress RLE OUT", "grey.pgm", core::pf8bit},
    {test::PillowSave(), "rich.ppm", core::pf24bit},
    // Pillow reads no PAM: it gets the picture as PNG.
    {test::PillowSave(), "alpha.pam", core::pf32bit, "alpha.png"},
    {test::PillowSave(".convert('L')"), "grey.pgm", core::pf8bit},
};

TEST(SgiInterop, FilesOtherToolsWriteDecodeToTheirPicture)
{
    if (!test::RunTool("pnmtosgi -version") || !test::RunTool("convert -version") || !test::HavePillow())
        GTEST_SKIP() << "needs netpbm, ImageMagick and Pillow";
    test::TempDir dir;
    const std::map<std::string, test::TPixmap> pictures = {
        {"rich.ppm", test::Picture(41, 19, 0)},
        {"grey.pgm", test::Picture(41, 19, 0, true)},
        {"alpha.pam", test::Picture(41, 19, 0, false, true)},
    };
    for (const auto& [name, picture] : pictures)
        test::WriteBytes(dir.file(name), test::PortableMap(picture, name == "grey.pgm"));
    ASSERT_TRUE(test::RunTool("convert '" + dir.file("alpha.pam") + "' '" + dir.file("alpha.png") + "'"));
    int n = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.tool + " on " + c.source);
        const std::string out = dir.file("made" + std::to_string(n++) + ".sgi");
        ASSERT_TRUE(test::RunTool(test::ToolCommand(c.tool, dir.file(c.input ? c.input : c.source), out)));
        TSGIGraphic graphic;
        ASSERT_NO_THROW(graphic.LoadFromFile(out));
        EXPECT_EQ(graphic.PixelFormat(), c.format);
        const test::TPixmap got = test::ToPixmap(graphic, graphic.HasAlpha());
        EXPECT_EQ(Difference(got, pictures.at(c.source), {.transparentColourFree = true}), "");
        const std::optional<test::TPixmap> theirs = test::ImageMagickPixels(out);
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(Difference(got, *theirs, {.transparentColourFree = true}), "") << "ImageMagick";
    }
}

}  // namespace
}  // namespace scalopex::formats
