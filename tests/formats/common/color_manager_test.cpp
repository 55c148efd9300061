#include "formats/common/color_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Converts one interleaved row into a target of targetBytes bytes, which
// starts filled with `fill` so that untouched bytes show.
Bytes Convert(TColorManager& cm, const Bytes& source, std::size_t count, std::size_t targetBytes, std::uint8_t mask = 0xFF,
              std::uint8_t fill = 0xEE)
{
    Bytes target(targetBytes, fill);
    cm.ConvertRow(source, target, count, mask);
    return target;
}

void Configure(TColorManager& cm, ColorScheme source, ColorScheme target, std::uint8_t sourceBits = 8,
           std::uint8_t targetBits = 8)
{
    cm.SetSourceScheme(source);
    cm.SetTargetScheme(target);
    cm.SetSourceSampleBits(sourceBits);
    cm.SetTargetSampleBits(targetBits);
}

std::string MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EColorConversionError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(ColorManagerSettings, RejectInvalidSizesWithTheirMessagesAndKeepTheOldValue)
{
    TColorManager cm;
    const std::string depth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
    const std::string samples = "Sample count per pixel does not correspond to the given color scheme.";
    EXPECT_EQ(MessageOf([&] { cm.SetSourceSampleBits(0); }), depth);
    EXPECT_EQ(MessageOf([&] { cm.SetTargetSampleBits(17); }), depth);
    EXPECT_EQ(MessageOf([&] { cm.SetSourceSamples(0); }), samples);
    EXPECT_EQ(MessageOf([&] { cm.SetTargetSamples(5); }), samples);
    EXPECT_EQ(cm.SourceSampleBits(), 8);
    EXPECT_EQ(cm.TargetSampleBits(), 8);
    EXPECT_EQ(cm.SourceSamples(), 3);
    EXPECT_EQ(cm.TargetSamples(), 3);
    // Odd sizes are accepted.
    cm.SetSourceSampleBits(3);
    cm.SetTargetSampleBits(5);
    cm.SetSourceSamples(4);
    EXPECT_EQ(cm.SourceSampleBits(), 3);
    EXPECT_EQ(cm.TargetSampleBits(), 5);
}

TEST(ColorManagerSettings, ErrorsOfSchemeCombinationsAreRaisedOnEveryConversion)
{
    const std::string noMethod = "Color conversion failed. Could not find a proper method.";
    const std::string indexed = "Conversion between indexed and non-indexed pixel formats is not supported.";
    struct Case {
        ColorScheme source, target;
        std::string message;
    } cases[] = {
        {ColorScheme::CMY, ColorScheme::BGR, noMethod},
        {ColorScheme::Unknown, ColorScheme::BGR, noMethod},
        {ColorScheme::RGB, ColorScheme::CMYK, noMethod},
        {ColorScheme::CMYK, ColorScheme::CIELab, noMethod},
        {ColorScheme::Gray, ColorScheme::RGB, indexed},
        {ColorScheme::RGB, ColorScheme::Indexed, indexed},
        {ColorScheme::GrayAlpha, ColorScheme::GrayAlpha, indexed},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Configure(cm, c.source, c.target);
        Bytes row(16, 0);
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(MessageOf([&] { Convert(cm, row, 1, 8); }), c.message)
                << static_cast<int>(c.source) << " -> " << static_cast<int>(c.target);
    }
}

TEST(ColorManagerSettings, ANewSettingChoosesANewRoutine)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGB, ColorScheme::BGR);
    EXPECT_EQ(Convert(cm, {1, 2, 3}, 1, 3), (Bytes{3, 2, 1}));
    cm.SetTargetScheme(ColorScheme::RGB);
    EXPECT_EQ(Convert(cm, {1, 2, 3}, 1, 3), (Bytes{1, 2, 3}));
    cm.SetSourceScheme(ColorScheme::CMY);
    EXPECT_THROW(Convert(cm, {1, 2, 3}, 1, 3), EColorConversionError);
}

TEST(ColorManagerRGB, ChannelOrderAndAlphaFollowBothSchemes)
{
    const Bytes rgb = {10, 20, 30, 40, 50, 60};
    const Bytes rgba = {10, 20, 30, 99, 40, 50, 60, 77};
    struct Case {
        ColorScheme source, target;
        Bytes input;
        std::size_t targetBytes;
        Bytes expected;
    } cases[] = {
        {ColorScheme::BGR, ColorScheme::BGR, rgb, 6, rgb},
        {ColorScheme::RGB, ColorScheme::RGB, rgb, 6, rgb},
        {ColorScheme::BGR, ColorScheme::RGB, rgb, 6, {30, 20, 10, 60, 50, 40}},
        {ColorScheme::RGB, ColorScheme::BGR, rgb, 6, {30, 20, 10, 60, 50, 40}},
        {ColorScheme::RGBA, ColorScheme::BGRA, rgba, 8, {30, 20, 10, 99, 60, 50, 40, 77}},
        {ColorScheme::BGRA, ColorScheme::BGRA, rgba, 8, rgba},
        // Alpha dropped: the target step is 3.
        {ColorScheme::RGBA, ColorScheme::BGR, rgba, 6, {30, 20, 10, 60, 50, 40}},
        // No source alpha: the target's fourth byte stays as it was.
        {ColorScheme::RGB, ColorScheme::BGRA, rgb, 8, {30, 20, 10, 0xEE, 60, 50, 40, 0xEE}},
        {ColorScheme::BGR, ColorScheme::RGBA, rgb, 8, {30, 20, 10, 0xEE, 60, 50, 40, 0xEE}},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Configure(cm, c.source, c.target);
        EXPECT_EQ(Convert(cm, c.input, 2, c.targetBytes), c.expected)
            << static_cast<int>(c.source) << " -> " << static_cast<int>(c.target);
    }
}

TEST(ColorManagerRGB, SixteenBitSamplesScaleDownAndHonourTheByteOrder)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGB, ColorScheme::RGB, 16, 8);
    // Little-endian 0xFFFF, 0xFFFE, 0x1234.
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0xFE, 0xFF, 0x34, 0x12}, 1, 3), (Bytes{255, 254, 18}));
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0xFF, 0xFE, 0x12, 0x34}, 1, 3), (Bytes{255, 254, 18}));
    // The whole-row case with swapped bytes and reversed channels.
    cm.SetTargetScheme(ColorScheme::BGR);
    EXPECT_EQ(Convert(cm, {0x12, 0x34, 0x00, 0x01, 0xFF, 0xFE, 0xFF, 0xFF, 0, 0, 0x80, 0x00}, 2, 6),
              (Bytes{254, 0, 18, 127, 0, 255}));
    // Alpha of 16 bits is scaled and byte-swapped, never gamma corrected.
    Configure(cm, ColorScheme::RGBA, ColorScheme::BGRA, 16, 8);
    cm.SourceFlags = 0;
    cm.TargetFlags = cfGammaCorrect;
    EXPECT_EQ(Convert(cm, {0, 0, 0x00, 0x80, 0xFF, 0xFF, 0x34, 0x12}, 1, 4), (Bytes{255, 186, 0, 18}));
}

TEST(ColorManagerRGB, GammaCorrectPassesColourBytesThroughTheGammaTable)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGBA, ColorScheme::RGBA);
    cm.TargetFlags = cfGammaCorrect;
    // The default table is 255 × (i / 255)^(1 / 2.2), rounded.
    EXPECT_EQ(Convert(cm, {0, 64, 128, 128, 200, 255, 0, 64}, 2, 8), (Bytes{0, 136, 186, 128, 228, 255, 0, 64}));
}

TEST(ColorManagerRGB, MaskSkipsTargetPixelsAndReadsOnlySelectedSourcePixels)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGB, ColorScheme::BGR);
    // Mask 0xA0: pixels 0 and 2 of each group of eight, so pixels 0, 2, 8 of ten.
    const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Bytes out = Convert(cm, source, 10, 30, 0xA0, 0);
    Bytes expected(30, 0);
    const int selected[] = {0, 2, 8};
    for (int k = 0; k < 3; ++k) {
        expected[3 * selected[k]] = source[3 * k + 2];
        expected[3 * selected[k] + 1] = source[3 * k + 1];
        expected[3 * selected[k] + 2] = source[3 * k];
    }
    EXPECT_EQ(out, expected);
    // A mask of 0 converts nothing.
    EXPECT_EQ(Convert(cm, source, 3, 9, 0x00, 7), Bytes(9, 7));
    EXPECT_EQ(Convert(cm, Bytes{}, 3, 9, 0x00, 7), Bytes(9, 7));  // nor from an empty source row
}

TEST(ColorManagerRGB, PlanarSourcesTakeOnePlanePerSample)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGBA, ColorScheme::BGRA);
    const Bytes r = {1, 2}, g = {3, 4}, b = {5, 6}, a = {7, 8};
    const std::span<const std::uint8_t> planes[] = {r, g, b, a};
    Bytes target(8, 0);
    cm.ConvertPixels(planes, target, 2);
    EXPECT_EQ(target, (Bytes{5, 3, 1, 7, 6, 4, 2, 8}));
    // Two planes cannot hold three colour samples.
    const std::span<const std::uint8_t> tooFew[] = {r, g};
    EXPECT_THROW(cm.ConvertPixels(tooFew, target, 2), EColorConversionError);
}

TEST(ColorManagerRGB, UnhandledSourceSizeWritesNothing)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGB, ColorScheme::BGR, 4, 8);
    EXPECT_EQ(Convert(cm, {0x12, 0x34}, 1, 3), Bytes(3, 0xEE));
}

TEST(ColorManagerRGB, SixteenBitTargetsHoldWordsPerSample)
{
    TColorManager cm;
    Configure(cm, ColorScheme::RGB, ColorScheme::BGR, 8, 16);
    EXPECT_EQ(Convert(cm, {0x01, 0x80, 0xFF}, 1, 6), (Bytes{0xFF, 0xFF, 0x80, 0x80, 0x01, 0x01}));
    Configure(cm, ColorScheme::RGB, ColorScheme::RGB, 16, 16);
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {0x12, 0x34, 0, 1, 0xAB, 0xCD}, 1, 6), (Bytes{0x34, 0x12, 1, 0, 0xCD, 0xAB}));
}

TEST(ColorManagerIndexed, RepackScalesFieldsBetweenSizes)
{
    struct Case {
        std::uint8_t sourceBits, targetBits;
        Bytes input;
        std::size_t count, targetBytes;
        Bytes expected;
    } cases[] = {
        {1, 8, {0xA0}, 8, 8, {255, 0, 255, 0, 0, 0, 0, 0}},
        {4, 8, {0x3F}, 2, 2, {51, 255}},
        {2, 8, {0x1B}, 4, 4, {0, 85, 170, 255}},
        {8, 1, {0, 254, 255, 255}, 4, 1, {0x3E}},  // 0x3E: fields 0,0,1,1 then the kept bits 1110
        {2, 4, {0xE4}, 4, 2, {0xFA, 0x50}},       // 3,2,1,0 → 15,10,5,0
        {8, 8, {7, 8, 9}, 3, 3, {7, 8, 9}},
        {1, 1, {0x5A, 0xFF}, 12, 2, {0x5A, 0xFF}},  // same size: whole bytes copied
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, c.sourceBits, c.targetBits);
        EXPECT_EQ(Convert(cm, c.input, c.count, c.targetBytes), c.expected)
            << int(c.sourceBits) << " -> " << int(c.targetBits);
    }
}

TEST(ColorManagerIndexed, MaskedRepackKeepsTheOtherBitsOfTargetBytes)
{
    TColorManager cm;
    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 1, 1);
    // Mask 0x55 selects pixels 1, 3, 5, 7; the source holds just those four bits.
    EXPECT_EQ(Convert(cm, {0xF0}, 8, 1, 0x55, 0x00), (Bytes{0x55}));
    EXPECT_EQ(Convert(cm, {0x00}, 8, 1, 0x55, 0xFF), (Bytes{0xAA}));
    // A 4-bit target, mask selecting the second pixel of each pair.
    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 8, 4);
    EXPECT_EQ(Convert(cm, {255, 0}, 4, 2, 0x55, 0x33), (Bytes{0x3F, 0x30}));
    // A 5-bit target holds one field a byte, so a row of 15 bits' bytes is too small.
    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 8, 5);
    EXPECT_THROW(Convert(cm, {255, 0, 255}, 3, 2, 0xFF, 0), scalopex::base::EInternalError);
    EXPECT_EQ(Convert(cm, {255, 0, 255}, 3, 3, 0xFF, 0), (Bytes{0xF8, 0x00, 0xF8}));
}

TEST(ColorManagerIndexed, SixteenBitIndicesCopyReduceAndExpand)
{
    TColorManager cm;
    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 16, 16);
    EXPECT_EQ(Convert(cm, {1, 2, 3, 4}, 2, 4), (Bytes{1, 2, 3, 4}));
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {1, 2, 3, 4}, 2, 4), (Bytes{2, 1, 4, 3}));

    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 16, 8);
    cm.SourceFlags = 0;
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x01}, 3, 3), (Bytes{255, 254, 0}));
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {0x80, 0x00}, 1, 1), (Bytes{127}));
    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 16, 1);
    cm.SourceFlags = 0;
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF}, 3, 1, 0xFF, 0), (Bytes{0xA0}));

    Configure(cm, ColorScheme::Indexed, ColorScheme::Indexed, 4, 16);
    cm.SourceFlags = 0;
    EXPECT_EQ(Convert(cm, {0xF1}, 2, 4), (Bytes{0xFF, 0xFF, 0x11, 0x11}));
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {0x20}, 2, 4), (Bytes{0x22, 0x22, 0, 0}));
}

TEST(ColorManagerGray, GreyLevelsOfEightAndSixteenBits)
{
    TColorManager cm;
    Configure(cm, ColorScheme::Gray, ColorScheme::Gray, 16, 8);
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0xFE, 0xFF}, 2, 2), (Bytes{255, 254}));
    cm.SourceFlags = cfSwapBytes16;
    EXPECT_EQ(Convert(cm, {0xFF, 0xFE, 0x12, 0x34}, 2, 2), (Bytes{254, 18}));

    Configure(cm, ColorScheme::Gray, ColorScheme::Gray, 8, 16);
    EXPECT_EQ(Convert(cm, {0x00, 0x80}, 2, 4), (Bytes{0, 0, 0x80, 0x80}));

    // Grey and alpha: the alpha sample is dropped, also under a mask.
    Configure(cm, ColorScheme::GrayAlpha, ColorScheme::Gray, 8, 8);
    EXPECT_EQ(Convert(cm, {10, 1, 20, 2, 30, 3}, 3, 3), (Bytes{10, 20, 30}));
    EXPECT_EQ(Convert(cm, {10, 1, 20, 2}, 3, 3, 0xA0, 0), (Bytes{10, 0, 20}));
    Configure(cm, ColorScheme::GrayAlpha, ColorScheme::Gray, 16, 8);
    cm.SourceFlags = 0;
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF}, 2, 2), (Bytes{255, 0}));
    // 12-bit grey is repacked like an index: 4095 is the top level.
    Configure(cm, ColorScheme::Gray, ColorScheme::Gray, 12, 8);
    EXPECT_EQ(Convert(cm, {0xFF, 0xF8, 0x00}, 2, 2), (Bytes{255, 127}));
}

TEST(ColorManagerFormulas, CMYKGivesTheComplementsOfInkAndBlack)
{
    struct Case {
        std::uint8_t bits;
        Bytes input;
        Bytes expectedBGR;
    } cases[] = {
        {8, {0, 0, 0, 0}, {255, 255, 255}},
        {8, {0, 0, 0, 255}, {0, 0, 0}},
        {8, {255, 0, 0, 0}, {255, 255, 0}},
        {8, {0, 0, 255, 128}, {0, 127, 127}},
        {16, {0, 0, 0, 0, 0, 0, 0, 0}, {255, 255, 255}},
        {16, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0, 0, 0}},
        {16, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, {255, 255, 0}},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        Configure(cm, ColorScheme::CMYK, ColorScheme::BGR, c.bits, 8);
        EXPECT_EQ(Convert(cm, c.input, 1, 3), c.expectedBGR) << int(c.bits);
    }
    // The target's alpha byte is skipped; a planar source has four planes.
    TColorManager cm;
    Configure(cm, ColorScheme::CMYK, ColorScheme::RGBA);
    const Bytes c = {255}, m = {0}, y = {0}, k = {0};
    const std::span<const std::uint8_t> planes[] = {c, m, y, k};
    Bytes target(4, 9);
    cm.ConvertPixels(planes, target, 1);
    EXPECT_EQ(target, (Bytes{0, 255, 255, 9}));
}

TEST(ColorManagerFormulas, LabEndsOfTheLightnessScale)
{
    TColorManager cm;
    Configure(cm, ColorScheme::CIELab, ColorScheme::RGB);
    EXPECT_EQ(Convert(cm, {100, 0, 0, 0, 0, 0}, 2, 6), (Bytes{255, 255, 255, 0, 0, 0}));
    cm.SourceFlags = cfLabLightnessByteRange | cfLabChromaOffset128;
    EXPECT_EQ(Convert(cm, {255, 128, 128}, 1, 3), (Bytes{255, 255, 255}));
    // A strongly positive a* is red; signed bytes without the offset flag.
    cm.SourceFlags = 0;
    const Bytes red = Convert(cm, {50, 80, 0}, 1, 3);
    EXPECT_GT(red[0], 150);
    EXPECT_LT(red[1], 100);
    // 16-bit: L* over 0..65535, a* and b* in 1/256 units.
    Configure(cm, ColorScheme::CIELab, ColorScheme::BGR, 16, 8);
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, 6), (Bytes{255, 255, 255, 0, 0, 0}));
}

TEST(ColorManagerFormulas, YCbCrAndPhotoYCCUseTheirCentres)
{
    TColorManager cm;
    Configure(cm, ColorScheme::YCbCr, ColorScheme::RGB);
    // Neutral chroma keeps the grey; Cr 200 adds round(1.402 × 72) = 101 to red
    // and takes round(0.714136 × 72) = 51 from green.
    EXPECT_EQ(Convert(cm, {128, 128, 128, 100, 128, 200, 250, 128, 255}, 3, 9),
              (Bytes{128, 128, 128, 201, 49, 100, 255, 159, 250}));
    Configure(cm, ColorScheme::PhotoYCC, ColorScheme::BGR);
    EXPECT_EQ(Convert(cm, {90, 156, 137}, 1, 3), (Bytes{90, 90, 90}));
    // 16-bit samples are scaled to 8 bits first.
    Configure(cm, ColorScheme::YCbCr, ColorScheme::BGR, 16, 8);
    EXPECT_EQ(Convert(cm, {0xFF, 0xFF, 0x80, 0x80, 0x80, 0x80}, 1, 3), (Bytes{255, 255, 255}));
}

TEST(ColorManagerPalette, RawFormatsGiveTheSameColours)
{
    const Bytes interleaved3 = {10, 20, 30, 40, 50, 60};
    const Bytes interleaved4 = {10, 20, 30, 0, 40, 50, 60, 0};
    const Bytes r = {10, 40}, g = {20, 50}, b = {30, 60};
    // Words stored high byte first: c × 256 + 0xD2 scales to c, read the other way round to far more.
    const Bytes words3 = {10, 0xD2, 20, 0xD2, 30, 0xD2, 40, 0xD2, 50, 0xD2, 60, 0xD2};
    const Bytes words4 = {10, 0xD2, 20, 0xD2, 30, 0xD2, 9, 9, 40, 0xD2, 50, 0xD2, 60, 0xD2, 9, 9};
    const Bytes r16 = {10, 0xD2, 40, 0xD2}, g16 = {20, 0xD2, 50, 0xD2}, b16 = {30, 0xD2, 60, 0xD2};
    const gdi::TLogPalette expected = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    struct Case {
        RawPaletteFormat format;
        std::vector<std::span<const std::uint8_t>> sources;
    } cases[] = {
        {RawPaletteFormat::Interlaced8Triple, {interleaved3}},
        {RawPaletteFormat::Interlaced8Quad, {interleaved4}},
        {RawPaletteFormat::Plane8Triple, {r, g, b}},
        {RawPaletteFormat::Plane8Quad, {r, g, b}},
        {RawPaletteFormat::Interlaced16Triple, {words3}},
        {RawPaletteFormat::Interlaced16Quad, {words4}},
        {RawPaletteFormat::Plane16Triple, {r16, g16, b16}},
        {RawPaletteFormat::Plane16Quad, {r16, g16, b16}},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        cm.SourceFlags = cfSwapBytes16;
        gdi::TLogPalette palette = cm.BuildColorPalette(c.sources, c.format, 2, false);
        EXPECT_EQ(palette, expected) << static_cast<int>(c.format);
    }
}

TEST(ColorManagerPalette, BlueFirstGammaAndTruncationTo256)
{
    TColorManager cm;
    const Bytes bgr = {30, 20, 10};
    const std::span<const std::uint8_t> one[] = {bgr};
    EXPECT_EQ(cm.BuildColorPalette(one, RawPaletteFormat::Interlaced8Triple, 1, true), (gdi::TLogPalette{{10, 20, 30, 0}}));
    cm.TargetFlags = cfGammaCorrect;
    const Bytes grey = {128, 64, 0};
    const std::span<const std::uint8_t> two[] = {grey};
    EXPECT_EQ(cm.BuildColorPalette(two, RawPaletteFormat::Interlaced8Triple, 1, false), (gdi::TLogPalette{{186, 136, 0, 0}}));

    cm.TargetFlags = 0;
    Bytes many(300 * 3);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<std::uint8_t>(i / 3);
    const std::span<const std::uint8_t> big[] = {many};
    const gdi::TLogPalette palette = cm.BuildColorPalette(big, RawPaletteFormat::Interlaced8Triple, 300, false);
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[255], (gdi::TPaletteEntry{255, 255, 255, 0}));
}

TEST(ColorManagerPalette, ShortOrMissingSourcesFail)
{
    TColorManager cm;
    const Bytes five(5, 1);
    const std::span<const std::uint8_t> shortOne[] = {five};
    EXPECT_THROW(cm.BuildColorPalette(shortOne, RawPaletteFormat::Interlaced8Triple, 2, false), EColorConversionError);
    EXPECT_THROW(cm.BuildColorPalette(shortOne, RawPaletteFormat::Interlaced16Triple, 1, false), EColorConversionError);
    const Bytes full(2, 1), partial(1, 1);
    const std::span<const std::uint8_t> planes[] = {full, full, partial};
    EXPECT_THROW(cm.BuildColorPalette(planes, RawPaletteFormat::Plane8Triple, 2, false), EColorConversionError);
    EXPECT_THROW(cm.BuildColorPalette(std::span(planes, 2), RawPaletteFormat::Plane8Triple, 1, false), EColorConversionError);
    EXPECT_TRUE(cm.BuildColorPalette(shortOne, RawPaletteFormat::Interlaced8Triple, 0, false).empty());
}

TEST(ColorManagerPalette, ResamplingFollowsTheIndexConversion)
{
    TColorManager cm;
    // A 1-bit source shown through an 8-bit target: index 255 is white.
    cm.SetSourceSampleBits(1);
    cm.SetTargetSampleBits(8);
    const Bytes two = {0, 0, 0, 255, 255, 255};
    const std::span<const std::uint8_t> src2[] = {two};
    gdi::TLogPalette palette = cm.BuildColorPalette(src2, RawPaletteFormat::Interlaced8Triple, 2, false);
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[0], (gdi::TPaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(palette[254], (gdi::TPaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(palette[255], (gdi::TPaletteEntry{255, 255, 255, 0}));

    // An 8-bit source to a 2-bit target keeps entries 0, 85, 170, 255.
    cm.SetSourceSampleBits(8);
    cm.SetTargetSampleBits(2);
    Bytes ramp(256 * 3);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint8_t>(i / 3);
    const std::span<const std::uint8_t> src256[] = {ramp};
    palette = cm.BuildColorPalette(src256, RawPaletteFormat::Interlaced8Triple, 256, false);
    ASSERT_EQ(palette.size(), 4u);
    EXPECT_EQ(palette[1].peRed, 85);
    EXPECT_EQ(palette[3].peRed, 255);

    // A 16-bit indexed source of 65536 entries: target j shows source j × 257,
    // beyond the first 256; entries past the announced count are black.
    cm.SetSourceSampleBits(16);
    cm.SetTargetSampleBits(8);
    Bytes wide(65536 * 3);
    for (std::size_t k = 0; k < 65536; ++k)
        wide[3 * k] = static_cast<std::uint8_t>(k >> 8);
    const std::span<const std::uint8_t> src16[] = {wide};
    palette = cm.BuildColorPalette(src16, RawPaletteFormat::Interlaced8Triple, 65536, false);
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[1].peRed, 1);
    EXPECT_EQ(palette[255].peRed, 255);
    palette = cm.BuildColorPalette(src16, RawPaletteFormat::Interlaced8Triple, 300, false);
    EXPECT_EQ(palette[1].peRed, 1);  // source 257
    EXPECT_EQ(palette[2].peRed, 0);  // source 514: past the count
}

TEST(ColorManagerPalette, GrayPalettesForEachTargetSize)
{
    TColorManager cm;
    cm.SetTargetSamples(1);
    cm.SetTargetSampleBits(1);
    EXPECT_EQ(cm.BuildGrayPalette(true), (gdi::TLogPalette{{255, 255, 255, 0}, {0, 0, 0, 0}}));
    EXPECT_EQ(cm.BuildGrayPalette(false), (gdi::TLogPalette{{0, 0, 0, 0}, {255, 255, 255, 0}}));
    cm.SetTargetSampleBits(2);
    const gdi::TLogPalette two = cm.BuildGrayPalette(false);
    ASSERT_EQ(two.size(), 4u);
    EXPECT_EQ(two[1].peGreen, 85);
    EXPECT_EQ(two[2].peBlue, 170);
    cm.SetTargetSampleBits(16);
    const gdi::TLogPalette wide = cm.BuildGrayPalette(false);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(wide[200].peRed, 200);
    cm.TargetFlags = cfGammaCorrect;
    EXPECT_EQ(cm.BuildGrayPalette(false)[128].peRed, 186);
}

TEST(ColorManagerGamma, TableFollowsGammasAndSampleSizes)
{
    TColorManager cm;
    EXPECT_FLOAT_EQ(cm.MainGamma(), 1.0f);
    EXPECT_FLOAT_EQ(cm.DisplayGamma(), 2.2f);
    EXPECT_EQ(cm.GammaTable()[0], 0);
    EXPECT_EQ(cm.GammaTable()[64], 136);
    EXPECT_EQ(cm.GammaTable()[128], 186);
    EXPECT_EQ(cm.GammaTable()[255], 255);

    cm.SetGammaValues(1.0f / 2.2f, 2.2f);  // g = 1: identity
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(cm.GammaTable()[static_cast<std::size_t>(i)], i);
    cm.SetGammaValues(-1.0f, 0.0f);  // out of range: the defaults
    EXPECT_FLOAT_EQ(cm.MainGamma(), 1.0f);
    EXPECT_FLOAT_EQ(cm.DisplayGamma(), 2.2f);

    // A 4-bit source to a 4-bit target rebuilds only entries 0 to 15.
    cm.SetSourceSampleBits(4);
    cm.SetTargetSampleBits(4);
    cm.SetGammaValues(1.0f, 2.2f);
    EXPECT_EQ(cm.GammaTable()[1], 4);
    EXPECT_EQ(cm.GammaTable()[8], 11);
    EXPECT_EQ(cm.GammaTable()[15], 15);
    EXPECT_EQ(cm.GammaTable()[128], 186);
}

TEST(ColorManagerYCbCr, SubsamplingChecks)
{
    TColorManager cm;
    const float none[1] = {0.299f};
    cm.SetYCbCrValues(std::span(none, 0), 4, 2);
    EXPECT_EQ(cm.SubsamplingH(), 4);
    EXPECT_EQ(cm.SubsamplingV(), 2);
    EXPECT_EQ(MessageOf([&] { cm.SetYCbCrValues(none, 2, 4); }),
              "Vertical subsampling value must be <= horizontal subsampling value.");
    EXPECT_EQ(MessageOf([&] { cm.SetYCbCrValues(none, 3, 1); }), "Subsampling value is invalid. Allowed are 1, 2 and 4.");
    EXPECT_EQ(MessageOf([&] { cm.SetYCbCrValues(none, 1, 0); }), "Subsampling value is invalid. Allowed are 1, 2 and 4.");
    EXPECT_EQ(cm.SubsamplingH(), 4);
    EXPECT_EQ(cm.SubsamplingV(), 2);

    // New luma coefficients change the tables of the next conversion:
    // red 0.5 gives Cr → red factor 1.0.
    const float luma[3] = {0.5f, 0.4f, 0.1f};
    cm.SetYCbCrValues(luma, 1, 1);
    Configure(cm, ColorScheme::YCbCr, ColorScheme::RGB);
    EXPECT_EQ(Convert(cm, {100, 128, 150}, 1, 3)[0], 122);
}

TEST(ColorManagerPixelFormat, FromSampleCountAndSize)
{
    struct Case {
        std::uint8_t samples, bits;
        core::TPixelFormat expected;
    } cases[] = {
        {1, 1, core::pf1bit},  {1, 2, core::pf4bit},   {1, 4, core::pf4bit},  {1, 5, core::pfCustom},
        {1, 8, core::pf8bit},  {1, 16, core::pf8bit},  {3, 5, core::pf15bit}, {3, 1, core::pf15bit},
        {3, 8, core::pf24bit}, {3, 16, core::pf24bit}, {4, 8, core::pf32bit}, {4, 4, core::pfCustom},
        {2, 8, core::pfCustom},
    };
    for (const Case& c : cases) {
        TColorManager cm;
        cm.SetTargetSamples(c.samples);
        cm.SetTargetSampleBits(c.bits);
        cm.SetSourceSamples(c.samples);
        cm.SetSourceSampleBits(c.bits);
        EXPECT_EQ(cm.PixelFormatOf(TColorManager::Side::Target), c.expected) << int(c.samples) << "x" << int(c.bits);
        EXPECT_EQ(cm.PixelFormatOf(TColorManager::Side::Source), c.expected);
    }
}

TEST(ColorManagerConvert, BuffersTooSmallForTheRowAreRefusedBeforeAnyByteIsTouched)
{
    TColorManager cm;  // RGB 8 to BGR 8
    Bytes target(6, 0xEE);
    EXPECT_NO_THROW(cm.ConvertRow({}, target, 0));
    EXPECT_THROW(cm.ConvertRow({}, target, 1), scalopex::base::EInternalError);
    EXPECT_THROW(cm.ConvertPixels({}, target, 1), EColorConversionError);  // no source at all
    const Bytes row = {1, 2, 3, 4, 5};  // one byte short of two pixels
    EXPECT_THROW(cm.ConvertRow(row, target, 2), scalopex::base::EInternalError);
    EXPECT_THROW(cm.ConvertRow(Bytes{1, 2, 3, 4, 5, 6}, std::span<std::uint8_t>(target).first(5), 2),
                 scalopex::base::EInternalError);
    EXPECT_EQ(target, Bytes(6, 0xEE));
    // A mask that skips pixels needs source bytes only for the selected ones.
    cm.ConvertRow(Bytes{1, 2, 3}, target, 2, 0x40);
    EXPECT_EQ(target, (Bytes{0xEE, 0xEE, 0xEE, 3, 2, 1}));
    // Planes are checked one by one, 1-bit indices by the bit.
    TColorManager planar;
    Configure(planar, ColorScheme::RGB, ColorScheme::BGR);
    const Bytes r = {1, 2}, g = {3}, b = {5, 6};
    const std::span<const std::uint8_t> planes[] = {r, g, b};
    EXPECT_THROW(planar.ConvertPixels(planes, target, 2), scalopex::base::EInternalError);
    TColorManager indices;
    Configure(indices, ColorScheme::Indexed, ColorScheme::Indexed, 1, 8);
    Bytes nine(9, 0);
    EXPECT_THROW(indices.ConvertRow(Bytes{0xFF}, nine, 9), scalopex::base::EInternalError);
    EXPECT_NO_THROW(indices.ConvertRow(Bytes{0xFF, 0x80}, nine, 9));
}

// Samples per pixel of a scheme as rows store them.
std::size_t SamplesOf(ColorScheme s)
{
    switch (s) {
    case ColorScheme::GrayAlpha: return 2;
    case ColorScheme::RGBA:
    case ColorScheme::BGRA:
    case ColorScheme::CMYK: return 4;
    case ColorScheme::RGB:
    case ColorScheme::BGR:
    case ColorScheme::CMY:
    case ColorScheme::CIELab:
    case ColorScheme::YCbCr:
    case ColorScheme::PhotoYCC: return 3;
    default: return 1;
    }
}

// Every routine over rows allocated to their exact size, so that the
// sanitizer build catches a read or write past either row.
TEST(ColorManagerConvert, NoRoutineTouchesBytesBeyondItsRows)
{
    const ColorScheme sources[] = {ColorScheme::Indexed, ColorScheme::Gray, ColorScheme::GrayAlpha, ColorScheme::RGB,
                                   ColorScheme::RGBA,    ColorScheme::BGR,  ColorScheme::BGRA,      ColorScheme::CMYK,
                                   ColorScheme::CIELab,  ColorScheme::YCbCr, ColorScheme::PhotoYCC};
    const ColorScheme targets[] = {ColorScheme::Indexed, ColorScheme::Gray, ColorScheme::RGB,
                                   ColorScheme::BGR,     ColorScheme::RGBA, ColorScheme::BGRA};
    const std::uint8_t sizes[] = {1, 2, 3, 4, 5, 8, 12, 16};
    const std::uint8_t masks[] = {0xFF, 0x5A, 0x01};
    int converted = 0;
    for (ColorScheme source : sources)
        for (ColorScheme target : targets)
            for (std::uint8_t n : sizes)
                for (std::uint8_t m : sizes)
                    for (std::uint8_t mask : masks)
                        for (std::size_t count : {1u, 7u, 13u}) {
                            std::size_t selected = 0;
                            for (std::size_t i = 0; i < count; ++i)
                                selected += (mask << (i % 8)) & 0x80 ? 1 : 0;
                            TColorManager cm;
                            Configure(cm, source, target, n, m);
                            // Rows of their exact size, each followed by guard bytes that must stay.
                            constexpr std::size_t kGuard = 16;
                            const std::size_t inBytes = (selected * SamplesOf(source) * n + 7) / 8;
                            Bytes in(inBytes + kGuard, 0xA5);
                            // Index targets of 8 bits or fewer hold 8 div m fields per byte.
                            const std::size_t perByte = SamplesOf(target) == 1 && m <= 8 ? 8 / m : 0;
                            const std::size_t outBytes =
                                perByte ? (count + perByte - 1) / perByte : (count * SamplesOf(target) * m + 7) / 8;
                            Bytes out(outBytes + kGuard, 0);
                            std::fill(out.begin() + static_cast<std::ptrdiff_t>(outBytes), out.end(), 0x5A);
                            try {
                                cm.ConvertRow(std::span(in).first(inBytes), std::span(out).first(outBytes), count, mask);
                                ++converted;
                            } catch (const EColorConversionError&) {
                            }
                            for (std::size_t g = outBytes; g < out.size(); ++g)
                                ASSERT_EQ(out[g], 0x5A) << "wrote past the target row";
                            for (std::size_t g = inBytes; g < in.size(); ++g)
                                ASSERT_EQ(in[g], 0xA5);
                        }
    EXPECT_GT(converted, 1000);
}

}  // namespace
}  // namespace scalopex::formats
