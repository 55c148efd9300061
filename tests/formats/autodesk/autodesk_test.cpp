// The Autodesk cel and picture reader on files built here from the
// format's layout.

#include "formats/autodesk/autodesk_graphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;

using test::ErrorOf;

// A file of width x height whose palette entry k is entry(k) and whose
// pixel (x, y) is pixel(x, y).
Bytes File(int width, int height, const std::function<std::array<int, 3>(int)>& entry,
           const std::function<int(int, int)>& pixel, std::uint16_t magic = autodesk::kMagic, std::uint8_t bits = 8,
           std::uint8_t compression = 0)
{
    ByteBuilder b;
    b.u16le(magic)
        .u16le(static_cast<std::uint32_t>(width))
        .u16le(static_cast<std::uint32_t>(height))
        .u16le(4)
        .u16le(17);
    b.u8(bits).u8(compression).fill(20, 0);
    for (int k = 0; k < 256; ++k) {
        const auto e = entry(k);
        b.u8(static_cast<std::uint32_t>(e[0]))
            .u8(static_cast<std::uint32_t>(e[1]))
            .u8(static_cast<std::uint32_t>(e[2]));
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.u8(static_cast<std::uint32_t>(pixel(x, y)));
    return b.take();
}

void Load(TAutodeskGraphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

std::array<int, 3> Ramp(int k)
{
    return {k / 4, 63 - k / 4, (k * 7) % 64};
}

TEST(AutodeskReader, PaletteComponentsAreTimesFour)
{
    TAutodeskGraphic graphic;
    Load(graphic, File(
                      2, 1,
                      [](int k) {
                          return k == 5 ? std::array<int, 3>{63, 0, 32} : Ramp(k);
                      },
                      [](int x, int) { return 5 * x; }));
    const gdi::TLogPalette palette = graphic.Palette();
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[5], (gdi::TPaletteEntry{252, 0, 128, 0}));
    for (int k : {0, 1, 100, 255}) {
        const auto e = Ramp(k);
        EXPECT_EQ(palette[k],
                  (gdi::TPaletteEntry{static_cast<std::uint8_t>(4 * e[0]), static_cast<std::uint8_t>(4 * e[1]),
                                      static_cast<std::uint8_t>(4 * e[2]), 0}))
            << k;
    }
    EXPECT_EQ(test::PixelRGB(graphic, 1, 0), 0xFC0080u);
}

TEST(AutodeskReader, PixelsAreTheStoredIndicesTopRowFirst)
{
    const auto pixel = [](int x, int y) { return (x * 3 + y * 7) % 256; };
    TAutodeskGraphic graphic;
    Load(graphic, File(320, 200, Ramp, pixel));
    ASSERT_EQ(graphic.Width(), 320);
    ASSERT_EQ(graphic.Height(), 200);
    EXPECT_EQ(graphic.PixelFormat(), core::pf8bit);
    for (int y = 0; y < 200; ++y) {
        const std::uint8_t* row = graphic.ScanLineRead(y);
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(row[x], pixel(x, y)) << x << ", " << y;
    }
    EXPECT_EQ(graphic.ImageDescription.Scheme, ColorScheme::Indexed);
    EXPECT_EQ(graphic.ImageDescription.PixelBits, 8);
}

TEST(AutodeskReader, FilesEndingInThePixelsLeaveIndexZero)
{
    Bytes file = File(4, 3, Ramp, [](int, int) { return 9; });
    file.resize(file.size() - 6);  // the last row and a half are missing
    TAutodeskGraphic graphic;
    Load(graphic, file);
    const auto rowOf = [&](int y) { return Bytes(graphic.ScanLineRead(y), graphic.ScanLineRead(y) + 4); };
    EXPECT_EQ(rowOf(0), (Bytes{9, 9, 9, 9}));
    EXPECT_EQ(rowOf(1), (Bytes{9, 9, 0, 0}));
    EXPECT_EQ(rowOf(2), (Bytes{0, 0, 0, 0}));
}

TEST(AutodeskReader, FailuresCarryTheirMessages)
{
    const Bytes good = File(2, 2, Ramp, [](int, int) { return 1; });
    struct Case {
        const char* what;
        Bytes file;
        std::string message;
    } cases[] = {
        {"wrong magic",
         File(
             2, 2, Ramp, [](int, int) { return 1; }, 0x9118),
         "Cannot load image. Invalid or unexpected Autodesk image format."},
        {"palette cut short", Bytes(good.begin(), good.begin() + 700), "Stream read error"},
        {"one byte", Bytes{0x19}, "Stream read error"},
        // The content test's other fields do not stop a load.
        {"compressed and 16-bit",
         File(
             2, 2, Ramp, [](int, int) { return 1; }, autodesk::kMagic, 16, 1),
         "(no error)"},
    };
    for (const Case& c : cases) {
        TAutodeskGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, c.file); }), c.message) << c.what;
    }
}

TEST(AutodeskContentTest, NeedsMagicDepthAndNoCompression)
{
    const auto file = [](std::uint16_t magic, std::uint8_t bits, std::uint8_t compression) {
        return File(
            1, 1, Ramp, [](int, int) { return 0; }, magic, bits, compression);
    };
    const Bytes whole = file(autodesk::kMagic, 8, 0);
    const auto cut = [&](std::size_t n) {
        return Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    };
    struct Case {
        const char* what;
        Bytes file;
        bool expected;
    } cases[] = {
        {"cel", file(autodesk::kMagic, 8, 0), true},
        {"other magic", file(0x1991, 8, 0), false},
        {"4 bits", file(autodesk::kMagic, 4, 0), false},
        {"compressed", file(autodesk::kMagic, 8, 1), false},
        {"header only", cut(32), false},
        {"header and one byte", cut(33), true},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(c.file);
        TAutodeskGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.expected) << c.what;
        EXPECT_EQ(stream.Position(), 0u) << c.what;
        EXPECT_EQ(IsAutodesk({c.file.data(), std::min<std::size_t>(c.file.size(), 64)}), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace scalopex::formats
