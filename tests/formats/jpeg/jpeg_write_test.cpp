// Writing JPEG files: the markers and tables of the output, round trips
// through the decoder, the raster layouts accepted, and cjpeg as an
// independent encoder with the same settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/jpeg/jpeg_image.h"
#include "tests/formats/jpeg/jpeg_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::jpeg;
using formats::TJPEGImage;
using formats::TJPEGOptions;

namespace {

const TSegment* Find(const std::vector<TSegment>& segments, std::uint8_t marker)
{
    const auto it = std::find_if(segments.begin(), segments.end(), [&](const TSegment& s) { return s.marker == marker; });
    return it == segments.end() ? nullptr : &*it;
}

TPixmap DecodeBytes(const std::vector<std::uint8_t>& bytes) { return ToPixmap(LoadJpeg(bytes)->Bitmap()); }

TEST(JpegWrite, writesBaselineJfif101WithFourTwoZeroSampling)
{
    const std::vector<std::uint8_t> file = EncodeBitmap(*Photo(40, 24));
    ASSERT_GE(file.size(), 4u);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 4), (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_EQ(file[file.size() - 2], 0xFF);
    EXPECT_EQ(file[file.size() - 1], 0xD9);

    const std::vector<TSegment> segments = SegmentsUpToScan(file);
    const TSegment* app0 = Find(segments, 0xE0);
    ASSERT_NE(app0, nullptr);
    // "JFIF\0", version 1.01, density unit 0, densities 1 and 1, no thumbnail.
    EXPECT_EQ(app0->payload, (std::vector<std::uint8_t>{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}));

    EXPECT_EQ(Find(segments, 0xC2), nullptr) << "not progressive";
    const TSegment* sof = Find(segments, 0xC0);
    ASSERT_NE(sof, nullptr) << "baseline frame";
    // Precision 8, height 24, width 40, three components: id, sampling, table.
    EXPECT_EQ(sof->payload, (std::vector<std::uint8_t>{8, 0, 24, 0, 40, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}));
    EXPECT_EQ(Find(segments, 0xEE), nullptr) << "no Adobe marker";
    EXPECT_EQ(Find(segments, 0xFE), nullptr) << "no comment";
    EXPECT_EQ(Find(segments, 0xDD), nullptr) << "no restart interval";
}

TEST(JpegWrite, usesTheQualityNinetyTables)
{
    const std::vector<TSegment> segments = SegmentsUpToScan(EncodeBitmap(*Photo(16, 16)));
    std::vector<std::uint8_t> tables;
    for (const TSegment& s : segments)
        if (s.marker == 0xDB)
            tables.insert(tables.end(), s.payload.begin(), s.payload.end());
    ASSERT_EQ(tables.size(), 2u * 65u);
    // The luminance and chrominance tables of the JPEG standard (Annex K),
    // in zigzag order, at 20 % (quality 90), rounded, 8-bit entries.
    const std::uint8_t luminance[8] = {3, 2, 2, 3, 2, 2, 3, 3};         // 16 11 12 14 12 10 16 14
    const std::uint8_t chrominance[8] = {3, 4, 4, 5, 4, 5, 9, 5};        // 17 18 18 24 21 24 47 26
    EXPECT_EQ(tables[0], 0x00) << "8-bit table 0";
    EXPECT_EQ(tables[65], 0x01) << "8-bit table 1";
    EXPECT_TRUE(std::equal(luminance, luminance + 8, tables.begin() + 1));
    EXPECT_TRUE(std::equal(chrominance, chrominance + 8, tables.begin() + 66));
    EXPECT_EQ(tables[64], 20) << "last luminance entry: 99 at 20 %";
}

TEST(JpegWrite, lowestQualityKeepsBaselineTables)
{
    TJPEGOptions options;
    options.JpegQuality = 1;
    const std::vector<TSegment> segments = SegmentsUpToScan(EncodeBitmap(*Photo(16, 16), options));
    int tables = 0;
    for (const TSegment& s : segments) {
        if (s.marker != 0xDB)
            continue;
        ++tables;
        // Without forced baseline tables quality 1 would need 16-bit entries.
        ASSERT_EQ(s.payload.size() % 65, 0u);
        for (std::size_t at = 0; at < s.payload.size(); at += 65)
            EXPECT_EQ(s.payload[at] >> 4, 0) << "8-bit precision";
    }
    EXPECT_EQ(tables, 2);
    EXPECT_NE(Find(segments, 0xC0), nullptr);
}

TEST(JpegWrite, matchesCjpegWithTheSameSettings)
{
    // cjpeg is an independent front end over the codec: same quality, float
    // DCT, default JFIF output. Both files must be identical byte for byte.
    test::TempDir dir;
    const auto bitmap = Photo(67, 45);
    WritePpm(dir.file("in.ppm"), *bitmap);
    ASSERT_TRUE(RunTool("cjpeg -dct float -quality 90 -outfile '" + dir.file("ref.jpg") + "' '" + dir.file("in.ppm") + "'"));
    EXPECT_EQ(EncodeBitmap(*bitmap), test::ReadBytes(dir.file("ref.jpg")));
}

TEST(JpegWrite, roundTripStaysWithinJpegLoss)
{
    const auto bitmap = Photo(64, 48);
    const TPixmap decoded = DecodeBytes(EncodeBitmap(*bitmap));
    const TPixmap original = ToPixmap(*bitmap);
    ASSERT_EQ(MaxDifference(decoded, original) >= 0, true) << "same size";
    EXPECT_LT(MeanDifference(decoded, original), 3.0);
}

TEST(JpegWrite, pureColoursKeepTheirChannels)
{
    // Rows go to the codec in blue-green-red order; a swap would turn red into blue.
    struct Case {
        std::uint32_t rgb;
        const char* name;
    };
    for (const Case c : {Case{0xFF0000, "red"}, Case{0x00FF00, "green"}, Case{0x0000FF, "blue"}}) {
        const auto bitmap = test::MakeBitmap24(16, 16, [&](int, int) { return c.rgb; });
        const TPixmap decoded = DecodeBytes(EncodeBitmap(*bitmap));
        EXPECT_LE(MaxDifference(decoded, ToPixmap(*bitmap)), 6) << c.name;
    }
}

TEST(JpegWrite, thinAndTinyRastersRoundTrip)
{
    struct Case {
        int width;
        int height;
    };
    for (const Case c : {Case{1, 1}, Case{1, 23}, Case{23, 1}, Case{1, 300}, Case{17, 9}, Case{2, 3}}) {
        const auto bitmap = test::MakeBitmap24(c.width, c.height, [](int x, int y) { return (x + y) % 2 ? 0x3070B0u : 0x4080C0u; });
        const TPixmap decoded = DecodeBytes(EncodeBitmap(*bitmap));
        EXPECT_EQ(decoded.width, c.width);
        EXPECT_EQ(decoded.height, c.height);
        EXPECT_LT(MeanDifference(decoded, ToPixmap(*bitmap)), 10.0) << c.width << "x" << c.height;
    }
}

TEST(JpegWrite, otherRasterLayoutsEncodeAsTheirTwentyFourBitCopy)
{
    const auto bitmap24 = Photo(37, 21);
    const std::vector<std::uint8_t> expected = EncodeBitmap(*bitmap24);

    // 32 bits: the fourth byte is dropped, whatever it holds.
    core::TBitmap bitmap32;
    bitmap32.Assign(bitmap24.get());
    bitmap32.SetPixelFormat(core::pf32bit);
    for (int y = 0; y < bitmap32.Height(); ++y)
        for (int x = 0; x < bitmap32.Width(); ++x)
            bitmap32.ScanLine(y)[4 * x + 3] = static_cast<std::uint8_t>(x * 5 + y);
    EXPECT_EQ(EncodeBitmap(bitmap32), expected);

    // 8 bits: the colours of the palette entries.
    core::TBitmap bitmap8;
    bitmap8.Assign(bitmap24.get());
    bitmap8.SetPixelFormat(core::pf8bit);
    core::TBitmap back24;
    back24.Assign(&bitmap8);
    back24.SetPixelFormat(core::pf24bit);
    EXPECT_EQ(EncodeBitmap(bitmap8), EncodeBitmap(back24));
}

TEST(JpegWrite, emptyRasterGivesZeroByteFile)
{
    core::TBitmap noRows;
    noRows.SetPixelFormat(core::pf24bit);
    noRows.SetSize(10, 0);
    EXPECT_TRUE(EncodeBitmap(core::TBitmap()).empty());
    EXPECT_TRUE(EncodeBitmap(noRows).empty());

    TJPEGImage nothing;
    core::TMemoryStream stream;
    nothing.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 0u);
}

TEST(JpegWrite, optionsSelectGreyAndProgressiveFiles)
{
    const auto bitmap = Photo(32, 32);
    TJPEGOptions grey;
    grey.GrayDecode = true;
    const std::vector<TSegment> greySegments = SegmentsUpToScan(EncodeBitmap(*bitmap, grey));
    const TSegment* sof = Find(greySegments, 0xC0);
    ASSERT_NE(sof, nullptr);
    EXPECT_EQ(sof->payload[5], 1) << "one component";

    TJPEGOptions progressive;
    progressive.ProgressiveWrite = true;
    const std::vector<std::uint8_t> file = EncodeBitmap(*bitmap, progressive);
    EXPECT_NE(Find(SegmentsUpToScan(file), 0xC2), nullptr);
    EXPECT_LT(MeanDifference(DecodeBytes(file), ToPixmap(*bitmap)), 4.5);
}

TEST(JpegWrite, saveBitmapAsJpegWritesQualityNinety)
{
    const auto bitmap = Photo(30, 20);
    core::TMemoryStream stream;
    formats::SaveBitmapAsJpeg(*bitmap, stream);
    EXPECT_EQ(stream.Bytes(), EncodeBitmap(*bitmap));
}

TEST(JpegWrite, encodingLoadedImageKeepsItsPixels)
{
    // A loaded image is decoded before it is compressed again, instead of
    // being replaced by an empty file.
    const auto bitmap = Photo(48, 32);
    auto jpeg = LoadJpeg(EncodeBitmap(*bitmap));
    jpeg->SetJpegQuality(50);
    jpeg->Encode();
    ASSERT_FALSE(jpeg->Data().fileImage.empty());
    EXPECT_EQ(jpeg->Data().width, 48);
    EXPECT_LT(MeanDifference(DecodeBytes(jpeg->Data().fileImage), ToPixmap(*bitmap)), 5.0);
}

TEST(JpegWrite, assignedRasterSharesPixelsUntilEncoded)
{
    const auto bitmap = Photo(20, 20);
    TJPEGImage jpeg;
    jpeg.Assign(bitmap.get());
    EXPECT_TRUE(jpeg.Bitmap().SharesStorageWith(*bitmap));
    EXPECT_FALSE(jpeg.Data().hasFileImage);
    EXPECT_EQ(jpeg.Width(), 20);
    jpeg.Encode();
    EXPECT_TRUE(jpeg.Data().hasFileImage);
    EXPECT_TRUE(jpeg.Bitmap().SharesStorageWith(*bitmap)) << "encoding reads the raster only";
}

}  // namespace
