#include "base/limits.h"

#include <string>

#include "base/exceptions.h"

namespace scalopex::base {

namespace {

TLimits g_limits;

std::string SizeText(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

void CheckSides(std::int64_t width, std::int64_t height)
{
    if (width < 0 || height < 0)
        throw EOutOfResources("Invalid image size: " + SizeText(width, height));
    const std::int64_t side = g_limits.maxDimension;
    if (width > side || height > side)
        throw ELimitExceeded("Image too large: " + SizeText(width, height) + " exceeds the limit of " +
                             std::to_string(side) + " pixels per side");
}

}  // namespace

const TLimits& Limits()
{
    return g_limits;
}

void SetLimits(const TLimits& limits)
{
    g_limits = limits;
}

std::size_t RowBytes(std::int64_t width, int bitsPerPixel)
{
    CheckSides(width, 0);
    if (bitsPerPixel <= 0 || bitsPerPixel > 64)
        throw EOutOfResources("Invalid pixel size: " + std::to_string(bitsPerPixel) + " bits");
    const std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel);
    return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

std::size_t CheckRasterSize(std::int64_t width, std::int64_t height, int bitsPerPixel)
{
    CheckSides(width, height);
    // Both sides are at most 2^31 here, so neither product overflows.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (pixels > g_limits.maxPixels)
        throw ELimitExceeded("Image too large: " + SizeText(width, height) + " exceeds the limit of " +
                             std::to_string(g_limits.maxPixels) + " pixels");
    const std::uint64_t bytes = static_cast<std::uint64_t>(RowBytes(width, bitsPerPixel)) * static_cast<std::uint64_t>(height);
    if (bytes > g_limits.maxPixelBytes)
        throw ELimitExceeded("Image too large: " + SizeText(width, height) + " of " + std::to_string(bitsPerPixel) +
                             " bits need " + std::to_string(bytes) + " bytes, beyond the limit of " +
                             std::to_string(g_limits.maxPixelBytes) + " bytes");
    return static_cast<std::size_t>(bytes);
}

std::size_t CheckImageHeader(const TImageHeader& header)
{
    const std::size_t bytes = CheckRasterSize(header.width, header.height, header.bitsPerPixel);
    if (header.minimumDataBytes > header.dataBytes)
        throw ELimitExceeded("Image too large for its data: " + SizeText(header.width, header.height) +
                             " cannot come from " + std::to_string(header.dataBytes) + " bytes");
    return bytes;
}

}  // namespace scalopex::base
