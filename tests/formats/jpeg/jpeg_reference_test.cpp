// Files made by independent tools (cjpeg, ImageMagick) and the codec's own
// test images decode like the reference decoder, djpeg with the
// floating-point DCT.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/jpeg/jpeg_image.h"
#include "tests/formats/jpeg/jpeg_test_util.h"
#include "tests/support/corpus_harness.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::corpus;
using namespace scalopex::test::jpeg;

namespace {

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

// Every maker turns the input into a JPEG file, which must decode exactly
// as djpeg decodes it; compared counts the files.
void ExpectEveryMakersFileDecodesLikeDjpeg(const std::string& input, const test::TempDir& dir, int& compared)
{
    for (const TMaker& maker : kMakers) {
        SCOPED_TRACE(std::string(maker.name) + ", " + input);
        const std::string out = dir.file("out.jpg");
        ASSERT_TRUE(RunTool(Replace(Replace(maker.command, "IN", "'" + input + "'"), "OUT", "'" + out + "'")));
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

TEST(JpegReference, filesOfIndependentToolsDecodeLikeDjpeg)
{
    test::TempDir dir;
    int compared = 0;
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {17, 9}, {67, 45}}) {
        const std::string path = dir.file("in_" + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
        WritePpm(path, *Photo(w, h));
        ExpectEveryMakersFileDecodesLikeDjpeg(path, dir, compared);
    }
    EXPECT_EQ(compared, static_cast<int>(std::size(kMakers) * 3));
}

TEST(JpegReference, theCodecsNightPhotoInEveryMakersFileDecodesLikeDjpeg)
{
    SCALOPEX_REQUIRE_CORPUS("jpeg-testimages/testimages");
    test::TempDir dir;
    int compared = 0;
    ExpectEveryMakersFileDecodesLikeDjpeg(test::CorpusDir() + "jpeg-testimages/testimages/nightshot_iso_100.bmp", dir, compared);
    EXPECT_EQ(compared, static_cast<int>(std::size(kMakers)));
}

test::TPixmap DecodeJpeg(const std::string& path) { return ToPixmap(LoadJpeg(test::ReadBytes(path))->Bitmap()); }

// Baseline, progressive and arithmetic-coded versions of one picture, each
// against djpeg's decode of itself and, within JPEG loss, the picture itself.
// This codec build reads 8-bit samples only; the 12-bit file is refused
// with the codec's message number, at loading or at decoding.
const Row kRows[] = {
    {.name = "codecTestImages",
     .folder = "jpeg-testimages/testimages",
     .entries =
         [](const std::string&) {
             std::vector<Entry> entries;
             for (const char* name : {"testorig.jpg", "testimgint.jpg", "testimgari.jpg"})
                 entries.push_back({.file = name, .reference = name, .tolerance = {.colour = 1}});
             entries.push_back({.file = "testorig.jpg", .reference = "testorig.ppm", .tolerance = {.colour = 255, .meanBelow = 4.0},
                                .readReference = ReadPnmFile});
             entries.push_back({.file = "testorig12.jpg", .expect = kFailCleanly, .messagePrefix = "JPEG error #"});
             return entries;
         },
     .decode = DecodeJpeg,
     .readReference = Djpeg,
     .tool = "djpeg -version",
     .exactFiles = 5},
};

class JpegCorpus : public RowTest {};

TEST_P(JpegCorpus, filesBehaveAsTheirRowSays) { Walk(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Corpus, JpegCorpus, ::testing::ValuesIn(kRows), RowName);

}  // namespace
