// Portable maps written by independent tools (netpbm, ImageMagick, Pillow)
// from pictures made here, plain and raw: each decodes to the picture it
// was made from.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "formats/pnm/ppm_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::corpus::Difference;

struct Case {
    std::string tool;    // IN and OUT stand for the files
    const char* source;  // rich.ppm, grey.pgm or bw.ppm
    core::TPixelFormat format;
};

const Case kCases[] = {
    {"pnmtoplainpnm IN > OUT", "rich.ppm", core::pf24bit},
    {"pnmtoplainpnm IN > OUT", "grey.pgm", core::pf8bit},
    {"ppmtopgm IN | pgmtopbm -threshold | pnmtoplainpnm > OUT", "bw.ppm", core::pf1bit},
    {"ppmtopgm IN | pgmtopbm -threshold > OUT", "bw.ppm", core::pf1bit},
    {"pamtopnm IN > OUT", "rich.ppm", core::pf24bit},
    {"convert IN -compress None ppm:OUT", "rich.ppm", core::pf24bit},
    {"convert IN -compress None pgm:OUT", "grey.pgm", core::pf8bit},
    {"convert IN -compress None pbm:OUT", "bw.ppm", core::pf1bit},
    {"convert IN ppm:OUT", "rich.ppm", core::pf24bit},
    {"convert IN pgm:OUT", "grey.pgm", core::pf8bit},
    {"convert IN pbm:OUT", "bw.ppm", core::pf1bit},
    {test::PillowSave("", ", 'PPM'"), "rich.ppm", core::pf24bit},
    {test::PillowSave(".convert('1')", ", 'PPM'"), "bw.ppm", core::pf1bit},
};

TEST(PnmInterop, MapsOtherToolsWriteDecodeToTheirPicture)
{
    if (!test::RunTool("pnmtoplainpnm -version") || !test::RunTool("convert -version") || !test::HavePillow())
        GTEST_SKIP() << "needs netpbm, ImageMagick and Pillow";
    test::TempDir dir;
    const std::map<std::string, test::TPixmap> pictures = {
        {"rich.ppm", test::Picture(45, 17, 0)},
        {"grey.pgm", test::Picture(45, 17, 0, true)},
        {"bw.ppm", test::Picture(45, 17, 2)},
    };
    for (const auto& [name, picture] : pictures)
        test::WriteBytes(dir.file(name), test::PortableMap(picture, name == "grey.pgm"));
    int n = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.tool + " on " + c.source);
        const std::string out = dir.file("made" + std::to_string(n++) + ".pnm");
        ASSERT_TRUE(test::RunTool(test::ToolCommand(c.tool, dir.file(c.source), out)));
        TPPMGraphic graphic;
        ASSERT_NO_THROW(graphic.LoadFromFile(out));
        EXPECT_EQ(graphic.PixelFormat(), c.format);
        EXPECT_EQ(Difference(test::ToPixmap(graphic), pictures.at(c.source), {}), "");
    }
}

}  // namespace
}  // namespace scalopex::formats
