// Photoshop documents written by ImageMagick from pictures made here: each
// decodes to the picture it was made from and agrees with ImageMagick's
// decode of its composite.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/opening.h"
#include "formats/psd/psd_graphic.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::corpus::Difference;

struct Case {
    const char* options;
    const char* source;  // rich.ppm, grey.pgm or c200.ppm
    core::TPixelFormat format;
    int colour;                     // tolerance
    bool imageMagickAgrees = true;  // false: compared with the picture only
};

// No transparent documents: ImageMagick stores their composite without the
// white matte that Photoshop's composites carry; the corpus covers those.
const Case kCases[] = {
    {"-compress RLE", "rich.ppm", core::pf24bit, 0},
    {"-compress None", "rich.ppm", core::pf24bit, 0},
    {"-depth 16 -compress RLE", "rich.ppm", core::pf24bit, 0},
    {"-depth 16 -compress None", "rich.ppm", core::pf24bit, 0},
    {"-compress RLE", "grey.pgm", core::pf8bit, 0},
    {"-depth 16 -compress None", "grey.pgm", core::pf8bit, 0},
    {"-type Palette -compress RLE", "c200.ppm", core::pf8bit, 0},
    // ImageMagick's own reading of CMYK documents does not give back the picture.
    {"-colorspace CMYK -compress RLE", "rich.ppm", core::pf24bit, 1, false},
    {"-colorspace CMYK -compress None", "rich.ppm", core::pf24bit, 1, false},
};

// The picture over white, as opening shows a picture with alpha.
test::TPixmap OverWhite(test::TPixmap p)
{
    for (std::size_t i = 0; i < p.alpha.size(); ++i)
        for (std::size_t c = 3 * i; c < 3 * i + 3; ++c)
            p.rgb[c] = static_cast<std::uint8_t>((p.rgb[c] * p.alpha[i] + 255 * (255 - p.alpha[i]) + 127) / 255);
    p.alpha.clear();
    return p;
}

TEST(PsdInterop, DocumentsImageMagickWritesDecodeToTheirPicture)
{
    if (!test::RunTool("convert -version"))
        GTEST_SKIP() << "needs ImageMagick";
    test::TempDir dir;
    const std::map<std::string, test::TPixmap> pictures = {
        {"rich.ppm", test::Picture(43, 21, 0)},
        {"grey.pgm", test::Picture(43, 21, 0, true)},
        {"c200.ppm", test::Picture(43, 21, 200)},
    };
    for (const auto& [name, picture] : pictures)
        test::WriteBytes(dir.file(name), test::PortableMap(picture, name == "grey.pgm"));
    int n = 0;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.options) + " on " + c.source);
        const std::string out = dir.file("made" + std::to_string(n++) + ".psd");
        ASSERT_TRUE(test::RunTool("convert '" + dir.file(c.source) + "' " + c.options + " '" + out + "'"));
        TPSDGraphic graphic;
        ASSERT_NO_THROW(graphic.LoadFromFile(out));
        EXPECT_EQ(graphic.PixelFormat(), c.format);
        const test::TPixmap shown = test::ToPixmap(*core::GraphicToBitmap(&graphic));
        const int cmyk = std::string(c.options).find("CMYK") != std::string::npos ? 1 : 0;
        EXPECT_EQ(Difference(shown, OverWhite(pictures.at(c.source)), {.colour = c.colour + cmyk}), "");
        if (!c.imageMagickAgrees)
            continue;
        std::optional<test::TPixmap> theirs = test::ImageMagickPixels(out + "[0]");
        const char* reference = "ImageMagick";
        if (!theirs && test::HavePillow()) {
            // Some ImageMagick versions cannot read back the indexed documents they write.
            theirs = test::PillowPixels(out);
            reference = "Pillow";
        }
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(Difference(shown, OverWhite(*theirs), {.colour = c.colour}), "") << reference;
    }
}

}  // namespace
}  // namespace scalopex::formats
