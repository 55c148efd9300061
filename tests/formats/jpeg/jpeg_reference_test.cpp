// Files made by independent tools (cjpeg, ImageMagick) and the codec's own
// test images decode like the reference decoder, djpeg with the
// floating-point DCT.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "formats/jpeg/jpeg_image.h"
#include "tests/formats/jpeg/jpeg_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::jpeg;

namespace {

std::string TestImages() { return test::CorpusDir() + "jpeg-testimages/testimages/"; }

struct TMaker {
    const char* name;
    const char* command;  // IN and OUT stand for the input and output paths
    bool grey;            // grey output is dithered to 236 levels, not 256
};

const TMaker kMakers[] = {
    {"cjpeg baseline 4:2:0", "cjpeg -quality 85 -outfile OUT IN", false},
    {"cjpeg progressive", "cjpeg -progressive -outfile OUT IN", false},
    {"cjpeg grey", "cjpeg -grayscale -outfile OUT IN", true},
    {"cjpeg grey progressive", "cjpeg -grayscale -progressive -outfile OUT IN", true},
    {"cjpeg 4:4:4", "cjpeg -sample 1x1 -outfile OUT IN", false},
    {"cjpeg 4:2:2", "cjpeg -sample 2x1 -outfile OUT IN", false},
    {"cjpeg 4:4:0", "cjpeg -sample 1x2 -outfile OUT IN", false},
    {"cjpeg restart every MCU", "cjpeg -restart 1B -outfile OUT IN", false},
    {"cjpeg optimised tables", "cjpeg -optimize -quality 60 -outfile OUT IN", false},
    {"cjpeg arithmetic coding", "cjpeg -arithmetic -outfile OUT IN", false},
    {"cjpeg RGB colour space", "cjpeg -rgb -outfile OUT IN", false},
    {"ImageMagick 4:2:2 q75", "convert IN -quality 75 -sampling-factor 2x1 OUT", false},
    {"ImageMagick progressive", "convert IN -interlace JPEG OUT", false},
    {"ImageMagick CMYK", "convert IN -colorspace CMYK OUT", false},
};

std::string Replace(std::string text, const std::string& key, const std::string& value)
{
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

TEST(JpegReference, filesOfIndependentToolsDecodeLikeDjpeg)
{
    test::TempDir dir;
    struct Input {
        std::string name;
        std::string path;
    };
    std::vector<Input> inputs;
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {17, 9}, {67, 45}}) {
        const std::string path = dir.file("in_" + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
        WritePpm(path, *Photo(w, h));
        inputs.push_back({std::to_string(w) + "x" + std::to_string(h), path});
    }
    inputs.push_back({"night photo", TestImages() + "nightshot_iso_100.bmp"});

    int compared = 0;
    for (const TMaker& maker : kMakers) {
        for (const Input& input : inputs) {
            SCOPED_TRACE(std::string(maker.name) + ", " + input.name);
            const std::string out = dir.file("out.jpg");
            ASSERT_TRUE(RunTool(Replace(Replace(maker.command, "IN", "'" + input.path + "'"), "OUT", "'" + out + "'")));
            const auto reference = Djpeg(out);
            ASSERT_TRUE(reference);
            const auto jpeg = LoadJpeg(test::ReadBytes(out));
            EXPECT_EQ(jpeg->Width(), reference->width);
            EXPECT_EQ(jpeg->Height(), reference->height);
            const int worst = MaxDifference(ToPixmap(jpeg->Bitmap()), *reference);
            EXPECT_GE(worst, 0) << "same size";
            EXPECT_LE(worst, maker.grey ? 2 : 0) << "the same codec with the same settings";
            ++compared;
        }
    }
    EXPECT_EQ(compared, static_cast<int>(std::size(kMakers) * inputs.size()));
}

TEST(JpegReference, codecTestImagesDecodeLikeDjpeg)
{
    // Baseline, progressive and arithmetic-coded versions of one picture.
    for (const char* name : {"testorig.jpg", "testimgint.jpg", "testimgari.jpg"}) {
        SCOPED_TRACE(name);
        const std::string path = TestImages() + name;
        const auto reference = Djpeg(path);
        ASSERT_TRUE(reference);
        const auto jpeg = LoadJpeg(test::ReadBytes(path));
        EXPECT_LE(MaxDifference(ToPixmap(jpeg->Bitmap()), *reference), 1);
    }
    // Against the picture itself: within JPEG loss.
    const auto original = RunForPnm("cat '" + TestImages() + "testorig.ppm'");
    ASSERT_TRUE(original);
    EXPECT_LT(MeanDifference(ToPixmap(LoadJpeg(test::ReadBytes(TestImages() + "testorig.jpg"))->Bitmap()), *original), 4.0);
}

TEST(JpegReference, twelveBitFileFailsWithCodecError)
{
    // This codec build reads 8-bit samples only; the file is refused with
    // the codec's message number, at loading or at decoding.
    try {
        LoadJpeg(test::ReadBytes(TestImages() + "testorig12.jpg"))->Bitmap();
        ADD_FAILURE() << "decoded";
    } catch (const formats::EJPEG& e) {
        EXPECT_EQ(std::string(e.what()).rfind("JPEG error #", 0), 0u) << e.what();
    }
}

}  // namespace
