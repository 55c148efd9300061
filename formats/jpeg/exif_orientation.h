#pragma once
/// The Exif orientation of a JPEG file: which way its stored rows must be
/// turned or mirrored to show the picture upright.

#include <cstdint>
#include <span>

namespace scalopex::formats {

/// The orientation (1 to 8) held by an APP1 payload: "Exif" and two zero
/// bytes, then a TIFF structure whose first IFD carries tag 0x0112 as a
/// SHORT. Both byte orders are read. A payload that is no Exif block, is
/// damaged or cut short, or holds no valid orientation gives 1 (as stored).
int ExifOrientation(std::span<const std::uint8_t> app1Payload) noexcept;

/// Orientations 5 to 8 turn the picture by a quarter, swapping its sides.
constexpr bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

}  // namespace scalopex::formats
