// Playback of small hand-built EMF and WMF pictures: edges, pens, fill
// modes, saved states, transforms, mapping modes, object slots, bitmaps and
// raster operations, and records whose sizes or fields lie.

#include <gtest/gtest.h>

#include <bit>

#include "platform/gdi/emf_records.h"
#include "platform/gdi/metafile.h"
#include "platform/gdi/player.h"
#include "tests/formats/metafile/metafile_builders.h"

namespace scalopex::test {
namespace {

namespace emr = gdi::emr;
namespace wmr = gdi::wmr;

constexpr std::uint32_t kRed = 0x0000FF;   // COLORREF of red
constexpr std::uint32_t kBlue = 0xFF0000;  // COLORREF of blue
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::int32_t kNullPen = static_cast<std::int32_t>(0x80000008);

std::int32_t F(float v)
{
    return std::bit_cast<std::int32_t>(v);
}

EmfFile& RedBrush(EmfFile& e, std::int32_t slot = 1, std::uint32_t color = kRed)
{
    return e.Rec(emr::kCreateBrushIndirect, {slot, 0, static_cast<std::int32_t>(color), 0})
        .Rec(emr::kSelectObject, {slot});
}

TEST(EmfPlayer, rectangleCoversLeftAndTopEdgesButNotRightAndBottom)
{
    EmfFile e(16, 16);
    RedBrush(e).Rec(emr::kRectangle, {2, 2, 8, 6});
    const Canvas24 c = Play(e.Bytes(), 16, 16);
    EXPECT_EQ(c.At(2, 2), 0x000000u);  // pen
    EXPECT_EQ(c.At(7, 5), 0x000000u);
    EXPECT_EQ(c.At(4, 3), 0xFF0000u);  // red inside (0xRRGGBB)
    EXPECT_EQ(c.At(8, 3), 0xFFFFFFu);
    EXPECT_EQ(c.At(4, 6), 0xFFFFFFu);
    EXPECT_EQ(c.At(1, 1), 0xFFFFFFu);
}

TEST(EmfPlayer, nullPenRectangleIsOnePixelSmaller)
{
    EmfFile e(16, 16);
    RedBrush(e).Rec(emr::kSelectObject, {kNullPen}).Rec(emr::kRectangle, {2, 2, 8, 6});
    const Canvas24 c = Play(e.Bytes(), 16, 16);
    EXPECT_EQ(c.At(2, 2), 0xFF0000u);
    EXPECT_EQ(c.At(6, 4), 0xFF0000u);
    EXPECT_EQ(c.At(7, 4), 0xFFFFFFu);
    EXPECT_EQ(c.At(6, 5), 0xFFFFFFu);
}

TEST(EmfPlayer, lineToLeavesTheEndPointOut)
{
    EmfFile e(16, 16);
    e.Rec(emr::kMoveToEx, {2, 3}).Rec(emr::kLineTo, {9, 3});
    const Canvas24 c = Play(e.Bytes(), 16, 16);
    EXPECT_EQ(c.At(2, 3), 0u);
    EXPECT_EQ(c.At(8, 3), 0u);
    EXPECT_EQ(c.At(9, 3), 0xFFFFFFu);
    EXPECT_EQ(c.At(5, 2), 0xFFFFFFu);
}

TEST(EmfPlayer, polygonFillModesDecideAboutOverlaps)
{
    // Two squares of the same orientation in one poly-polygon; (6, 6) lies in both.
    for (const int mode : {1, 2}) {
        EmfFile e(16, 16);
        RedBrush(e).Rec(emr::kSelectObject, {kNullPen}).Rec(emr::kSetPolyFillMode, {mode});
        e.Rec(emr::kPolyPolygon, {0, 0, 0,  0, 2,  8,  4, 4,  // bounds, 2 polygons, 8 points, counts
                                  0, 0, 8,  0, 8,  8,  0, 8,  //
                                  4, 4, 12, 4, 12, 12, 4, 12});
        const Canvas24 c = Play(e.Bytes(), 16, 16);
        EXPECT_EQ(c.At(2, 2), 0xFF0000u) << mode;
        EXPECT_EQ(c.At(10, 10), 0xFF0000u) << mode;
        EXPECT_EQ(c.At(6, 6), mode == 1 ? 0xFFFFFFu : 0xFF0000u) << "fill mode " << mode;
    }
}

TEST(EmfPlayer, restoreDcMinusTwoGoesBackTwoStates)
{
    EmfFile e(8, 8);
    RedBrush(e, 1, kRed).Rec(emr::kSaveDC, {});
    RedBrush(e, 2, kBlue).Rec(emr::kSaveDC, {});
    RedBrush(e, 3, kGreen).Rec(emr::kRestoreDC, {-2});
    e.Rec(emr::kSelectObject, {kNullPen}).Rec(emr::kRectangle, {0, 0, 8, 8});
    // A later RestoreDC(-1) has no state left beyond the first: it is ignored.
    e.Rec(emr::kRestoreDC, {-1}).Rec(emr::kRectangle, {0, 0, 4, 4});
    const Canvas24 c = Play(e.Bytes(), 8, 8);
    EXPECT_EQ(c.At(5, 5), 0xFF0000u);
    EXPECT_EQ(c.At(1, 1), 0xFF0000u);
}

TEST(EmfPlayer, worldTransformModesCompose)
{
    struct Row {
        const char* name;
        std::vector<std::vector<std::int32_t>> records;  // type, then fields
        int x, y;                                        // where SetPixel(1, 1) lands
    };
    const std::int32_t set = emr::kSetWorldTransform, modify = emr::kModifyWorldTransform;
    const std::vector<Row> rows = {
        {"set scale 3", {{set, F(3), 0, 0, F(3), 0, 0}}, 3, 3},
        {"identity", {{set, F(3), 0, 0, F(3), 0, 0}, {modify, F(1), 0, 0, F(1), 0, 0, 1}}, 1, 1},
        // translate by 10, then left-multiply a scale of 2: scale first.
        {"left multiply", {{set, F(1), 0, 0, F(1), F(10), 0}, {modify, F(2), 0, 0, F(2), 0, 0, 2}}, 12, 2},
        // right-multiply: translate first, then scale.
        {"right multiply", {{set, F(1), 0, 0, F(1), F(10), 0}, {modify, F(2), 0, 0, F(2), 0, 0, 3}}, 22, 2},
        {"modify set", {{modify, F(1), 0, 0, F(1), F(4), F(5), 4}}, 5, 6},
        {"singular transform ignored", {{set, 0, 0, 0, 0, 0, 0}}, 1, 1},
    };
    for (const auto& row : rows) {
        EmfFile e(32, 32);
        for (const auto& r : row.records) {
            ByteBuilder b;
            for (std::size_t i = 1; i < r.size(); ++i)
                b.u32le(static_cast<std::uint32_t>(r[i]));
            e.Raw(static_cast<std::uint32_t>(r[0]), b.data());
        }
        e.Rec(emr::kSetPixelV, {1, 1, static_cast<std::int32_t>(kRed)});
        const Canvas24 c = Play(e.Bytes(), 32, 32);
        EXPECT_EQ(c.At(row.x, row.y), 0xFF0000u) << row.name;
    }
}

TEST(EmfPlayer, everyMappingModePlacesAPointWhereItsUnitsSay)
{
    // One pixel of the reference device is one millimetre here.
    struct Row {
        int mode;
        int x, y;
    };
    const Row rows[] = {
        {1, 5, 5},       // pixels
        {2, 50, -50},    // 0.1 mm, y up
        {3, 500, -500},  // 0.01 mm
        {4, 20, -20},    // 0.01 inch: 5.08 mm
        {5, 200, -200},  // 0.001 inch
        {6, 288, -288},  // twips
    };
    for (const auto& row : rows) {
        EmfFile e(16, 16);
        e.Rec(emr::kSetMapMode, {row.mode}).Rec(emr::kSetPixelV, {row.x, row.y, static_cast<std::int32_t>(kRed)});
        const Canvas24 c = Play(e.Bytes(), 16, 16);
        EXPECT_EQ(c.At(5, 5), 0xFF0000u) << "mode " << row.mode;
    }
    // Isotropic keeps the smaller scale on both axes; anisotropic keeps both.
    for (const int mode : {7, 8}) {
        EmfFile e(32, 32);
        e.Rec(emr::kSetMapMode, {mode}).Rec(emr::kSetWindowExtEx, {10, 10}).Rec(emr::kSetViewportExtEx, {20, 40});
        e.Rec(emr::kSetPixelV, {3, 3, static_cast<std::int32_t>(kRed)});
        const Canvas24 c = Play(e.Bytes(), 32, 32);
        EXPECT_EQ(c.At(6, mode == 7 ? 6 : 12), 0xFF0000u) << "mode " << mode;
    }
}

TEST(EmfPlayer, frameIsScaledOntoTheRectangle)
{
    // A 4 x 4 picture drawn into 8 x 8: the rectangle (0, 0, 3, 3) becomes
    // (0, 0, 6, 6), and without a pen loses its last device column and row.
    EmfFile e(4, 4);
    RedBrush(e).Rec(emr::kSelectObject, {kNullPen}).Rec(emr::kRectangle, {0, 0, 3, 3});
    const Canvas24 c = Play(e.Bytes(), 8, 8);
    EXPECT_EQ(c.At(0, 0), 0xFF0000u);
    EXPECT_EQ(c.At(4, 4), 0xFF0000u);
    EXPECT_EQ(c.At(5, 5), 0xFFFFFFu);
    EXPECT_EQ(c.At(5, 0), 0xFFFFFFu);
}

TEST(EmfPlayer, ellipseStaysInsideItsBox)
{
    EmfFile e(20, 20);
    RedBrush(e).Rec(emr::kEllipse, {2, 2, 18, 18});
    const Canvas24 c = Play(e.Bytes(), 20, 20);
    EXPECT_EQ(c.At(10, 10), 0xFF0000u);
    EXPECT_EQ(c.At(2, 2), 0xFFFFFFu);   // corner of the box
    EXPECT_EQ(c.At(10, 2), 0x000000u);  // top of the outline
    EXPECT_EQ(c.At(10, 18), 0xFFFFFFu);
}

TEST(EmfPlayer, pathsFillStrokeAndAbort)
{
    EmfFile e(16, 16);
    RedBrush(e).Rec(emr::kSelectObject, {kNullPen});
    e.Rec(emr::kBeginPath, {}).Rec(emr::kMoveToEx, {1, 1}).Rec(emr::kLineTo, {7, 1}).Rec(emr::kLineTo, {7, 7});
    e.Rec(emr::kCloseFigure, {}).Rec(emr::kEndPath, {}).Rec(emr::kFillPath, {0, 0, 0, 0});
    // An aborted path draws nothing.
    e.Rec(emr::kBeginPath, {})
        .Rec(emr::kRectangle, {9, 9, 15, 15})
        .Rec(emr::kAbortPath, {})
        .Rec(emr::kFillPath, {0, 0, 0, 0});
    const Canvas24 c = Play(e.Bytes(), 16, 16);
    EXPECT_EQ(c.At(6, 2), 0xFF0000u);  // inside the triangle
    EXPECT_EQ(c.At(2, 6), 0xFFFFFFu);  // outside it
    EXPECT_EQ(c.At(12, 12), 0xFFFFFFu);
}

// The source is a 1 x 1 DIB of 0xAA per channel; the destination was
// painted 0xCC; the brush is 0xF0.
TEST(EmfPlayer, rasterOperationsCombineSourcePatternAndDestination)
{
    struct Row {
        const char* name;
        std::uint32_t rop;
        std::uint8_t expected;
    };
    const Row rows[] = {
        {"SRCCOPY", emr::kSrcCopy, 0xAA},     {"SRCPAINT", emr::kSrcPaint, 0xEE},
        {"SRCAND", emr::kSrcAnd, 0x88},       {"SRCINVERT", emr::kSrcInvert, 0x66},
        {"SRCERASE", emr::kSrcErase, 0x22},   {"NOTSRCCOPY", emr::kNotSrcCopy, 0x55},
        {"MERGECOPY", emr::kMergeCopy, 0xA0}, {"PATCOPY", emr::kPatCopy, 0xF0},
        {"PATINVERT", emr::kPatInvert, 0x3C}, {"DSTINVERT", emr::kDstInvert, 0x33},
        {"BLACKNESS", emr::kBlackness, 0x00}, {"WHITENESS", emr::kWhiteness, 0xFF},
    };
    const auto source = Dib(1, 1, 24, 0, {}, {0xAA, 0xAA, 0xAA, 0});
    for (const auto& row : rows) {
        EmfFile e(4, 4);
        RedBrush(e, 1, 0xF0F0F0);
        ByteBuilder b;
        b.u32le(0).u32le(0).u32le(0).u32le(0);
        b.u32le(0).u32le(0).u32le(4).u32le(4).u32le(row.rop).u32le(0).u32le(0);  // dest 4 x 4, rop, source origin
        b.u32le(0x3F800000).u32le(0).u32le(0).u32le(0x3F800000).u32le(0).u32le(0);
        b.u32le(0).u32le(0).u32le(108).u32le(40).u32le(148).u32le(4).u32le(1).u32le(1);
        b.bytes(source);
        e.Raw(emr::kStretchBlt, b.data());
        const Canvas24 c = Play(e.Bytes(), 4, 4, 0xCCCCCC);
        const std::uint32_t want = row.expected * 0x010101u;
        EXPECT_EQ(c.At(1, 2), want) << row.name;
    }
}

TEST(EmfPlayer, dibsOfEveryDepthLandTheRightWayUp)
{
    // 2 x 2 images, top row red, blue; bottom row green, white.
    const std::vector<std::uint32_t> pal = {0xFF0000, 0x0000FF, 0x00FF00, 0xFFFFFF};
    struct Row {
        const char* name;
        std::vector<std::uint8_t> dib;
        std::uint32_t info;
    };
    std::vector<Row> rows;
    // 1 bit: two colours only, red and blue; stored bottom row first.
    rows.push_back({"1 bit", Dib(2, 2, 1, 0, {0xFF0000, 0x0000FF}, {0x40, 0, 0, 0, 0x40, 0, 0, 0}), InfoBytes(2)});
    rows.push_back({"4 bit", Dib(2, 2, 4, 0, pal, {0x23, 0, 0, 0, 0x01, 0, 0, 0}), InfoBytes(4)});
    rows.push_back({"8 bit", Dib(2, 2, 8, 0, pal, {2, 3, 0, 0, 0, 1, 0, 0}), InfoBytes(4)});
    rows.push_back({"16 bit", Dib(2, 2, 16, 0, {}, {0xE0, 0x03, 0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0x00}), 40});
    rows.push_back({"24 bit", Dib(2, 2, 24, 0, {}, {0, 255, 0, 255, 255, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0}), 40});
    rows.push_back({"32 bit", Dib(2, 2, 32, 0, {}, {0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0, 255, 0, 0, 0}), 40});
    rows.push_back({"RLE8", Dib(2, 2, 8, 1, pal, {1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 1}), InfoBytes(4)});
    rows.push_back({"RLE4", Dib(2, 2, 4, 2, pal, {2, 0x23, 0, 0, 2, 0x01, 0, 1}), InfoBytes(4)});
    // Top-down: a negative height, rows stored top first.
    auto topDown = Dib(2, 2, 8, 0, pal, {0, 1, 0, 0, 2, 3, 0, 0});
    topDown[8] = 0xFE;
    topDown[9] = topDown[10] = topDown[11] = 0xFF;
    rows.push_back({"8 bit top-down", topDown, InfoBytes(4)});

    for (const auto& row : rows) {
        EmfFile e(2, 2);
        e.Raw(emr::kStretchDIBits, StretchDIBitsBody(0, 0, 2, 2, 2, 2, row.dib, row.info));
        const Canvas24 c = Play(e.Bytes(), 2, 2, 0x123456);
        EXPECT_EQ(c.At(0, 0), 0xFF0000u) << row.name;
        EXPECT_EQ(c.At(1, 0), 0x0000FFu) << row.name;
        if (std::string(row.name) != "1 bit") {
            EXPECT_EQ(c.At(0, 1), 0x00FF00u) << row.name;
            EXPECT_EQ(c.At(1, 1), 0xFFFFFFu) << row.name;
        }
    }
}

TEST(EmfPlayer, transparentBlitLeavesTheKeyColourOut)
{
    EmfFile e(2, 1);
    ByteBuilder b;
    b.u32le(0).u32le(0).u32le(0).u32le(0);
    b.u32le(0).u32le(0).u32le(2).u32le(1).u32le(kRed).u32le(0).u32le(0);
    b.u32le(0x3F800000).u32le(0).u32le(0).u32le(0x3F800000).u32le(0).u32le(0);
    b.u32le(0).u32le(0).u32le(108).u32le(40).u32le(148).u32le(8).u32le(2).u32le(1);
    b.bytes(Dib(2, 1, 24, 0, {}, {0, 0, 255, 255, 0, 0, 0, 0}));  // red, blue
    e.Raw(emr::kTransparentBlt, b.data());
    const Canvas24 c = Play(e.Bytes(), 2, 1, 0x00FF00);
    EXPECT_EQ(c.At(0, 0), 0x00FF00u);
    EXPECT_EQ(c.At(1, 0), 0x0000FFu);
}

TEST(EmfPlayer, recordsThatLieAboutTheirSizeRefuseThePicture)
{
    const auto good = EmfFile(4, 4).Rec(emr::kRectangle, {0, 0, 2, 2}).Bytes();
    ASSERT_NE(gdi::SetEnhMetaFileBits(good), nullptr);
    const std::size_t rec = 108 + 4;  // size field of the rectangle record
    for (const std::uint32_t size : {0u, 6u, 26u, 0x10000u}) {
        auto bad = good;
        for (int i = 0; i < 4; ++i)
            bad[rec + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        EXPECT_EQ(gdi::SetEnhMetaFileBits(bad), nullptr) << size;
    }
    // A total size beyond the data, a missing end record, a header of zero millimetres.
    auto longer = good;
    longer[48] = 0xFF;
    EXPECT_EQ(gdi::SetEnhMetaFileBits(longer), nullptr);
    auto noEof = good;
    noEof.resize(noEof.size() - 20);
    EXPECT_EQ(gdi::SetEnhMetaFileBits(noEof), nullptr);
    EXPECT_EQ(gdi::SetEnhMetaFileBits(EmfFile(4, 4, 0).Bytes()), nullptr);
    // Millimetres whose hundredfold passes 32 bits would overflow the size conversions.
    EXPECT_EQ(gdi::SetEnhMetaFileBits(EmfFile(4, 4, 30000000).Bytes()), nullptr);
}

TEST(EmfPlayer, fieldsPointingOutsideTheirRecordSkipOnlyThatRecord)
{
    EmfFile e(8, 8);
    e.Rec(emr::kPolygon, {0, 0, 0, 0, 1000000, 0, 0, 4, 0});                     // more points than the record holds
    e.Rec(emr::kSelectObject, {5000}).Rec(emr::kCreatePen, {9000, 0, 1, 0, 0});  // slots out of range
    auto dib = Dib(1, 1, 24, 0, {}, {0, 0, 255, 0});
    auto body = StretchDIBitsBody(0, 0, 8, 8, 1, 1, dib, 40);
    body[40] = 0xF0;  // the bitmap header's offset far outside the record
    e.Raw(emr::kStretchDIBits, body);
    RedBrush(e).Rec(emr::kSelectObject, {kNullPen}).Rec(emr::kRectangle, {0, 0, 4, 4});
    const Canvas24 c = Play(e.Bytes(), 8, 8);
    EXPECT_EQ(c.At(1, 1), 0xFF0000u);
    EXPECT_EQ(c.At(6, 6), 0xFFFFFFu);
}

TEST(WmfConvert, objectSlotsAreReusedLowestFirst)
{
    WmfFile w;
    w.Rec(wmr::kSetWindowOrg, {0, 0}).Rec(wmr::kSetWindowExt, {8, 8});  // y, x
    w.Rec(wmr::kCreatePenIndirect, {5, 0, 0, 0, 0});                    // slot 0: null pen
    w.Rec(wmr::kCreateBrushIndirect, {0, 0x00FF, 0, 0});                // slot 1: red
    w.Rec(wmr::kSelectObject, {0}).Rec(wmr::kDeleteObject, {0});
    w.Rec(wmr::kCreateBrushIndirect, {0, 0x0000, 0x00FF, 0});           // slot 0 again: blue
    w.Rec(wmr::kSelectObject, {0}).Rec(wmr::kRectangle, {4, 4, 0, 0});  // bottom, right, top, left
    w.Rec(wmr::kSelectObject, {1}).Rec(wmr::kRectangle, {8, 8, 4, 4});
    auto picture = gdi::SetWinMetaFileBits(w.Records(), {}, {0, 0, 8, 8});
    ASSERT_NE(picture, nullptr);
    Canvas24 c(8, 8);
    auto t = c.Target();
    gdi::PlayEnhMetaFile(t, *picture, {0, 0, 8, 8});
    EXPECT_EQ(c.At(1, 1), 0x0000FFu);
    EXPECT_EQ(c.At(5, 5), 0xFF0000u);
}

TEST(WmfConvert, frameComesFromTheWindowOrTheBox)
{
    WmfFile withWindow;
    withWindow.Rec(wmr::kSetWindowExt, {100, 192});
    auto a = gdi::SetWinMetaFileBits(withWindow.Records(), {}, {0, 0, 10, 10});
    ASSERT_NE(a, nullptr);
    // 192 x 100 screen pixels at 1920 px per 508 mm and 1080 per 286 mm.
    EXPECT_EQ(a->Header().rclFrame.right, 5080);
    EXPECT_EQ(a->Header().rclFrame.bottom, 2648);
    auto b = gdi::SetWinMetaFileBits(WmfFile().Records(), {}, {0, 0, 1920, 1080});
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Header().rclFrame.right, 50800);
    EXPECT_EQ(b->Header().rclFrame.bottom, 28600);
    auto c = gdi::SetWinMetaFileBits(WmfFile().Records(), {8, 1234, 567}, {0, 0, 1920, 1080});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Header().rclFrame.right, 1234);
    EXPECT_EQ(c->Header().rclFrame.bottom, 567);
}

TEST(WmfConvert, recordSizesUnderThreeWordsOrPastTheEndRefuseTheRecords)
{
    auto records = WmfFile().Rec(wmr::kLineTo, {1, 1}).Records();
    for (const std::uint32_t words : {0u, 2u, 1000u}) {
        auto bad = records;
        for (int i = 0; i < 4; ++i)
            bad[18 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(words >> (8 * i));
        EXPECT_EQ(gdi::SetWinMetaFileBits(bad, {}, {0, 0, 10, 10}), nullptr) << words;
    }
}

}  // namespace
}  // namespace scalopex::test

namespace scalopex::test {
namespace {

TEST(WmfConvert, aRecordCutShortIsLeftOutAndTheRestConverted)
{
    WmfFile w;
    w.Rec(gdi::wmr::kSetWindowExt, {8, 8});
    // A stretch-DIB record whose bitmap header ends after 4 bytes.
    w.RawRec(gdi::wmr::kStretchDib, std::vector<std::uint8_t>(22 + 4, 0));
    w.Rec(gdi::wmr::kCreateBrushIndirect, {0, 0x00FF, 0, 0}).Rec(gdi::wmr::kSelectObject, {0});
    w.Rec(gdi::wmr::kRectangle, {8, 8, 0, 0});
    auto picture = gdi::SetWinMetaFileBits(w.Records(), {}, {0, 0, 8, 8});
    ASSERT_NE(picture, nullptr);
    Canvas24 c(8, 8);
    auto t = c.Target();
    gdi::PlayEnhMetaFile(t, *picture, {0, 0, 8, 8});
    EXPECT_EQ(c.At(4, 4), 0xFF0000u);
}

}  // namespace
}  // namespace scalopex::test

namespace scalopex::test {
namespace {

TEST(WmfConvert, frameIsTheBoxOfWhatTheRecordsDraw)
{
    // The window is 100 x 100 but the rectangle lies at 50..150: the picture's
    // frame is the rectangle's box, so it fills the whole target.
    WmfFile w;
    w.Rec(gdi::wmr::kSetWindowOrg, {0, 0}).Rec(gdi::wmr::kSetWindowExt, {100, 100});
    w.Rec(gdi::wmr::kCreateBrushIndirect, {0, 0x00FF, 0, 0}).Rec(gdi::wmr::kSelectObject, {0});
    w.Rec(gdi::wmr::kCreatePenIndirect, {5, 0, 0, 0, 0}).Rec(gdi::wmr::kSelectObject, {1});
    w.Rec(gdi::wmr::kRectangle, {150, 150, 50, 50});  // bottom, right, top, left
    auto picture = gdi::SetWinMetaFileBits(w.Records(), {}, {0, 0, 100, 100});
    ASSERT_NE(picture, nullptr);
    const auto& frame = picture->Header().rclFrame;
    EXPECT_EQ(frame.left, 1323);   // 50 screen pixels at 1920 per 508 mm
    EXPECT_EQ(frame.right, 3969);  // 150
    EXPECT_EQ(frame.top, 1324);    // 50 at 1080 per 286 mm
    Canvas24 c(20, 20);
    auto t = c.Target();
    gdi::PlayEnhMetaFile(t, *picture, {0, 0, 20, 20});
    EXPECT_EQ(c.At(0, 0), 0xFF0000u);
    EXPECT_EQ(c.At(18, 18), 0xFF0000u);  // a null pen leaves the last row and column out
    // The second pass of opening, with the far corner as suggested size, keeps it.
    auto again = gdi::SetWinMetaFileBits(w.Records(), {8, frame.right, frame.bottom}, {0, 0, 100, 100});
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Header().rclFrame.left, frame.left);
    EXPECT_EQ(again->Header().rclFrame.bottom, frame.bottom);
}

}  // namespace
}  // namespace scalopex::test
