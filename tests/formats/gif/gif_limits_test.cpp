// Reading GIF files under lowered engine limits, and the fields of extension
// blocks read from sub-blocks that are short, cut off or hold odd bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/limits.h"
#include "formats/gif/gif_image.h"
#include "tests/formats/gif/gif_test_util.h"

using namespace scalopex;
using namespace scalopex::test::gif;
using scalopex::test::ByteBuilder;

namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00;

std::vector<std::uint8_t> OneFrame(int screenWidth, int screenHeight, int width, int height)
{
    ByteBuilder b = GifHeader(screenWidth, screenHeight, {kRed, kGreen});
    ImageDescriptor(b, 0, 0, width, height);
    ImageData2(b, {1});
    return b.u8(0x3B).take();
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

TEST(GifLimits, loweredLimitsRefuseLargeFramesBeforeAllocation)
{
    struct Case {
        const char* name;
        base::TLimits limits;
        int screenWidth, screenHeight, width, height;
        bool refused;
    };
    const Case cases[] = {
        {"pixels over the limit", {.maxPixels = 10000}, 1, 1, 101, 100, true},
        {"pixels at the limit", {.maxPixels = 10000}, 1, 1, 100, 100, false},
        {"a side over the limit", {.maxDimension = 64}, 1, 1, 65, 1, true},
        {"a side at the limit", {.maxDimension = 64}, 1, 1, 64, 1, false},
        {"bytes over the limit", {.maxPixelBytes = 1000}, 1, 1, 40, 26, true},
        {"bytes at the limit", {.maxPixelBytes = 1000}, 1, 1, 40, 25, false},
        {"a frame without size takes the screen's", {.maxPixels = 10000}, 200, 200, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const base::TScopedLimits lowered(c.limits);
        const std::vector<std::uint8_t> bytes = OneFrame(c.screenWidth, c.screenHeight, c.width, c.height);
        if (c.refused) {
            EXPECT_THROW(Decode(bytes), base::ELimitExceeded);
        } else {
            const Decoded d = Decode(bytes);
            ASSERT_EQ(d.image->Images().size(), 1u);
            EXPECT_EQ(d.image->Images()[0]->Data()[0], 1);
        }
    }
}

TEST(GifLimits, framesTogetherBeyondTheFileBudgetAreRefused)
{
    // Each 100 x 80 frame is within the lowered limit, but six of them claim
    // far more pixels than a file of under a hundred bytes may.
    const base::TScopedLimits lowered({.maxPixels = 10000});
    ByteBuilder b = GifHeader(100, 80, {kRed, kGreen});
    for (int i = 0; i < 6; ++i) {
        ImageDescriptor(b, 0, 0, 100, 80);
        b.u8(2).u8(0);
    }
    const std::vector<std::uint8_t> bytes = b.u8(0x3B).take();
    EXPECT_THROW(Decode(bytes), base::ELimitExceeded);
    EXPECT_EQ(FailureOf(bytes), "GIF frames exceed the engine's memory limit");
}

TEST(GifLimits, aGraphicControlExtensionCutShortSetsTheFieldsItHoldsWhole)
{
    const std::uint8_t block[] = {4, 0x05, 0x34, 0x12, 3, 0};
    for (std::size_t k = 0; k <= sizeof block; ++k) {
        SCOPED_TRACE("bytes of the block: " + std::to_string(k));
        ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
        b.u8(0x21).u8(0xF9).bytes(std::span<const std::uint8_t>(block, k));
        const Decoded d = Decode(b.take());
        EXPECT_EQ(d.Warned("Premature end of data"), k < sizeof block);
        ASSERT_EQ(d.image->Images().size(), 1u);
        const formats::TGIFGraphicControlExtension* control = d.image->Images()[0]->GraphicControlExtension();
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->Packed(), k >= 2 ? 0x05 : 0);
        EXPECT_EQ(control->Delay(), k >= 4 ? 0x1234 : 0);
        EXPECT_EQ(control->TransparentColorIndex(), k >= 5 ? 3 : 0);
    }
}

TEST(GifLimits, extensionSubBlocksAreReadByteForByte)
{
    ByteBuilder b = GifHeader(1, 1, {kRed, kGreen});
    b.bytes({0x21, 0xFF, 11}).text("NETSCAPE2.0");
    b.bytes({1, 0x03, 3, 1, 0x34, 0x12, 5, 2, 0x78, 0x56, 0x34, 0x12, 0});  // an unknown sub-block, loops, buffer size
    b.bytes({0x21, 0xFE, 4, 'a', 0x00, 0xFF, 'b', 0});
    ImageDescriptor(b, 0, 0, 1, 1);
    ImageData2(b, {0});
    const Decoded d = Decode(b.u8(0x3B).take());
    const auto& extensions = d.image->Images()[0]->Extensions();
    ASSERT_EQ(extensions.size(), 2u);
    const auto* loop = dynamic_cast<const formats::TGIFAppExtNSLoop*>(extensions[0].get());
    ASSERT_NE(loop, nullptr);
    EXPECT_TRUE(loop->HasLoops);
    EXPECT_EQ(loop->Loops, 0x1234);
    EXPECT_TRUE(loop->HasBufferSize);
    EXPECT_EQ(loop->BufferSize, 0x12345678u);
    const auto* comment = dynamic_cast<const formats::TGIFCommentExtension*>(extensions[1].get());
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment->Lines, (std::vector<std::string> {std::string("a\0\xFF" "b", 4)}));

    // An application identifier cut off by the end of the file.
    ByteBuilder cut = GifHeader(1, 1, {kRed, kGreen});
    cut.bytes({0x21, 0xFF, 11}).text("NETSC");
    EXPECT_EQ(FailureOf(cut.take()), "Premature end of data");
}
