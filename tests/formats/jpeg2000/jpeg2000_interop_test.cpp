// Against the codec's own command-line tools: files made by opj_compress in
// many configurations decode here as opj_decompress decodes them, and files
// written here decode with opj_decompress and are described by opj_dump as
// written. Skipped when the tools are missing.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/formats/jpeg2000/jpeg2000_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::TPixmap;
using test::jpeg2000::Bytes;
using test::jpeg2000::Load;
using test::jpeg2000::NoiseBitmap;
using test::jpeg2000::Save;

class Jpeg2000Interop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::jpeg2000::HaveOpenJpegTools())
            GTEST_SKIP() << "opj_compress, opj_decompress or opj_dump not found";
        ASSERT_TRUE(test::RunTool("convert -size 67x45 -seed 5 plasma:fractal -depth 8 '" + Path("rgb.ppm") + "'"));
        ASSERT_TRUE(
            test::RunTool("convert '" + Path("rgb.ppm") + "' -colorspace gray -depth 8 '" + Path("grey.pgm") + "'"));
        ASSERT_TRUE(
            test::RunTool("convert '" + Path("rgb.ppm") + "' -colorspace gray -depth 16 '" + Path("grey16.pgm") + "'"));
        const std::string ramp = "\\( -size 67x45 gradient: \\) -alpha off -compose copy_opacity -composite";
        ASSERT_TRUE(test::RunTool("convert '" + Path("rgb.ppm") + "' " + ramp + " PNG32:'" + Path("rgba.png") + "'"));
        ASSERT_TRUE(test::RunTool("convert '" + Path("grey.pgm") + "' " + ramp + " -type GrayscaleAlpha '" +
                                  Path("ga.png") + "'"));
        // Raw planes of 33 x 21 pixels: a full one, two of 2 x 2 subsampled
        // samples, and for four components another full one.
        Bytes planes;
        std::uint32_t seed = 9;
        for (int i = 0; i < 2 * 33 * 21 + 2 * 17 * 11; ++i) {
            seed = seed * 1664525u + 1013904223u;
            planes.push_back(static_cast<std::uint8_t>(seed >> 24));
        }
        test::WriteBytes(Path("four.raw"), planes);
        test::WriteBytes(Path("ycc.raw"), Bytes(planes.begin(), planes.end() - 33 * 21));
        const std::string pgxHeader = "PG ML - 8 33 21\n";
        Bytes signedGrey(pgxHeader.size() + 33 * 21);
        std::copy(pgxHeader.begin(), pgxHeader.end(), signedGrey.begin());
        std::copy(planes.begin(), planes.begin() + 33 * 21,
                  signedGrey.begin() + static_cast<std::ptrdiff_t>(pgxHeader.size()));
        test::WriteBytes(Path("signed.pgx"), signedGrey);
    }

    std::string Path(const std::string& name) const { return m_dir.file(name); }

    test::TempDir m_dir;
};

// How opj_decompress's picture relates to ours.
enum class Layout {
    Same,         // the same pixels (alpha where ours has it)
    FourUnnamed,  // four components without roles: ours hold components 0..3 in bytes 3..0
};

TPixmap Expected(TPixmap theirs, Layout layout)
{
    if (layout == Layout::FourUnnamed) {
        // Theirs: components 0, 1, 2 as colour and 3 as alpha. Ours: bytes
        // 2, 1, 0 (colour) hold components 1, 2, 3, byte 3 (alpha) component 0.
        for (std::size_t p = 0; p < theirs.alpha.size(); ++p) {
            std::uint8_t* rgb = &theirs.rgb[3 * p];
            const std::uint8_t first = rgb[0];
            rgb[0] = rgb[1];
            rgb[1] = rgb[2];
            rgb[2] = theirs.alpha[p];
            theirs.alpha[p] = first;
        }
    }
    return theirs;
}

TEST_F(Jpeg2000Interop, FilesOfTheCodecsCompressorDecodeAsItsDecompressorDecodesThem)
{
    struct Case {
        const char* name;
        const char* source;
        std::string options;
        const char* extension;
        Layout layout;
        int tolerance;
    } cases[] = {
        {"lossless RGB", "rgb.ppm", "", "jp2", Layout::Same, 0},
        {"lossy reversible", "rgb.ppm", "-r 20", "jp2", Layout::Same, 0},
        {"irreversible with the colour transform", "rgb.ppm", "-I -r 10", "j2k", Layout::Same, 0},
        {"three raw components", "rgb.ppm", "", "j2k", Layout::Same, 0},
        {"several quality layers", "rgb.ppm", "-r 40,20,10", "jp2", Layout::Same, 0},
        {"tiles", "rgb.ppm", "-t 16,16 -n 3", "jp2", Layout::Same, 0},
        {"precincts", "rgb.ppm", "-c [32,32],[16,16] -n 3", "jp2", Layout::Same, 0},
        {"progression order, markers and tile-parts", "rgb.ppm", "-p RPCL -SOP -EPH -t 32,32 -TP R", "j2k",
         Layout::Same, 0},
        {"grey", "grey.pgm", "", "jp2", Layout::Same, 0},
        {"grey of 16 bits", "grey16.pgm", "-r 5", "jp2", Layout::Same, 1},
        // opj_compress reads a signed 8-bit PGX as 7-bit samples, which are
        // scaled, not copied: its decompressor rounds where this reader truncates.
        {"signed grey", "signed.pgx", "-n 3", "j2k", Layout::Same, 1},
        {"grey subsampled 2 x 2", "grey.pgm", "-s 2,2 -n 4", "jp2", Layout::Same, 0},
        {"grey and opacity", "ga.png", "", "jp2", Layout::Same, 0},
        {"RGB and opacity", "rgba.png", "", "jp2", Layout::Same, 0},
        {"four raw components", "rgba.png", "", "j2k", Layout::FourUnnamed, 0},
        {"four raw components, two subsampled", "four.raw", "-F 33,21,4,8,u@1x1:2x2:2x2:1x1 -n 3", "j2k",
         Layout::FourUnnamed, 0},
        {"sYCC 4:2:0", "ycc.raw", "-F 33,21,3,8,u@1x1:2x2:2x2 -n 3", "jp2", Layout::Same, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Path(std::string("made.") + c.extension);
        const std::string png = Path("theirs.png");
        ASSERT_TRUE(test::RunTool("opj_compress -i '" + Path(c.source) + "' -o '" + file + "' " + c.options));
        ASSERT_TRUE(test::RunTool("opj_decompress -upsample -i '" + file + "' -o '" + png + "'"));
        const std::optional<TPixmap> theirs = test::ImageMagickPixels(png);
        ASSERT_TRUE(theirs.has_value());
        const auto ours = Load(test::ReadBytes(file));
        const TPixmap got = test::ToPixmap(*ours, ours->PixelFormat() == core::pf32bit);
        const std::string difference =
            test::corpus::Difference(got, Expected(*theirs, c.layout), {.colour = c.tolerance});
        EXPECT_EQ(difference, "");
    }
}

TEST_F(Jpeg2000Interop, FilesWrittenHereDecodeWithTheCodecsDecompressor)
{
    struct Case {
        const char* name;
        std::unique_ptr<core::TBitmap> raster;
        bool lossless;
    } cases[] = {
        {"lossless RGB", NoiseBitmap(41, 23, core::pf24bit, 21), true},
        {"lossless RGB and opacity", NoiseBitmap(41, 23, core::pf32bit, 22), true},
        {"lossy RGB at quality 97", NoiseBitmap(120, 90, core::pf24bit, 23), false},
        {"one pixel", NoiseBitmap(1, 1, core::pf24bit, 24), false},
    };
    cases[1].raster->SetHasAlpha(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Path("ours.jp2");
        const std::string png = Path("theirs.png");
        test::WriteBytes(file, Save(*c.raster, c.lossless));
        ASSERT_TRUE(test::RunTool("opj_decompress -i '" + file + "' -o '" + png + "'"));
        const std::optional<TPixmap> theirs = test::ImageMagickPixels(png);
        ASSERT_TRUE(theirs.has_value());
        // Lossless: the raster itself; lossy: our own decoding of the file.
        const bool alpha = c.raster->HasAlpha();
        const TPixmap want =
            c.lossless ? test::ToPixmap(*c.raster, alpha) : test::ToPixmap(*Load(test::ReadBytes(file)), alpha);
        EXPECT_EQ(test::corpus::Difference(*theirs, want, {}), "");
    }
}

TEST_F(Jpeg2000Interop, TheCodecsDumpDescribesWrittenFilesAsWritten)
{
    const std::string file = Path("dumped.jp2");
    test::WriteBytes(file, Save(*NoiseBitmap(800, 600, core::pf24bit, 25), false));
    const Bytes out = test::RunCommand("opj_dump -i '" + file + "' 2>/dev/null");
    const std::string dump(out.begin(), out.end());
    for (const char* line : {"x1=800, y1=600", "numcomps=3", "prec=8", "sgnd=0", "tw=1, th=1", "prg=0", "numlayers=1",
                             "mct=0", "numresolutions=6", "cblkw=2^6", "cblkh=2^6", "qmfbid=1",
                             // the boxes before the codestream take 113 bytes
                             "Main header start position=113"})
        EXPECT_NE(dump.find(line), std::string::npos) << line;
    EXPECT_EQ(dump.find("type=0xff64"), std::string::npos) << "a comment marker";
    EXPECT_NE(dump.find("type=0xff5c"), std::string::npos) << "the quantisation marker";
}

}  // namespace
}  // namespace scalopex::formats
