#include "platform/gdi/palette.h"

namespace scalopex::gdi {

namespace {

constexpr TPaletteEntry kStatic[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

constexpr std::size_t kCacheSize = 4096;

}  // namespace

const TLogPalette& DefaultPalette()
{
    static const TLogPalette palette(std::begin(kStatic), std::end(kStatic));
    return palette;
}

const TLogPalette& SystemPalette16()
{
    // The 16 colours of the classic VGA order: the 8 dark static colours with
    // silver, then grey and the 7 bright ones.
    static const TLogPalette palette = {
        {0, 0, 0, 0},     {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0}, {0, 0, 128, 0},   {128, 0, 128, 0},
        {0, 128, 128, 0}, {192, 192, 192, 0}, {128, 128, 128, 0}, {255, 0, 0, 0}, {0, 255, 0, 0},   {255, 255, 0, 0},
        {0, 0, 255, 0},   {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
    };
    return palette;
}

const TLogPalette& HalftonePalette()
{
    static const TLogPalette palette = [] {
        TLogPalette p(std::begin(kStatic), std::begin(kStatic) + 10);
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                                 static_cast<std::uint8_t>(b * 51), 0});
        // 20 greys between the cube's grey steps fill the table up to 246.
        for (int i = 1; p.size() < 246; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 255 / 21);
            p.push_back({v, v, v, 0});
        }
        p.insert(p.end(), std::begin(kStatic) + 10, std::end(kStatic));
        return p;
    }();
    return palette;
}

std::uint32_t NearestPaletteIndex(const TLogPalette& palette, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    std::uint32_t best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = palette[i].peRed - r;
        const int dg = palette[i].peGreen - g;
        const int db = palette[i].peBlue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<std::uint32_t>(i);
            if (d == 0)
                break;
        }
    }
    return best;
}

TNearestColorMap::TNearestColorMap(const TLogPalette& palette)
    : m_palette(palette), m_keys(kCacheSize, 0), m_values(kCacheSize, 0)
{
}

std::uint8_t TNearestColorMap::Lookup(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::uint32_t key = (static_cast<std::uint32_t>(r) | (static_cast<std::uint32_t>(g) << 8) |
                               (static_cast<std::uint32_t>(b) << 16)) + 1;
    const std::size_t slot = ((key * 2654435761u) >> 20) & (kCacheSize - 1);
    if (m_keys[slot] != key) {
        m_keys[slot] = key;
        m_values[slot] = static_cast<std::uint8_t>(NearestPaletteIndex(m_palette, r, g, b));
    }
    return m_values[slot];
}

}  // namespace scalopex::gdi
