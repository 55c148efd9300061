// Clipping: clip rectangles, every region combination on two overlapping
// rectangles, a path clip, and the clip kept and restored with saved states.

#include <gtest/gtest.h>

#include "platform/gdi/emf_records.h"
#include "tests/formats/metafile/metafile_builders.h"

namespace scalopex::test {
namespace {

using namespace scalopex::gdi;

constexpr std::uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF;

// EXTSELECTCLIPRGN of one rectangle (device units) combined by mode.
std::vector<std::uint8_t> RegionBody(std::uint32_t mode, TRectL r)
{
    ByteBuilder b;
    b.u32le(48).u32le(mode);
    b.u32le(32).u32le(1).u32le(1).u32le(16);
    b.u32le(static_cast<std::uint32_t>(r.left)).u32le(static_cast<std::uint32_t>(r.top));
    b.u32le(static_cast<std::uint32_t>(r.right)).u32le(static_cast<std::uint32_t>(r.bottom));
    b.u32le(static_cast<std::uint32_t>(r.left)).u32le(static_cast<std::uint32_t>(r.top));
    b.u32le(static_cast<std::uint32_t>(r.right)).u32le(static_cast<std::uint32_t>(r.bottom));
    return b.take();
}

// Paints the whole 20 x 20 picture black after the clip records.
Canvas24 FillAfter(EmfFile& e)
{
    e.Rec(emr::kSelectObject, {static_cast<std::int32_t>(emr::kStockObject | 4)});  // black brush
    e.Rec(emr::kSelectObject, {static_cast<std::int32_t>(emr::kStockObject | 8)});  // null pen
    e.Rec(emr::kRectangle, {0, 0, 21, 21});
    return Play(e.Bytes(), 20, 20);
}

TEST(EmfClip, everyRegionModeOnOverlappingRectangles)
{
    // First region 0..10 x 0..10, second 5..15 x 5..15. Probes: only in the
    // first (2,2), in both (7,7), only in the second (12,12), in neither (17,17).
    struct TCase {
        std::uint32_t mode;
        bool first, both, second, neither;
    };
    const TCase cases[] = {
        {1, false, true, false, false},  // AND
        {2, true, true, true, false},    // OR
        {3, true, false, true, false},   // XOR
        {4, true, false, false, false},  // DIFF
        {5, false, true, true, false},   // COPY
    };
    for (const auto& k : cases) {
        EmfFile e(20, 20);
        e.Raw(emr::kExtSelectClipRgn, RegionBody(5, {0, 0, 10, 10}));
        e.Raw(emr::kExtSelectClipRgn, RegionBody(k.mode, {5, 5, 15, 15}));
        const Canvas24 c = FillAfter(e);
        EXPECT_EQ(c.At(2, 2), k.first ? kBlack : kWhite) << k.mode;
        EXPECT_EQ(c.At(7, 7), k.both ? kBlack : kWhite) << k.mode;
        EXPECT_EQ(c.At(12, 12), k.second ? kBlack : kWhite) << k.mode;
        EXPECT_EQ(c.At(17, 17), k.neither ? kBlack : kWhite) << k.mode;
    }
    // RGN_COPY without a region goes back to the default: everything.
    EmfFile e(20, 20);
    e.Raw(emr::kExtSelectClipRgn, RegionBody(5, {0, 0, 10, 10}));
    e.Rec(emr::kExtSelectClipRgn, {0, 5});
    EXPECT_EQ(FillAfter(e).At(17, 17), kBlack);
}

TEST(EmfClip, clipRectanglesIntersectExcludeAndMove)
{
    EmfFile e(20, 20);
    e.Rec(emr::kIntersectClipRect, {2, 2, 18, 18}).Rec(emr::kExcludeClipRect, {8, 8, 12, 12});
    e.Rec(emr::kOffsetClipRgn, {1, 0});
    const Canvas24 c = FillAfter(e);
    EXPECT_EQ(c.At(2, 5), kWhite);  // moved right by one
    EXPECT_EQ(c.At(3, 5), kBlack);
    EXPECT_EQ(c.At(18, 5), kBlack);
    EXPECT_EQ(c.At(19, 5), kWhite);
    EXPECT_EQ(c.At(10, 10), kWhite);  // the excluded hole
    EXPECT_EQ(c.At(1, 1), kWhite);
}

TEST(EmfClip, aPathClipsToItsInside)
{
    EmfFile e(20, 20);
    e.Rec(emr::kBeginPath, {});
    e.Rec(emr::kRectangle, {4, 4, 16, 16});
    e.Rec(emr::kEndPath, {}).Rec(emr::kSelectClipPath, {5});
    const Canvas24 c = FillAfter(e);
    EXPECT_EQ(c.At(10, 10), kBlack);
    EXPECT_EQ(c.At(2, 2), kWhite);
    EXPECT_EQ(c.At(18, 10), kWhite);
}

TEST(EmfClip, savedStatesKeepAndRestoreTheClip)
{
    EmfFile e(20, 20);
    e.Rec(emr::kIntersectClipRect, {0, 0, 10, 20});
    e.Rec(emr::kSaveDC, {});
    e.Rec(emr::kIntersectClipRect, {0, 0, 5, 20});
    e.Rec(emr::kRestoreDC, {-1});
    const Canvas24 c = FillAfter(e);
    EXPECT_EQ(c.At(7, 5), kBlack);   // the narrower clip is gone with its state
    EXPECT_EQ(c.At(12, 5), kWhite);  // the one saved is back
}

TEST(EmfClip, regionsCountingMoreRectanglesThanTheyHoldAreSkipped)
{
    EmfFile e(20, 20);
    auto body = RegionBody(5, {0, 0, 10, 10});
    body[16] = 0xFF;  // rectangle count
    e.Raw(emr::kExtSelectClipRgn, body);
    EXPECT_EQ(FillAfter(e).At(17, 17), kBlack);
}

}  // namespace
}  // namespace scalopex::test
