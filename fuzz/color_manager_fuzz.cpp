// formats::TColorManager driven alone. The first bytes choose the source and
// target schemes, sample sizes and counts, flags, mask, layout (interleaved
// or one plane per sample), gamma, YCbCr coefficients, the pixel count and
// the number of rows; the rest is the rows' samples. Every buffer is exactly
// as large as the layout needs for the pixels the mask selects, so a routine
// that reads or writes past it shows.

#include <algorithm>
#include <vector>

#include "formats/common/color_manager.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace scalopex;
using formats::ColorScheme;

constexpr int kSchemes = static_cast<int>(ColorScheme::PhotoYCC) + 1;

// Samples of one pixel as the scheme stores them.
unsigned SamplesOf(ColorScheme scheme)
{
    switch (scheme) {
    case ColorScheme::Unknown:
        return 0;
    case ColorScheme::Indexed:
    case ColorScheme::Gray:
        return 1;
    case ColorScheme::GrayAlpha:
        return 2;
    case ColorScheme::RGBA:
    case ColorScheme::BGRA:
    case ColorScheme::CMYK:
        return 4;
    default:
        return 3;
    }
}

std::size_t BytesFor(std::size_t pixels, unsigned bits)
{
    return (pixels * bits + 7) / 8;
}

// Pixels of count whose mask bit is set: bit 7 for the first of each eight.
std::size_t Selected(std::size_t count, std::uint8_t mask)
{
    std::size_t selected = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (mask & (0x80u >> (i % 8)))
            ++selected;
    return selected;
}

// A buffer of exactly size bytes, filled from the input as far as it goes.
std::vector<std::uint8_t> Buffer(fuzz::TFieldReader& fields, std::size_t size)
{
    const fuzz::Bytes taken = fields.Take(size);
    std::vector<std::uint8_t> buffer(size, 0);
    std::copy(taken.begin(), taken.end(), buffer.begin());
    return buffer;
}

void BuildPalette(formats::TColorManager& cm, fuzz::TFieldReader& fields)
{
    const std::uint8_t layout = fields.U8();
    const auto format = static_cast<formats::RawPaletteFormat>(layout & 7);
    const bool blueFirst = layout & 8;
    const std::size_t count = fields.U8() + 1u;
    const unsigned kind = layout & 7;
    const std::size_t sampleBytes = kind >= 4 ? 2 : 1;
    const bool planar = kind == 2 || kind == 3 || kind == 6 || kind == 7;
    const std::size_t entryBytes = planar ? sampleBytes : sampleBytes * (kind == 1 || kind == 5 ? 4 : 3);
    std::vector<std::vector<std::uint8_t>> planes;
    for (int p = 0; p < (planar ? 3 : 1); ++p)
        planes.push_back(Buffer(fields, count * entryBytes));
    const std::vector<fuzz::Bytes> sources(planes.begin(), planes.end());
    cm.BuildColorPalette(sources, format, count, blueFirst);
    cm.BuildGrayPalette(layout & 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Run([&] {
        fuzz::TFieldReader fields({data, size});
        formats::TColorManager cm;
        const auto source = static_cast<ColorScheme>(fields.U8() % kSchemes);
        const auto target = static_cast<ColorScheme>(fields.U8() % kSchemes);
        cm.SetSourceScheme(source);
        cm.SetTargetScheme(target);
        const unsigned sourceBits = fields.U8() % 16 + 1u;
        const unsigned targetBits = fields.U8() % 16 + 1u;
        cm.SetSourceSampleBits(static_cast<std::uint8_t>(sourceBits));
        cm.SetTargetSampleBits(static_cast<std::uint8_t>(targetBits));
        const std::uint8_t samples = fields.U8();
        cm.SetSourceSamples(static_cast<std::uint8_t>(samples % 4 + 1));
        cm.SetTargetSamples(static_cast<std::uint8_t>(samples / 4 % 4 + 1));
        cm.SourceFlags = fields.U8();
        cm.TargetFlags = fields.U8();
        const std::uint8_t mask = fields.U8();
        const std::uint8_t setup = fields.U8();
        const float mainGamma = fields.U8() / 16.0f;
        const float displayGamma = fields.U8() / 16.0f;
        if (setup & 2)
            cm.SetGammaValues(mainGamma, displayGamma);
        const float luma[3] = {fields.U8() / 255.0f, fields.U8() / 255.0f, fields.U8() / 255.0f};
        const std::uint8_t subsampling = fields.U8();
        if (setup & 4)
            cm.SetYCbCrValues(luma, static_cast<std::uint8_t>(1u << (subsampling % 3)),
                              static_cast<std::uint8_t>(1u << (subsampling / 3 % 3)));
        cm.PixelFormatOf(formats::TColorManager::Side::Source);
        cm.PixelFormatOf(formats::TColorManager::Side::Target);
        if (setup & 8)
            BuildPalette(cm, fields);

        const std::size_t count = fields.U16() % 2048;
        const int rows = fields.U8() % 4 + 1;
        const bool indexedSource =
            source == ColorScheme::Indexed || source == ColorScheme::Gray || source == ColorScheme::GrayAlpha;
        const unsigned targetSamples =
            indexedSource ? 1 : (target == ColorScheme::RGBA || target == ColorScheme::BGRA ? 4 : 3);
        // Packed index targets hold 8 div bits fields a byte.
        const unsigned targetFieldBits = indexedSource && targetBits < 8 ? 8 / (8 / targetBits) : targetBits;
        const unsigned sourceSamples = SamplesOf(source);
        const bool planar = (setup & 1) && sourceSamples > 1;
        const std::size_t selected = Selected(count, mask);
        for (int y = 0; y < rows; ++y) {
            std::vector<std::vector<std::uint8_t>> planes;
            if (planar) {
                for (unsigned p = 0; p < sourceSamples; ++p)
                    planes.push_back(Buffer(fields, BytesFor(selected, sourceBits)));
            } else {
                planes.push_back(Buffer(fields, BytesFor(selected, sourceSamples * sourceBits)));
            }
            const std::vector<fuzz::Bytes> sources(planes.begin(), planes.end());
            std::vector<std::uint8_t> row(BytesFor(count, targetSamples * targetFieldBits), 0);
            cm.ConvertPixels(sources, row, count, mask);
        }
    });
    return 0;
}
