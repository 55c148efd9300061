// The reading skeleton of TReaderGraphic, driven by a small reader of a toy
// format: width (u8), height (u8), rows to deliver (u8), then one byte per
// pixel of each delivered row, converted through the colour manager as grey.

#include <gtest/gtest.h>

#include <vector>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/stream.h"
#include "formats/common/reader_graphic.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

class TToyGraphic final : public TReaderGraphic {
public:
    TRasterPlan plan;          // what the header parse answers, sizes from the file
    bool failAfterFirstRow = false;
    int headerCalls = 0;

protected:
    TRasterPlan ReadHeader(base::ByteCursor& input) override
    {
        ++headerCalls;
        TRasterPlan p = plan;
        p.width = input.u8();
        p.height = input.u8();
        m_rows = input.u8();
        ColorManager().SetSourceScheme(ColorScheme::Gray);
        ColorManager().SetTargetScheme(ColorScheme::Gray);
        ColorManager().SetSourceSamples(1);
        ColorManager().SetTargetSamples(1);
        ColorManager().SetSourceSampleBits(8);
        ColorManager().SetTargetSampleBits(8);
        if (!p.palette)
            p.palette = ColorManager().BuildGrayPalette(false);
        p.pixelFormat = core::pf8bit;
        return p;
    }

    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override
    {
        // Rows are delivered every other one from the top: 0, 2, 4, ...
        for (int k = 0; k < m_rows; ++k) {
            sink.Convert(2 * k, input.bytes(static_cast<std::size_t>(sink.Width())));
            if (failAfterFirstRow)
                throw base::EInvalidGraphic("broken row");
        }
    }

private:
    int m_rows = 0;
};

std::vector<int> Column(const core::TBitmap& b)
{
    std::vector<int> column;
    for (int y = 0; y < b.Height(); ++y)
        column.push_back(b.ScanLineRead(y)[0]);
    return column;
}

TEST(ReaderSkeleton, RowsNeverDeliveredTakeTheFill)
{
    TToyGraphic toy;
    toy.plan.fill = {core::RGB(128, 128, 128), 0};
    const Bytes file = {2, 4, 2, 10, 11, 20, 21};
    core::TMemoryStream stream(file);
    toy.LoadFromStream(stream);
    EXPECT_EQ(toy.Width(), 2);
    EXPECT_EQ(toy.Height(), 4);
    EXPECT_EQ(Column(toy), (std::vector<int>{10, 128, 20, 128}));
    EXPECT_EQ(stream.Position(), file.size());
    // Row padding is zero.
    EXPECT_EQ(toy.ScanLineRead(1)[2], 0);
}

TEST(ReaderSkeleton, AFailingDecoderLeavesNoUndefinedPixels)
{
    TToyGraphic toy;
    toy.failAfterFirstRow = true;
    const Bytes file = {1, 3, 2, 50, 60};
    core::TMemoryStream stream(file);
    EXPECT_THROW(toy.LoadFromStream(stream), base::EInvalidGraphic);
    EXPECT_EQ(Column(toy), (std::vector<int>{50, 255, 255}));  // white, the default fill
}

TEST(ReaderSkeleton, SizesBeyondTheLimitsAreRefusedBeforeAllocation)
{
    base::TScopedLimits lowered({.maxPixels = 100});
    TToyGraphic toy;
    const Bytes file = {20, 20, 0};
    core::TMemoryStream stream(file);
    try {
        toy.LoadFromStream(stream);
        FAIL() << "400 pixels accepted under a limit of 100";
    } catch (const base::ELimitExceeded& e) {
        EXPECT_STREQ(e.what(), "Image too large: 20 x 20 pixels exceeds the limit of 100 pixels");
    }
    EXPECT_TRUE(toy.Empty());

    TToyGraphic packed;
    packed.plan.minimumDataBytes = 5;  // the data present (2 bytes) cannot yield the image
    const Bytes small = {2, 2, 0, 1, 2};
    core::TMemoryStream smallStream(small);
    EXPECT_THROW(packed.LoadFromStream(smallStream), base::ELimitExceeded);
    EXPECT_TRUE(packed.Empty());
}

TEST(ReaderSkeleton, RawDataShorterThanTheImageFailsBeforeAllocation)
{
    TToyGraphic toy;
    toy.plan.rawBytes = 4;
    const Bytes file = {2, 2, 1, 7, 8, 9};
    core::TMemoryStream stream(file);
    EXPECT_THROW(toy.LoadFromStream(stream), base::EReadError);
    EXPECT_TRUE(toy.Empty());
}

TEST(ReaderSkeleton, AnEmptyPlanEndsTheLoadWithoutError)
{
    TToyGraphic toy;
    toy.plan.stayEmpty = true;
    const Bytes file = {4, 4, 0};
    core::TMemoryStream stream(file);
    toy.LoadFromStream(stream);
    EXPECT_TRUE(toy.Empty());
    EXPECT_EQ(stream.Position(), 3u);
}

TEST(ReaderSkeleton, ASideOfZeroLoadsAnEmptyImageWithoutDecoding)
{
    // Width 0 and height 3: the decoder would deliver rows 0 and 2 of nothing.
    for (const Bytes& file : {Bytes{0, 3, 2}, Bytes{3, 0, 2, 1, 2, 3}}) {
        TToyGraphic toy;
        core::TMemoryStream stream(file);
        toy.LoadFromStream(stream);
        EXPECT_TRUE(toy.Empty());
    }
}

TEST(ReaderSkeleton, LoadingStartsAtTheStreamPositionAndEmptiesTheRasterFirst)
{
    TToyGraphic toy;
    const Bytes first = {1, 1, 1, 99};
    core::TMemoryStream a(first);
    toy.LoadFromStream(a);
    toy.SetTransparent(true);
    Bytes second = {0xAA, 0xBB, 1, 2, 1, 5, 0xCC};
    core::TMemoryStream b(second);
    b.SetPosition(2);
    toy.LoadFromStream(b);
    EXPECT_EQ(Column(toy), (std::vector<int>{5, 255}));
    EXPECT_FALSE(toy.Transparent());
    EXPECT_EQ(b.Position(), 6u);  // after the bytes the reader used
}

}  // namespace
}  // namespace scalopex::formats
