// The engine's limits: raster sizes, the header check of the readers, and
// the overflow-checked size arithmetic.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"

using namespace scalopex::base;

namespace {

template <typename Call>
std::string LimitMessage(Call call)
{
    try {
        call();
    } catch (const ELimitExceeded& e) {
        return e.what();
    }
    return "(no limit exceeded)";
}

}  // namespace

TEST(Limits, RowsArePaddedToFourBytes)
{
    EXPECT_EQ(CheckRasterSize(3, 2, 24), 2u * 12u);
    EXPECT_EQ(CheckRasterSize(0, 5, 24), 0u);
    EXPECT_EQ(RowBytes(1, 24), 4u);
    EXPECT_EQ(RowBytes(17, 1), 4u);
    EXPECT_EQ(RowBytes(33, 1), 8u);
}

TEST(Limits, EachLimitHasItsOwnMessageNamingTheSizeAndTheLimit)
{
    EXPECT_EQ(LimitMessage([] { CheckRasterSize(std::int64_t{1} << 21, 1, 24); }),
              "Image too large: 2097152 x 1 pixels exceeds the limit of 1048576 pixels per side");
    EXPECT_EQ(LimitMessage([] { CheckRasterSize(70000, 70000, 24); }),
              "Image too large: 70000 x 70000 pixels exceeds the limit of 268435456 pixels");
    EXPECT_EQ(LimitMessage([] { CheckRasterSize(16384, 16384, 32); }), "(no limit exceeded)");  // 1 GiB fits
    {
        TScopedLimits lowered({.maxPixelBytes = 1000});
        EXPECT_EQ(LimitMessage([] { CheckRasterSize(20, 20, 24); }),
                  "Image too large: 20 x 20 pixels of 24 bits need 1200 bytes, beyond the limit of 1000 bytes");
        EXPECT_EQ(LimitMessage([] { CheckRasterSize(10, 20, 24); }), "(no limit exceeded)");
    }
    EXPECT_EQ(LimitMessage([] { CheckRasterSize(20, 20, 24); }), "(no limit exceeded)");  // the limits are back
    // A negative size is a broken header, not a size beyond a limit.
    try {
        CheckRasterSize(-1, 5, 24);
        FAIL() << "negative size accepted";
    } catch (const ELimitExceeded&) {
        FAIL() << "negative size reported as beyond a limit";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Invalid image size: -1 x 5 pixels");
    }
}

TEST(Limits, LoweredLimitsApplyUntilTheScopeEnds)
{
    {
        TScopedLimits lowered({.maxPixels = 100, .maxDimension = 50});
        EXPECT_EQ(Limits().maxPixels, 100u);
        EXPECT_EQ(CheckRasterSize(10, 10, 8), 10u * 12u);
        EXPECT_EQ(LimitMessage([] { CheckRasterSize(11, 10, 8); }),
                  "Image too large: 11 x 10 pixels exceeds the limit of 100 pixels");
        EXPECT_EQ(LimitMessage([] { CheckRasterSize(51, 1, 8); }),
                  "Image too large: 51 x 1 pixels exceeds the limit of 50 pixels per side");
    }
    EXPECT_EQ(Limits().maxPixels, std::uint64_t{1} << 28);
}

TEST(Limits, HeaderCheckRefusesImagesTheirPackedDataCannotHold)
{
    TImageHeader header{.width = 1000, .height = 1000, .bitsPerPixel = 8, .dataBytes = 10000, .minimumDataBytes = 10000};
    EXPECT_EQ(CheckImageHeader(header), 1000000u);
    header.dataBytes = 9999;
    EXPECT_EQ(LimitMessage([&] { CheckImageHeader(header); }),
              "Image too large for its data: 1000 x 1000 pixels cannot come from 9999 bytes");
    header.minimumDataBytes = 0;  // raw data is checked by its reader
    EXPECT_EQ(CheckImageHeader(header), 1000000u);
    // The raster limits come first.
    header.width = 100000;
    header.height = 10000;
    header.minimumDataBytes = 1u << 30;
    EXPECT_EQ(LimitMessage([&] { CheckImageHeader(header); }),
              "Image too large: 100000 x 10000 pixels exceeds the limit of 268435456 pixels");
}

TEST(CheckedMath, OverflowIsRefused)
{
    EXPECT_EQ(checkedMul(1u << 20, 1u << 10), std::size_t{1} << 30);
    EXPECT_THROW(checkedMul(SIZE_MAX / 2, 3), EOutOfResources);
    EXPECT_THROW(checkedAdd(SIZE_MAX, 1), EOutOfResources);
}
