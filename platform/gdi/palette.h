#pragma once
/// Logical palettes and the nearest-colour search over them.

#include <cstdint>
#include <vector>

namespace scalopex::gdi {

struct TPaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;

    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

/// A logical palette: at most 256 entries, read back unchanged.
using TLogPalette = std::vector<TPaletteEntry>;

inline constexpr std::size_t kMaxPaletteEntries = 256;

/// The 20 static system colours of the default palette.
const TLogPalette& DefaultPalette();
/// The 16-colour system palette used when converting to 4 bits per pixel.
const TLogPalette& SystemPalette16();
/// A 256-colour halftone palette: a 6 x 6 x 6 colour cube, a grey ramp and
/// the 20 static colours, used when converting to 8 bits per pixel.
const TLogPalette& HalftonePalette();

/// Index of the entry nearest to (r, g, b) by squared RGB distance; the
/// lowest index wins a tie. An empty palette gives 0.
std::uint32_t NearestPaletteIndex(const TLogPalette& palette, std::uint8_t r, std::uint8_t g, std::uint8_t b);

/// A cached nearest-colour search for mapping many pixels to one palette.
class TNearestColorMap {
public:
    explicit TNearestColorMap(const TLogPalette& palette);
    std::uint8_t Lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b);

private:
    const TLogPalette& m_palette;
    std::vector<std::uint32_t> m_keys;   // 24-bit colour + 1, 0 when empty
    std::vector<std::uint8_t> m_values;
};

}  // namespace scalopex::gdi
