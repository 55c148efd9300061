#include "base/limits.h"

#include <string>

#include "base/exceptions.h"

namespace scalopex::base {

namespace {

[[noreturn]] void TooLarge(std::int64_t width, std::int64_t height)
{
    throw EOutOfResources("Image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                          " pixels exceeds the limit of " + std::to_string(kMaxPixels) + " pixels or 2 GiB");
}

}  // namespace

std::size_t RowBytes(std::int64_t width, int bitsPerPixel)
{
    if (width < 0 || width > kMaxDimension || bitsPerPixel <= 0 || bitsPerPixel > 64)
        TooLarge(width, 1);
    const std::uint64_t bits = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel);
    return static_cast<std::size_t>((bits + 31) / 32 * 4);
}

std::size_t CheckRasterSize(std::int64_t width, std::int64_t height, int bitsPerPixel)
{
    if (width < 0 || height < 0)
        throw EOutOfResources("Invalid image size: " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    if (width > kMaxDimension || height > kMaxDimension)
        TooLarge(width, height);
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (pixels > kMaxPixels)
        TooLarge(width, height);
    const std::uint64_t bytes = static_cast<std::uint64_t>(RowBytes(width, bitsPerPixel)) * static_cast<std::uint64_t>(height);
    if (bytes > kMaxPixelBytes)
        TooLarge(width, height);
    return static_cast<std::size_t>(bytes);
}

}  // namespace scalopex::base
