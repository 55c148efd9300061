// Reading JPEG files: what loading reads, lazy decoding and its options,
// sharing between images, and how bad, cut or hostile files end.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/opening.h"
#include "core/stream.h"
#include "formats/jpeg/jpeg_image.h"
#include "tests/formats/jpeg/jpeg_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::jpeg;
using formats::EJPEG;
using formats::TJPEGImage;
using formats::TJPEGOptions;

namespace {

std::vector<std::uint8_t> ColourFile(int width = 48, int height = 32, bool progressive = false)
{
    TJPEGOptions options;
    options.ProgressiveWrite = progressive;
    return EncodeBitmap(*Photo(width, height), options);
}

// A grey file written by cjpeg, an independent encoder.
std::vector<std::uint8_t> GreyFile(const test::TempDir& dir, const std::string& extra = "")
{
    WritePpm(dir.file("grey.ppm"), *Photo(40, 30));
    EXPECT_TRUE(RunTool("cjpeg -grayscale " + extra + " -outfile '" + dir.file("grey.jpg") + "' '" + dir.file("grey.ppm") + "'"));
    return test::ReadBytes(dir.file("grey.jpg"));
}

// A file of the given components written through the codec's own interface,
// for layouts no tool here makes (two components, YCCK).
std::vector<std::uint8_t> RawComponentsFile(int components, J_COLOR_SPACE input, J_COLOR_SPACE stored, int width, int height,
                                            const std::vector<std::uint8_t>& samples)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_start_compress(&info, TRUE);
    for (int y = 0; y < height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + static_cast<std::size_t>(y) * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

// The position of the last SOS marker: stuffed entropy data never holds FF DA.
std::size_t LastScanStart(const std::vector<std::uint8_t>& file)
{
    for (std::size_t i = file.size() - 2; i > 0; --i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA)
            return i;
    return 0;
}

// Sets the frame size in the first SOF segment.
void PatchFrameSize(std::vector<std::uint8_t>& file, int width, int height)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) {
            file[i + 5] = static_cast<std::uint8_t>(height >> 8);
            file[i + 6] = static_cast<std::uint8_t>(height);
            file[i + 7] = static_cast<std::uint8_t>(width >> 8);
            file[i + 8] = static_cast<std::uint8_t>(width);
            return;
        }
    }
    FAIL() << "no frame header";
}

template <typename Action>
std::string ErrorOf(Action action)
{
    try {
        action();
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "";
}

TEST(JpegRead, loadingReadsHeadersOnly)
{
    const auto jpeg = LoadJpeg(ColourFile(48, 32));
    EXPECT_EQ(jpeg->Width(), 48);
    EXPECT_EQ(jpeg->Height(), 32);
    EXPECT_FALSE(jpeg->Grayscale());
    EXPECT_FALSE(jpeg->ProgressiveWrite());
    EXPECT_FALSE(jpeg->Empty());
    EXPECT_TRUE(jpeg->Palette().empty()) << "no palette before decoding on a true-colour display";
}

TEST(JpegRead, savingLoadedImageWritesItsBytesUnchanged)
{
    const std::vector<std::uint8_t> file = ColourFile();
    auto jpeg = LoadJpeg(file);
    jpeg->Bitmap();
    core::TMemoryStream out;
    jpeg->SaveToStream(out);
    EXPECT_EQ(out.Bytes(), file);
}

TEST(JpegRead, colourFileDecodesToTwentyFourBitRows)
{
    const std::vector<std::uint8_t> file = ColourFile(48, 32);
    const auto jpeg = LoadJpeg(file);
    const core::TBitmap& raster = jpeg->Bitmap();
    EXPECT_EQ(raster.PixelFormat(), core::pf24bit);
    EXPECT_LT(MeanDifference(ToPixmap(raster), ToPixmap(*Photo(48, 32))), 4.5);

    // Drawing onto a new 24-bit raster, as opening does, copies the pixels.
    core::TBitmap working;
    working.SetPixelFormat(core::pf24bit);
    working.SetSize(jpeg->Width(), jpeg->Height());
    working.Canvas().Draw(0, 0, jpeg.get());
    EXPECT_EQ(MaxDifference(ToPixmap(working), ToPixmap(raster)), 0);
}

TEST(JpegRead, greyFileDecodesToTwoHundredThirtySixGreys)
{
    test::TempDir dir;
    const auto jpeg = LoadJpeg(GreyFile(dir));
    EXPECT_TRUE(jpeg->Grayscale());
    const core::TBitmap& raster = jpeg->Bitmap();
    EXPECT_EQ(raster.PixelFormat(), core::pf8bit);
    const gdi::TLogPalette palette = raster.Palette();
    ASSERT_EQ(palette.size(), 236u);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        EXPECT_EQ(palette[i].peRed, palette[i].peGreen);
        EXPECT_EQ(palette[i].peRed, palette[i].peBlue);
        EXPECT_NEAR(palette[i].peRed, i * 255.0 / 235.0, 0.51) << "evenly spaced";
    }
    EXPECT_EQ(jpeg->Palette(), palette);

    core::TBitmap working;
    working.SetPixelFormat(core::pf24bit);
    working.SetSize(jpeg->Width(), jpeg->Height());
    working.Canvas().Draw(0, 0, jpeg.get());
    const TPixmap drawn = ToPixmap(working);
    for (std::size_t i = 0; i < drawn.rgb.size(); i += 3)
        ASSERT_TRUE(drawn.rgb[i] == drawn.rgb[i + 1] && drawn.rgb[i] == drawn.rgb[i + 2]) << "grey at sample " << i;
    const auto reference = Djpeg(dir.file("grey.jpg"));
    ASSERT_TRUE(reference);
    EXPECT_LE(MaxDifference(drawn, *reference), 3) << "dithered to 236 levels";
}

TEST(JpegRead, openingAGreyFileGivesAWorkingImageWithoutItsDecoderPalette)
{
    // The palette is read before drawing, when an undecoded JPEG has none,
    // so a BMP of the working image carries no colour table.
    test::TempDir dir;
    const auto jpeg = LoadJpeg(GreyFile(dir));
    const std::unique_ptr<core::TBitmap> working = core::GraphicToBitmap(jpeg.get());
    EXPECT_EQ(working->PixelFormat(), core::pf24bit);
    EXPECT_TRUE(working->Palette().empty());
    core::TMemoryStream bmp;
    working->SaveToStream(bmp);
    const std::vector<std::uint8_t>& bytes = bmp.Bytes();
    ASSERT_GT(bytes.size(), 14u);
    EXPECT_EQ(bytes[10] | (bytes[11] << 8), 54) << "pixels right after the headers";
}

TEST(JpegRead, progressiveFileLoadsWithProgressiveWriteSet)
{
    const auto jpeg = LoadJpeg(ColourFile(48, 32, true));
    EXPECT_TRUE(jpeg->ProgressiveWrite());
    EXPECT_LT(MeanDifference(ToPixmap(jpeg->Bitmap()), ToPixmap(*Photo(48, 32))), 4.5);
    EXPECT_FALSE(LoadJpeg(ColourFile(48, 32, false))->ProgressiveWrite()) << "a later load resets it";
}

TEST(JpegRead, textFileNamedJpgFailsWithError53)
{
    test::TempDir dir;
    const std::string text = "This is not a picture.\n";
    test::WriteBytes(dir.file("note.jpg"), std::vector<std::uint8_t>(text.begin(), text.end()));
    TJPEGImage jpeg;
    EXPECT_EQ(ErrorOf([&] { jpeg.LoadFromFile(dir.file("note.jpg")); }), "JPEG error #53");
    EXPECT_TRUE(jpeg.Empty());
}

TEST(JpegRead, zeroByteFileLoadsAndFailsAtDecodingWithError42)
{
    const auto jpeg = LoadJpeg({});
    EXPECT_FALSE(jpeg->Empty()) << "a 0-byte file image counts as present";
    EXPECT_EQ(jpeg->Width(), 0);
    EXPECT_EQ(jpeg->Height(), 0);
    core::TBitmap working;
    working.SetSize(1, 1);
    EXPECT_EQ(ErrorOf([&] { working.Canvas().Draw(0, 0, jpeg.get()); }), "JPEG error #42");
    EXPECT_THROW(jpeg->Bitmap(), EJPEG) << "a failed decode is tried again, and fails again";
}

TEST(JpegRead, streamShorterThanItClaimsFailsWithStreamReadError)
{
    // A stream whose size promises more bytes than it delivers.
    class TShortStream final : public core::TStream {
    public:
        std::size_t Read(void* buffer, std::size_t count) override
        {
            const std::size_t n = std::min<std::size_t>(count, 10);
            std::memset(buffer, 0xFF, n);
            m_pos += n;
            return n;
        }
        std::size_t Write(const void*, std::size_t) override { return 0; }
        std::uint64_t Size() const override { return 100; }
        std::uint64_t Position() const override { return m_pos; }
        void SetPosition(std::uint64_t position) override { m_pos = position; }

    private:
        std::uint64_t m_pos = 0;
    };
    TShortStream stream;
    TJPEGImage jpeg;
    EXPECT_EQ(ErrorOf([&] { jpeg.LoadFromStream(stream); }), "Stream read error");
}

TEST(JpegRead, everyCutOfAFileFailsAtLoadingOrDecodesWithoutError)
{
    // Cut before the first scan header ends: loading or decoding fails with
    // a codec error (cut in that header's last fields, the codec may read
    // on). Cut anywhere later, also inside the tables and headers between
    // the scans of a progressive file: the picture decodes without error.
    for (const bool progressive : {false, true}) {
        const std::vector<std::uint8_t> file = ColourFile(32, 24, progressive);
        std::size_t firstScan = 2;
        for (const TSegment& s : SegmentsUpToScan(file))
            firstScan += 4 + s.payload.size();
        for (std::size_t length = 1; length < file.size(); ++length) {
            const std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
            if (length < firstScan) {
                try {
                    LoadJpeg(cut)->Bitmap();
                } catch (const EJPEG&) {
                }
                continue;
            }
            EXPECT_NO_THROW({
                const auto jpeg = LoadJpeg(cut);
                EXPECT_EQ(jpeg->Bitmap().Width(), 32);
            }) << (progressive ? "progressive" : "baseline") << " cut at " << length;
        }
    }
}

TEST(JpegRead, damagedBytesEndInAnExceptionOrAPicture)
{
    const std::vector<std::uint8_t> file = ColourFile(40, 24, true);
    for (std::size_t at = 0; at < file.size(); at += 3) {
        for (const std::uint8_t value : {0x00, 0xFF, 0x7F}) {
            std::vector<std::uint8_t> damaged = file;
            damaged[at] = value;
            try {
                LoadJpeg(damaged)->Bitmap();
            } catch (const base::Exception&) {
                // a message is all that is asked
            }
        }
    }
}

TEST(JpegRead, sizeCannotBeChanged)
{
    auto jpeg = LoadJpeg(ColourFile());
    EXPECT_EQ(ErrorOf([&] { jpeg->SetWidth(10); }), "Cannot change the size of a JPEG image");
    EXPECT_EQ(ErrorOf([&] { jpeg->SetHeight(10); }), "Cannot change the size of a JPEG image");
    EXPECT_THROW(jpeg->SetWidth(10), base::EInvalidGraphicOperation);
}

TEST(JpegRead, decodeScaleDividesSidesRoundingUp)
{
    const std::vector<std::uint8_t> file = ColourFile(17, 9);
    struct Case {
        int scale;
        int width;
        int height;
    };
    for (const Case c : {Case{0, 17, 9}, Case{1, 9, 5}, Case{2, 5, 3}, Case{3, 3, 2}}) {
        auto jpeg = LoadJpeg(file);
        jpeg->SetDecodeScale(c.scale);
        EXPECT_EQ(jpeg->Width(), c.width) << "scale " << c.scale;
        EXPECT_EQ(jpeg->Height(), c.height) << "scale " << c.scale;
        EXPECT_EQ(jpeg->Bitmap().Width(), c.width) << "scale " << c.scale;
        EXPECT_EQ(jpeg->Bitmap().Height(), c.height) << "scale " << c.scale;
    }
}

TEST(JpegRead, assignSharesDataAndDecodedRaster)
{
    const auto source = LoadJpeg(ColourFile());
    TJPEGImage undecoded;
    undecoded.Assign(source.get());
    EXPECT_EQ(&undecoded.Data(), &source->Data());

    source->Bitmap();
    TJPEGImage copy;
    copy.Assign(source.get());
    EXPECT_EQ(&copy.Data(), &source->Data());
    EXPECT_TRUE(copy.Bitmap().SharesStorageWith(source->Bitmap()));

    // Opening hands the decoded raster over without copying pixels.
    core::TBitmap bitmap;
    bitmap.Assign(source.get());
    EXPECT_TRUE(bitmap.SharesStorageWith(source->Bitmap()));

    TJPEGImage other;
    EXPECT_EQ(ErrorOf([&] { source->AssignTo(other); }), "Cannot assign a TJPEGImage to a TJPEGImage");
}

TEST(JpegRead, emptinessFollowsDataAndRaster)
{
    TJPEGImage jpeg;
    EXPECT_TRUE(jpeg.Empty());
    core::TBitmap empty;
    jpeg.Assign(&empty);
    EXPECT_TRUE(jpeg.Empty());
    jpeg.Assign(Photo(4, 4).get());
    EXPECT_FALSE(jpeg.Empty());
}

TEST(JpegRead, componentCountsOtherThanOneThreeFourFail)
{
    std::vector<std::uint8_t> samples(16 * 8 * 2, 100);
    const auto jpeg = LoadJpeg(RawComponentsFile(2, JCS_UNKNOWN, JCS_UNKNOWN, 16, 8, samples));
    EXPECT_EQ(ErrorOf([&] { jpeg->Bitmap(); }), "JPEG error #27");
}

TEST(JpegRead, cmykAndYcckFilesDecodeToRgbLikeDjpeg)
{
    test::TempDir dir;
    WritePpm(dir.file("in.ppm"), *Photo(40, 30));
    // CMYK with Adobe-inverted values, as ImageMagick writes it.
    ASSERT_TRUE(RunTool("convert '" + dir.file("in.ppm") + "' -colorspace CMYK '" + dir.file("cmyk.jpg") + "'"));
    // YCCK: the same kind of inverted CMYK samples, stored transformed.
    std::vector<std::uint8_t> cmyk;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            cmyk.insert(cmyk.end(), {static_cast<std::uint8_t>(255 - 6 * x), static_cast<std::uint8_t>(40 + 7 * y),
                                     static_cast<std::uint8_t>(200), static_cast<std::uint8_t>(255 - 3 * y)});
    test::WriteBytes(dir.file("ycck.jpg"), RawComponentsFile(4, JCS_CMYK, JCS_YCCK, 40, 30, cmyk));

    for (const char* name : {"cmyk.jpg", "ycck.jpg"}) {
        const auto jpeg = LoadJpeg(test::ReadBytes(dir.file(name)));
        const core::TBitmap& raster = jpeg->Bitmap();
        EXPECT_EQ(raster.PixelFormat(), core::pf24bit) << name;
        const auto reference = Djpeg(dir.file(name));
        ASSERT_TRUE(reference) << name;
        EXPECT_LE(MaxDifference(ToPixmap(raster), *reference), 1) << name;
    }
    // And close to the picture ImageMagick was given.
    EXPECT_LT(MeanDifference(ToPixmap(LoadJpeg(test::ReadBytes(dir.file("cmyk.jpg")))->Bitmap()), ToPixmap(*Photo(40, 30))), 6.0);
}

TEST(JpegRead, floodOfScansIsRefused)
{
    // The last scan repeated: the codec only warns about such a progression,
    // but each copy is another full pass over the picture.
    const std::vector<std::uint8_t> file = ColourFile(24, 16, true);
    const std::size_t last = LastScanStart(file);
    ASSERT_GT(last, 0u);
    const std::vector<std::uint8_t> scan(file.begin() + static_cast<std::ptrdiff_t>(last), file.end() - 2);
    auto withCopies = [&](int copies) {
        std::vector<std::uint8_t> out(file.begin(), file.end() - 2);
        for (int i = 0; i < copies; ++i)
            out.insert(out.end(), scan.begin(), scan.end());
        out.insert(out.end(), {0xFF, 0xD9});
        return out;
    };
    EXPECT_NO_THROW(LoadJpeg(withCopies(900))->Bitmap());
    EXPECT_EQ(ErrorOf([&] { LoadJpeg(withCopies(1000))->Bitmap(); }), "JPEG file has more than 1000 scans");
    auto incremental = LoadJpeg(withCopies(1000));
    incremental->SetIncrementalDecode(true);
    EXPECT_THROW(incremental->Bitmap(), EJPEG);
}

TEST(JpegRead, hugeFrameIsRefusedBeforeAllocating)
{
    for (const bool progressive : {false, true}) {
        std::vector<std::uint8_t> file = ColourFile(16, 16, progressive);
        PatchFrameSize(file, 65000, 65000);
        const auto jpeg = LoadJpeg(file);
        EXPECT_EQ(jpeg->Width(), 65000);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(jpeg->Bitmap(), base::EOutOfResources) << (progressive ? "progressive" : "baseline");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

TEST(JpegRead, incrementalDecodeEndsWithTheSamePixels)
{
    test::TempDir dir;
    const std::vector<std::vector<std::uint8_t>> files = {ColourFile(40, 24, true), GreyFile(dir, "-progressive")};
    for (const auto& file : files) {
        for (const bool indexed : {false, true}) {
            auto plain = LoadJpeg(file);
            auto incremental = LoadJpeg(file);
            plain->SetIndexedDecode(indexed);
            incremental->SetIndexedDecode(indexed);
            incremental->SetIncrementalDecode(true);
            EXPECT_EQ(MaxDifference(ToPixmap(incremental->Bitmap()), ToPixmap(plain->Bitmap())), 0)
                << (indexed ? "indexed" : "full colour");
            EXPECT_EQ(incremental->Bitmap().PixelFormat(), plain->Bitmap().PixelFormat());
        }
    }
}

TEST(JpegRead, decodingOptionsChangeTheRaster)
{
    const std::vector<std::uint8_t> file = ColourFile(48, 32);
    const TPixmap original = ToPixmap(*Photo(48, 32));

    auto indexed = LoadJpeg(file);
    indexed->SetIndexedDecode(true);
    EXPECT_EQ(indexed->Bitmap().PixelFormat(), core::pf8bit);
    EXPECT_LE(indexed->Bitmap().Palette().size(), 236u);
    EXPECT_LT(MeanDifference(ToPixmap(indexed->Bitmap()), original), 8.0);

    auto grey = LoadJpeg(file);
    grey->SetGrayDecode(true);
    const TPixmap greyPixels = ToPixmap(grey->Bitmap());
    EXPECT_EQ(grey->Bitmap().PixelFormat(), core::pf8bit);
    for (std::size_t i = 0; i < greyPixels.rgb.size(); i += 3)
        ASSERT_TRUE(greyPixels.rgb[i] == greyPixels.rgb[i + 1] && greyPixels.rgb[i] == greyPixels.rgb[i + 2]);

    for (const bool smoothing : {false, true}) {
        auto fast = LoadJpeg(ColourFile(48, 32, true));
        fast->SetFastDecode(true);
        fast->SetBlockSmoothing(smoothing);
        EXPECT_LT(MeanDifference(ToPixmap(fast->Bitmap()), original), 4.0);
    }
}

}  // namespace
