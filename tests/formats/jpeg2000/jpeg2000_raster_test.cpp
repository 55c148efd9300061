// Decoded components to raster bytes, on hand-made component data: which
// byte each component reaches, the conversion of every precision and
// signedness, subsampled placement and the sYCC conversion.

#include "formats/jpeg2000/jpeg2000_raster.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/formats/jpeg2000/jpeg2000_test_util.h"

namespace scalopex::formats::jp2 {
namespace {

using test::jpeg2000::Bytes;
using test::jpeg2000::RowOf;
using Type = TComponentType;

struct Plane {
    std::uint32_t w = 1, h = 1, dx = 1, dy = 1;
    std::vector<std::int32_t> samples;
    int precision = 8;
    bool isSigned = false;
    Type type = Type::Unspecified;
};

// Builds the image of width × height from planes, whose samples live in planes.
TDecodedImage ImageOf(std::uint32_t width, std::uint32_t height, const std::vector<Plane>& planes,
                      TColorSpace space = TColorSpace::Unknown, std::uint32_t x0 = 0, std::uint32_t y0 = 0)
{
    TDecodedImage image{.x0 = x0, .y0 = y0, .x1 = x0 + width, .y1 = y0 + height, .colorSpace = space, .components = {}};
    for (const Plane& p : planes)
        image.components.push_back({.dx = p.dx,
                                    .dy = p.dy,
                                    .x0 = (x0 + p.dx - 1) / p.dx,
                                    .y0 = (y0 + p.dy - 1) / p.dy,
                                    .w = p.w,
                                    .h = p.h,
                                    .precision = p.precision,
                                    .isSigned = p.isSigned,
                                    .type = p.type,
                                    .samples = p.samples.data()});
    return image;
}

Bytes Raster(const TDecodedImage& image, core::TBitmap& bitmap)
{
    BuildRaster(image, bitmap);
    Bytes all;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const Bytes row = RowOf(bitmap, y);
        all.insert(all.end(), row.begin(), row.end());
    }
    return all;
}

TEST(Jpeg2000Raster, ComponentsReachTheBytesTheirCountAndRolesGive)
{
    struct Case {
        const char* name;
        std::vector<Plane> planes;
        TColorSpace space;
        core::TPixelFormat format;
        Bytes pixel;
        bool alpha;
    } cases[] = {
        {"three raw components fill the pixel from its last byte",
         {{.samples = {10}}, {.samples = {20}}, {.samples = {30}}},
         TColorSpace::Unknown,
         core::pf24bit,
         {30, 20, 10},
         false},
        {"four raw components too, the first in the fourth byte",
         {{.samples = {10}}, {.samples = {20}}, {.samples = {30}}, {.samples = {40}}},
         TColorSpace::Unknown,
         core::pf32bit,
         {40, 30, 20, 10},
         false},
        {"red, green and blue by role in any order",
         {{.samples = {10}, .type = Type::Blue},
          {.samples = {20}, .type = Type::Red},
          {.samples = {30}, .type = Type::Green}},
         TColorSpace::sRGB,
         core::pf24bit,
         {10, 30, 20},
         false},
        {"opacity goes to the fourth byte and is alpha",
         {{.samples = {1}, .type = Type::Red},
          {.samples = {2}, .type = Type::Green},
          {.samples = {3}, .type = Type::Blue},
          {.samples = {4}, .type = Type::Opacity}},
         TColorSpace::sRGB,
         core::pf32bit,
         {3, 2, 1, 4},
         true},
        {"one component is grey", {{.samples = {77}}}, TColorSpace::Greyscale, core::pf8bit, {77}, false},
        {"grey and opacity use the first only",
         {{.samples = {77}, .type = Type::Luma}, {.samples = {5}, .type = Type::Opacity}},
         TColorSpace::Greyscale,
         core::pf8bit,
         {77},
         false},
        {"five components use the first only",
         {{.samples = {9}}, {.samples = {1}}, {.samples = {2}}, {.samples = {3}}, {.samples = {4}}},
         TColorSpace::Unknown,
         core::pf8bit,
         {9},
         false},
        {"a lone red component is grey",
         {{.samples = {66}, .type = Type::Red}},
         TColorSpace::sRGB,
         core::pf8bit,
         {66},
         false},
        {"opacity among three components is left out, its byte stays white",
         {{.samples = {1}}, {.samples = {2}}, {.samples = {3}, .type = Type::Opacity}},
         TColorSpace::Unknown,
         core::pf24bit,
         {255, 2, 1},
         false},
        {"bytes no component reaches stay white",
         {{.samples = {7}, .type = Type::Red},
          {.samples = {8}, .type = Type::Red},
          {.samples = {9}, .type = Type::Red}},
         TColorSpace::sRGB,
         core::pf24bit,
         {255, 255, 9},
         false},
        {"the fourth byte of white is 0",
         {{.samples = {1}, .type = Type::Red},
          {.samples = {2}, .type = Type::Green},
          {.samples = {3}, .type = Type::Blue},
          {.samples = {4}, .type = Type::Blue}},
         TColorSpace::sRGB,
         core::pf32bit,
         {4, 2, 1, 0},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Two rows of four pixels: a byte written past a pixel shows in the next one.
        std::vector<Plane> planes = c.planes;
        for (Plane& p : planes) {
            p.w = 4;
            p.h = 2;
            p.samples.resize(8, p.samples[0]);
        }
        core::TBitmap bitmap;
        const Bytes bytes = Raster(ImageOf(4, 2, planes, c.space), bitmap);
        EXPECT_EQ(bitmap.PixelFormat(), c.format);
        EXPECT_EQ(bitmap.HasAlpha(), c.alpha);
        Bytes expected;
        for (int i = 0; i < 8; ++i)
            expected.insert(expected.end(), c.pixel.begin(), c.pixel.end());
        EXPECT_EQ(bytes, expected);
        if (c.format == core::pf8bit) {
            ASSERT_EQ(bitmap.Palette().size(), 256u);
            EXPECT_EQ(bitmap.Palette()[200], (gdi::TPaletteEntry{200, 200, 200, 0}));
        }
    }
}

TEST(Jpeg2000Raster, SamplesOfEveryPrecisionBecomeBytes)
{
    struct Case {
        int precision;
        bool isSigned;
        std::vector<std::int32_t> samples;
        Bytes bytes;
    } cases[] = {
        {8, false, {0, 200, 255, 300, -1}, {0, 200, 255, 44, 255}},  // 8 bits wrap
        {8, true, {-128, 0, 127}, {0, 128, 255}},
        {16, false, {0, 32768, 65535}, {0, 127, 255}},
        {16, true, {-32768, 0, 32767}, {0, 127, 255}},
        {12, false, {0, 2048, 4095}, {0, 127, 255}},
        {1, false, {0, 1}, {0, 255}},
        {4, true, {-8, 7}, {0, 255}},
        {24, false, {0, 1 << 23, (1 << 24) - 1}, {0, 127, 255}},
        {31, false, {0, 1 << 30, 0x7FFFFFFF}, {0, 127, 255}},
        {12, false, {-5, 5000}, {0, 255}},  // outside the precision: limited
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.precision) + (c.isSigned ? " bits signed" : " bits"));
        const auto n = static_cast<std::uint32_t>(c.samples.size());
        core::TBitmap bitmap;
        const Bytes bytes = Raster(
            ImageOf(n, 1, {{.w = n, .samples = c.samples, .precision = c.precision, .isSigned = c.isSigned}}), bitmap);
        EXPECT_EQ(bytes, c.bytes);
    }
}

TEST(Jpeg2000Raster, SyccPixelsBecomeRgbRoundedHalvesToEven)
{
    struct Case {
        std::int32_t y, cb, cr;
        Bytes bgr;
    } cases[] = {
        {128, 128, 255, {128, 37, 255}},  // red 306.054 limited, green 37.30422
        {128, 128, 128, {128, 128, 128}},
        {1, 253, 128, {222, 0, 1}},  // blue 222.5 rounds to 222
        {0, 0, 0, {0, 135, 0}},      // green 0 + 44.05 + 91.41
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + " " + std::to_string(c.cb) + " " + std::to_string(c.cr));
        core::TBitmap bitmap;
        const Bytes bytes = Raster(ImageOf(1, 1,
                                           {{.samples = {c.y}, .type = Type::Luma},
                                            {.samples = {c.cb}, .type = Type::ChromaBlue},
                                            {.samples = {c.cr}, .type = Type::ChromaRed}},
                                           TColorSpace::sYCC),
                                   bitmap);
        EXPECT_EQ(bytes, c.bgr);
    }
}

TEST(Jpeg2000Raster, SubsampledComponentsCoverThePixelsOfTheirSamples)
{
    // 4:2:0: the full-resolution component keeps every row and column; the
    // 2 x 2 components repeat each sample over its block, the last one up to
    // the raster's odd edge.
    const Plane luma{.w = 3, .h = 3, .samples = {10, 11, 12, 20, 21, 22, 30, 31, 32}};
    const Plane cb{.w = 2, .h = 2, .dx = 2, .dy = 2, .samples = {1, 2, 3, 4}};
    const Plane cr{.w = 2, .h = 2, .dx = 2, .dy = 2, .samples = {5, 6, 7, 8}};
    core::TBitmap bitmap;
    const Bytes bytes = Raster(ImageOf(3, 3, {luma, cb, cr}), bitmap);
    const Bytes expected = {5, 1, 10, 5, 1, 11, 6, 2, 12,  //
                            5, 1, 20, 5, 1, 21, 6, 2, 22,  //
                            7, 3, 30, 7, 3, 31, 8, 4, 32};
    EXPECT_EQ(bytes, expected);
}

TEST(Jpeg2000Raster, SubsampledSamplesSitWhereTheGridPutsThemWhenTheOriginIsOdd)
{
    // Image columns 1..4 of the grid; the dx = 2 component has samples at
    // grid columns 2 and 4, so the last raster column takes the second one.
    const Plane grey{.w = 2, .h = 1, .dx = 2, .samples = {50, 90}};
    core::TBitmap bitmap;
    EXPECT_EQ(Raster(ImageOf(4, 1, {grey}, TColorSpace::Greyscale, 1, 0), bitmap), (Bytes{50, 50, 50, 90}));
}

TEST(Jpeg2000Raster, ChannelDefinitionsGiveRolesInTheCodecsOrder)
{
    struct Case {
        const char* name;
        std::vector<TChannelDefinition> channels;
        TColorSpace space;
        std::size_t count;
        std::vector<Type> types;
    } cases[] = {
        {"no definitions", {}, TColorSpace::sRGB, 3, {Type::Unspecified, Type::Unspecified, Type::Unspecified}},
        {"sRGB in order",
         {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}},
         TColorSpace::sRGB,
         3,
         {Type::Red, Type::Green, Type::Blue}},
        {"sRGB reversed: the codec moves each channel to its association",
         {{0, 0, 3}, {1, 0, 2}, {2, 0, 1}},
         TColorSpace::sRGB,
         3,
         {Type::Red, Type::Green, Type::Blue}},
        {"a rotation of three",
         {{0, 0, 2}, {1, 0, 3}, {2, 0, 1}},
         TColorSpace::sRGB,
         3,
         {Type::Red, Type::Green, Type::Blue}},
        {"opacity first, colours after",
         {{0, 1, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 3}},
         TColorSpace::sRGB,
         4,
         {Type::Red, Type::Green, Type::Blue, Type::Opacity}},
        {"sYCC",
         {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}},
         TColorSpace::sYCC,
         3,
         {Type::Luma, Type::ChromaBlue, Type::ChromaRed}},
        {"grey and opacity", {{0, 0, 1}, {1, 1, 0}}, TColorSpace::Greyscale, 2, {Type::Luma, Type::Opacity}},
        {"an unknown colour space names no colours",
         {{0, 0, 1}, {1, 0, 2}, {2, 0, 3}},
         TColorSpace::Unknown,
         3,
         {Type::Unspecified, Type::Unspecified, Type::Unspecified}},
        {"premultiplied or associated opacity is no plain opacity",
         {{0, 0, 1}, {1, 2, 0}, {2, 1, 1}},
         TColorSpace::Greyscale,
         3,
         {Type::Luma, Type::Unspecified, Type::Unspecified}},
        {"channels and associations past the components are skipped",
         {{5, 0, 1}, {0, 0, 9}, {1, 0, 1}},
         TColorSpace::Greyscale,
         2,
         {Type::Luma, Type::Unspecified}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ComponentTypes(c.channels, c.space, c.count), c.types);
    }
}

}  // namespace
}  // namespace scalopex::formats::jp2
