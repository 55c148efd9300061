// The octree reduction and its nearest-entry lookup, against palettes
// worked out by hand and against the plain nearest-palette-index search.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "formats/gif/color_reduction.h"
#include "platform/gdi/palette.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using formats::TColorQuantizer;
using formats::TColorReduction;
using formats::TSlowColorLookup;

namespace {

gdi::TPaletteEntry Entry(std::uint32_t rgb)
{
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb), 0};
}

std::uint32_t Rgb(const gdi::TPaletteEntry& e)
{
    return (static_cast<std::uint32_t>(e.peRed) << 16) | (static_cast<std::uint32_t>(e.peGreen) << 8) | e.peBlue;
}

// The palette of an octree reduction of source.
gdi::TLogPalette OctreePaletteOf(const core::TBitmap& source)
{
    return formats::ReduceColors(source, TColorReduction::OctreeWithSystemColors)->Palette();
}

void ExpectStaticColoursAroundTheOctree(const gdi::TLogPalette& palette)
{
    ASSERT_EQ(palette.size(), 256u);
    const gdi::TLogPalette& statics = gdi::DefaultPalette();
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(palette[i], statics[i]) << i;
        EXPECT_EQ(palette[246 + i], statics[10 + i]) << i;
    }
}

}  // namespace

TEST(ColorReduction, threeColoursComeOutExactlyInTreeOrder)
{
    // Red goes to child 4 of the root, green to child 2, blue to child 1.
    auto source = test::MakeBitmap24(3, 2, [](int x, int y) {
        static const std::uint32_t colors[3] = {0xFF0000, 0x00FF00, 0x0000FF};
        return colors[(x + y) % 3];
    });
    const gdi::TLogPalette palette = OctreePaletteOf(*source);
    ExpectStaticColoursAroundTheOctree(palette);
    EXPECT_EQ(Rgb(palette[10]), 0x0000FFu);
    EXPECT_EQ(Rgb(palette[11]), 0x00FF00u);
    EXPECT_EQ(Rgb(palette[12]), 0xFF0000u);
    for (std::size_t i = 13; i < 246; ++i)
        EXPECT_EQ(Rgb(palette[i]), 0u) << i;
}

TEST(ColorReduction, the237thColourMergesTheNewestDeepestNodes)
{
    // Reds 0..236: pairs (2k, 2k+1) share a level-7 node. After red 236 the
    // tree has 237 leaves; its own level-7 node (one child) is merged first,
    // which changes nothing, then the node of 234 and 235, giving 236 leaves.
    auto source = test::MakeBitmap24(237, 1, [](int x, int) { return static_cast<std::uint32_t>(x) << 16; });
    TColorQuantizer quantizer(236, 8);
    quantizer.ProcessRow(source->ScanLineRead(0), 237);
    EXPECT_EQ(quantizer.ColorCount(), 236);

    const gdi::TLogPalette palette = OctreePaletteOf(*source);
    ExpectStaticColoursAroundTheOctree(palette);
    for (std::uint32_t k = 0; k < 234; ++k)
        EXPECT_EQ(Rgb(palette[10 + k]), k << 16) << k;
    EXPECT_EQ(Rgb(palette[244]), 234u << 16);  // (234 + 235) / 2, truncated
    EXPECT_EQ(Rgb(palette[245]), 236u << 16);

    // Red 235 lies as near 234 as 236: the lower index wins.
    const auto reduced = formats::ReduceColors(*source, TColorReduction::OctreeWithSystemColors);
    EXPECT_EQ(reduced->ScanLineRead(0)[235], 244);
    EXPECT_EQ(reduced->ScanLineRead(0)[236], 245);
}

TEST(ColorReduction, aPhotographKeepsAtMost236OctreeColours)
{
    std::mt19937 random(7);
    auto source = test::MakeBitmap24(160, 120, [&](int x, int y) {
        const std::uint32_t noise = random() & 0x0F0F0F;
        return ((static_cast<std::uint32_t>(x * 255 / 159) << 16) | (static_cast<std::uint32_t>(y * 255 / 119) << 8) |
                static_cast<std::uint32_t>((x + y) & 0xFF)) ^
               noise;
    });
    TColorQuantizer quantizer(236, 8);
    for (int y = 0; y < source->Height(); ++y)
        quantizer.ProcessRow(source->ScanLineRead(y), source->Width());
    EXPECT_LE(quantizer.ColorCount(), 236);
    EXPECT_GT(quantizer.ColorCount(), 200);
    EXPECT_EQ(quantizer.ColorTable().size(), static_cast<std::size_t>(quantizer.ColorCount()));

    const auto reduced = formats::ReduceColors(*source, TColorReduction::OctreeWithSystemColors);
    EXPECT_EQ(reduced->PixelFormat(), core::pf8bit);
    EXPECT_EQ(reduced->Width(), 160);
    EXPECT_EQ(reduced->Height(), 120);
    ExpectStaticColoursAroundTheOctree(reduced->Palette());

    // Every pixel takes the nearest entry of the palette.
    const gdi::TLogPalette palette = reduced->Palette();
    for (int y = 0; y < 120; y += 7)
        for (int x = 0; x < 160; x += 5) {
            const std::uint32_t c = test::PixelRGB(*source, x, y);
            EXPECT_EQ(reduced->ScanLineRead(y)[x],
                      gdi::NearestPaletteIndex(palette, static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                                               static_cast<std::uint8_t>(c)));
        }
}

TEST(ColorReduction, staticColoursMapToAnEntryOfExactlyThatColour)
{
    const gdi::TLogPalette& statics = gdi::DefaultPalette();
    auto source = test::MakeBitmap24(20, 1, [&](int x, int) { return Rgb(statics[static_cast<std::size_t>(x)]); });
    const auto reduced = formats::ReduceColors(*source, TColorReduction::OctreeWithSystemColors);
    const gdi::TLogPalette palette = reduced->Palette();
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(palette[reduced->ScanLineRead(0)[x]], statics[static_cast<std::size_t>(x)]) << x;
}

TEST(ColorReduction, aDeeperSourceReducesLikeItsTwentyFourBitFormAndStaysAsItIs)
{
    auto source = test::MakeBitmap24(
        31, 17, [](int x, int y) { return static_cast<std::uint32_t>(x * 8 << 16 | y * 15 << 8 | (x ^ y) * 4); });
    core::TBitmap deep;
    deep.Assign(source.get());
    deep.SetPixelFormat(core::pf32bit);

    const auto a = formats::ReduceColors(*source, TColorReduction::OctreeWithSystemColors);
    const auto b = formats::ReduceColors(deep, TColorReduction::OctreeWithSystemColors);
    EXPECT_EQ(a->Palette(), b->Palette());
    for (int y = 0; y < 17; ++y)
        EXPECT_EQ(0, std::memcmp(a->ScanLineRead(y), b->ScanLineRead(y), 31)) << y;
    EXPECT_EQ(deep.PixelFormat(), core::pf32bit);
}

TEST(ColorReduction, webCubeMapsToTheNearestCubeColour)
{
    auto source = test::MakeBitmap24(3, 1, [](int x, int) { return x == 0 ? 0x000000u : x == 1 ? 0x1A3366u : 0xFFFFFFu; });
    const auto reduced = formats::ReduceColors(*source, TColorReduction::WebCube);
    const gdi::TLogPalette palette = reduced->Palette();
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(Rgb(palette[reduced->ScanLineRead(0)[0]]), 0x000000u);
    EXPECT_EQ(Rgb(palette[reduced->ScanLineRead(0)[1]]), 0x333366u);
    EXPECT_EQ(Rgb(palette[reduced->ScanLineRead(0)[2]]), 0xFFFFFFu);
}

TEST(ColorLookup, givesTheSameIndexAsTheFullSearch)
{
    std::mt19937 random(11);
    std::vector<gdi::TLogPalette> palettes;
    palettes.push_back(gdi::HalftonePalette());
    palettes.push_back({Entry(0x808080)});
    palettes.push_back({Entry(0x000000), Entry(0xFFFFFF), Entry(0x000000), Entry(0xFFFFFF)});  // duplicates
    gdi::TLogPalette clustered;  // near-ties inside one cell
    for (int i = 0; i < 256; ++i)
        clustered.push_back(Entry(0x404040 + static_cast<std::uint32_t>((i & 7) | ((i >> 3) & 7) << 8 | (i >> 6) << 16)));
    palettes.push_back(clustered);
    gdi::TLogPalette scattered;
    for (int i = 0; i < 256; ++i)
        scattered.push_back(Entry(random() & 0xFFFFFF));
    palettes.push_back(scattered);

    for (const gdi::TLogPalette& palette : palettes) {
        TSlowColorLookup lookup(palette);
        for (int i = 0; i < 20000; ++i) {
            const std::uint32_t c =
                i < 512 ? static_cast<std::uint32_t>(0x3C3C3C + (i & 15) + ((i >> 4) & 15) * 256 + (i >> 8) * 65536)
                        : random() & 0xFFFFFF;
            const auto r = static_cast<std::uint8_t>(c >> 16), g = static_cast<std::uint8_t>(c >> 8),
                       b = static_cast<std::uint8_t>(c);
            ASSERT_EQ(lookup.Lookup(r, g, b), gdi::NearestPaletteIndex(palette, r, g, b)) << std::hex << c;
        }
    }
}
