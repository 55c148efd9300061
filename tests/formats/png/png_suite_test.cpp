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

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/opening.h"
#include "formats/common/color_manager.h"
#include "formats/png/png_graphic.h"
#include "tests/formats/png/png_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::png;
using scalopex::test::PixelRGB;

namespace {

std::string SuiteDir() { return test::CorpusDir() + "pngsuite/"; }

std::vector<std::string> SuiteFiles()
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(SuiteDir() + "png"))
        if (entry.path().extension() == ".png")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

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

TEST(PngSuite, validFilesDrawLikeTheirReferenceDecodes)
{
    int checked = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name[0] == 'x')
            continue;
        SCOPED_TRACE(name);
        const auto png = DecodeFile(SuiteDir() + "png/" + name + ".png");
        const auto drawn = core::GraphicToBitmap(png.get());
        const bool sixteen = png->ImageDescription.SampleBits == 16;
        const bool gamma = [&] {
            // The description reports 1.0 both for gAMA 100000 and for no gAMA.
            std::ifstream in(SuiteDir() + "png/" + name + ".png", std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            return bytes.find("gAMA") != std::string::npos;
        }();
        formats::TColorManager manager;
        manager.SetGammaValues(png->ImageDescription.Gamma, 2.2f);
        const auto& table = manager.GammaTable();

        const std::vector<std::uint32_t> ref = ReadNumbers(SuiteDir() + "json/" + name + ".json");
        ASSERT_EQ(ref.size(), static_cast<std::size_t>(drawn->Width() * drawn->Height() * 4));
        int mismatches = 0;
        for (int y = 0; y < drawn->Height(); ++y) {
            for (int x = 0; x < drawn->Width(); ++x) {
                const std::size_t at = 4 * static_cast<std::size_t>(y * drawn->Width() + x);
                auto to8 = [&](std::uint32_t v) { return sixteen ? formats::MulDiv16(v, 255, 65535) : v; };
                const std::uint32_t a = to8(ref[at + 3]);
                std::uint32_t expected = 0;
                for (int c = 0; c < 3; ++c) {
                    std::uint32_t v = to8(ref[at + static_cast<std::size_t>(c)]);
                    if (gamma)
                        v = table[v];
                    const std::uint32_t shown = (v * a + 255 * (255 - a) + 127) / 255;
                    expected = (expected << 8) | shown;
                }
                const std::uint32_t actual = PixelRGB(*drawn, x, y);
                if (actual != expected && ++mismatches <= 3)
                    ADD_FAILURE() << "at " << x << "," << y << std::hex << ": 0x" << actual << " instead of 0x" << expected;
            }
        }
        EXPECT_EQ(mismatches, 0);
        ++checked;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PngSuite, interlacedFilesDecodeLikeTheirPlainTwins)
{
    int pairs = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name.size() != 8 || name[3] != 'i' || name[0] == 'x')
            continue;
        std::string twin = name;
        twin[3] = 'n';
        if (!std::filesystem::exists(SuiteDir() + "png/" + twin + ".png"))
            continue;
        SCOPED_TRACE(name);
        const auto interlaced = DecodeFile(SuiteDir() + "png/" + name + ".png");
        const auto plain = DecodeFile(SuiteDir() + "png/" + twin + ".png");
        ASSERT_EQ(interlaced->PixelFormat(), plain->PixelFormat());
        ASSERT_EQ(interlaced->Palette(), plain->Palette());
        ASSERT_EQ(interlaced->Height(), plain->Height());
        ASSERT_EQ(interlaced->Width(), plain->Width());
        const bool alpha = plain->PixelFormat() == core::pf32bit;
        for (int y = 0; y < plain->Height(); ++y)
            for (int x = 0; x < plain->Width(); ++x) {
                ASSERT_EQ(PixelRGB(*interlaced, x, y), PixelRGB(*plain, x, y)) << "at " << x << "," << y;
                if (alpha) {
                    ASSERT_EQ(interlaced->ScanLineRead(y)[4 * x + 3], plain->ScanLineRead(y)[4 * x + 3]) << x << "," << y;
                }
            }
        ++pairs;
    }
    EXPECT_GE(pairs, 30);
}

TEST(PngSuite, corruptedFilesFailWithAMessage)
{
    int failed = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name[0] != 'x')
            continue;
        SCOPED_TRACE(name);
        const Bytes bytes = test::ReadBytes(SuiteDir() + "png/" + name + ".png");
        const std::string message = LoadError(bytes);
        EXPECT_FALSE(message.empty());
        failed += !message.empty();
    }
    EXPECT_EQ(failed, 14);

    // A few causes by name: the checks that catch them.
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xc1n0g08.png")), "Invalid color format in PNG file.");
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xd3n2c08.png")), "Invalid color format in PNG file.");
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xhdn0g08.png")), "Cannot load image. CRC error found in PNG file.");
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xcsn0g01.png")), "Cannot load image. CRC error found in PNG file.");
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xdtn0g01.png")),
              "Cannot load image. Invalid or unexpected PNG image format.");
    EXPECT_EQ(LoadError(test::ReadBytes(SuiteDir() + "png/xs1n0g01.png")),
              "Cannot load image. Invalid or unexpected PNG image format.");
}

}  // namespace
