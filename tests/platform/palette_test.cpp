// Palettes and the nearest-colour search.

#include <gtest/gtest.h>

#include "platform/gdi/palette.h"

using namespace scalopex::gdi;

TEST(Palettes, HoldTheStaticColoursAtTheirPlaces)
{
    const TLogPalette& def = DefaultPalette();
    ASSERT_EQ(def.size(), 20u);
    EXPECT_EQ(def[8], (TPaletteEntry{192, 220, 192, 0}));
    EXPECT_EQ(def[10], (TPaletteEntry{255, 251, 240, 0}));
    EXPECT_EQ(def[19], (TPaletteEntry{255, 255, 255, 0}));
    ASSERT_EQ(SystemPalette16().size(), 16u);
    const TLogPalette& halftone = HalftonePalette();
    ASSERT_EQ(halftone.size(), 256u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(halftone[static_cast<std::size_t>(i)], def[static_cast<std::size_t>(i)]);
        EXPECT_EQ(halftone[static_cast<std::size_t>(246 + i)], def[static_cast<std::size_t>(10 + i)]);
    }
}

TEST(Palettes, NearestIndexPrefersExactThenClosestThenLowest)
{
    const TLogPalette palette = {{0, 0, 0, 0}, {255, 0, 0, 0}, {250, 0, 0, 0}, {255, 0, 0, 0}};
    EXPECT_EQ(NearestPaletteIndex(palette, 255, 0, 0), 1u);  // first of two exact matches
    EXPECT_EQ(NearestPaletteIndex(palette, 249, 1, 0), 2u);
    EXPECT_EQ(NearestPaletteIndex(palette, 20, 20, 20), 0u);
    EXPECT_EQ(NearestPaletteIndex({}, 1, 2, 3), 0u);

    // The cached search gives the same answers as the plain one.
    TNearestColorMap map(HalftonePalette());
    for (int v = 0; v < 256; v += 5)
        EXPECT_EQ(map.Lookup(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - v), 7),
                  NearestPaletteIndex(HalftonePalette(), static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - v), 7));
}
