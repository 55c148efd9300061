// The area-average stretch, checked against a direct integration of the
// source area in real coordinates.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/gdi/stretch.h"

using namespace scalopex::gdi;

namespace {

constexpr std::uint8_t kPadding = 0xA5;

// A raster in memory with a few padding bytes after each row, so that
// a wrong stride or a write past the row shows up.
struct Raster {
    int width = 0;
    int height = 0;
    int bpp = 0;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint8_t> bytes;

    Raster(int w, int h, int bytesPerPixel)
        : width(w), height(h), bpp(bytesPerPixel), stride(static_cast<std::ptrdiff_t>(w) * bytesPerPixel + 5),
          bytes(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), kPadding)
    {
    }
    std::uint8_t& At(int x, int y, int c)
    {
        return bytes[static_cast<std::size_t>(y * stride + x * bpp + c)];
    }
    std::uint8_t At(int x, int y, int c) const
    {
        return bytes[static_cast<std::size_t>(y * stride + x * bpp + c)];
    }
    TConstPixelRows Rows() const { return {bytes.data(), stride, width, height}; }
    TPixelRows Rows() { return {bytes.data(), stride, width, height}; }
    bool PaddingIntact() const
    {
        for (int y = 0; y < height; ++y)
            for (std::ptrdiff_t i = static_cast<std::ptrdiff_t>(width) * bpp; i < stride; ++i)
                if (bytes[static_cast<std::size_t>(y * stride + i)] != kPadding)
                    return false;
        return true;
    }
};

Raster RandomRaster(int w, int h, int bpp, unsigned seed)
{
    Raster r(w, h, bpp);
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c)
                r.At(x, y, c) = static_cast<std::uint8_t>(random() & 0xFF);
    return r;
}

Raster Stretched(const Raster& src, int w, int h)
{
    Raster dst(w, h, src.bpp);
    AreaAverageStretch(src.Rows(), dst.Rows(), src.bpp);
    return dst;
}

// The source pixels under destination index d of n along an axis of N
// source pixels, with the length of each inside [d*N/n, (d+1)*N/n).
struct Overlap {
    int index;
    double length;
};
std::vector<Overlap> Overlaps(int d, int n, int sourceLength)
{
    const double lo = static_cast<double>(d) * sourceLength / n;
    const double hi = static_cast<double>(d + 1) * sourceLength / n;
    std::vector<Overlap> result;
    for (int i = static_cast<int>(std::floor(lo)); i < sourceLength && i < hi; ++i) {
        const double length = std::fmin(i + 1.0, hi) - std::fmax(static_cast<double>(i), lo);
        if (length > 0)
            result.push_back({i, length});
    }
    return result;
}

// Compares every destination byte with the exact average; exact ties
// (within rounding noise of the oracle itself) are left out.
void ExpectExactAverage(const Raster& src, const Raster& dst)
{
    const double area = (static_cast<double>(src.width) / dst.width) * (static_cast<double>(src.height) / dst.height);
    int mismatches = 0;
    for (int y = 0; y < dst.height; ++y) {
        const std::vector<Overlap> rows = Overlaps(y, dst.height, src.height);
        for (int x = 0; x < dst.width; ++x) {
            const std::vector<Overlap> columns = Overlaps(x, dst.width, src.width);
            for (int c = 0; c < src.bpp; ++c) {
                double sum = 0;
                for (const Overlap& r : rows)
                    for (const Overlap& col : columns)
                        sum += src.At(col.index, r.index, c) * r.length * col.length;
                const double exact = sum / area;
                if (std::fabs(exact - std::floor(exact) - 0.5) < 1e-6)
                    continue;
                const int expected = static_cast<int>(std::floor(exact + 0.5));
                if (dst.At(x, y, c) != expected && ++mismatches <= 5)
                    ADD_FAILURE() << src.width << "x" << src.height << " -> " << dst.width << "x" << dst.height
                                  << " bpp " << src.bpp << ": pixel (" << x << ", " << y << ") byte " << c << " is "
                                  << int{dst.At(x, y, c)} << ", exact average " << exact;
            }
        }
    }
    EXPECT_TRUE(dst.PaddingIntact());
}

}  // namespace

TEST(AreaAverageStretch, MatchesTheExactAreaAverageRoundedHalfUp)
{
    struct Row {
        int sw, sh, dw, dh, bpp;
    } rows[] = {
        {40, 30, 8, 6, 3},       // integer shrink
        {40, 30, 8, 6, 4},
        {37, 23, 10, 7, 3},      // non-integer shrink
        {100, 60, 37, 23, 4},
        {250, 9, 7, 2, 3},       // many taps on one axis
        {13, 11, 29, 31, 3},     // prime sizes, enlarging
        {7, 5, 9, 6, 4},         // slight enlargement
        {3, 3, 8, 8, 3},
        {31, 29, 30, 28, 3},     // slight shrink: almost every pixel blends
        {29, 31, 31, 29, 4},     // shrinks one axis, enlarges the other
        {1, 1, 5, 3, 3},         // 1-pixel source
        {9, 7, 1, 1, 3},         // 1-pixel destination
        {1, 17, 1, 5, 3},        // 1xN
        {17, 1, 5, 1, 4},
        {1, 17, 4, 3, 3},
        {17, 1, 3, 5, 4},
        {64, 48, 64, 48, 3},     // same size: a copy
        {300, 600, 1, 2, 3},     // column sums beyond 16 bits
        {7, 600, 3, 2, 4},
        {3, 601, 2, 599, 1},     // weights beyond 8 bits on one axis
        {601, 3, 599, 2, 4},
        {601, 599, 2, 3, 1},     // large prime totals on both axes
        {45, 40, 20, 19, 2},
        {37, 23, 10, 7, 1},      // runs of 3 to 5 on one byte
        {100, 60, 37, 23, 2},
        {65537, 3, 65536, 2, 3}, // weights beyond 16 bits
        {65537, 3, 65536, 2, 4},
    };
    unsigned seed = 1;
    for (const Row& r : rows) {
        const Raster src = RandomRaster(r.sw, r.sh, r.bpp, seed++);
        ExpectExactAverage(src, Stretched(src, r.dw, r.dh));
    }
}

TEST(AreaAverageStretch, StaysExactWhenTheWeightTotalExceeds32Bits)
{
    // Sums of 255 × the total weight beyond 32 bits: prime 4111 on both
    // axes, then 16-bit column sums (256 rows) with a 70001-unit row.
    struct Row {
        int sw, sh, dw, dh;
    } rows[] = {{4111, 4111, 3, 2}, {70001, 256, 2, 1}};
    for (const Row& r : rows) {
        const Raster src = RandomRaster(r.sw, r.sh, 1, 99);
        ExpectExactAverage(src, Stretched(src, r.dw, r.dh));
    }
}

TEST(AreaAverageStretch, RoundsExactHalvesUp)
{
    // Half the area one value higher: the average is exactly v + 0.5, with
    // divisors whose reciprocals are not exact in binary.
    const int low[3] = {0, 100, 254};
    for (const int n : {2, 6, 10, 14, 998, 4094}) {
        Raster src(n, 1, 3);
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 3; ++c)
                src.At(x, 0, c) = static_cast<std::uint8_t>(x < n / 2 ? low[c] + 1 : low[c]);
        const Raster dst = Stretched(src, 1, 1);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(dst.At(0, 0, c), low[c] + 1) << n << " pixels, byte " << c;
    }
}

TEST(AreaAverageStretch, EnlargingByAnIntegerFactorRepeatsPixels)
{
    const Raster src = RandomRaster(100, 50, 3, 7);
    const Raster dst = Stretched(src, 800, 400);
    int mismatches = 0;
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 800; ++x)
            for (int c = 0; c < 3; ++c)
                if (dst.At(x, y, c) != src.At(x / 8, y / 8, c) && ++mismatches <= 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") byte " << c;
    EXPECT_TRUE(dst.PaddingIntact());
}

TEST(AreaAverageStretch, KeepsAConstantImageConstant)
{
    struct Row {
        int sw, sh, dw, dh;
    } rows[] = {
        {997, 13, 41, 5}, {13, 997, 5, 41}, {7, 3, 100, 61}, {640, 480, 800, 600}, {5, 5, 1, 1},
        {3, 700, 2, 2},  // runs of 350 full bytes: sums beyond 16 bits
        {700, 3, 2, 2},
    };
    for (const Row& r : rows) {
        Raster src(r.sw, r.sh, 4);
        for (int y = 0; y < r.sh; ++y)
            for (int x = 0; x < r.sw; ++x)
                for (int c = 0; c < 4; ++c)
                    src.At(x, y, c) = static_cast<std::uint8_t>(c == 3 ? 255 : 17 + 60 * c);
        const Raster dst = Stretched(src, r.dw, r.dh);
        for (int y = 0; y < r.dh; ++y)
            for (int x = 0; x < r.dw; ++x)
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(dst.At(x, y, c), c == 3 ? 255 : 17 + 60 * c)
                        << r.sw << "x" << r.sh << " -> " << r.dw << "x" << r.dh << " at (" << x << ", " << y << ")";
    }
}

TEST(AreaAverageStretch, ShrinkingByTwoAveragesEachBlock)
{
    // One byte a pixel, rows top-down; each 2x2 block has its own average.
    const std::uint8_t pixels[4][4] = {
        {0, 2, 10, 10},
        {4, 6, 10, 11},   // 3; 10.25 -> 10
        {1, 2, 255, 254},
        {3, 4, 255, 255}, // 2.5 -> 3; 254.75 -> 255
    };
    Raster src(4, 4, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            src.At(x, y, 0) = pixels[y][x];
    const Raster dst = Stretched(src, 2, 2);
    EXPECT_EQ(dst.At(0, 0, 0), 3);
    EXPECT_EQ(dst.At(1, 0, 0), 10);
    EXPECT_EQ(dst.At(0, 1, 0), 3);
    EXPECT_EQ(dst.At(1, 1, 0), 255);
    EXPECT_TRUE(dst.PaddingIntact());
}

TEST(AreaAverageStretch, LeavesTheDestinationAloneForEmptyRasters)
{
    const Raster src = RandomRaster(4, 4, 3, 3);
    Raster dst(2, 2, 3);
    AreaAverageStretch({src.bytes.data(), src.stride, 0, 4}, dst.Rows(), 3);
    AreaAverageStretch(src.Rows(), {dst.bytes.data(), dst.stride, 2, 0}, 3);
    EXPECT_TRUE(std::all_of(dst.bytes.begin(), dst.bytes.end(), [](std::uint8_t b) { return b == kPadding; }));
}
