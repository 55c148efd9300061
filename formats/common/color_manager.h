#pragma once
/// TColorManager: converts rows of samples as a file stores them (1 to 16
/// bits per sample, 1 to 4 samples per pixel, interleaved or planar, in one
/// of the colour schemes below) into rows of a raster's pixel format, and
/// builds the raster's palette for indexed and grey images.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/exceptions.h"
#include "core/bitmap_image.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats {

enum class ColorScheme : std::uint8_t {
    Unknown,
    Indexed,
    Gray,
    GrayAlpha,
    RGB,
    RGBA,
    BGR,
    BGRA,
    CMY,
    CMYK,
    CIELab,
    YCbCr,
    PhotoYCC,
};

/// Conversion flags, one bit set per side.
using ConversionFlags = std::uint8_t;
inline constexpr ConversionFlags cfWithAlpha = 1 << 0;              // both sides; set from the scheme
inline constexpr ConversionFlags cfGammaCorrect = 1 << 1;           // target
inline constexpr ConversionFlags cfSwapBytes16 = 1 << 2;            // source: 16-bit samples big-endian
inline constexpr ConversionFlags cfLabLightnessByteRange = 1 << 3;  // source: L* stored as 0..255
inline constexpr ConversionFlags cfLabChromaOffset128 = 1 << 4;     // source: a*, b* stored with 128 added

/// Layouts of raw palette data given to BuildColorPalette.
enum class RawPaletteFormat : std::uint8_t {
    Interlaced8Triple = 0,   // one buffer, 3 bytes per entry
    Interlaced8Quad = 1,     // one buffer, 4 bytes per entry, the fourth skipped
    Plane8Triple = 2,        // three planes (red, green, blue), one byte each
    Plane8Quad = 3,          // as Plane8Triple
    Interlaced16Triple = 4,  // one buffer, 3 words per entry
    Interlaced16Quad = 5,    // one buffer, 4 words per entry, the fourth skipped
    Plane16Triple = 6,       // three planes of words
    Plane16Quad = 7,         // as Plane16Triple
};

/// Every failure of a conversion or of a setting.
class EColorConversionError : public base::Exception {
public:
    using base::Exception::Exception;
};

inline constexpr const char* kSInvalidColorDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
inline constexpr const char* kSInvalidSampleCount = "Sample count per pixel does not correspond to the given color scheme.";
inline constexpr const char* kSNoConversion = "Color conversion failed. Could not find a proper method.";
inline constexpr const char* kSIndexedNotSupported =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
inline constexpr const char* kSInvalidSubsampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
inline constexpr const char* kSVerticalSubsampling =
    "Vertical subsampling value must be <= horizontal subsampling value.";

/// (a × b) div c on 16-bit operands, the product in 32 bits.
constexpr std::uint16_t MulDiv16(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    return static_cast<std::uint16_t>((a * b) / c);
}

class TColorManager {
public:
    enum class Side { Source, Target };

    TColorManager();

    std::uint8_t SourceSampleBits() const { return m_sourceBits; }
    /// 1 to 16, else kSInvalidColorDepth.
    void SetSourceSampleBits(std::uint8_t bits);
    std::uint8_t TargetSampleBits() const { return m_targetBits; }
    void SetTargetSampleBits(std::uint8_t bits);
    std::uint8_t SourceSamples() const { return m_sourceSamples; }
    /// 1 to 4, else kSInvalidSampleCount.
    void SetSourceSamples(std::uint8_t samples);
    std::uint8_t TargetSamples() const { return m_targetSamples; }
    void SetTargetSamples(std::uint8_t samples);
    ColorScheme SourceScheme() const { return m_sourceScheme; }
    void SetSourceScheme(ColorScheme scheme);
    ColorScheme TargetScheme() const { return m_targetScheme; }
    void SetTargetScheme(ColorScheme scheme);

    /// Plain fields written by the readers; WithAlpha is overwritten from
    /// the schemes when the row routine is chosen.
    ConversionFlags SourceFlags = 0;
    ConversionFlags TargetFlags = 0;

    float MainGamma() const { return m_mainGamma; }
    float DisplayGamma() const { return m_displayGamma; }
    const std::array<std::uint8_t, 256>& GammaTable() const { return m_gammaTable; }
    std::uint8_t SubsamplingH() const { return m_subsamplingH; }
    std::uint8_t SubsamplingV() const { return m_subsamplingV; }

    /// Converts count pixels. One source: interleaved samples; more: one
    /// plane per sample in the scheme's order. Bit 7 of mask stands for the
    /// first pixel of each group of eight; a clear bit skips the target
    /// pixel and consumes no source pixel. Sources and target too small for
    /// count pixels are a programming error (EInternalError), whatever the
    /// build.
    void ConvertPixels(std::span<const std::span<const std::uint8_t>> sources, std::span<std::uint8_t> target,
                       std::size_t count, std::uint8_t mask = 0xFF);
    /// The same for one interleaved source row.
    void ConvertRow(std::span<const std::uint8_t> source, std::span<std::uint8_t> target, std::size_t count,
                    std::uint8_t mask = 0xFF)
    {
        const std::span<const std::uint8_t> sources[1] = {source};
        ConvertPixels(sources, target, count, mask);
    }

    /// A palette from count raw entries (at most 256 kept), resampled to the
    /// target index size. Each source span must hold the count entries the
    /// format needs; a short one fails with EColorConversionError.
    gdi::TLogPalette BuildColorPalette(std::span<const std::span<const std::uint8_t>> sources, RawPaletteFormat format,
                                       std::size_t count, bool blueFirst);
    /// Grey levels for the target sample size, entry 0 white when minimumIsWhite.
    gdi::TLogPalette BuildGrayPalette(bool minimumIsWhite) const;

    /// Stores both gammas (0 or less: 1.0 and 2.2) and rebuilds GammaTable.
    void SetGammaValues(float mainGamma, float displayGamma);
    /// Replaces the first coefficients.size() (at most 3) of the luma
    /// coefficients, then checks and stores the subsampling factors.
    void SetYCbCrValues(std::span<const float> coefficients, std::uint8_t horizontal, std::uint8_t vertical);

    /// The raster pixel format for one side's sample count and size.
    core::TPixelFormat PixelFormatOf(Side side) const;

private:
    // A row routine reads the manager's settings once per call, then runs a
    // tight loop over the pixels; it is chosen once per settings change.
    using RowRoutine = void (*)(const TColorManager&, std::span<const std::uint8_t* const>, std::uint8_t*, std::size_t,
                                std::uint8_t);
    void SelectRowRoutine();
    void SetBufferNeeds();
    // Bytes the chosen routine reads and writes for count pixels, of which
    // selected are converted; checked before every call.
    void CheckBuffers(std::span<const std::span<const std::uint8_t>> sources, std::size_t targetBytes, std::size_t count,
                      std::uint8_t mask) const;
    void BuildYCbCrTables();
    // Row routines and their helpers are declared in color_manager.cpp's
    // friend struct to keep this header small.
    friend struct TColorRoutines;

    bool m_changed = true;
    std::uint8_t m_sourceBits = 8;
    std::uint8_t m_targetBits = 8;
    std::uint8_t m_sourceSamples = 3;
    std::uint8_t m_targetSamples = 3;
    float m_mainGamma = 1.0f;
    float m_displayGamma = 2.2f;
    std::array<std::uint8_t, 256> m_gammaTable{};
    float m_lumaRed = 0.299f;
    float m_lumaGreen = 0.587f;
    float m_lumaBlue = 0.114f;
    std::uint8_t m_subsamplingH = 1;
    std::uint8_t m_subsamplingV = 1;
    std::array<std::int32_t, 256> m_crToRed{};
    std::array<std::int32_t, 256> m_cbToBlue{};
    std::array<std::int32_t, 256> m_crToGreen{};
    std::array<std::int32_t, 256> m_cbToGreen{};
    ColorScheme m_sourceScheme = ColorScheme::RGB;
    ColorScheme m_targetScheme = ColorScheme::BGR;
    RowRoutine m_rowRoutine = nullptr;
    // What the chosen routine consumes: bits per interleaved source pixel,
    // bits per pixel in each of m_planesRead planes, bits per target pixel.
    unsigned m_interleavedBits = 0;
    unsigned m_planeBits = 0;
    unsigned m_planesRead = 1;
    unsigned m_targetPixelBits = 0;
};

}  // namespace scalopex::formats
