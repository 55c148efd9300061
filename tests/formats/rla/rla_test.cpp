// The RLA reader on files built here from the format's layout, its
// run-length decoder on hostile channel data, and its content test.

#include "formats/rla/rla_graphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/opening.h"
#include "core/stream.h"
#include "formats/rla/rla_rle.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;
using test::PixelRGB;

using test::ErrorOf;

// One stored channel row as literal runs.
Bytes Literal(const Bytes& samples)
{
    Bytes out;
    for (std::size_t i = 0; i < samples.size(); i += 128) {
        const std::size_t n = std::min<std::size_t>(128, samples.size() - i);
        out.push_back(static_cast<std::uint8_t>(-static_cast<int>(n)));
        out.insert(out.end(), samples.begin() + static_cast<std::ptrdiff_t>(i),
                   samples.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    return out;
}

struct RlaLayout {
    int left = 0;
    int right = 1;
    int bottom = 0;
    int top = 1;
    int colorChannels = 3;
    int matteChannels = 0;
    int bits = 8;
    std::string gamma = "1.0";
    std::string space = "rgb";
    std::uint16_t revision = rla::kRevision;
};

ByteBuilder Header(const RlaLayout& s)
{
    ByteBuilder b;
    b.fill(8, 0);
    b.u16be(static_cast<std::uint16_t>(s.left)).u16be(static_cast<std::uint16_t>(s.right));
    b.u16be(static_cast<std::uint16_t>(s.bottom)).u16be(static_cast<std::uint16_t>(s.top));
    b.u16be(0)
        .u16be(0)
        .u16be(static_cast<std::uint16_t>(s.colorChannels))
        .u16be(static_cast<std::uint16_t>(s.matteChannels));
    b.u16be(0).u16be(s.revision);
    Bytes gamma(16, 0);
    std::copy(s.gamma.begin(), s.gamma.end(), gamma.begin());
    b.bytes(gamma);
    b.fill(580 - b.size(), 0);
    Bytes space(32, 0);
    std::copy(s.space.begin(), s.space.end(), space.begin());
    b.bytes(space);
    b.fill(658 - b.size(), 0);
    b.u16be(static_cast<std::uint16_t>(s.bits));
    b.fill(rla::kHeaderSize - b.size(), 0);
    return b;
}

// A file whose stored row i holds, for each channel c, the samples
// sample(c, x, i); each row's channels are encoded as literal runs.
Bytes File(const RlaLayout& s, const std::function<int(int, int, int)>& sample)
{
    const int width = s.right - s.left + 1;
    const int height = std::abs(s.bottom - s.top) + 1;
    const int channels = s.colorChannels + (s.matteChannels > 0 ? 1 : 0);
    const std::size_t bytesPerSample = s.bits > 8 ? 2 : 1;
    std::vector<Bytes> rows;
    for (int i = 0; i < height; ++i) {
        ByteBuilder row;
        for (int c = 0; c < channels; ++c) {
            Bytes samples(width * bytesPerSample);
            for (int x = 0; x < width; ++x) {
                const int v = sample(c, x, i);
                if (bytesPerSample == 1) {
                    samples[x] = static_cast<std::uint8_t>(v);
                } else {
                    samples[x] = static_cast<std::uint8_t>(v >> 8);  // high bytes first, then low bytes
                    samples[width + x] = static_cast<std::uint8_t>(v);
                }
            }
            const Bytes packed = Literal(samples);
            row.u16be(static_cast<std::uint32_t>(packed.size())).bytes(packed);
        }
        rows.push_back(row.take());
    }
    ByteBuilder file = Header(s);
    std::uint32_t offset = static_cast<std::uint32_t>(rla::kHeaderSize + 4 * height);
    for (const Bytes& row : rows) {
        file.u32be(offset);
        offset += static_cast<std::uint32_t>(row.size());
    }
    for (const Bytes& row : rows)
        file.bytes(row);
    return file.take();
}

void Load(TRLAGraphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

// ---- run-length decoding ---------------------------------------------------

TEST(RlaDecoder, DecodesRunsAndLiteralsWithinBothBuffers)
{
    struct Case {
        const char* what;
        Bytes packed;
        std::size_t room;
        Bytes expected;  // the whole destination afterwards, 0xEE where untouched
    } cases[] = {
        {"literal then run", {0xFD, 1, 2, 3, 0x02, 7}, 6, {1, 2, 3, 7, 7, 7}},
        {"a run is cut to the row", {0x05, 9}, 4, {9, 9, 9, 9}},
        {"a literal is cut to the row", {0xFC, 1, 2, 3, 4}, 2, {1, 2}},
        {"a literal is cut to the data", {0xFC, 1, 2}, 4, {1, 2, 0xEE, 0xEE}},
        {"a run without its value writes nothing", {0xFF, 5, 0x03}, 3, {5, 0xEE, 0xEE}},
        {"count 0 repeats once", {0x00, 4}, 2, {4, 0xEE}},
        {"no data", {}, 2, {0xEE, 0xEE}},
        {"the longest literal",
         [] {
             Bytes p{0x80};
             for (int i = 0; i < 128; ++i)
                 p.push_back(static_cast<std::uint8_t>(i));
             return p;
         }(),
         128,
         [] {
             Bytes e;
             for (int i = 0; i < 128; ++i)
                 e.push_back(static_cast<std::uint8_t>(i));
             return e;
         }()},
    };
    for (const Case& c : cases) {
        Bytes dest(c.room, 0xEE);
        base::ByteCursor source(c.packed);
        TRLADecoder decoder;
        const std::size_t written = decoder.Decode(source, dest);
        EXPECT_EQ(dest, c.expected) << c.what;
        const auto touched =
            std::count_if(c.expected.begin(), c.expected.end(), [](std::uint8_t v) { return v != 0xEE; });
        EXPECT_EQ(written, static_cast<std::size_t>(touched)) << c.what;
        EXPECT_LE(source.position(), c.packed.size()) << c.what;
    }
}

// ---- loading ---------------------------------------------------------------

TEST(RlaReader, ActiveWindowGivesSizeAndRowOrder)
{
    struct Case {
        int bottom, top;
        bool bottomUp;
    } cases[] = {{0, 99, true}, {99, 0, false}, {-100, -1, true}};
    for (const Case& c : cases) {
        RlaLayout s;
        s.left = 10;
        s.right = 12;  // 3 wide
        s.bottom = c.bottom;
        s.top = c.top;
        // Stored row i carries i in red.
        TRLAGraphic graphic;
        Load(graphic, File(s, [](int ch, int x, int i) { return ch == 0 ? i : (ch == 1 ? x : 0); }));
        ASSERT_EQ(graphic.Width(), 3);
        ASSERT_EQ(graphic.Height(), 100);
        EXPECT_EQ(graphic.ImageDescription.RowsBottomUp, c.bottomUp);
        EXPECT_EQ(graphic.PixelFormat(), core::pf24bit);
        const int firstStoredRow = c.bottomUp ? 99 : 0;
        EXPECT_EQ(PixelRGB(graphic, 2, firstStoredRow), 0x000200u) << c.bottom << " " << c.top;
        EXPECT_EQ(PixelRGB(graphic, 0, c.bottomUp ? 0 : 99), 0x630000u) << c.bottom << " " << c.top;
    }
}

TEST(RlaReader, GammaTextDecidesTheCorrection)
{
    struct Case {
        const char* text;
        float gamma;
    } cases[] = {{"2.2", 2.2f}, {" 1.0", 1.0f}, {"1.7  ", 1.7f}, {"abc", 1.0f},
                 {"0.0", 1.0f}, {"-2", 1.0f},   {"", 1.0f},      {"2.2x", 1.0f}};
    for (const Case& c : cases) {
        RlaLayout s;
        s.gamma = c.text;
        TRLAGraphic graphic;
        Load(graphic, File(s, [](int ch, int x, int) { return ch == 0 ? 64 + x : 0; }));
        EXPECT_FLOAT_EQ(graphic.ImageDescription.Gamma, c.gamma) << c.text;
        const bool corrected = c.gamma != 1.0f;
        EXPECT_EQ((graphic.ImageDescription.Flags & (1 << 4)) != 0, corrected) << c.text;
        // The table of SetGammaValues(gamma, 2.2): nearest(255 * (v / 255)^(1 / (gamma * 2.2))).
        const double g = 1.0 / (static_cast<double>(static_cast<float>(c.gamma * 2.2f)));
        const int expected = corrected ? static_cast<int>(std::nearbyint(255 * std::pow(64 / 255.0, g))) : 64;
        EXPECT_EQ(static_cast<int>(PixelRGB(graphic, 0, 0) >> 16), expected) << c.text;
    }
}

TEST(RlaReader, OneMatteChannelGivesRealAlpha)
{
    RlaLayout s;
    s.matteChannels = 1;
    TRLAGraphic graphic;
    Load(graphic, File(s, [](int ch, int x, int) { return ch == 3 ? (x == 0 ? 0 : 255) : 40 * (ch + 1); }));
    ASSERT_EQ(graphic.PixelFormat(), core::pf32bit);
    EXPECT_TRUE(graphic.HasAlpha());
    EXPECT_EQ(graphic.ImageDescription.Scheme, ColorScheme::RGBA);
    const std::uint8_t* row = graphic.ScanLineRead(0);
    EXPECT_EQ(Bytes(row, row + 8), (Bytes{120, 80, 40, 0, 120, 80, 40, 255}));
    // Drawn as opened: the transparent pixel shows white.
    const auto drawn = core::GraphicToBitmap(&graphic);
    EXPECT_EQ(PixelRGB(*drawn, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*drawn, 1, 0), 0x285078u);
}

TEST(RlaReader, WideChannelsAreReducedToEightBits)
{
    struct Case {
        int bits;
        int value;
        std::uint32_t red;
    } cases[] = {{16, 0xFFFF, 0xFF}, {16, 0x1234, 0x12}, {16, 0x00FF, 0x00}, {10, 1023, 0xFF},
                 {10, 512, 127},     {10, 4000, 0xFF},   {12, 4095, 0xFF}};
    for (const Case& c : cases) {
        RlaLayout s;
        s.bits = c.bits;
        TRLAGraphic graphic;
        Load(graphic, File(s, [&](int ch, int, int) { return ch == 0 ? c.value : 0; }));
        ASSERT_EQ(graphic.PixelFormat(), core::pf24bit) << c.bits;
        EXPECT_EQ(PixelRGB(graphic, 1, 1) >> 16, c.red) << c.bits << " bits, " << c.value;
    }
}

TEST(RlaReader, ChannelSpacesAreComparedWithoutCase)
{
    struct Case {
        const char* space;
        std::string error;  // empty: loads
        bool empty;
    } cases[] = {
        {"rgb", "", false},
        {"RGB", "", false},
        {"xyz", "", true},
        {"XyZ", "", true},
        {"sample", "Color conversion failed. Could not find a proper method.", true},
        {"", "Color conversion failed. Could not find a proper method.", true},
    };
    for (const Case& c : cases) {
        RlaLayout s;
        s.space = c.space;
        TRLAGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, File(s, [](int, int, int) { return 9; })); }),
                  c.error.empty() ? "(no error)" : c.error)
            << c.space;
        EXPECT_EQ(graphic.Empty(), c.empty) << c.space;
    }
}

TEST(RlaReader, BadHeadersFailWithMessages)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected RLA image format.";
    struct Case {
        const char* what;
        std::function<void(RlaLayout&)> change;
        std::string message;
    } cases[] = {
        {"negative width", [](RlaLayout& s) { s.right = -5; }, invalid},
        {"one colour channel", [](RlaLayout& s) { s.colorChannels = 1; }, invalid},
        {"four-bit channels", [](RlaLayout& s) { s.bits = 4; }, invalid},
        {"no channel size", [](RlaLayout& s) { s.bits = 0; },
         "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16."},
        {"32-bit channels", [](RlaLayout& s) { s.bits = 32; },
         "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16."},
    };
    for (const Case& c : cases) {
        RlaLayout s;
        c.change(s);
        Bytes file = Header(s).take();
        file.resize(file.size() + 4096, 0);
        TRLAGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, file); }), c.message) << c.what;
    }
}

TEST(RlaReader, DataOutsideTheFileIsReadAsFarAsItGoes)
{
    RlaLayout s;
    s.right = 3;  // 4 x 2
    const Bytes good = File(s, [](int, int, int) { return 50; });
    const std::size_t table = rla::kHeaderSize;

    {
        // Row 0 points past the end: it keeps the fill; row 1 decodes.
        Bytes file = good;
        file[table] = 0x7F;
        TRLAGraphic graphic;
        Load(graphic, file);
        EXPECT_EQ(PixelRGB(graphic, 0, 1), 0xFFFFFFu);
        EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x323232u);
    }
    {
        // The last channel's byte count claims more than the file holds.
        Bytes file = good;
        file.resize(file.size() - 2);
        TRLAGraphic graphic;
        Load(graphic, file);
        EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x323232u);
        EXPECT_EQ(PixelRGB(graphic, 3, 0), 0x323200u);  // the lost blue samples read 0
    }
    {
        // A byte count far larger than the row: the row still gets 4 samples.
        Bytes file = Header(s).take();
        ByteBuilder rows;
        rows.u32be(static_cast<std::uint32_t>(table + 8)).u32be(static_cast<std::uint32_t>(table + 8));
        for (int c = 0; c < 3; ++c)
            rows.u16be(6).bytes({0x7F, 0x11, 0x7F, 0x22, 0x7F, 0x33});
        file.insert(file.end(), rows.data().begin(), rows.data().end());
        TRLAGraphic graphic;
        Load(graphic, file);
        EXPECT_EQ(PixelRGB(graphic, 3, 0), 0x111111u);
        EXPECT_EQ(PixelRGB(graphic, 3, 1), 0x111111u);  // both rows share their data
    }
    {
        // A table cut short, and a header cut short.
        Bytes file = Header(s).take();
        file.push_back(0);
        TRLAGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, file); }), "Stream read error");
        EXPECT_EQ(ErrorOf([&] { Load(graphic, Bytes(good.begin(), good.begin() + 500)); }), "Stream read error");
    }
}

TEST(RlaContentTest, AcceptsRgbAndXyzFilesAndRestoresThePosition)
{
    struct Case {
        const char* what;
        RlaLayout layout;
        std::size_t size;  // 0: the whole file
        bool expected;
    } cases[] = {
        {"rgb", {}, 0, true},
        {"xyz", {.space = "XYZ"}, 0, true},
        {"other space", {.space = "cmyk"}, 0, false},
        {"other revision", {.revision = 0xFFFD}, 0, false},
        {"header only", {}, rla::kHeaderSize, false},
        {"header and one byte", {}, rla::kHeaderSize + 1, true},
    };
    for (const Case& c : cases) {
        Bytes file = File(c.layout, [](int, int, int) { return 1; });
        if (c.size != 0)
            file.resize(c.size);
        Bytes prefixed = {1, 2, 3};
        prefixed.insert(prefixed.end(), file.begin(), file.end());
        core::TMemoryStream stream(prefixed);
        stream.SetPosition(3);
        TRLAGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.expected) << c.what;
        EXPECT_EQ(stream.Position(), 3u) << c.what;
        if (c.expected) {
            EXPECT_TRUE(IsRLA({file.data(), 64})) << c.what;
        }
    }
}

}  // namespace
}  // namespace scalopex::formats
