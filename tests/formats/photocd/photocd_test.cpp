// The Photo CD reader on image and overview packs built here from the
// format's layout: the chroma upsampling, the PhotoYCC conversion, the
// rotations, and packs that are cut short or carry no markers.

#include "formats/photocd/photocd_graphic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Plane = std::function<int(int, int)>;  // a sample of a stored plane at (x, y)

using test::ErrorOf;

// Chroma values that add no colour: the PhotoYCC tables centre C1 on 156 and C2 on 137.
constexpr int kNeutralC1 = 156;
constexpr int kNeutralC2 = 137;

struct PackLayout {
    bool overview = false;
    int rotation = 0;
    Plane luma = [](int x, int y) { return (x + 3 * y) & 0xFF; };
    Plane chroma1 = [](int, int) { return kNeutralC1; };  // 384 x 256
    Plane chroma2 = [](int, int) { return kNeutralC2; };
};

Bytes Pack(const PackLayout& s)
{
    const std::size_t start = (s.overview ? pcd::kOverviewPackSectors : pcd::kImagePackSectors) * pcd::kSectorSize;
    Bytes file(start + pcd::kBaseImageBytes, 0);
    if (s.overview)
        std::memcpy(file.data(), "PCD_OPA", 7);
    else
        std::memcpy(file.data() + 2048, "PCD_IPI", 7);
    file[11] = 1;                                               // one image
    file[3586] = static_cast<std::uint8_t>(0xFC | s.rotation);  // only bits 0-1 count
    std::size_t at = start;
    for (int g = 0; g < 256; ++g) {
        for (int r = 0; r < 2; ++r)
            for (int x = 0; x < 768; ++x)
                file[at++] = static_cast<std::uint8_t>(s.luma(x, 2 * g + r));
        for (int x = 0; x < 384; ++x)
            file[at++] = static_cast<std::uint8_t>(s.chroma1(x, g));
        for (int x = 0; x < 384; ++x)
            file[at++] = static_cast<std::uint8_t>(s.chroma2(x, g));
    }
    return file;
}

void Load(TPCDGraphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

// ---- upsampling ------------------------------------------------------------

std::vector<std::uint8_t> Upsampled(const Plane& stored)
{
    std::vector<std::uint8_t> plane(768 * 512, 0xEE);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 384; ++x)
            plane[static_cast<std::size_t>(y) * 768 + x] = static_cast<std::uint8_t>(stored(x, y));
    pcd::UpsampleChroma(plane);
    return plane;
}

TEST(PhotoCDChroma, UpsamplingAveragesAsStored)
{
    // Row r of the stored plane holds 10 * r + x % 3 in column x, its last two columns 10 and 20.
    const auto stored = [](int x, int y) { return x >= 382 ? (x == 382 ? 10 : 20) : 10 * (y % 20) + x % 3; };
    const std::vector<std::uint8_t> p = Upsampled(stored);
    const auto at = [&](int x, int y) { return static_cast<int>(p[static_cast<std::size_t>(y) * 768 + x]); };
    struct Case {
        const char* what;
        int x, y, expected;
    } cases[] = {
        {"even row, even column: the stored sample", 4, 2, stored(2, 1)},
        {"even row, odd column: the rounded mean of two", 3, 2, (stored(1, 1) + stored(2, 1) + 1) / 2},
        {"row end: 10, 20 becomes 10, 15, 20, 20 (first)", 764, 0, 10},
        {"row end (second)", 765, 0, 15},
        {"row end (third)", 766, 0, 20},
        {"row end (fourth)", 767, 0, 20},
        {"odd row, even column: the mean of the rows above and below", 2, 3, (10 * 1 + 1 + 10 * 2 + 1 + 1) / 2},
        {"odd row, odd column: the mean of four", 1, 3,
         (stored(0, 1) + stored(1, 1) + stored(0, 2) + stored(1, 2) + 2) / 4},
        {"odd row, last two columns: their own columns", 766, 5, (20 + 20 + 1) / 2},
        {"the last row copies the one above", 100, 511, at(100, 510)},
        {"the last stored row spreads over row 510", 10, 510, stored(5, 255)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(at(c.x, c.y), c.expected) << c.what;
}

TEST(PhotoCDChroma, SmallPlanesAreAProgrammingError)
{
    std::vector<std::uint8_t> plane(768 * 511);
    EXPECT_THROW(pcd::UpsampleChroma(plane), base::EInternalError);
}

// ---- loading ---------------------------------------------------------------

TEST(PhotoCDReader, RotationsTurnTheBaseImage)
{
    const Plane luma = [](int x, int y) { return (x * 7 + y * 13) & 0xFF; };
    const auto grey = [&](int x, int y) { return 0x010101u * static_cast<std::uint32_t>(luma(x, y)); };
    struct Case {
        int rotation;
        int width, height;
        // The stored pixel shown at raster (x, y).
        std::function<std::pair<int, int>(int, int)> source;
    } cases[] = {
        {0, 768, 512, [](int x, int y) { return std::pair(x, y); }},
        {2, 768, 512, [](int x, int y) { return std::pair(x, y); }},
        {1, 512, 768, [](int x, int y) { return std::pair(767 - y, x); }},
        {3, 512, 768, [](int x, int y) { return std::pair(y, 511 - x); }},
    };
    for (const Case& c : cases) {
        PackLayout layout;
        layout.rotation = c.rotation;
        layout.luma = luma;
        TPCDGraphic graphic;
        Load(graphic, Pack(layout));
        ASSERT_EQ(graphic.Width(), c.width) << c.rotation;
        ASSERT_EQ(graphic.Height(), c.height) << c.rotation;
        EXPECT_EQ(graphic.PixelFormat(), core::pf24bit);
        for (const auto& [x, y] : {std::pair(0, 0), std::pair(c.width - 1, 0), std::pair(0, c.height - 1),
                                   std::pair(17, 300), std::pair(c.width - 1, c.height - 1)}) {
            const auto [sx, sy] = c.source(x, y);
            EXPECT_EQ(test::PixelRGB(graphic, x, y), grey(sx, sy))
                << "rotation " << c.rotation << " at " << x << ", " << y;
        }
    }
    // Rotation 3: the stored pixel (0, 511) lands at raster (0, 0).
    EXPECT_EQ(cases[3].source(0, 0), std::pair(0, 511));
}

TEST(PhotoCDReader, ChromaConvertsWithTheLumaCoefficientsOfTheFormat)
{
    // F3 = 2 - 2 * 0.0721 and F4 = 0.0721 * F3 / 0.7154 for blue; F1 = 2 - 2 * 0.2125
    // and F2 = 0.2125 * F1 / 0.7154 for red.
    const double f1 = 2 - 2 * 0.2125, f2 = 0.2125 * f1 / 0.7154, f3 = 2 - 2 * 0.0721, f4 = 0.0721 * f3 / 0.7154;
    struct Case {
        int y, c1, c2;
    } cases[] = {{100, 200, kNeutralC2}, {100, kNeutralC1, 200}, {30, 20, 250}, {250, 250, 250}, {0, 0, 0}};
    for (const Case& c : cases) {
        PackLayout layout;
        layout.luma = [&](int, int) { return c.y; };
        layout.chroma1 = [&](int, int) { return c.c1; };
        layout.chroma2 = [&](int, int) { return c.c2; };
        TPCDGraphic graphic;
        Load(graphic, Pack(layout));
        const auto clamp = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0)); };
        const double cb = c.c1 - 156, cr = c.c2 - 137;
        const std::uint32_t red = clamp(c.y + std::nearbyint(f1 * cr));
        const std::uint32_t green = clamp(c.y - std::nearbyint(f4 * cb) - std::nearbyint(f2 * cr));
        const std::uint32_t blue = clamp(c.y + std::nearbyint(f3 * cb));
        EXPECT_EQ(test::PixelRGB(graphic, 300, 200), (red << 16) | (green << 8) | blue)
            << c.y << " " << c.c1 << " " << c.c2;
    }
}

TEST(PhotoCDReader, OverviewPacksHoldTheBaseImageAtSectorFive)
{
    PackLayout layout;
    layout.overview = true;
    layout.luma = [](int x, int) { return x & 0xFF; };
    TPCDGraphic graphic;
    Load(graphic, Pack(layout));
    ASSERT_EQ(graphic.Width(), 768);
    EXPECT_EQ(test::PixelRGB(graphic, 200, 9), 0xC8C8C8u);
}

TEST(PhotoCDReader, ShortAndUnmarkedPacks)
{
    const Bytes whole = Pack({});
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
        bool empty;
    } cases[] = {
        {"one byte short of the base image", Bytes(whole.begin(), whole.end() - 1), "Stream read error", true},
        {"only the header sectors", Bytes(whole.begin(), whole.begin() + 4096), "Stream read error", true},
        {"no markers",
         [&] {
             Bytes f = whole;
             f[2048] = 'X';
             return f;
         }(),
         "(no error)", true},
        {"the whole pack", whole, "(no error)", false},
    };
    for (const Case& c : cases) {
        TPCDGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, c.file); }), c.message) << c.what;
        EXPECT_EQ(graphic.Empty(), c.empty) << c.what;
    }
}

TEST(PhotoCDDescription, SizeFollowsTheIndexAndTheRotation)
{
    struct Case {
        bool overview;
        int rotation, index, width, height;
        CompressionKind compression;
    } cases[] = {
        {false, 0, 0, 192, 128, CompressionKind::None},      {false, 0, 2, 768, 512, CompressionKind::None},
        {false, 1, 2, 512, 768, CompressionKind::None},      {false, 3, 1, 256, 384, CompressionKind::None},
        {false, 2, 4, 3072, 2048, CompressionKind::Unknown}, {false, 0, 9, 6144, 4096, CompressionKind::Unknown},
        {true, 0, 4, 192, 128, CompressionKind::None},
    };
    for (const Case& c : cases) {
        PackLayout layout;
        layout.overview = c.overview;
        layout.rotation = c.rotation;
        core::TMemoryStream stream(Pack(layout));
        TPCDGraphic graphic;
        ASSERT_TRUE(graphic.ReadImageDescription(stream, c.index));
        EXPECT_EQ(stream.Position(), 0u);
        const TImageProperties& d = graphic.ImageDescription;
        EXPECT_EQ(d.ImageWidth, c.width) << c.index << " " << c.rotation;
        EXPECT_EQ(d.ImageHeight, c.height) << c.index << " " << c.rotation;
        EXPECT_EQ(d.Compression, c.compression) << c.index;
        EXPECT_EQ(d.Scheme, ColorScheme::PhotoYCC);
        EXPECT_EQ(d.ImageTotal, 1);
    }
}

TEST(PhotoCDContentTest, NeedsAMarkerAndMoreThanTheDescription)
{
    const Bytes image = Pack({});
    const Bytes overview = Pack({.overview = true});
    const auto cut = [](const Bytes& b, std::size_t n) {
        return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
    };
    struct Case {
        const char* what;
        Bytes file;
        bool expected;
    } cases[] = {
        {"image pack", image, true},
        {"overview pack", overview, true},
        {"6144 bytes", cut(image, 6144), false},
        {"6145 bytes", cut(image, 6145), true},
        {"no marker",
         [&] {
             Bytes f = cut(image, 8000);
             f[2049] = 'c';
             return f;
         }(),
         false},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(c.file);
        TPCDGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.expected) << c.what;
        EXPECT_EQ(stream.Position(), 0u) << c.what;
    }
    EXPECT_TRUE(IsPhotoCDOverview({overview.data(), 64}));
    EXPECT_FALSE(IsPhotoCDOverview({image.data(), 64}));
}

}  // namespace
}  // namespace scalopex::formats
