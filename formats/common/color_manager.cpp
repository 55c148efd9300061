#include "formats/common/color_manager.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "base/checked_math.h"

namespace scalopex::formats {

namespace {

// A palette source span holds fewer entries than the caller announced.
constexpr const char* kSPaletteTooShort = "Color palette data is too short.";

using Sources = std::span<const std::uint8_t* const>;

constexpr std::uint8_t ClampByte(int x)
{
    return static_cast<std::uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
}

// The processor's default rounding: to nearest, halves to the even neighbour.
inline int Nearest(long double x)
{
    return static_cast<int>(std::nearbyint(x));
}

// ClampByte(Nearest(x)) without a library call per channel: values out of
// the byte range clamp first, the rest round half to even.
inline std::uint8_t ClampNearest(long double x)
{
    if (!(x > -0.5L))
        return 0;
    if (x >= 255.5L)
        return 255;
    const long double up = x + 0.5L;
    int i = static_cast<int>(up);
    if (static_cast<long double>(i) == up && (i & 1))
        --i;  // exactly halfway: to the even neighbour
    return static_cast<std::uint8_t>(i);
}

constexpr std::array<std::uint8_t, 256> MakeIdentity()
{
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    return table;
}
constexpr std::array<std::uint8_t, 256> kIdentity = MakeIdentity();

bool IsIndexedSource(ColorScheme s)
{
    return s == ColorScheme::Indexed || s == ColorScheme::Gray || s == ColorScheme::GrayAlpha;
}
bool IsIndexedTarget(ColorScheme s) { return s == ColorScheme::Indexed || s == ColorScheme::Gray; }
bool HasAlphaSample(ColorScheme s)
{
    return s == ColorScheme::GrayAlpha || s == ColorScheme::RGBA || s == ColorScheme::BGRA;
}
bool IsRGBFamily(ColorScheme s)
{
    return s == ColorScheme::RGB || s == ColorScheme::RGBA || s == ColorScheme::BGR || s == ColorScheme::BGRA;
}
bool IsBlueFirst(ColorScheme s) { return s == ColorScheme::BGR || s == ColorScheme::BGRA; }

inline std::uint16_t Load16(const std::uint8_t* p, bool swap)
{
    return swap ? static_cast<std::uint16_t>((p[0] << 8) | p[1]) : static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline void Store16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline std::uint8_t To8(std::uint32_t v16) { return static_cast<std::uint8_t>(MulDiv16(v16, 255, 65535)); }
inline std::uint16_t Swap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

// Calls pixel(target) for every pixel whose mask bit is set: bit 7 for the
// first pixel, moving right and wrapping from bit 0 to bit 7. The target
// moves on by targetStep for every pixel, selected or not.
template <typename Pixel>
inline void ForEachPixel(std::size_t count, std::uint8_t mask, std::uint8_t* target, std::size_t targetStep,
                         Pixel&& pixel)
{
    if (mask == 0xFF) {
        for (std::size_t i = 0; i < count; ++i, target += targetStep)
            pixel(target);
        return;
    }
    std::uint8_t bit = 0x80;
    for (std::size_t i = 0; i < count; ++i, target += targetStep) {
        if (mask & bit)
            pixel(target);
        bit = static_cast<std::uint8_t>((bit >> 1) | (bit << 7));
    }
}

inline bool Selected(std::uint8_t mask, std::size_t i)
{
    return ((mask << (i & 7)) & 0x80) != 0;
}

// Reads fields of 1 to 16 bits, most significant bit first, as one bit
// stream (for 1, 2, 4 and 8 bits that is field after field within each
// byte). Never touches a byte beyond the last field read.
class FieldReader {
public:
    FieldReader(const std::uint8_t* p, unsigned bits) : m_p(p), m_bits(bits), m_mask((1u << bits) - 1) {}
    std::uint32_t Next()
    {
        while (m_have < m_bits) {
            m_acc = (m_acc << 8) | *m_p++;
            m_have += 8;
        }
        m_have -= m_bits;
        return (m_acc >> m_have) & m_mask;
    }

private:
    const std::uint8_t* m_p;
    unsigned m_bits;
    std::uint32_t m_mask;
    std::uint32_t m_acc = 0;
    unsigned m_have = 0;
};

// Writes fields of 1 to 8 bits, 8 div bits to a byte from the most
// significant end, keeping the other bits of each byte.
class FieldWriter {
public:
    FieldWriter(std::uint8_t* p, unsigned bits)
        : m_p(p), m_bits(bits), m_perByte(8 / bits), m_mask(static_cast<std::uint8_t>((1u << bits) - 1))
    {
    }
    void Put(std::uint32_t v)
    {
        const unsigned shift = 8 - m_bits * (m_slot + 1);
        *m_p = static_cast<std::uint8_t>((*m_p & ~(m_mask << shift)) | ((v & m_mask) << shift));
        Skip();
    }
    void Skip()
    {
        if (++m_slot == m_perByte) {
            m_slot = 0;
            ++m_p;
        }
    }

private:
    std::uint8_t* m_p;
    unsigned m_bits;
    unsigned m_perByte;
    std::uint8_t m_mask;
    unsigned m_slot = 0;
};

// One base pointer per sample of a pixel and the byte step from one pixel to
// the next: interleaved samples share a row, planar ones have a plane each.
struct SamplePlanes {
    const std::uint8_t* p[4] = {nullptr, nullptr, nullptr, nullptr};
    std::size_t step = 0;
};

// needed: how many samples the routine reads; stride: samples per
// interleaved pixel. More than one source pointer means one plane per sample.
SamplePlanes Planes(Sources sources, unsigned needed, unsigned stride, unsigned sampleBytes)
{
    SamplePlanes planes;
    if (sources.size() <= 1) {
        for (unsigned c = 0; c < needed; ++c)
            planes.p[c] = sources[0] + c * sampleBytes;
        planes.step = std::size_t{stride} * sampleBytes;
        return planes;
    }
    if (sources.size() < needed)
        throw EColorConversionError(kSNoConversion);
    for (unsigned c = 0; c < needed; ++c) {
        if (sources[c] == nullptr)
            throw EColorConversionError(kSNoConversion);
        planes.p[c] = sources[c];
    }
    planes.step = sampleBytes;
    return planes;
}

template <typename F>
inline void WithBool(bool value, F&& f)
{
    if (value)
        f(std::true_type{});
    else
        f(std::false_type{});
}

}  // namespace

// The row routines. Each reads the settings it needs once per call.
struct TColorRoutines {
    // ---- indices and grey levels -------------------------------------------------

    static void IndexRepack(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                            std::uint8_t mask)
    {
        const unsigned n = cm.m_sourceBits;
        const unsigned m = cm.m_targetBits;
        if (n > 16 || m > 8)
            return;
        const std::uint8_t* source = sources[0];
        if (n == m && mask == 0xFF) {
            std::memcpy(target, source, (count * n + 7) / 8);
            return;
        }
        const std::uint32_t sourceMax = (1u << n) - 1;
        const std::uint32_t targetMax = (1u << m) - 1;
        // Every source value scaled once; a 9 to 15-bit source is scaled per pixel.
        std::array<std::uint8_t, 256> scale{};
        if (n <= 8)
            for (std::uint32_t v = 0; v <= sourceMax; ++v)
                scale[v] = static_cast<std::uint8_t>(MulDiv16(v, targetMax, sourceMax));
        auto scaled = [&](std::uint32_t v) -> std::uint32_t {
            return n <= 8 ? scale[v] : MulDiv16(v, targetMax, sourceMax);
        };

        FieldReader in(source, n);
        if (m == 8) {
            ForEachPixel(count, mask, target, 1, [&](std::uint8_t* t) { *t = static_cast<std::uint8_t>(scaled(in.Next())); });
            return;
        }
        FieldWriter out(target, m);
        for (std::size_t i = 0; i < count; ++i) {
            if (Selected(mask, i))
                out.Put(scaled(in.Next()));
            else
                out.Skip();
        }
    }

    static void IndexCopy16(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                            std::uint8_t mask)
    {
        const std::uint8_t* source = sources[0];
        const bool swap = (cm.SourceFlags & cfSwapBytes16) != 0;
        if (mask == 0xFF && !swap) {
            std::memcpy(target, source, count * 2);
            return;
        }
        ForEachPixel(count, mask, target, 2, [&](std::uint8_t* t) {
            Store16(t, Load16(source, swap));
            source += 2;
        });
    }

    static void IndexReduce16(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                              std::uint8_t mask)
    {
        const unsigned m = cm.m_targetBits;
        if (m > 8)
            return;
        const std::uint8_t* source = sources[0];
        const bool swap = (cm.SourceFlags & cfSwapBytes16) != 0;
        const std::uint32_t targetMax = (1u << m) - 1;
        FieldWriter out(target, m);
        for (std::size_t i = 0; i < count; ++i) {
            if (Selected(mask, i)) {
                out.Put(MulDiv16(Load16(source, swap), targetMax, 65535));
                source += 2;
            } else {
                out.Skip();
            }
        }
    }

    static void IndexExpand16(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                              std::uint8_t mask)
    {
        const unsigned n = cm.m_sourceBits;
        if (n >= 16)
            return;
        const bool swap = (cm.SourceFlags & cfSwapBytes16) != 0;
        const std::uint32_t sourceMax = (1u << n) - 1;
        FieldReader in(sources[0], n);
        ForEachPixel(count, mask, target, 2, [&](std::uint8_t* t) {
            std::uint16_t v = MulDiv16(in.Next(), 65535, sourceMax);
            Store16(t, swap ? Swap16(v) : v);
        });
    }

    // Grey (or grey and alpha, the alpha dropped) of 8 or 16 bits to one
    // sample of 8 or 16 bits. No gamma: grey gets it through its palette.
    static void Gray816(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                        std::uint8_t mask)
    {
        const unsigned n = cm.m_sourceBits;
        const unsigned m = cm.m_targetBits;
        if ((n != 8 && n != 16) || (m != 8 && m != 16))
            return;
        const std::uint8_t* source = sources[0];
        const bool swap = (cm.SourceFlags & cfSwapBytes16) != 0;
        // Interleaved grey and alpha step over the alpha; a planar caller gives the grey plane first.
        const std::size_t samples = (cm.m_sourceScheme == ColorScheme::GrayAlpha && sources.size() == 1) ? 2 : 1;
        const std::size_t sourceStep = samples * (n / 8);
        if (n == 8 && m == 8) {
            if (samples == 2 && mask == 0xFF) {
                for (std::size_t i = 0; i < count; ++i)
                    target[i] = source[2 * i];
                return;
            }
            ForEachPixel(count, mask, target, 1, [&](std::uint8_t* t) {
                *t = *source;
                source += sourceStep;
            });
        } else if (n == 8) {
            ForEachPixel(count, mask, target, 2, [&](std::uint8_t* t) {
                Store16(t, MulDiv16(*source, 65535, 255));
                source += sourceStep;
            });
        } else if (m == 8) {
            ForEachPixel(count, mask, target, 1, [&](std::uint8_t* t) {
                *t = To8(Load16(source, swap));
                source += sourceStep;
            });
        } else {
            ForEachPixel(count, mask, target, 2, [&](std::uint8_t* t) {
                Store16(t, Load16(source, swap));
                source += sourceStep;
            });
        }
    }

    // ---- the RGB family ----------------------------------------------------------

    // One colour sample to the target size, gamma through lut.
    template <bool Src16, bool Dst16, bool Swap>
    static inline std::uint32_t Colour(const std::uint8_t* p, const std::uint8_t* lut, bool gamma)
    {
        if constexpr (Src16) {
            const std::uint16_t v = Load16(p, Swap);
            if constexpr (Dst16)
                return gamma ? lut[To8(v)] * 257u : v;
            else
                return lut[To8(v)];
        } else {
            if constexpr (Dst16)
                return lut[*p] * 257u;
            else
                return lut[*p];
        }
    }

    // The alpha sample to the target size, never gamma corrected.
    template <bool Src16, bool Dst16, bool Swap>
    static inline std::uint32_t Alpha(const std::uint8_t* p)
    {
        if constexpr (Src16) {
            const std::uint16_t v = Load16(p, Swap);
            if constexpr (Dst16)
                return v;
            else
                return To8(v);
        } else {
            if constexpr (Dst16)
                return *p * 257u;
            else
                return *p;
        }
    }

    template <bool Dst16>
    static inline void Put(std::uint8_t* t, unsigned i, std::uint32_t v)
    {
        if constexpr (Dst16)
            Store16(t + 2 * i, v);
        else
            t[i] = static_cast<std::uint8_t>(v);
    }

    template <bool Src16, bool Dst16, bool Reverse, bool CopyAlpha, bool Swap>
    static void RGBLoop(SamplePlanes s, const std::uint8_t* lut, bool gamma, std::uint8_t* target, std::size_t targetStep,
                        std::size_t count, std::uint8_t mask)
    {
        ForEachPixel(count, mask, target, targetStep, [&](std::uint8_t* t) {
            const std::uint32_t c0 = Colour<Src16, Dst16, Swap>(s.p[0], lut, gamma);
            const std::uint32_t c1 = Colour<Src16, Dst16, Swap>(s.p[1], lut, gamma);
            const std::uint32_t c2 = Colour<Src16, Dst16, Swap>(s.p[2], lut, gamma);
            Put<Dst16>(t, 0, Reverse ? c2 : c0);
            Put<Dst16>(t, 1, c1);
            Put<Dst16>(t, 2, Reverse ? c0 : c2);
            if constexpr (CopyAlpha)
                Put<Dst16>(t, 3, Alpha<Src16, Dst16, Swap>(s.p[3]));
            s.p[0] += s.step;
            s.p[1] += s.step;
            s.p[2] += s.step;
            if constexpr (CopyAlpha)
                s.p[3] += s.step;
        });
    }

    // Common whole-row cases of 8-bit interleaved rows without gamma.
    static bool RGBFast8(const std::uint8_t* source, std::uint8_t* target, std::size_t count, bool reverse,
                         std::size_t sourceStep, std::size_t targetStep, bool copyAlpha)
    {
        if (sourceStep != targetStep)
            return false;
        if (!reverse) {
            if (sourceStep == 3 || copyAlpha) {
                std::memcpy(target, source, count * sourceStep);
                return true;
            }
            return false;
        }
        if (sourceStep == 3) {
            for (std::size_t i = 0; i < count; ++i, source += 3, target += 3) {
                const std::uint8_t c0 = source[0], c1 = source[1], c2 = source[2];
                target[0] = c2;
                target[1] = c1;
                target[2] = c0;
            }
            return true;
        }
        if (copyAlpha) {
            for (std::size_t i = 0; i < count; ++i, source += 4, target += 4) {
                const std::uint8_t c0 = source[0], c1 = source[1], c2 = source[2], a = source[3];
                target[0] = c2;
                target[1] = c1;
                target[2] = c0;
                target[3] = a;
            }
            return true;
        }
        return false;
    }

    // 16-bit rows stored most significant byte first, to 8-bit pixels in the
    // other channel order: the usual big-endian RGB to raster case.
    static void RGB16SwapReverse(const std::uint8_t* source, std::uint8_t* target, std::size_t count,
                                 std::size_t sourceStep, std::size_t targetStep)
    {
        for (std::size_t i = 0; i < count; ++i, source += sourceStep, target += targetStep) {
            const std::uint32_t c0 = (source[0] << 8) | source[1];
            const std::uint32_t c1 = (source[2] << 8) | source[3];
            const std::uint32_t c2 = (source[4] << 8) | source[5];
            target[0] = To8(c2);
            target[1] = To8(c1);
            target[2] = To8(c0);
        }
    }

    static void RGBFamily(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                          std::uint8_t mask)
    {
        const unsigned n = cm.m_sourceBits;
        const unsigned m = cm.m_targetBits;
        if ((n != 8 && n != 16) || (m != 8 && m != 16))
            return;
        const bool src16 = n == 16;
        const bool dst16 = m == 16;
        const bool sourceAlpha = HasAlphaSample(cm.m_sourceScheme);
        const bool targetAlpha = HasAlphaSample(cm.m_targetScheme);
        const bool copyAlpha = sourceAlpha && targetAlpha;
        const bool reverse = IsBlueFirst(cm.m_sourceScheme) != IsBlueFirst(cm.m_targetScheme);
        const bool gamma = (cm.TargetFlags & cfGammaCorrect) != 0;
        const bool swap = src16 && (cm.SourceFlags & cfSwapBytes16) != 0;
        const std::uint8_t* lut = gamma ? cm.m_gammaTable.data() : kIdentity.data();
        const unsigned sampleBytes = src16 ? 2 : 1;
        const SamplePlanes planes = Planes(sources, copyAlpha ? 4 : 3, sourceAlpha ? 4 : 3, sampleBytes);
        const std::size_t targetStep = (targetAlpha ? 4u : 3u) * (dst16 ? 2u : 1u);

        if (mask == 0xFF && sources.size() == 1 && !gamma && !dst16) {
            if (!src16 && RGBFast8(sources[0], target, count, reverse, planes.step, targetStep, copyAlpha))
                return;
            if (src16 && swap && reverse && !copyAlpha) {
                RGB16SwapReverse(sources[0], target, count, planes.step, targetStep);
                return;
            }
        }
        WithBool(src16, [&](auto s16) {
            WithBool(dst16, [&](auto d16) {
                WithBool(reverse, [&](auto rev) {
                    WithBool(copyAlpha, [&](auto alpha) {
                        WithBool(swap, [&](auto sw) {
                            RGBLoop<decltype(s16)::value, decltype(d16)::value, decltype(rev)::value, decltype(alpha)::value,
                                    decltype(sw)::value>(planes, lut, gamma, target, targetStep, count, mask);
                        });
                    });
                });
            });
        });
    }

    // ---- CMYK, L*a*b*, YCbCr: three colour bytes per pixel from a formula ---------

    // Reads `needed` samples per pixel (8 or 16 bits), lets convert make red,
    // green and blue of 8 bits, and writes them in the target's order; the
    // target's alpha sample, if any, is left as it is.
    template <unsigned Needed, bool Src16, bool Dst16, bool BlueFirst, typename Convert>
    static void FormulaPixels(SamplePlanes s, bool swap, std::uint8_t* target, std::size_t targetStep, std::size_t count,
                              std::uint8_t mask, Convert& convert)
    {
        ForEachPixel(count, mask, target, targetStep, [&](std::uint8_t* t) {
            std::uint32_t v[4] = {0, 0, 0, 0};
            for (unsigned c = 0; c < Needed; ++c) {
                if constexpr (Src16)
                    v[c] = Load16(s.p[c], swap);
                else
                    v[c] = *s.p[c];
                s.p[c] += s.step;
            }
            std::uint8_t r = 0, g = 0, b = 0;
            convert(v, r, g, b);
            const std::uint32_t first = BlueFirst ? b : r, last = BlueFirst ? r : b;
            if constexpr (Dst16) {
                Store16(t, first * 257u);
                Store16(t + 2, g * 257u);
                Store16(t + 4, last * 257u);
            } else {
                t[0] = static_cast<std::uint8_t>(first);
                t[1] = g;
                t[2] = static_cast<std::uint8_t>(last);
            }
        });
    }

    template <unsigned Needed, typename Convert>
    static void FormulaLoop(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count,
                            std::uint8_t mask, Convert&& convert)
    {
        const unsigned n = cm.m_sourceBits;
        const unsigned m = cm.m_targetBits;
        if ((n != 8 && n != 16) || (m != 8 && m != 16))
            return;
        const bool src16 = n == 16;
        const bool dst16 = m == 16;
        const bool swap = (cm.SourceFlags & cfSwapBytes16) != 0;
        const SamplePlanes s = Planes(sources, Needed, Needed, src16 ? 2 : 1);
        const std::size_t targetStep = (HasAlphaSample(cm.m_targetScheme) ? 4u : 3u) * (dst16 ? 2u : 1u);
        WithBool(src16, [&](auto s16) {
            WithBool(dst16, [&](auto d16) {
                WithBool(IsBlueFirst(cm.m_targetScheme), [&](auto blueFirst) {
                    FormulaPixels<Needed, decltype(s16)::value, decltype(d16)::value, decltype(blueFirst)::value>(
                        s, swap, target, targetStep, count, mask, convert);
                });
            });
        });
    }

    static void CMYK(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count, std::uint8_t mask)
    {
        if (cm.m_sourceBits == 16) {
            FormulaLoop<4>(cm, sources, target, count, mask, [](const std::uint32_t* v, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
                const std::uint32_t k = v[3];
                auto channel = [k](std::uint32_t x) {
                    const std::uint32_t t = MulDiv16(x, k, 65535);
                    const std::uint32_t u = MulDiv16((x + k - t) & 0xFFFF, 255, 65535);
                    return ClampByte(255 - static_cast<int>(u));
                };
                r = channel(v[0]);
                g = channel(v[1]);
                b = channel(v[2]);
            });
        } else {
            FormulaLoop<4>(cm, sources, target, count, mask, [](const std::uint32_t* v, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
                const int k = static_cast<int>(v[3]);
                auto channel = [k](std::uint32_t x) {
                    const int xi = static_cast<int>(x);
                    return ClampByte(MulDiv16(x, static_cast<std::uint32_t>(k), 255) - xi - k + 255);
                };
                r = channel(v[0]);
                g = channel(v[1]);
                b = channel(v[2]);
            });
        }
    }

    static void Lab(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count, std::uint8_t mask)
    {
        const bool src16 = cm.m_sourceBits == 16;
        const bool byteRange = (cm.SourceFlags & cfLabLightnessByteRange) != 0;
        const bool offset128 = (cm.SourceFlags & cfLabChromaOffset128) != 0;
        FormulaLoop<3>(cm, sources, target, count, mask, [&](const std::uint32_t* v, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
            long double L, A, B;
            if (src16) {
                // 16-bit L* spans 0..65535 for 0..100; a* and b* carry 8
                // fraction bits, signed or with 32768 added.
                L = v[0] * 100.0L / 65535.0L;
                A = (offset128 ? static_cast<long double>(static_cast<int>(v[1]) - 32768)
                               : static_cast<long double>(static_cast<std::int16_t>(v[1]))) / 256.0L;
                B = (offset128 ? static_cast<long double>(static_cast<int>(v[2]) - 32768)
                               : static_cast<long double>(static_cast<std::int16_t>(v[2]))) / 256.0L;
            } else {
                L = byteRange ? v[0] / 2.55L : static_cast<long double>(v[0]);
                A = offset128 ? static_cast<long double>(static_cast<int>(v[1]) - 128)
                              : static_cast<long double>(static_cast<std::int8_t>(v[1]));
                B = offset128 ? static_cast<long double>(static_cast<int>(v[2]) - 128)
                              : static_cast<long double>(static_cast<std::int8_t>(v[2]));
            }
            const long double T = (L + 16) / 116;
            long double X, Y, Z;
            if (L < 7.9996L) {
                Y = L / 903.3L;
                X = A / 3893.5L + Y;
                Z = Y - B / 1557.4L;
            } else {
                X = A / 500 + T;
                X = X * X * X;
                Y = T * T * T;
                Z = T - B / 200;
                Z = Z * Z * Z;
            }
            r = ClampNearest(255 * (2.998L * X - 1.458L * Y - 0.541L * Z));
            g = ClampNearest(255 * (-0.952L * X + 1.893L * Y + 0.059L * Z));
            b = ClampNearest(255 * (0.099L * X - 0.198L * Y + 1.099L * Z));
        });
    }

    static void YCC(const TColorManager& cm, Sources sources, std::uint8_t* target, std::size_t count, std::uint8_t mask)
    {
        const bool src16 = cm.m_sourceBits == 16;
        const auto& crToRed = cm.m_crToRed;
        const auto& cbToBlue = cm.m_cbToBlue;
        const auto& crToGreen = cm.m_crToGreen;
        const auto& cbToGreen = cm.m_cbToGreen;
        FormulaLoop<3>(cm, sources, target, count, mask, [&](const std::uint32_t* v, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
            const int y = src16 ? To8(v[0]) : static_cast<int>(v[0]);
            const std::size_t cb = src16 ? To8(v[1]) : v[1];
            const std::size_t cr = src16 ? To8(v[2]) : v[2];
            b = ClampByte(y + cbToBlue[cb]);
            g = ClampByte(y + cbToGreen[cb] + crToGreen[cr]);
            r = ClampByte(y + crToRed[cr]);
        });
    }
};

TColorManager::TColorManager()
{
    SetGammaValues(1.0f, 2.2f);
}

namespace {

// Stores value; a change means the row routine must be chosen again.
template <typename T>
void Store(T& field, T value, bool& changed)
{
    if (field != value) {
        field = value;
        changed = true;
    }
}

void CheckSampleBits(std::uint8_t bits)
{
    if (bits == 0 || bits > 16)
        throw EColorConversionError(kSInvalidColorDepth);
}

void CheckSamples(std::uint8_t samples)
{
    if (samples == 0 || samples > 4)
        throw EColorConversionError(kSInvalidSampleCount);
}

}  // namespace

void TColorManager::SetSourceSampleBits(std::uint8_t bits)
{
    CheckSampleBits(bits);
    Store(m_sourceBits, bits, m_changed);
}

void TColorManager::SetTargetSampleBits(std::uint8_t bits)
{
    CheckSampleBits(bits);
    Store(m_targetBits, bits, m_changed);
}

void TColorManager::SetSourceSamples(std::uint8_t samples)
{
    CheckSamples(samples);
    Store(m_sourceSamples, samples, m_changed);
}

void TColorManager::SetTargetSamples(std::uint8_t samples)
{
    CheckSamples(samples);
    Store(m_targetSamples, samples, m_changed);
}

void TColorManager::SetSourceScheme(ColorScheme scheme) { Store(m_sourceScheme, scheme, m_changed); }
void TColorManager::SetTargetScheme(ColorScheme scheme) { Store(m_targetScheme, scheme, m_changed); }

namespace {

// Pixels of count whose mask bit is set.
std::size_t SelectedPixels(std::size_t count, std::uint8_t mask)
{
    if (mask == 0xFF)
        return count;
    const auto ones = [](unsigned v) { return static_cast<std::size_t>(__builtin_popcount(v)); };
    const unsigned tail = static_cast<unsigned>(count % 8);
    const unsigned tailMask = tail == 0 ? 0u : (mask & (0xFF00u >> tail)) & 0xFFu;
    return count / 8 * ones(mask) + ones(tailMask);
}

std::size_t BytesFor(std::size_t pixels, unsigned bits)
{
    return (base::checkedMul(pixels, bits) + 7) / 8;
}

}  // namespace

void TColorManager::ConvertPixels(std::span<const std::span<const std::uint8_t>> sources,
                                  std::span<std::uint8_t> target, std::size_t count, std::uint8_t mask)
{
    if (m_changed)
        SelectRowRoutine();
    if (m_rowRoutine == nullptr)
        throw EColorConversionError(kSNoConversion);
    if (count == 0)
        return;
    if (sources.empty())
        throw EColorConversionError(kSNoConversion);
    CheckBuffers(sources, target.size(), count, mask);
    // Nothing to convert: the routines would step the pointers of empty rows.
    if (SelectedPixels(count, mask) == 0)
        return;
    // The routines walk raw row pointers; every span was checked above.
    const std::uint8_t* pointers[4] = {nullptr, nullptr, nullptr, nullptr};
    const std::size_t given = std::min<std::size_t>(sources.size(), 4);
    for (std::size_t i = 0; i < given; ++i)
        pointers[i] = sources[i].data();
    m_rowRoutine(*this, std::span<const std::uint8_t* const>(pointers, given), target.data(), count, mask);
}

void TColorManager::CheckBuffers(std::span<const std::span<const std::uint8_t>> sources, std::size_t targetBytes,
                                 std::size_t count, std::uint8_t mask) const
{
    const std::size_t selected = SelectedPixels(count, mask);
    const bool planar = sources.size() > 1;
    const std::size_t perPlane = BytesFor(selected, planar ? m_planeBits : m_interleavedBits);
    const std::size_t planes = planar ? std::min<std::size_t>(sources.size(), m_planesRead) : 1;
    for (std::size_t i = 0; i < planes; ++i)
        if (sources[i].size() < perPlane)
            throw base::EInternalError("Colour conversion source too small for the row");
    if (targetBytes < BytesFor(count, m_targetPixelBits))
        throw base::EInternalError("Colour conversion target too small for the row");
}

void TColorManager::SelectRowRoutine()
{
    m_rowRoutine = nullptr;
    if (IsIndexedSource(m_sourceScheme) != IsIndexedTarget(m_targetScheme))
        throw EColorConversionError(kSIndexedNotSupported);

    SourceFlags = HasAlphaSample(m_sourceScheme) ? (SourceFlags | cfWithAlpha) : (SourceFlags & ~cfWithAlpha);
    TargetFlags = HasAlphaSample(m_targetScheme) ? (TargetFlags | cfWithAlpha) : (TargetFlags & ~cfWithAlpha);

    const bool source16 = m_sourceBits == 16;
    const bool target16 = m_targetBits == 16;
    const bool colourTarget = IsRGBFamily(m_targetScheme);
    switch (m_sourceScheme) {
    case ColorScheme::Indexed:
        if (source16 && target16)
            m_rowRoutine = &TColorRoutines::IndexCopy16;
        else if (source16)
            m_rowRoutine = &TColorRoutines::IndexReduce16;
        else if (target16)
            m_rowRoutine = &TColorRoutines::IndexExpand16;
        else
            m_rowRoutine = &TColorRoutines::IndexRepack;
        break;
    case ColorScheme::Gray:
        if (!source16 && !target16)
            m_rowRoutine = &TColorRoutines::IndexRepack;
        else if (m_sourceBits >= 8 && m_targetBits >= 8)
            m_rowRoutine = &TColorRoutines::Gray816;
        break;
    case ColorScheme::GrayAlpha:
        if ((m_sourceBits == 8 || source16) && (m_targetBits == 8 || target16))
            m_rowRoutine = &TColorRoutines::Gray816;
        break;
    case ColorScheme::RGB:
    case ColorScheme::RGBA:
    case ColorScheme::BGR:
    case ColorScheme::BGRA:
        if (colourTarget)
            m_rowRoutine = &TColorRoutines::RGBFamily;
        break;
    case ColorScheme::CMYK:
        if (colourTarget)
            m_rowRoutine = &TColorRoutines::CMYK;
        break;
    case ColorScheme::CIELab:
        if (colourTarget)
            m_rowRoutine = &TColorRoutines::Lab;
        break;
    case ColorScheme::YCbCr:
    case ColorScheme::PhotoYCC:
        if (colourTarget) {
            BuildYCbCrTables();
            m_rowRoutine = &TColorRoutines::YCC;
        }
        break;
    default:
        break;
    }
    SetBufferNeeds();
    m_changed = false;
}

void TColorManager::SetBufferNeeds()
{
    const unsigned n = m_sourceBits;
    const unsigned m = m_targetBits;
    // The colour routines read bytes or words and write nothing for other
    // sizes, so a row of samples of the stated size is always enough.
    const unsigned sampleBits = n;
    const unsigned colourTarget = (HasAlphaSample(m_targetScheme) ? 4u : 3u) * m;
    m_planesRead = 1;
    m_planeBits = 0;
    switch (m_sourceScheme) {
    case ColorScheme::Indexed:
    case ColorScheme::Gray:
        m_interleavedBits = n;
        m_planeBits = n;
        // Packed targets hold 8 div m fields a byte, so sizes that do not
        // divide 8 (3, 5, 6, 7 bits) take a 4 or 8-bit slot each.
        m_targetPixelBits = m >= 1 && m < 8 ? 8 / (8 / m) : m;
        break;
    case ColorScheme::GrayAlpha:
        m_interleavedBits = 2 * n;  // an interleaved alpha sample is stepped over
        m_planeBits = n;
        m_targetPixelBits = m;
        break;
    case ColorScheme::RGB:
    case ColorScheme::BGR:
    case ColorScheme::RGBA:
    case ColorScheme::BGRA: {
        const bool sourceAlpha = HasAlphaSample(m_sourceScheme);
        m_interleavedBits = (sourceAlpha ? 4 : 3) * sampleBits;
        m_planeBits = sampleBits;
        m_planesRead = sourceAlpha && HasAlphaSample(m_targetScheme) ? 4 : 3;
        m_targetPixelBits = colourTarget;
        break;
    }
    case ColorScheme::CMYK:
        m_interleavedBits = 4 * sampleBits;
        m_planeBits = sampleBits;
        m_planesRead = 4;
        m_targetPixelBits = colourTarget;
        break;
    default:  // L*a*b*, YCbCr, PhotoYCC
        m_interleavedBits = 3 * sampleBits;
        m_planeBits = sampleBits;
        m_planesRead = 3;
        m_targetPixelBits = colourTarget;
        break;
    }
}

void TColorManager::BuildYCbCrTables()
{
    const float f1 = 2 - 2 * m_lumaRed;
    const float f3 = 2 - 2 * m_lumaBlue;
    const float f2 = m_lumaGreen != 0 ? m_lumaRed * f1 / m_lumaGreen : 0.0f;
    const float f4 = m_lumaGreen != 0 ? m_lumaBlue * f3 / m_lumaGreen : 0.0f;
    const bool photo = m_sourceScheme == ColorScheme::PhotoYCC;
    const int crCentre = photo ? 137 : 128;
    const int cbCentre = photo ? 156 : 128;
    // A luma coefficient of 0 or a non-finite one gives no usable table;
    // clamp the products so that the integer tables stay defined.
    auto rounded = [](long double x) {
        if (!std::isfinite(static_cast<double>(x)))
            return 0;
        return Nearest(std::clamp(x, -1.0e6L, 1.0e6L));
    };
    for (int i = 0; i < 256; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_crToRed[k] = rounded(static_cast<long double>(f1) * (i - crCentre));
        m_cbToBlue[k] = rounded(static_cast<long double>(f3) * (i - cbCentre));
        m_crToGreen[k] = -rounded(static_cast<long double>(f2) * (i - crCentre));
        m_cbToGreen[k] = -rounded(static_cast<long double>(f4) * (i - cbCentre));
    }
}

gdi::TLogPalette TColorManager::BuildColorPalette(std::span<const std::span<const std::uint8_t>> sources,
                                                  RawPaletteFormat format, std::size_t count, bool blueFirst)
{
    const auto kind = static_cast<unsigned>(format);
    if (kind > 7)
        throw EColorConversionError(kSNoConversion);
    const bool words = kind >= 4;
    const bool planar = kind == 2 || kind == 3 || kind == 6 || kind == 7;
    const bool quad = kind == 1 || kind == 5;
    const std::size_t sampleBytes = words ? 2 : 1;
    const std::size_t entryBytes = planar ? sampleBytes : sampleBytes * (quad ? 4 : 3);
    const std::size_t planes = planar ? 3 : 1;
    if (sources.size() < planes)
        throw EColorConversionError(kSPaletteTooShort);
    for (std::size_t p = 0; p < planes; ++p)
        if (sources[p].size() / entryBytes < count)
            throw EColorConversionError(kSPaletteTooShort);

    const std::uint8_t* lut = (TargetFlags & cfGammaCorrect) ? m_gammaTable.data() : kIdentity.data();
    const bool swap = (SourceFlags & cfSwapBytes16) != 0;
    auto sample = [&](std::size_t plane, std::size_t offset) -> std::uint8_t {
        const std::uint8_t* p = sources[plane].data() + offset;
        return lut[words ? To8(Load16(p, swap)) : *p];
    };
    // Entry k of the source data; entries past the announced count are black.
    auto entry = [&](std::size_t k) -> gdi::TPaletteEntry {
        if (k >= count)
            return {};
        if (planar) {
            const std::size_t at = k * sampleBytes;
            return {sample(0, at), sample(1, at), sample(2, at), 0};
        }
        const std::size_t at = k * entryBytes;
        const std::uint8_t a = sample(0, at), b = sample(0, at + sampleBytes), c = sample(0, at + 2 * sampleBytes);
        return blueFirst ? gdi::TPaletteEntry{c, b, a, 0} : gdi::TPaletteEntry{a, b, c, 0};
    };

    gdi::TLogPalette palette;
    const std::uint32_t sourceMax = (1u << m_sourceBits) - 1;
    const std::uint32_t targetMax = (1u << m_targetBits) - 1;
    if (m_targetBits <= 8 && sourceMax != targetMax) {
        // Target index j shows the colour of the source index that the index
        // conversion maps onto j. It is read from the source data, so a
        // source of more than 256 entries resamples over all of them.
        palette.resize(targetMax + 1);
        for (std::uint32_t j = 0; j <= targetMax; ++j)
            palette[j] = entry(MulDiv16(j, sourceMax, targetMax));
    } else {
        palette.resize(std::min(count, gdi::kMaxPaletteEntries));
        for (std::size_t k = 0; k < palette.size(); ++k)
            palette[k] = entry(k);
    }
    return palette;
}

gdi::TLogPalette TColorManager::BuildGrayPalette(bool minimumIsWhite) const
{
    const unsigned bits = std::min(8u, unsigned{m_targetBits} * m_targetSamples);
    const unsigned entries = 1u << bits;
    const unsigned top = entries - 1;
    const unsigned step = 255 / top;
    const bool gamma = (TargetFlags & cfGammaCorrect) != 0;
    gdi::TLogPalette palette(entries);
    for (unsigned i = 0; i <= top; ++i) {
        const std::uint8_t level = gamma ? m_gammaTable[i * step] : static_cast<std::uint8_t>(i * step);
        palette[minimumIsWhite ? top - i : i] = {level, level, level, 0};
    }
    return palette;
}

void TColorManager::SetGammaValues(float mainGamma, float displayGamma)
{
    m_mainGamma = mainGamma > 0 ? mainGamma : 1.0f;
    m_displayGamma = displayGamma > 0 ? displayGamma : 2.2f;
    const float g = 1.0f / (m_mainGamma * m_displayGamma);
    const unsigned sourceMax = m_sourceBits >= 8 ? 255 : (1u << m_sourceBits) - 1;
    const unsigned targetMax = m_targetBits >= 8 ? 255 : (1u << m_targetBits) - 1;
    for (unsigned i = 0; i <= sourceMax; ++i) {
        if (i == 0) {
            m_gammaTable[0] = 0;
            continue;
        }
        const double value = std::pow(static_cast<double>(i) / sourceMax, static_cast<double>(g)) * targetMax;
        const double bounded = std::isfinite(value) ? std::clamp(value, 0.0, static_cast<double>(targetMax)) : 0.0;
        m_gammaTable[i] = static_cast<std::uint8_t>(Nearest(bounded));
    }
}

void TColorManager::SetYCbCrValues(std::span<const float> coefficients, std::uint8_t horizontal, std::uint8_t vertical)
{
    if (coefficients.size() >= 1)
        m_lumaRed = coefficients[0];
    if (coefficients.size() >= 2)
        m_lumaGreen = coefficients[1];
    if (coefficients.size() >= 3)
        m_lumaBlue = coefficients[2];
    auto valid = [](std::uint8_t f) { return f == 1 || f == 2 || f == 4; };
    if (!valid(horizontal) || !valid(vertical))
        throw EColorConversionError(kSInvalidSubsampling);
    if (horizontal < vertical)
        throw EColorConversionError(kSVerticalSubsampling);
    m_subsamplingH = horizontal;
    m_subsamplingV = vertical;
}

core::TPixelFormat TColorManager::PixelFormatOf(Side side) const
{
    const unsigned samples = side == Side::Source ? m_sourceSamples : m_targetSamples;
    const unsigned bits = side == Side::Source ? m_sourceBits : m_targetBits;
    switch (samples) {
    case 1:
        if (bits == 1)
            return core::pf1bit;
        if (bits >= 2 && bits <= 4)
            return core::pf4bit;
        if (bits >= 8)
            return core::pf8bit;
        return core::pfCustom;
    case 3: return bits <= 5 ? core::pf15bit : core::pf24bit;
    case 4: return bits >= 8 ? core::pf32bit : core::pfCustom;
    default: return core::pfCustom;
    }
}

}  // namespace scalopex::formats
