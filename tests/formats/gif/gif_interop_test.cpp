// Agreement with independent tools: files made by ImageMagick and gifsicle
// read to the same first-frame picture as ImageMagick shows (over white),
// and files written here read back in ImageMagick (and netpbm's giftopnm,
// when present) to exactly the colours of the written frame.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::gif;

namespace {

bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

void ExpectSameAsImageMagick(const std::string& path)
{
    SCOPED_TRACE(path);
    const std::optional<Raster> reference = FirstFrameByImageMagick(path);
    ASSERT_TRUE(reference) << "ImageMagick cannot read the file";
    const Decoded d = Decode(test::ReadBytes(path));
    const auto drawn = Draw(*d.image);
    ASSERT_EQ(drawn->Width(), reference->width);
    ASSERT_EQ(drawn->Height(), reference->height);
    const std::vector<std::uint32_t> ours = Pixels(*drawn);
    int differing = 0;
    for (std::size_t i = 0; i < ours.size(); ++i)
        differing += ours[i] != reference->rgb[i];
    EXPECT_EQ(differing, 0);
}

// The colours a written file must show: its frame's table entries, white
// where the frame is transparent.
std::vector<std::uint32_t> WrittenColours(const formats::TGIFImage& gif)
{
    const formats::TGIFSubImage& frame = *gif.Images()[0];
    const int transparent = frame.TransparentIndex();
    std::vector<std::uint32_t> out;
    for (std::uint8_t index : frame.Data()) {
        const formats::TGIFColor c = frame.ColorMap()[index];
        out.push_back(index == transparent ? 0xFFFFFFu : (static_cast<std::uint32_t>(c.Red) << 16 | c.Green << 8 | c.Blue));
    }
    return out;
}

std::string Write(const core::TBitmap& bitmap, const test::TempDir& dir, const std::string& name, formats::TGIFImage& gif)
{
    gif.SetGifReduction(formats::TColorReduction::OctreeWithSystemColors);
    gif.Assign(&bitmap);
    const std::string path = dir.file(name);
    gif.SaveToFile(path);
    return path;
}

}  // namespace

TEST(GifInterop, filesMadeByImageMagickReadAlike)
{
    if (!HaveTool("convert -version"))
        GTEST_SKIP() << "ImageMagick is not installed";
    test::TempDir dir;
    const std::string files[][2] = {
        {"interlaced.gif", "-size 37x23 gradient:red-blue -interlace GIF"},
        {"transparent.gif", "-size 20x10 xc:red -fill blue -draw 'rectangle 5,2 9,6' -transparent blue"},
        {"animated.gif", "-size 16x16 xc:red '(' -size 8x8 xc:blue -repage +4+4 ')' '(' -size 6x5 gradient:yellow-green -repage "
                         "+1+2 ')' -loop 0"},
        {"offset.gif", "-size 9x7 gradient:white-black -repage 20x15+6+5"},
        {"one.gif", "-size 1x1 'xc:#123456'"},
        {"plasma.gif", "-seed 5 -size 301x199 plasma:fractal"},
        {"small-table.gif", "-size 13x11 pattern:checkerboard -colors 2"},
    };
    for (const auto& [name, recipe] : files) {
        const std::string command = "convert " + std::string(recipe) + " '" + dir.file(name) + "'";
        ASSERT_TRUE(Shell(command)) << command;
        ExpectSameAsImageMagick(dir.file(name));
    }
}

TEST(GifInterop, filesMadeByGifsicleReadAlike)
{
    if (!HaveTool("gifsicle --version") || !HaveTool("convert -version"))
        GTEST_SKIP() << "gifsicle (package gifsicle) is not installed";
    test::TempDir dir;
    ASSERT_TRUE(Shell("convert -seed 9 -size 120x90 plasma:fractal -colors 200 '" + dir.file("base.gif") + "'"));
    const std::string recipes[][2] = {
        {"interlaced.gif", "-i"},
        {"placed.gif", "-S 150x100 -p 17,3"},
        {"transparent.gif", "-k 16 -t '#000000'"},
        {"careful.gif", "--careful -i -k 3"},
        {"cropped.gif", "--crop 5,7+61x33"},
    };
    for (const auto& [name, options] : recipes) {
        const std::string command =
            "gifsicle " + std::string(options) + " '" + dir.file("base.gif") + "' -o '" + dir.file(name) + "'";
        ASSERT_TRUE(Shell(command)) << command;
        ExpectSameAsImageMagick(dir.file(name));
    }
    // Two files merged: the second image keeps its own (local) table.
    ASSERT_TRUE(Shell("convert -size 30x20 xc:green '" + dir.file("second.gif") + "'"));
    ASSERT_TRUE(
        Shell("gifsicle '" + dir.file("second.gif") + "' '" + dir.file("base.gif") + "' -o '" + dir.file("merged.gif") + "'"));
    const Decoded merged = Decode(test::ReadBytes(dir.file("merged.gif")));
    ASSERT_EQ(merged.image->Images().size(), 2u);
    ExpectSameAsImageMagick(dir.file("merged.gif"));
}

TEST(GifInterop, writtenFilesReadBackInOtherDecoders)
{
    if (!HaveTool("convert -version"))
        GTEST_SKIP() << "ImageMagick is not installed";
    const bool netpbm = HaveTool("giftopnm -version");
    test::TempDir dir;
    std::mt19937 random(17);
    struct Case {
        std::string name;
        std::unique_ptr<core::TBitmap> bitmap;
    };
    std::vector<Case> cases;
    cases.push_back({"photo.gif", test::MakeBitmap24(61, 47, [&](int x, int y) {
                         return static_cast<std::uint32_t>(x * 4) << 16 | static_cast<std::uint32_t>(y * 5) << 8 |
                                (random() & 0x3F);
                     })});
    cases.push_back(
        {"noise.gif", test::MakeBitmap24(300, 211, [&](int, int) { return static_cast<std::uint32_t>(random() & 0xFFFFFF); })});
    cases.push_back({"one.gif", test::MakeBitmap24(1, 1, [](int, int) { return 0xABCDEFu; })});
    auto transparent = test::MakeBitmap24(
        33, 9, [](int x, int y) { return (x * y) % 5 == 0 ? 0x00FF00u : static_cast<std::uint32_t>(x << 18 | y << 4); });
    transparent->SetTransparent(true);
    transparent->SetTransparentColor(0x00FF00);
    cases.push_back({"transparent.gif", std::move(transparent)});

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        formats::TGIFImage gif;
        const std::string path = Write(*c.bitmap, dir, c.name, gif);
        const std::vector<std::uint32_t> expected = WrittenColours(gif);
        const std::optional<Raster> im = FirstFrameByImageMagick(path);
        ASSERT_TRUE(im);
        EXPECT_EQ(im->rgb, expected);
        if (netpbm && c.name != "transparent.gif") {
            const std::optional<Raster> pnm = ReadPpmFrom("giftopnm '" + path + "'");
            ASSERT_TRUE(pnm);
            EXPECT_EQ(pnm->rgb, expected);
        }
    }
}
