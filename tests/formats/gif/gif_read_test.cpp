// Reading GIF files spelled out byte by byte: what is tolerated with a
// warning, what fails and with which message, and how frame 0 is drawn.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::gif;
using formats::TGIFImage;
using scalopex::test::ByteBuilder;

namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kBlack = 0x000000, kWhite = 0xFFFFFF;

// A 2 x 1 screen with a 4-entry global table, one frame of red, green.
ByteBuilder RedGreen()
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 2, 1);
    ImageData2(b, {0, 1});
    return b;
}

std::string FailureOf(const std::vector<std::uint8_t>& bytes)
{
    try {
        Decode(bytes);
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(GifRead, decodesASmallFileAndDrawsItsColours)
{
    const Decoded d = Decode(RedGreen().u8(0x3B).take());
    EXPECT_EQ(d.image->Width(), 2);
    EXPECT_EQ(d.image->Height(), 1);
    ASSERT_EQ(d.image->Images().size(), 1u);
    EXPECT_TRUE(d.warnings.empty());
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kRed, kGreen}));
}

TEST(GifRead, findsTheSignatureFourBytesOnAndAcceptsLowerCase)
{
    ByteBuilder shifted;
    shifted.text("junk").bytes(RedGreen().u8(0x3B).data());
    EXPECT_EQ(Pixels(*Draw(*Decode(shifted.take()).image)), (std::vector<std::uint32_t> {kRed, kGreen}));

    std::vector<std::uint8_t> lower = RedGreen().u8(0x3B).take();
    lower[0] = 'g', lower[1] = 'i', lower[2] = 'f';
    EXPECT_EQ(Decode(lower).image->Images().size(), 1u);
}

TEST(GifRead, rejectsFilesWithoutSignature)
{
    EXPECT_EQ(FailureOf(ByteBuilder().text("PNG and other things").take()), "Invalid GIF signature");
    // "GIF" five bytes on is too late.
    EXPECT_EQ(FailureOf(ByteBuilder().text("12345GIF89a").fill(20, 0).take()), "Invalid GIF signature");

    // The quick check agrees.
    EXPECT_TRUE(formats::IsGIF(ByteBuilder().text("junkgif87a").take()));
    EXPECT_FALSE(formats::IsGIF(ByteBuilder().text("12345GIF89a").take()));
    EXPECT_FALSE(formats::IsGIF(ByteBuilder().text("GIF").take()));
}

TEST(GifRead, cutShortFixedPartsFailAndCutShortImageDataOnlyWarns)
{
    const std::vector<std::uint8_t> whole = RedGreen().u8(0x3B).take();
    // 6 signature + 7 screen + 12 table = 25 bytes, then 10 descriptor bytes.
    const std::size_t imageData = 6 + 7 + 12 + 10;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        if (cut < imageData) {
            if (cut == 6 + 7 + 12)
                EXPECT_EQ(FailureOf(part), "") << "a file may end after its header";
            else if (cut < 10)
                EXPECT_NE(FailureOf(part), "");
            else
                EXPECT_EQ(FailureOf(part), "Premature end of data");
        } else {
            const Decoded d = Decode(part);
            ASSERT_EQ(d.image->Images().size(), 1u);
            EXPECT_TRUE(d.Warned("Premature end of data") || d.Warned("Decoder bit buffer under-run") || cut == whole.size() - 1);
        }
    }
}

TEST(GifRead, unknownExtensionLabelFails)
{
    ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
    b.bytes({0x21, 0x02, 0x00});
    ImageDescriptor(b, 0, 0, 1, 1);
    ImageData2(b, {0});
    EXPECT_EQ(FailureOf(b.u8(0x3B).take()), "Unknown extension type");
}

TEST(GifRead, strayByteAfterAFrameKeepsTheFramesRead)
{
    ByteBuilder b = RedGreen();
    b.u8(0x99);
    ImageDescriptor(b, 0, 0, 2, 1);  // never reached
    ImageData2(b, {2, 2});
    const Decoded d = Decode(b.u8(0x3B).take());
    ASSERT_EQ(d.image->Images().size(), 1u);
    EXPECT_TRUE(d.Warned("Unknown GIF block type"));
    EXPECT_TRUE(d.Warned("Invalid Image trailer"));
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kRed, kGreen}));
}

TEST(GifRead, zeroBytesBetweenBlocksAreSkippedAndAMissingTrailerIsFine)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    b.fill(3, 0);
    ImageDescriptor(b, 0, 0, 2, 1);
    ImageData2(b, {1, 2});
    b.fill(2, 0);
    const Decoded d = Decode(b.take());
    EXPECT_TRUE(d.warnings.empty());
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kGreen, kBlue}));
}

TEST(GifRead, pixelsTheDataDoesNotReachTakeTheTransparentIndex)
{
    // Eight colours, transparent index 5; the data stops after 4 of 8 pixels.
    ByteBuilder b = GifHeader(4, 2, {kRed, kGreen, kBlue, kBlack, 0x808080, 0x123456, 0x654321, 0xABCDEF});
    TransparentControl(b, 5);
    ImageDescriptor(b, 0, 0, 4, 2);
    ImageData2(b, {0, 1, 2, 3});
    const Decoded d = Decode(b.u8(0x3B).take());
    const auto data = d.image->Images()[0]->Data();
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), (std::vector<std::uint8_t> {0, 1, 2, 3, 5, 5, 5, 5}));
    EXPECT_FALSE(d.image->Transparent());
    EXPECT_EQ(Pixels(*Draw(*d.image)),
              (std::vector<std::uint32_t> {kRed, kGreen, kBlue, kBlack, kWhite, kWhite, kWhite, kWhite}));
}

TEST(GifRead, pixelsTheDataDoesNotReachAreIndexZeroWithoutTransparency)
{
    ByteBuilder b = GifHeader(3, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 3, 1);
    b.u8(2);
    AppendSubBlocks(b, PackCodes({4, 2}, 3));  // one pixel, no end code
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_TRUE(d.Warned("Decoder bit buffer under-run"));
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kBlue, kRed, kRed}));
}

TEST(GifRead, onlyTheFirstOfTwoFramesIsDrawn)
{
    ByteBuilder b = GifHeader(2, 2, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 2, 1);
    ImageData2(b, {0, 1});
    ImageDescriptor(b, 0, 0, 2, 2);
    ImageData2(b, {2, 2, 2, 2});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_EQ(d.image->Images().size(), 2u);
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kRed, kGreen, kWhite, kWhite}));
}

TEST(GifRead, aFrameIsPlacedOnTheLogicalScreenAndScaledWithIt)
{
    ByteBuilder b = GifHeader(4, 4, {kRed, kGreen, kBlue, kBlack});
    TransparentControl(b, 3);
    ImageDescriptor(b, 1, 2, 2, 2);
    ImageData2(b, {0, 1, 3, 2});
    const Decoded d = Decode(b.u8(0x3B).take());
    const std::uint32_t W = kWhite;
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {W, W, W, W, W, W, W, W, W, kRed, kGreen, W, W, W, kBlue, W}));

    // Stretched to 8 x 8 on a grey surface: the frame covers columns 2-5 and
    // rows 4-7; its transparent pixel and the rest keep the grey.
    auto surface = test::MakeBitmap24(8, 8, [](int, int) { return 0x404040u; });
    surface->Canvas().StretchDraw(core::TRect {0, 0, 8, 8}, d.image.get());
    const std::vector<std::uint32_t> px = Pixels(*surface);
    auto at = [&](int x, int y) { return px[static_cast<std::size_t>(y * 8 + x)]; };
    EXPECT_EQ(at(2, 4), kRed);
    EXPECT_EQ(at(5, 5), kGreen);
    EXPECT_EQ(at(4, 7), kBlue);
    EXPECT_EQ(at(2, 6), 0x404040u);  // transparent
    EXPECT_EQ(at(1, 4), 0x404040u);  // outside the frame
    EXPECT_EQ(at(6, 7), 0x404040u);
    EXPECT_EQ(at(3, 3), 0x404040u);
}

TEST(GifRead, theLogicalScreenGrowsToHoldEveryFrame)
{
    ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
    ImageDescriptor(b, 2, 1, 2, 2);
    ImageData2(b, {1, 1, 1, 1});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_EQ(d.image->Width(), 4);
    EXPECT_EQ(d.image->Height(), 3);
    EXPECT_THROW(d.image->SetWidth(3), formats::GIFException);
    try {
        d.image->SetHeight(2);
        FAIL();
    } catch (const formats::GIFException& e) {
        EXPECT_STREQ(e.what(), "Image height too small for contained frames");
    }
}

TEST(GifRead, aFrameWithoutSizeTakesTheLogicalScreenSize)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen});
    ImageDescriptor(b, 0, 0, 0, 5);
    ImageData2(b, {1, 0});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_TRUE(d.Warned("Image exceeds Logical Screen size"));
    EXPECT_EQ(d.image->Images()[0]->Width(), 2);
    EXPECT_EQ(d.image->Images()[0]->Height(), 1);
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kGreen, kRed}));
}

TEST(GifRead, interlacedRowsArriveInFourPasses)
{
    // One column of 8 rows, filled in the row order 0, 4, 2, 6, 1, 3, 5, 7.
    ByteBuilder b = GifHeader(1, 8, {0x000000, 0x111111, 0x222222, 0x333333});
    ImageDescriptor(b, 0, 0, 1, 8, 0x40);
    ImageData2(b, {0, 1, 2, 3, 0, 1, 2, 3});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_EQ(Pixels(*Draw(*d.image)),
              (std::vector<std::uint32_t> {0x000000, 0x000000, 0x222222, 0x111111, 0x111111, 0x222222, 0x333333, 0x333333}));
}

TEST(GifRead, aCodeNotYetInTheTableFails)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 2, 1);
    b.u8(2);
    AppendSubBlocks(b, PackCodes({4, 1, 7, 5}, 3));  // 7 is two past the next free code 6
    EXPECT_EQ(FailureOf(b.u8(0x3B).take()), "Circular decoder table entry");

    ByteBuilder first = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(first, 0, 0, 2, 1);
    first.u8(2);
    AppendSubBlocks(first, PackCodes({4, 6, 5}, 3));  // no string yet to extend
    EXPECT_EQ(FailureOf(first.u8(0x3B).take()), "Circular decoder table entry");
}

TEST(GifRead, decodesGrowingCodesAndTheNextFreeCode)
{
    // Minimum code size 2: after clear, 1 (adds nothing), 6 = "1 1" (adds 6),
    // 6 = "1 1" (adds 7 = "1 1 1"), then the width becomes 4 bits: 7, end.
    ByteBuilder b = GifHeader(8, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 8, 1);
    b.u8(2);
    const std::uint32_t bits = 4u | 1u << 3 | 6u << 6 | 6u << 9 | 7u << 12 | 5u << 16;
    AppendSubBlocks(
        b, {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16)});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_TRUE(d.warnings.empty());
    EXPECT_EQ(Pixels(*Draw(*d.image)), std::vector<std::uint32_t>(8, kGreen));
}

TEST(GifRead, dataAfterTheLastPixelIsSkippedWhateverItHolds)
{
    // The one pixel of frame 0 is followed by a clear code, more pixels and a
    // second sub-block; frame 1 must still be found after the terminator.
    ByteBuilder b = GifHeader(1, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 1, 1);
    b.u8(2).u8(2).bytes(PackCodes({4, 1, 4, 2, 4}, 3)).u8(1).u8(0x2C).u8(0);
    ImageDescriptor(b, 0, 0, 1, 1);
    ImageData2(b, {2});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_TRUE(d.warnings.empty());
    ASSERT_EQ(d.image->Images().size(), 2u);
    EXPECT_EQ(d.image->Images()[1]->Data()[0], 2);
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kGreen}));
}

TEST(GifRead, minimumCodeSizeAboveEightIsTakenAsEight)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen});
    ImageDescriptor(b, 0, 0, 2, 1);
    b.u8(11);  // nine-bit codes follow all the same
    AppendSubBlocks(b, PackCodes({256, 1, 256, 0, 257}, 9));
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kGreen, kRed}));
}

TEST(GifRead, aSubBlockLongerThanTheFileUsesWhatIsThere)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    ImageDescriptor(b, 0, 0, 2, 1);
    b.u8(2).u8(200).bytes(PackCodes({4, 2, 4, 1}, 3));
    const Decoded d = Decode(b.take());
    EXPECT_TRUE(d.Warned("Premature end of data"));
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {kBlue, kGreen}));
}

TEST(GifRead, extensionsAreKeptWithTheirFrame)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen, kBlue, kBlack});
    b.bytes({0x21, 0xFF, 11}).text("NETSCAPE2.0").bytes({3, 1, 5, 0, 5, 2, 0x10, 0, 0, 0, 0});
    b.bytes({0x21, 0xFE, 5}).text("hello").bytes({3}).text("abc").u8(0);
    b.bytes({0x21, 0x01, 12}).fill(12, 7).bytes({2}).text("hi").u8(0);
    b.bytes({0x21, 0xFF, 11}).text("XMP DataXMP").bytes({2, 0xAA, 0xBB, 0});
    b.bytes({0x21, 0xFF, 12}).text("LONGIDENTIFY").bytes({1, 9, 0});  // longer than 11: kept, not failed
    b.bytes({0x21, 0xF9, 4, 0x08, 10, 0, 0, 0});
    ImageDescriptor(b, 0, 0, 2, 1);
    ImageData2(b, {0, 1});
    const Decoded d = Decode(b.u8(0x3B).take());
    const auto& extensions = d.image->Images()[0]->Extensions();
    ASSERT_EQ(extensions.size(), 6u);
    const auto* loop = dynamic_cast<const formats::TGIFAppExtNSLoop*>(extensions[0].get());
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->Loops, 5);
    EXPECT_EQ(loop->BufferSize, 16u);
    const auto* comment = dynamic_cast<const formats::TGIFCommentExtension*>(extensions[1].get());
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Lines, (std::vector<std::string> {"hello", "abc"}));
    const auto* text = dynamic_cast<const formats::TGIFTextExtension*>(extensions[2].get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->Lines, (std::vector<std::string> {"hi"}));
    const auto* xmp = dynamic_cast<const formats::TGIFUnknownAppExtension*>(extensions[3].get());
    ASSERT_NE(xmp, nullptr);
    EXPECT_EQ(xmp->Blocks, (std::vector<formats::TGIFBlock> {{0xAA, 0xBB}}));
    EXPECT_NE(dynamic_cast<const formats::TGIFUnknownAppExtension*>(extensions[4].get()), nullptr);
    const auto* control = d.image->Images()[0]->GraphicControlExtension();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Disposal(), 2);
    EXPECT_EQ(control->Delay(), 10);
    EXPECT_FALSE(d.image->Images()[0]->Transparent());
}

TEST(GifRead, malformedApplicationExtensionsFail)
{
    struct Case {
        std::vector<std::uint8_t> extension;
        const char* message;
    };
    const Case cases[] = {
        {{0x21, 0xFF, 9, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', 0}, "Unsupported Application Extension block size"},
        {{0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2, 1, 0, 0}, "Invalid GIF data"},
        {{0x21, 0xFF, 11, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', 4, 2, 0, 0, 0, 0}, "Invalid GIF data"},
    };
    for (const Case& c : cases) {
        ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
        b.bytes(c.extension);
        ImageDescriptor(b, 0, 0, 1, 1);
        ImageData2(b, {0});
        EXPECT_EQ(FailureOf(b.u8(0x3B).take()), c.message);
    }
}

TEST(GifRead, aStrayByteAfterTheExtensionsWarns)
{
    // A zero after the graphic control extension ends the frame there: the
    // image that follows becomes a frame of its own.
    ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
    TransparentControl(b, 1);
    b.u8(0);
    ImageDescriptor(b, 0, 0, 1, 1);
    ImageData2(b, {0});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_TRUE(d.Warned("Invalid extension introducer"));
    ASSERT_EQ(d.image->Images().size(), 2u);
    EXPECT_TRUE(d.image->Images()[0]->Empty());
}

TEST(GifRead, withoutAnyColourTableReadingWorksButDrawingFails)
{
    ByteBuilder b = GifHeader(2, 1, {});
    ImageDescriptor(b, 0, 0, 2, 1);
    ImageData2(b, {0, 1});
    const Decoded d = Decode(b.u8(0x3B).take());
    ASSERT_EQ(d.image->Images().size(), 1u);
    for (auto attempt : {+[](const TGIFImage& g) { (void)g.Palette(); }, +[](const TGIFImage& g) { (void)Draw(g); }}) {
        try {
            attempt(*d.image);
            ADD_FAILURE() << "no failure";
        } catch (const formats::GIFException& e) {
            EXPECT_STREQ(e.what(), "No global or local color table defined");
        }
    }
}

TEST(GifRead, aLocalTableWinsOverTheGlobalOne)
{
    ByteBuilder b = GifHeader(2, 1, {kRed, kGreen});
    ImageDescriptor(b, 0, 0, 2, 1, 0x80);
    b.u8(0x11).u8(0x22).u8(0x33).u8(0x44).u8(0x55).u8(0x66);
    ImageData2(b, {1, 0});
    const Decoded d = Decode(b.u8(0x3B).take());
    EXPECT_EQ(Pixels(*Draw(*d.image)), (std::vector<std::uint32_t> {0x445566, 0x112233}));
    // Palette prefers the global table.
    EXPECT_EQ(d.image->Palette().size(), 2u);
    EXPECT_EQ(d.image->Palette()[0].peRed, 0xFF);
}

TEST(GifRead, framesBeyondTheEngineLimitsFailBeforeAllocation)
{
    ByteBuilder huge = GifHeader(65535, 65535, {kRed, kGreen});
    ImageDescriptor(huge, 0, 0, 65535, 65535);
    ImageData2(huge, {0});
    EXPECT_THROW(Decode(huge.u8(0x3B).take()), base::EOutOfResources);

    // Each frame alone is allowed, but together they exceed what a file this
    // small may claim.
    ByteBuilder many = GifHeader(12000, 12000, {kRed, kGreen});
    for (int i = 0; i < 2; ++i) {
        ImageDescriptor(many, 0, 0, 12000, 12000);
        many.u8(2).u8(0);
    }
    EXPECT_THROW(Decode(many.u8(0x3B).take()), base::EOutOfResources);
}

TEST(GifRead, streamPositionEndsAfterTheTrailerOrIsRestoredOnFailure)
{
    std::vector<std::uint8_t> bytes = RedGreen().u8(0x3B).take();
    const std::size_t size = bytes.size();
    bytes.insert(bytes.end(), {1, 2, 3});
    core::TMemoryStream good(bytes);
    TGIFImage image;
    image.LoadFromStream(good);
    EXPECT_EQ(good.Position(), size);

    core::TMemoryStream bad(ByteBuilder().text("nothing of the kind").take());
    bad.SetPosition(2);
    EXPECT_THROW(image.LoadFromStream(bad), formats::GIFException);
    EXPECT_EQ(bad.Position(), 2u);
}

TEST(GifRead, corruptedFilesFailCleanlyOrDecode)
{
    // Files of every kind of block, with bytes flipped at random: reading and
    // drawing either work or fail with one of the engine's exceptions.
    ByteBuilder b = GifHeader(5, 4, {kRed, kGreen, kBlue, kBlack});
    b.bytes({0x21, 0xFF, 11}).text("NETSCAPE2.0").bytes({3, 1, 0, 0, 0});
    b.bytes({0x21, 0xFE, 3}).text("abc").u8(0);
    TransparentControl(b, 2);
    ImageDescriptor(b, 1, 1, 3, 2, 0x40);
    ImageData2(b, {0, 1, 2, 3, 0, 1});
    ImageDescriptor(b, 0, 0, 5, 4, 0x81);
    b.bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    b.u8(2);
    AppendSubBlocks(b, PackCodes({4, 1, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 5}, 4));
    const std::vector<std::uint8_t> original = b.u8(0x3B).take();

    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes = original;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        if (random() % 4 == 0)
            bytes.resize(random() % bytes.size());
        try {
            const Decoded d = Decode(bytes);
            if (d.image->Width() <= 4096 && d.image->Height() <= 4096)
                (void)Draw(*d.image);
        } catch (const base::Exception&) {
        }
    }
}
