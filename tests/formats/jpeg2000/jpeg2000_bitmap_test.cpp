// TJpeg2000Bitmap with the codec: what is written (boxes, codestream
// parameters, sizes), lossless round trips, telling the kinds apart,
// failures that keep the raster, truncations and limits.

#include "formats/jpeg2000/jpeg2000_bitmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/limits.h"
#include "core/opening.h"
#include "core/picture.h"
#include "formats/registry.h"
#include "tests/formats/jpeg2000/jpeg2000_test_util.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::jpeg2000::BigEndian;
using test::jpeg2000::Box;
using test::jpeg2000::BoxesOf;
using test::jpeg2000::Bytes;
using test::jpeg2000::CodestreamOf;
using test::jpeg2000::ErrorOf;
using test::jpeg2000::Load;
using test::jpeg2000::NoiseBitmap;
using test::jpeg2000::RowOf;
using test::jpeg2000::Save;

std::unique_ptr<core::TBitmap> AlphaBitmap(int width, int height, std::uint32_t seed)
{
    auto bitmap = NoiseBitmap(width, height, core::pf32bit, seed);
    bitmap->SetHasAlpha(true);
    return bitmap;
}

// The marker segments of a codestream's main header, by marker.
std::vector<std::pair<std::uint32_t, Bytes>> MainHeaderOf(const Bytes& codestream)
{
    std::vector<std::pair<std::uint32_t, Bytes>> segments;
    for (std::size_t at = 2; at + 4 <= codestream.size();) {
        const std::uint32_t marker = BigEndian(codestream, at, 2);
        if (marker == 0xFF90)  // the first tile-part
            break;
        const std::size_t length = BigEndian(codestream, at + 2, 2);
        segments.emplace_back(marker, Bytes(codestream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                            codestream.begin() + static_cast<std::ptrdiff_t>(at + 2 + length)));
        at += 2 + length;
    }
    return segments;
}

// ---- writing ---------------------------------------------------------------

TEST(Jpeg2000Writer, TheCompressionRatioFollowsTheQualityFormula)
{
    EXPECT_NEAR(CompressionRatio(97, 3, 800, 600), 3.2339f, 1e-4);
    EXPECT_NEAR(CompressionRatio(97, 3, 120, 90), 2.9906f, 1e-4);
    EXPECT_LT(CompressionRatio(97, 3, 1, 1), 0.01f);
    EXPECT_NEAR(CompressionRatio(80, 4, 100, 100), 40000.0f / (40000.0f * 100.0f / 1225.0f + 550.0f + 426.0f), 1e-4);
}

TEST(Jpeg2000Writer, SmallRastersGetFewerResolutionLevels)
{
    const struct {
        int width, height, levels;
    } cases[] = {{1, 1, 1}, {2, 2, 2}, {3, 100, 2}, {31, 100, 5}, {32, 32, 6}, {4000, 3000, 6}};
    for (const auto& c : cases)
        EXPECT_EQ(ResolutionLevels(c.width, c.height), c.levels) << c.width << " x " << c.height;
}

TEST(Jpeg2000Writer, TheFileHoldsTheBoxesOfAJp2FileInOrder)
{
    struct Case {
        const char* name;
        std::unique_ptr<core::TBitmap> raster;
        int components;
        Bytes channels;
    } cases[] = {
        {"24-bit", NoiseBitmap(7, 5, core::pf24bit, 1), 3, {0, 3, 0, 0, 0, 0, 0, 1, 0, 1,
                                                            0, 0, 0, 2, 0, 2, 0, 0, 0, 3}},
        {"32-bit with alpha", AlphaBitmap(7, 5, 2), 4, {0, 4, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0,
                                                        2, 0, 2, 0, 0, 0, 3, 0, 3, 0, 1, 0, 0}},
        {"32-bit without alpha writes no opacity", NoiseBitmap(7, 5, core::pf32bit, 3), 3, {0, 3, 0, 0, 0, 0, 0,
                                                                                            1, 0, 1, 0, 0, 0, 2,
                                                                                            0, 2, 0, 0, 0, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Save(*c.raster, false);
        const std::vector<Box> boxes = BoxesOf(file);
        ASSERT_EQ(boxes.size(), 4u);
        EXPECT_EQ(boxes[0].type, "jP  ");
        EXPECT_EQ(boxes[0].content, (Bytes{0x0D, 0x0A, 0x87, 0x0A}));
        EXPECT_EQ(boxes[1].type, "ftyp");
        EXPECT_EQ(boxes[1].content, (Bytes{'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '}));
        EXPECT_EQ(boxes[2].type, "jp2h");
        const std::vector<Box> header = BoxesOf(boxes[2].content);
        ASSERT_EQ(header.size(), 3u);
        EXPECT_EQ(header[0].type, "ihdr");
        EXPECT_EQ(header[0].content,
                  (Bytes{0, 0, 0, 5, 0, 0, 0, 7, 0, static_cast<std::uint8_t>(c.components), 7, 7, 0, 0}));
        EXPECT_EQ(header[1].type, "colr");
        EXPECT_EQ(header[1].content, (Bytes{1, 0, 0, 0, 0, 0, 16}));
        EXPECT_EQ(header[2].type, "cdef");
        EXPECT_EQ(header[2].content, c.channels);
        EXPECT_EQ(boxes[3].type, "jp2c");
        EXPECT_EQ(BigEndian(boxes[3].content, 0, 4), 0xFF4FFF51u);
        EXPECT_EQ(BigEndian(boxes[3].content, 40, 2), static_cast<std::uint32_t>(c.components));  // Csiz
    }
}

TEST(Jpeg2000Writer, TheCodestreamIsOneTileOfSixResolutionsOneLayerAndNoTransform)
{
    struct Case {
        int width, height, decompositions;
    } cases[] = {{64, 48, 5}, {20, 20, 4}, {1, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const auto segments =
            MainHeaderOf(CodestreamOf(Save(*NoiseBitmap(c.width, c.height, core::pf24bit, 4), false)));
        ASSERT_FALSE(segments.empty());
        ASSERT_EQ(segments[0].first, 0xFF51u);  // SIZ: the tile covers the image
        EXPECT_GE(BigEndian(segments[0].second, 18, 4), static_cast<std::uint32_t>(c.width));
        EXPECT_GE(BigEndian(segments[0].second, 22, 4), static_cast<std::uint32_t>(c.height));
        bool haveCod = false;
        for (const auto& [marker, content] : segments) {
            EXPECT_NE(marker, 0xFF53u) << "component coding style";
            EXPECT_NE(marker, 0xFF5Eu) << "region of interest";
            if (marker != 0xFF52)
                continue;
            haveCod = true;
            // Scod, then progression, layers, MCT, then decompositions,
            // code-block width and height (exponents - 2), style, wavelet.
            EXPECT_EQ(content, (Bytes{0, 0, 0, 1, 0, static_cast<std::uint8_t>(c.decompositions), 4, 4, 0, 1}));
        }
        EXPECT_TRUE(haveCod);
    }
}

TEST(Jpeg2000Writer, LowerQualityGivesSmallerFilesAndLosslessTheLargest)
{
    const auto raster = NoiseBitmap(64, 64, core::pf24bit, 5);
    const std::size_t q50 = Save(*raster, false, 50).size();
    const std::size_t q97 = Save(*raster, false, 97).size();
    const std::size_t lossless = Save(*raster, true).size();
    EXPECT_LT(q50, q97);
    EXPECT_LT(q97, lossless);
    // The budget at quality 97 is about a third of the 12 288 raw bytes.
    EXPECT_LT(q97, 12288u * 2 / 5);
}

TEST(Jpeg2000Writer, TheWriterRowWritesLossyAtQuality97)
{
    const auto raster = NoiseBitmap(30, 20, core::pf24bit, 6);
    core::TMemoryStream stream;
    SaveBitmapAsJpeg2000(*raster, stream);
    EXPECT_EQ(stream.Bytes(), Save(*raster, false, 97));
    const TFormatWriter* writer = FindWriter(".jp2");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer, Jpeg2000Format().writer);
    EXPECT_EQ(writer->boxName, nullptr);
}

TEST(Jpeg2000Writer, OptionsStartAtTheirDefaultsAndQualityStaysInRange)
{
    TJpeg2000Bitmap bitmap;
    EXPECT_FALSE(bitmap.J2kLossless());
    EXPECT_EQ(bitmap.J2kQuality(), 80);
    bitmap.SetJ2kQuality(0);
    EXPECT_EQ(bitmap.J2kQuality(), 1);
    bitmap.SetJ2kQuality(500);
    EXPECT_EQ(bitmap.J2kQuality(), 100);
}

TEST(Jpeg2000Writer, AnEmptyRasterCannotBeMadeIntoAnImage)
{
    core::TBitmap empty;
    empty.SetPixelFormat(core::pf24bit);
    EXPECT_EQ(ErrorOf([&] { Save(empty, true); }), "Failed to create JPEG 2000 image struct for saving");
}

// ---- round trips -------------------------------------------------------------

TEST(Jpeg2000RoundTrip, LosslessFilesReadBackAsTheRastersBytes)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {2, 3}, {5, 1}, {1, 40}, {31, 17}, {64, 64}, {100, 33}};
    for (const auto& size : sizes) {
        for (const bool alpha : {false, true}) {
            SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height) +
                         (alpha ? " with alpha" : ""));
            const auto raster = alpha ? AlphaBitmap(size.width, size.height, 7)
                                      : NoiseBitmap(size.width, size.height, core::pf24bit, 7);
            const auto read = Load(Save(*raster, true));
            ASSERT_EQ(read->Width(), size.width);
            ASSERT_EQ(read->Height(), size.height);
            EXPECT_EQ(read->PixelFormat(), raster->PixelFormat());
            EXPECT_EQ(read->HasAlpha(), alpha);
            for (int y = 0; y < size.height; ++y)
                ASSERT_EQ(RowOf(*read, y), RowOf(*raster, y)) << "row " << y;
        }
    }
}

TEST(Jpeg2000RoundTrip, OtherPixelFormatsAreWrittenThroughA24BitCopy)
{
    const struct {
        const char* name;
        core::TPixelFormat format;
        bool fourthByte;  // a 32-bit raster without alpha: its colours only
    } cases[] = {{"8-bit", core::pf8bit, false},
                 {"16-bit", core::pf16bit, false},
                 {"32-bit, fourth byte filler", core::pf32bit, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto raster = NoiseBitmap(9, 4, core::pf24bit, 8);
        raster->SetPixelFormat(c.format);
        const auto read = Load(Save(*raster, true));
        EXPECT_EQ(raster->PixelFormat(), c.format);  // the source is left as it was
        EXPECT_EQ(read->PixelFormat(), core::pf24bit);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(test::PixelRGB(*read, x, y), test::PixelRGB(*raster, x, y)) << x << ", " << y;
    }
}

TEST(Jpeg2000RoundTrip, LossyFilesStayCloseToTheRaster)
{
    // A smooth picture, as the slots write them.
    const auto raster =
        test::MakeBitmap24(120, 90, [](int x, int y) { return core::RGB(2 * x, 255 - 2 * y, (x + y) % 256); });
    const auto read = Load(Save(*raster, false, 97));
    int worst = 0;
    for (int y = 0; y < 90; ++y) {
        const Bytes got = RowOf(*read, y);
        const Bytes want = RowOf(*raster, y);
        for (std::size_t i = 0; i < got.size(); ++i)
            worst = std::max(worst, std::abs(got[i] - want[i]));
    }
    EXPECT_LE(worst, 8);
}

// ---- reading -------------------------------------------------------------

TEST(Jpeg2000Reader, DataOfNoJpeg2000KindAreRefused)
{
    const Bytes jp2 = Save(*NoiseBitmap(4, 4, core::pf24bit, 9), true);
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"four bytes of SOC and SIZ", {0xFF, 0x4F, 0xFF, 0x51}},
        {"nothing", {}},
        {"a JP2 file without its first byte", Bytes(jp2.begin() + 1, jp2.end())},
        {"a PNG signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf([&] { Load(c.bytes); }), "Unknown JPEG 2000 file type") << c.name;
}

TEST(Jpeg2000Reader, TheContentNotTheExtensionChoosesTheDecoder)
{
    RegisterFileFormats();
    const auto raster = NoiseBitmap(6, 5, core::pf24bit, 10);
    const Bytes jp2 = Save(*raster, true);
    const Bytes codestream = CodestreamOf(jp2);
    test::TempDir dir;
    const struct {
        const char* name;
        const Bytes& bytes;
    } files[] = {{"jp2-named.j2k", jp2},
                 {"jp2-named.jpc", jp2},
                 {"codestream-named.jp2", codestream},
                 {"codestream.j2k", codestream}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        test::WriteBytes(dir.file(f.name), f.bytes);
        core::TPicture picture;
        picture.LoadFromFile(dir.file(f.name));
        ASSERT_NE(picture.Graphic(), nullptr);
        EXPECT_EQ(picture.Graphic()->ClassName(), "TJpeg2000Bitmap");
        const auto opened = core::LoadGraphicAsBitmap(dir.file(f.name));
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(RowOf(*opened, y), RowOf(*raster, y));
    }
}

TEST(Jpeg2000Reader, AFailedLoadKeepsTheRaster)
{
    const auto first = NoiseBitmap(8, 3, core::pf24bit, 11);
    const Bytes good = Save(*first, true);
    Bytes corrupt = good;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size(); ++i)
        corrupt[i] = 0xFF;  // tile data turned into marker bytes
    TJpeg2000Bitmap bitmap;
    core::TMemoryStream goodStream(good);
    bitmap.LoadFromStream(goodStream);
    const struct {
        const char* name;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"unknown data", Bytes(20, 0x42), "Unknown JPEG 2000 file type"},
        {"broken tile data", corrupt, "JPEG 2000 image decoding failed"},
        {"a header cut short", Bytes(good.begin(), good.begin() + 60), "Stream read error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        core::TMemoryStream stream(c.bytes);
        EXPECT_EQ(ErrorOf([&] { bitmap.LoadFromStream(stream); }), c.message);
        ASSERT_EQ(bitmap.Width(), 8);
        ASSERT_EQ(bitmap.Height(), 3);
        for (int y = 0; y < 3; ++y)
            EXPECT_EQ(RowOf(bitmap, y), RowOf(*first, y));
    }
}

TEST(Jpeg2000Reader, DataAreReadFromTheStreamsPositionAndTheStreamStaysInsideThem)
{
    const auto raster = NoiseBitmap(5, 5, core::pf24bit, 12);
    const Bytes file = Save(*raster, true);
    Bytes data(17, 0xEE);  // something before the image
    data.insert(data.end(), file.begin(), file.end());
    core::TMemoryStream stream(data);
    stream.SetPosition(17);
    TJpeg2000Bitmap bitmap;
    bitmap.LoadFromStream(stream);
    EXPECT_EQ(RowOf(bitmap, 4), RowOf(*raster, 4));
    EXPECT_GT(stream.Position(), 17u);
    EXPECT_LE(stream.Position(), data.size());
}

TEST(Jpeg2000Reader, EveryTruncationFailsWithAMessageOrDecodes)
{
    const Bytes file = Save(*NoiseBitmap(12, 9, core::pf24bit, 13), true);
    int decoded = 0;
    for (std::size_t n = 0; n < file.size(); ++n) {
        try {
            Load(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
            ++decoded;
        } catch (const base::Exception& e) {
            ASSERT_NE(std::string(e.what()), "") << n << " bytes";
        }
    }
    EXPECT_LT(decoded, static_cast<int>(file.size()) / 2);
}

TEST(Jpeg2000Reader, HeadersBeyondTheLimitsFailBeforeTheCodecAllocates)
{
    // A codestream claiming 20000 x 20000 pixels of four components in 80 bytes.
    test::ByteBuilder b;
    b.u16be(0xFF4F).u16be(0xFF51).u16be(38 + 12).u16be(0);
    b.u32be(20000).u32be(20000).u32be(0).u32be(0).u32be(20000).u32be(20000).u32be(0).u32be(0).u16be(4);
    for (int c = 0; c < 4; ++c)
        b.u8(7).u8(1).u8(1);
    b.fill(20, 0);
    TJpeg2000Bitmap bitmap;
    const std::string claim = ErrorOf([&] { Load(b.data()); });
    EXPECT_EQ(claim.rfind("Image too large: 20000 x 20000 pixels", 0), 0u) << claim;

    const Bytes small = Save(*NoiseBitmap(64, 64, core::pf24bit, 14), true);
    const base::TScopedLimits limits({.maxPixels = 1000});
    const std::string lowered = ErrorOf([&] { Load(small); });
    EXPECT_EQ(lowered.rfind("Image too large: 64 x 64 pixels exceeds the limit of 1000 pixels", 0), 0u) << lowered;
}

TEST(Jpeg2000Reader, TheCodecsOwnMessagesAreNotShown)
{
    Bytes corrupt = Save(*NoiseBitmap(16, 16, core::pf24bit, 15), true);
    corrupt.resize(corrupt.size() - 40);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    ErrorOf([&] { Load(corrupt); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace scalopex::formats
