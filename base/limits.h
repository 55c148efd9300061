#pragma once
/// The engine's limits on raster sizes. Every raster is checked against them
/// before its storage is allocated, whether its size comes from a file field
/// or from a scaling request.

#include <cstddef>
#include <cstdint>

namespace scalopex::base {

/// At most 2^28 pixels in one raster.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
/// At most 2 GiB of pixel storage in one raster.
inline constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 31;
/// The widest or tallest raster side accepted.
inline constexpr std::int64_t kMaxDimension = 1 << 20;

/// Row length in bytes of a raster row: padded to a multiple of 4 bytes.
/// Throws EOutOfResources when it cannot be represented.
std::size_t RowBytes(std::int64_t width, int bitsPerPixel);

/// Checks a raster size against the limits and returns its storage in bytes.
/// Negative sizes and sizes beyond the limits throw EOutOfResources with a
/// message naming the size; a zero side gives 0 bytes.
std::size_t CheckRasterSize(std::int64_t width, std::int64_t height, int bitsPerPixel);

}  // namespace scalopex::base
