// TIFF files written by independent tools (libtiff's tiffcp and ImageMagick)
// from one picture, in every compression, layout and byte order this reader
// decodes, held to libtiff's own decode of each file (tiff2rgba).

#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>
#include <string>

#include "formats/tiff/tiff_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/formats/tiff/tiff_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

struct Case {
    const char* name;
    const char* tool;               // IN: the picture as PPM, OUT: the TIFF file
    int colour = 0;                 // largest colour difference allowed
    const char* message = nullptr;  // the file must fail with this
};

// tiffcp reads TIFF, so most rows start from a plain TIFF ImageMagick wrote.
#define PLAIN "convert IN -compress None IN.tif && "

const Case kCases[] = {
    {"none", PLAIN "tiffcp -c none IN.tif OUT"},
    {"packbits", PLAIN "tiffcp -c packbits IN.tif OUT"},
    {"lzw", PLAIN "tiffcp -c lzw IN.tif OUT"},
    {"lzwPredictor", PLAIN "tiffcp -c lzw:2 IN.tif OUT"},
    {"zip", PLAIN "tiffcp -c zip IN.tif OUT"},
    {"zipPredictor", PLAIN "tiffcp -c zip:2 IN.tif OUT"},
    {"bigEndianZipPredictor", PLAIN "tiffcp -B -c zip:2 IN.tif OUT"},
    {"stripsOfFiveRows", PLAIN "tiffcp -r 5 -c packbits IN.tif OUT"},
    {"separatePlanes", PLAIN "tiffcp -p separate -c lzw IN.tif OUT"},
    {"tiles", PLAIN "tiffcp -t -w 16 -l 16 -c zip IN.tif OUT"},
    {"tiledPlanesBigEndian", PLAIN "tiffcp -B -t -w 16 -l 32 -p separate -c none IN.tif OUT"},
    {"jpegYCbCr", PLAIN "tiffcp -c jpeg -r 16 IN.tif OUT", 2},
    {"jpegRgb", PLAIN "tiffcp -c jpeg:r -r 16 IN.tif OUT", 2},
    {"jpegTiles", PLAIN "tiffcp -c jpeg -t -w 16 -l 16 IN.tif OUT", 2},
    {"grey8", "convert IN -colorspace Gray -compress LZW OUT"},
    {"grey16BigEndian", "convert IN -colorspace Gray -depth 16 -define tiff:endian=msb OUT", 1},
    {"grey4", "convert IN -colorspace Gray -depth 4 OUT"},
    {"grey2", "convert IN -colorspace Gray -depth 2 OUT"},
    {"rgb16", "convert IN -depth 16 -compress Zip OUT", 1},
    // The predictor adds whole 16-bit samples in the file's byte order.
    {"rgb16PredictorBigEndian", "convert IN -depth 16 -compress None IN.tif && tiffcp -B -c lzw:2 IN.tif OUT", 1},
    {"rgba", "convert IN -alpha set -channel A -evaluate set 60% +channel -compress LZW OUT", 1},
    {"palette", "convert IN -colors 50 -type Palette -compress RLE OUT", 1},
    {"cmyk", "convert IN -colorspace CMYK -compress LZW OUT", 1},
    {"bilevelGroup3",
     "convert IN -monochrome -type bilevel -depth 1 -compress None IN.tif && tiffcp -c g3:1d IN.tif OUT"},
    {"bilevelGroup3FillOrder2",
     "convert IN -monochrome -type bilevel -depth 1 -compress None IN.tif && tiffcp -c g3:1d:fill -f lsb2msb IN.tif OUT"},
    // Runs beyond 1728 pixels need the extended make-up codes.
    {"group3LongRuns", "convert -size 3000x3 xc:white -fill black -draw 'rectangle 7,0 2990,1' -type bilevel -depth 1 "
                       "-compress None IN.tif && tiffcp -c g3:1d IN.tif OUT"},
    {"group3TwoDimensional",
     "convert IN -monochrome -type bilevel -depth 1 -compress None IN.tif && tiffcp -c g3:2d IN.tif OUT", 0,
     "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
    {"group4", "convert IN -monochrome -type bilevel -depth 1 -compress None IN.tif && tiffcp -c g4 IN.tif OUT", 0,
     "Cannot load image. The compression scheme is not supported for TIF/TIFF files."},
};

std::optional<test::TPixmap> LibTiffPixels(const std::string& path)
{
    const std::string rgba = path + ".rgba.tif";
    if (!test::RunTool("tiff2rgba -c none '" + path + "' '" + rgba + "' >/dev/null 2>&1"))
        return std::nullopt;
    return test::ImageMagickPixels(rgba, "-background white -alpha remove -alpha off");
}

class TiffInterop : public ::testing::TestWithParam<Case> {};

TEST_P(TiffInterop, decodesAsLibtiffDoes)
{
    if (!test::RunTool("tiffcp -h >/dev/null 2>&1; tiff2rgba -h >/dev/null 2>&1; convert -version >/dev/null 2>&1") ||
        !test::RunTool(
            "command -v tiffcp >/dev/null && command -v tiff2rgba >/dev/null && command -v convert >/dev/null"))
        GTEST_SKIP() << "needs libtiff-tools and ImageMagick";
    const Case& c = GetParam();
    test::TempDir dir;
    const std::string in = dir.file("picture.ppm");
    const std::string out = dir.file("picture.tif");
    test::WriteBytes(in, test::PortableMap(test::Picture(37, 29, 0)));
    // Intermediate files (IN.tif) lie beside IN.
    ASSERT_TRUE(test::RunTool(test::ToolCommand(c.tool, in, out) + " >/dev/null 2>&1")) << c.tool;
    if (c.message != nullptr) {
        EXPECT_EQ(test::tiff::LoadError<TTIFFGraphic>(test::ReadBytes(out)), c.message);
        return;
    }
    const std::optional<test::TPixmap> want = LibTiffPixels(out);
    ASSERT_TRUE(want) << "tiff2rgba cannot read " << c.name;
    const test::TPixmap got = test::tiff::Pixels<TTIFFGraphic>(test::ReadBytes(out));
    ASSERT_EQ(got.width, want->width);
    ASSERT_EQ(got.height, want->height);
    EXPECT_LE(test::MaxDifference(got, *want), c.colour);
}

INSTANTIATE_TEST_SUITE_P(Tools, TiffInterop, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace scalopex::formats
