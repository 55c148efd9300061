// The fuzz set-up: which outcomes count as findings, the lowered limits, and
// the limits on scans and codec memory that keep legal JPEG files from
// running long in the fuzzer.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/jpeg/jpeg_image.h"
#include "formats/registry.h"
#include "fuzz/support/fuzz_support.h"

namespace scalopex::fuzz {
namespace {

std::vector<std::uint8_t> FileOf(core::TGraphic& graphic)
{
    core::TMemoryStream stream;
    graphic.SaveToStream(stream);
    return stream.TakeBytes();
}

// A colour gradient.
std::unique_ptr<core::TBitmap> Gradient(int width = 64, int height = 48)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(core::pf24bit);
    bitmap->SetSize(width, height);
    for (int y = 0; y < bitmap->Height(); ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < bitmap->Width(); ++x) {
            row[3 * x] = static_cast<std::uint8_t>(4 * x);
            row[3 * x + 1] = static_cast<std::uint8_t>(5 * y);
            row[3 * x + 2] = static_cast<std::uint8_t>(x ^ y);
        }
    }
    return bitmap;
}

// A progressive JPEG file of the engine's own writer (10 scans).
std::vector<std::uint8_t> ProgressiveJpeg(int width = 64, int height = 48)
{
    formats::TJPEGImage jpeg;
    jpeg.SetProgressiveWrite(true);
    jpeg.Assign(Gradient(width, height).get());
    jpeg.Encode();
    return FileOf(jpeg);
}

void DecodeJpeg(const std::vector<std::uint8_t>& file, bool incremental)
{
    formats::TJPEGImage jpeg;
    jpeg.SetIncrementalDecode(incremental);
    LoadFrom(jpeg, file);
    jpeg.Bitmap();
}

TEST(FuzzSupport, runEndsQuietlyOnTheEnginesOwnExceptions)
{
    EXPECT_NO_FATAL_FAILURE(fuzz::Run([] { throw base::EReadError(); }));
    EXPECT_NO_FATAL_FAILURE(fuzz::Run([] { throw base::ELimitExceeded("too large"); }));
    EXPECT_NO_FATAL_FAILURE(fuzz::Run([] { throw formats::EJPEG(42); }));
    int ran = 0;
    fuzz::Run([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

TEST(FuzzSupportDeathTest, anyOtherExceptionIsAFindingNamingItsType)
{
    EXPECT_DEATH(fuzz::Run([] { throw base::EInternalError("buffer too small"); }),
                 "FINDING: unexpected exception scalopex::base::EInternalError: buffer too small");
    EXPECT_DEATH(fuzz::Run([] { throw std::bad_alloc(); }), "FINDING: unexpected exception std::bad_alloc");
    EXPECT_DEATH(fuzz::Run([] { throw 7; }), "FINDING: unexpected exception an exception of no standard type");
}

TEST(FuzzSupportDeathTest, aWrittenCanaryByteIsAFinding)
{
    std::vector<std::uint8_t> buffer(8, kCanary);
    ExpectCanary(buffer, "untouched");
    buffer[5] = 0;
    EXPECT_DEATH(ExpectCanary(buffer, "the rest"), "FINDING: the rest: byte 5 was written");
}

TEST(FuzzSupport, runSetsTheLoweredLimits)
{
    const base::TLimits saved = base::Limits();
    fuzz::Run([] {});
    const base::TLimits& limits = base::Limits();
    const base::TLimits wanted = FuzzLimits();
    EXPECT_EQ(limits.maxPixels, wanted.maxPixels);
    EXPECT_EQ(limits.maxPixelBytes, wanted.maxPixelBytes);
    EXPECT_EQ(limits.maxDimension, wanted.maxDimension);
    EXPECT_EQ(limits.maxInputBytes, wanted.maxInputBytes);
    EXPECT_EQ(limits.maxScans, wanted.maxScans);
    EXPECT_EQ(limits.maxCodecBytes, wanted.maxCodecBytes);
    // A raster and the codec's memory together stay far below the fuzzer's
    // 2560 MB memory cap, and no legal JPEG runs a thousand scans.
    EXPECT_LE(limits.maxPixelBytes + limits.maxCodecBytes, std::uint64_t{1} << 29);
    EXPECT_LE(limits.maxPixels, std::uint64_t{1} << 24);
    EXPECT_EQ(limits.maxDimension, 16384);
    EXPECT_LT(limits.maxScans, 100);
    base::SetLimits(saved);
}

TEST(FuzzSupport, aBombHeaderMeetsTheEnginesCheckUnderTheFuzzLimits)
{
    const base::TScopedLimits lowered(FuzzLimits());
    // A BMP of 10000 x 2000 pixels of 24 bits without its pixels: 20 M pixels
    // pass the engine's own limits but not those of the fuzz targets.
    std::vector<std::uint8_t> file = {'B', 'M', 0, 0,    0,    0, 0, 0,    0,    0, 54, 0, 0, 0,  40,
                                      0,   0,   0, 0x10, 0x27, 0, 0, 0xD0, 0x07, 0, 0,  1, 0, 24, 0};
    file.resize(54, 0);
    core::TBitmap bitmap;
    EXPECT_THROW(LoadFrom(bitmap, file), base::ELimitExceeded);
}

TEST(FuzzSupport, fieldsReadZeroPastTheEnd)
{
    const std::uint8_t bytes[] = {0x34, 0x12, 0x56};
    TFieldReader fields(bytes);
    EXPECT_EQ(fields.U16(), 0x1234);
    EXPECT_EQ(fields.Rest().size(), 1u);
    EXPECT_EQ(fields.Take(5).size(), 1u);
    EXPECT_EQ(fields.U8(), 0);
    EXPECT_EQ(fields.U16(), 0);
}

TEST(FuzzSupport, everyFormatIsFoundWithItsReaderClass)
{
    for (const formats::TFormatDescriptor* format : formats::Formats()) {
        EXPECT_EQ(&FormatNamed(format->name), format);
        EXPECT_EQ(&NewReader(*format)->ClassType(), &format->readerClass());
    }
    EXPECT_DEATH(FormatNamed("No such format"), "FINDING: no format named No such format");
}

TEST(FuzzSupport, drawingGivesA24BitBitmapOfTheGraphicsSize)
{
    core::TBitmap indexed;
    indexed.SetPixelFormat(core::pf8bit);
    indexed.SetSize(5, 3);
    const std::unique_ptr<core::TBitmap> drawn = DrawAsOpened(indexed);
    EXPECT_EQ(drawn->Width(), 5);
    EXPECT_EQ(drawn->Height(), 3);
    EXPECT_EQ(drawn->PixelFormat(), core::pf24bit);
}

TEST(FuzzSupport, aValidFileRunsThroughTheWholeReaderWithoutFinding)
{
    core::TMemoryStream written;
    formats::FindWriter(".png")->write(*Gradient(), written);
    const std::vector<std::uint8_t>& file = written.Bytes();
    EXPECT_TRUE(Recognises(FormatNamed("PNG"), file));
    fuzz::Run([&] { FuzzReaderGraphic(FormatNamed("PNG"), file); });
    std::vector<std::uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
    fuzz::Run([&] { FuzzReaderGraphic(FormatNamed("PNG"), cut); });
}

TEST(FuzzSupport, jpegFilesWithMoreScansThanTheLimitAreRefused)
{
    const std::vector<std::uint8_t> file = ProgressiveJpeg();
    EXPECT_NO_THROW(DecodeJpeg(file, false));
    const base::TScopedLimits lowered({.maxScans = 5});
    for (const bool incremental : {false, true}) {
        try {
            DecodeJpeg(file, incremental);
            ADD_FAILURE() << "decoded 10 scans with a limit of 5, incremental " << incremental;
        } catch (const formats::EJPEG& e) {
            EXPECT_STREQ(e.what(), "JPEG file has more than 5 scans");
        }
    }
}

TEST(FuzzSupport, jpegCodecMemoryFollowsTheLimit)
{
    // The coefficients of a progressive 640 x 480 file take 900 KiB; the
    // codec needs them in memory at once.
    const std::vector<std::uint8_t> file = ProgressiveJpeg(640, 480);
    EXPECT_NO_THROW(DecodeJpeg(file, false));
    const base::TScopedLimits lowered({.maxCodecBytes = 512 * 1024});
    EXPECT_THROW(DecodeJpeg(file, false), formats::EJPEG);
}

}  // namespace
}  // namespace scalopex::fuzz
