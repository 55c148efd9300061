// Text records: the font's height forms, alignment, escapement, advances,
// opaque and clipped boxes, and the face-name mapping. Pixels are judged by
// where ink falls, which holds for any metric-compatible font.

#include <gtest/gtest.h>

#include <string>

#include "base/exceptions.h"
#include "platform/gdi/emf_records.h"
#include "platform/gdi/font_map.h"
#include "tests/formats/metafile/metafile_builders.h"

namespace scalopex::test {
namespace {

using namespace scalopex::gdi;

struct TInk {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    long count = 0;
    int Width() const { return x1 - x0 + 1; }
    int Height() const { return y1 - y0 + 1; }
};

// The box of pixels whose every channel is darker than mid-grey.
TInk InkOf(const Canvas24& c)
{
    TInk ink;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t p = c.At(x, y);
            if ((p & 0xFF) < 128 && ((p >> 8) & 0xFF) < 128 && ((p >> 16) & 0xFF) < 128) {
                ink.x0 = std::min(ink.x0, x);
                ink.y0 = std::min(ink.y0, y);
                ink.x1 = std::max(ink.x1, x);
                ink.y1 = std::max(ink.y1, y);
                ++ink.count;
            }
        }
    return ink;
}

std::vector<std::uint8_t> FontBody(std::int32_t slot, std::int32_t height, std::int32_t escapement,
                                   const std::string& face, std::int32_t weight = 400)
{
    ByteBuilder b;
    b.u32le(static_cast<std::uint32_t>(slot)).u32le(static_cast<std::uint32_t>(height)).u32le(0);
    b.u32le(static_cast<std::uint32_t>(escapement)).u32le(static_cast<std::uint32_t>(escapement));
    b.u32le(static_cast<std::uint32_t>(weight)).u8(0).u8(0).u8(0).u8(0).u32le(0);
    for (int i = 0; i < 32; ++i)
        b.u16le(i < static_cast<int>(face.size()) ? static_cast<std::uint8_t>(face[static_cast<std::size_t>(i)]) : 0);
    return b.take();
}

// EXTTEXTOUTW of text at (x, y); dx empty: the font's own advances.
std::vector<std::uint8_t> TextBody(std::int32_t x, std::int32_t y, const std::string& text, std::uint32_t options = 0,
                                   TRectL box = {}, const std::vector<std::int32_t>& dx = {})
{
    ByteBuilder b;
    b.u32le(0).u32le(0).u32le(0).u32le(0);  // bounds
    b.u32le(1).u32le(0).u32le(0);           // graphics mode, scales
    const std::uint32_t offString = 76;
    const std::uint32_t stringBytes = static_cast<std::uint32_t>((text.size() * 2 + 3) / 4 * 4);
    b.u32le(static_cast<std::uint32_t>(x)).u32le(static_cast<std::uint32_t>(y));
    b.u32le(static_cast<std::uint32_t>(text.size())).u32le(offString).u32le(options);
    b.u32le(static_cast<std::uint32_t>(box.left)).u32le(static_cast<std::uint32_t>(box.top));
    b.u32le(static_cast<std::uint32_t>(box.right)).u32le(static_cast<std::uint32_t>(box.bottom));
    b.u32le(dx.empty() ? 0 : offString + stringBytes);
    for (std::size_t i = 0; i < stringBytes / 2; ++i)
        b.u16le(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    for (auto d : dx)
        b.u32le(static_cast<std::uint32_t>(d));
    return b.take();
}

Canvas24 PlayText(std::int32_t height, std::int32_t escapement, std::uint32_t align,
                  const std::vector<std::uint8_t>& text, const std::string& face = "Arial", std::uint32_t bkMode = 1)
{
    EmfFile e(200, 200);
    e.Raw(emr::kExtCreateFontIndirectW, FontBody(1, height, escapement, face)).Rec(emr::kSelectObject, {1});
    e.Rec(emr::kSetTextAlign, {static_cast<std::int32_t>(align)})
        .Rec(emr::kSetBkMode, {static_cast<std::int32_t>(bkMode)});
    e.Raw(emr::kExtTextOutW, text);
    return Play(e.Bytes(), 200, 200);
}

TEST(EmfText, heightsAreCellOrEmAndTheBaselineAlignsAsAsked)
{
    constexpr std::uint32_t kBaseline = 24, kBottom = 8;
    const TInk em = InkOf(PlayText(-40, 0, kBaseline, TextBody(20, 100, "HHH")));
    ASSERT_GT(em.count, 0);
    // A capital H of a 40-pixel em is about 29 pixels tall and sits on the baseline.
    EXPECT_NEAR(em.Height(), 29, 3);
    EXPECT_NEAR(em.y1, 99, 1);
    EXPECT_NEAR(em.x0, 22, 3);
    // A positive height is the cell: the same glyphs come out smaller.
    const TInk cell = InkOf(PlayText(40, 0, kBaseline, TextBody(20, 100, "HHH")));
    EXPECT_LT(cell.Height(), em.Height() - 2);
    // Top alignment hangs the text below the point; bottom puts it above.
    const TInk top = InkOf(PlayText(-40, 0, 0, TextBody(20, 100, "HHH")));
    EXPECT_GT(top.y0, 100);
    const TInk bottom = InkOf(PlayText(-40, 0, kBottom, TextBody(20, 100, "HHH")));
    EXPECT_LT(bottom.y1, 95);
}

TEST(EmfText, horizontalAlignmentPutsThePointAtTheLeftRightOrCentre)
{
    constexpr std::uint32_t kRight = 2, kCenter = 6, kBaseline = 24;
    const TInk left = InkOf(PlayText(-30, 0, kBaseline, TextBody(100, 100, "HHHH")));
    const TInk right = InkOf(PlayText(-30, 0, kRight | kBaseline, TextBody(100, 100, "HHHH")));
    const TInk centre = InkOf(PlayText(-30, 0, kCenter | kBaseline, TextBody(100, 100, "HHHH")));
    EXPECT_GE(left.x0, 100);
    EXPECT_LE(right.x1, 100);
    EXPECT_LT(centre.x0, 100);
    EXPECT_GT(centre.x1, 100);
    EXPECT_NEAR(centre.x0 + centre.x1, 200, 4);
}

TEST(EmfText, escapementNineHundredRunsTheTextUpwards)
{
    const TInk flat = InkOf(PlayText(-30, 0, 24, TextBody(100, 150, "HHHHH")));
    const TInk up = InkOf(PlayText(-30, 900, 24, TextBody(100, 150, "HHHHH")));
    EXPECT_GT(flat.Width(), flat.Height());
    EXPECT_GT(up.Height(), up.Width());
    EXPECT_LE(up.y1, 151);  // it leaves the point upwards
    EXPECT_LE(up.x1, 101);  // the baseline is on its right
}

TEST(EmfText, dxAdvancesPlaceEveryGlyph)
{
    const TInk natural = InkOf(PlayText(-20, 0, 24, TextBody(10, 100, "IIII")));
    const TInk spaced = InkOf(PlayText(-20, 0, 24, TextBody(10, 100, "IIII", 0, {}, {40, 40, 40, 40})));
    EXPECT_NEAR(spaced.x1 - spaced.x0, 3 * 40 + (natural.x1 - natural.x0) - 3 * ((natural.x1 - natural.x0) / 3), 8);
    EXPECT_GT(spaced.Width(), natural.Width() + 80);
}

TEST(EmfText, opaqueBoxIsFilledAndClippedTextStaysInItsBox)
{
    constexpr std::uint32_t kOpaque = 2, kClipped = 4;
    EmfFile e(200, 200);
    e.Rec(emr::kSetBkColor, {0x0000FF});
    e.Raw(emr::kExtCreateFontIndirectW, FontBody(1, -60, 0, "Arial")).Rec(emr::kSelectObject, {1});
    e.Rec(emr::kSetTextAlign, {24}).Rec(emr::kSetBkMode, {1});
    e.Raw(emr::kExtTextOutW, TextBody(10, 100, "", kOpaque, {150, 150, 190, 190}));
    e.Raw(emr::kExtTextOutW, TextBody(10, 100, "WWWW", kClipped, {0, 0, 60, 200}));
    const Canvas24 c = Play(e.Bytes(), 200, 200);
    EXPECT_EQ(c.At(150, 150), 0xFF0000u);
    EXPECT_EQ(c.At(189, 189), 0xFF0000u);
    EXPECT_EQ(c.At(190, 190), 0xFFFFFFu);
    const TInk ink = InkOf(c);
    ASSERT_GT(ink.count, 0);
    EXPECT_LT(ink.x1, 60);
}

TEST(EmfText, opaqueBackgroundModeFillsTheTextCell)
{
    EmfFile e(200, 200);
    e.Rec(emr::kSetBkColor, {0x00FF00});
    e.Raw(emr::kExtCreateFontIndirectW, FontBody(1, -30, 0, "Arial")).Rec(emr::kSelectObject, {1});
    e.Rec(emr::kSetBkMode, {2});
    e.Raw(emr::kExtTextOutW, TextBody(10, 10, "..."));
    const Canvas24 c = Play(e.Bytes(), 200, 200);
    EXPECT_EQ(c.At(11, 12), 0x00FF00u);  // above the dots, inside the cell
    EXPECT_EQ(c.At(11, 60), 0xFFFFFFu);
}

TEST(EmfText, faceNamesMapOntoMetricCompatibleFonts)
{
    EXPECT_EQ(MappedFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(MappedFamily("helvetica"), "Liberation Sans");
    EXPECT_EQ(MappedFamily("Times New Roman"), "Liberation Serif");
    EXPECT_EQ(MappedFamily("Courier New"), "Liberation Mono");
    EXPECT_EQ(MappedFamily("Calibri"), "Carlito");
    EXPECT_EQ(MappedFamily("Cambria"), "Caladea");
    EXPECT_EQ(MappedFamily(""), "sans-serif");
    EXPECT_EQ(MappedFamily("Some Face"), "Some Face");
    // A face nobody has still draws, in the nearest font.
    EXPECT_GT(InkOf(PlayText(-30, 0, 24, TextBody(10, 100, "Hello"), "No Such Face At All")).count, 50);
}

TEST(EmfText, fontRecordsCutShortOrTextPastItsRecordDrawNothing)
{
    EmfFile e(100, 100);
    e.Raw(emr::kExtCreateFontIndirectW, std::vector<std::uint8_t>(20, 0)).Rec(emr::kSelectObject, {1});
    auto body = TextBody(10, 50, "HHHH");
    body[36] = 0xFF;  // character count far past the record
    body[37] = 0xFF;
    e.Raw(emr::kExtTextOutW, body);
    EXPECT_EQ(InkOf(Play(e.Bytes(), 100, 100)).count, 0);
    EXPECT_THROW(ReadLogFontW(std::vector<std::uint8_t>(40, 0)), scalopex::base::Exception);
}

}  // namespace
}  // namespace scalopex::test

namespace scalopex::test {
namespace {

TEST(WmfText, textOutAndExtTextOutDrawWithTheirFont)
{
    using gdi::wmr::kCreateFontIndirect;
    WmfFile w;
    w.Rec(gdi::wmr::kSetWindowOrg, {0, 0}).Rec(gdi::wmr::kSetWindowExt, {100, 200});
    // LOGFONT: height -30, width, escapement, orientation, weight, then flags and "Arial".
    w.Rec(kCreateFontIndirect, {-30, 0, 0, 0, 400, 0, 0, 0, 0, 'A' | ('r' << 8), 'i' | ('a' << 8), 'l', 0});
    w.Rec(gdi::wmr::kSelectObject, {0}).Rec(gdi::wmr::kSetTextAlign, {24}).Rec(gdi::wmr::kSetBkMode, {1});
    w.Rec(gdi::wmr::kTextOut, {3, 'H' | ('H' << 8), 'H', 50, 10});    // count, "HHH", y, x
    w.Rec(gdi::wmr::kExtTextOut, {90, 110, 2, 0, 'H' | ('H' << 8)});  // y, x, count, options, "HH"
    auto picture = gdi::SetWinMetaFileBits(w.Records(), {}, {0, 0, 200, 100});
    ASSERT_NE(picture, nullptr);
    Canvas24 c(200, 100);
    auto t = c.Target();
    gdi::PlayEnhMetaFile(t, *picture, {0, 0, 200, 100});
    // Ink above each baseline, right of each point; with only text drawn the
    // frame is the window.
    int a = 0, b = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            if ((c.At(x, y) & 0xFF) < 128) {
                if (y < 51 && x < 100)
                    ++a;
                else if (y > 55 && x >= 110)
                    ++b;
            }
    EXPECT_GT(a, 100);
    EXPECT_GT(b, 60);
}

}  // namespace
}  // namespace scalopex::test
