#pragma once
/// Colour values: 32 bits, red in the low byte, then green, then blue. The top
/// byte marks special values: 0x20 the default (or automatic) colour, 0x02 a
/// colour reported as a bitmap's transparent colour.

#include <cstdint>

namespace scalopex::core {

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor kTransparentFlag = 0x02000000;

constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr std::uint8_t GetRValue(TColor c) { return static_cast<std::uint8_t>(c); }
constexpr std::uint8_t GetGValue(TColor c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t GetBValue(TColor c) { return static_cast<std::uint8_t>(c >> 16); }
/// The plain RGB part of a colour, as every comparison against pixels uses it.
constexpr TColor ColorToRGB(TColor c) { return c & 0xFFFFFF; }

}  // namespace scalopex::core
