// The PNG writer: the exact chunk layout, the tRNS bytes, the row filter
// choice on the examples worked by hand, and round trips through our reader
// and through ImageMagick.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/png/png_graphic.h"
#include "formats/png/png_object.h"
#include "tests/formats/png/png_test_util.h"
#include "tests/support/test_files.h"

using namespace scalopex;
using namespace scalopex::test::png;
using formats::PngFilter;
using formats::TPNGObject;
using scalopex::test::MakeBitmap24;
using scalopex::test::PixelRGB;

namespace {

struct ParsedChunk {
    std::string type;
    Bytes data;
};

std::uint32_t Be32(const Bytes& b, std::size_t at)
{
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// The chunks of a file, each CRC checked.
std::vector<ParsedChunk> Chunks(const Bytes& file)
{
    const Bytes signature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));
    std::vector<ParsedChunk> out;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = Be32(file, at);
        ParsedChunk c{std::string(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                      Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                            file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length))};
        std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, file.data() + at + 4, 4 + length));
        EXPECT_EQ(crc, Be32(file, at + 8 + length)) << c.type;
        out.push_back(std::move(c));
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size());
    return out;
}

std::vector<std::string> Types(const std::vector<ParsedChunk>& chunks)
{
    std::vector<std::string> types;
    for (const auto& c : chunks)
        if (types.empty() || c.type != "IDAT" || types.back() != "IDAT")
            types.push_back(c.type);
    return types;
}

Bytes ImageData(const std::vector<ParsedChunk>& chunks)
{
    Bytes z;
    for (const auto& c : chunks)
        if (c.type == "IDAT")
            z.insert(z.end(), c.data.begin(), c.data.end());
    return Unzlib(z);
}

Bytes Encode(const core::TBitmap& bitmap, const std::function<void(TPNGObject&)>& configure = {})
{
    TPNGObject png;
    if (configure)
        configure(png);
    png.Assign(&bitmap);
    core::TMemoryStream stream;
    png.SaveToStream(stream);
    return stream.TakeBytes();
}

void SavingRoutineSettings(TPNGObject& png)
{
    png.PngFilters = PngFilter::Sub | PngFilter::Up;
    png.PngDeflateLevel = 8;
}

// The filter type byte of every row of a non-interlaced file.
std::vector<int> FilterTypes(const Bytes& file, std::size_t rowBytes)
{
    const Bytes raw = ImageData(Chunks(file));
    std::vector<int> types;
    for (std::size_t at = 0; at < raw.size(); at += rowBytes + 1)
        types.push_back(raw[at]);
    return types;
}

// A deterministic photo-like colour: gradients plus noise.
std::uint32_t Noisy(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
    h = (h ^ (h >> 13)) * 0x5BD1E995u;
    const std::uint32_t r = (static_cast<std::uint32_t>(x * 3) + (h & 15)) & 0xFF;
    const std::uint32_t g = (static_cast<std::uint32_t>(y * 5) + ((h >> 8) & 15)) & 0xFF;
    const std::uint32_t b = (static_cast<std::uint32_t>(x + y) + ((h >> 16) & 31)) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

TEST(PngWriter, writesSignatureHeaderImageDataRunAndEndOnly)
{
    const auto bitmap = MakeBitmap24(400, 300, Noisy);
    const Bytes file = Encode(*bitmap, SavingRoutineSettings);
    const auto chunks = Chunks(file);
    EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    EXPECT_EQ(chunks.front().data, (Bytes{0, 0, 1, 0x90, 0, 0, 1, 0x2C, 8, 2, 0, 0, 0}));
    EXPECT_TRUE(chunks.back().data.empty());
    ASSERT_GT(chunks.size(), 4u);  // at least two IDAT chunks
    for (std::size_t i = 1; i + 2 < chunks.size(); ++i)
        EXPECT_EQ(chunks[i].data.size(), 65535u) << i;
    EXPECT_GT(chunks[chunks.size() - 2].data.size(), 0u);
    EXPECT_LE(chunks[chunks.size() - 2].data.size(), 65535u);
    EXPECT_EQ(ImageData(chunks).size(), 300u * (1 + 400 * 3));
}

TEST(PngWriter, cutsImageDataIntoChunksOfIdatChunkSize)
{
    const auto bitmap = MakeBitmap24(50, 40, Noisy);
    const auto chunks = Chunks(Encode(*bitmap, [](TPNGObject& png) { png.IdatChunkSize = 100; }));
    ASSERT_GT(chunks.size(), 4u);
    for (std::size_t i = 1; i + 2 < chunks.size(); ++i)
        EXPECT_EQ(chunks[i].data.size(), 100u) << i;
    EXPECT_LE(chunks[chunks.size() - 2].data.size(), 100u);
}

TEST(PngWriter, writesTheTransparentColourOfARgbBitmapAsTrns)
{
    auto bitmap = MakeBitmap24(3, 2, [](int x, int y) { return x == 0 && y == 1 ? 0x0A141Eu : 0x808080u; });
    bitmap->SetTransparent(true);  // automatic colour: the bottom-left pixel
    const auto chunks = Chunks(Encode(*bitmap, SavingRoutineSettings));
    EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[1].data, (Bytes{0x00, 0x0A, 0x00, 0x14, 0x00, 0x1E}));
}

TEST(PngWriter, choosesRowFiltersByTheirRepeatCount)
{
    struct Case {
        const char* name;
        int width, height;
        std::uint32_t color;
        std::uint8_t filters;
        std::vector<int> expected;
    };
    constexpr std::uint8_t kAll = PngFilter::None | PngFilter::Sub | PngFilter::Up | PngFilter::Average | PngFilter::Paeth;
    const std::vector<Case> cases = {
        // One colour: the first row's Sub row is the colour then zeros; later Up rows are all zeros.
        {"one colour, Sub and Up", 5, 4, 0x0A141E, PngFilter::Sub | PngFilter::Up, {1, 2, 2, 2}},
        // Ties go to the lower type: Paeth equals Sub on row 0 and Up below.
        {"one colour, all five", 5, 4, 0x0A141E, kAll, {1, 2, 2, 2}},
        // Rows of one pixel count position 2 only: no candidate scores on row 0.
        {"1 pixel, distinct bytes", 1, 3, 0x0A141E, PngFilter::Sub | PngFilter::Up, {0, 2, 2}},
        {"1 pixel, blue equals green", 1, 2, 0x0A1E1E, PngFilter::Sub | PngFilter::Up, {1, 1}},
        {"empty set", 5, 2, 0x0A141E, 0, {0, 0}},
        {"None only", 5, 2, 0x0A141E, PngFilter::None, {0, 0}},
        {"Sub only", 5, 2, 0x0A141E, PngFilter::Sub, {1, 1}},
        {"Average only", 5, 2, 0x0A141E, PngFilter::Average, {3, 3}},
        {"Paeth only", 5, 2, 0x0A141E, PngFilter::Paeth, {4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bitmap = MakeBitmap24(c.width, c.height, [&](int, int) { return c.color; });
        const Bytes file = Encode(*bitmap, [&](TPNGObject& png) { png.PngFilters = c.filters; });
        EXPECT_EQ(FilterTypes(file, static_cast<std::size_t>(c.width) * 3), c.expected);
    }
}

TEST(PngWriter, defaultsToSubAtLevelSevenWithoutInterlacing)
{
    TPNGObject png;
    EXPECT_EQ(png.PngFilters, PngFilter::Sub);
    EXPECT_EQ(png.PngDeflateLevel, 7);
    EXPECT_EQ(png.PngInterlacing, 0);
    EXPECT_EQ(png.IdatChunkSize, 65535u);
    EXPECT_TRUE(png.Empty());
}

// Bitmaps of every pixel format the writer meets.
std::unique_ptr<core::TBitmap> IndexedBitmap(core::TPixelFormat format, int w, int h)
{
    auto bitmap = std::make_unique<core::TBitmap>();
    bitmap->SetPixelFormat(format);
    const int entries = format == core::pf1bit ? 2 : format == core::pf4bit ? 16 : 256;
    gdi::TLogPalette palette;
    for (int i = 0; i < entries; ++i)
        palette.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i * 3 + 1), 0});
    bitmap->SetPalette(palette);
    bitmap->SetSize(w, h);
    const int bits = format == core::pf1bit ? 1 : format == core::pf4bit ? 4 : 8;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const unsigned index = static_cast<unsigned>(x * 5 + y * 3) % static_cast<unsigned>(entries);
            const int at = x * bits;
            row[at / 8] = static_cast<std::uint8_t>((row[at / 8] & ~(((1 << bits) - 1) << (8 - bits - at % 8))) |
                                                    (index << (8 - bits - at % 8)));
        }
    }
    return bitmap;
}

struct RoundTripCase {
    std::string name;
    std::function<std::unique_ptr<core::TBitmap>()> make;
    std::uint8_t colorType;
    std::uint8_t depth;
};

std::vector<RoundTripCase> RoundTripCases()
{
    return {
        {"pf24bit", [] { return MakeBitmap24(37, 23, Noisy); }, 2, 8},
        {"pf32bit loses its fourth byte", [] {
             auto b = MakeBitmap24(19, 7, Noisy);
             b->SetPixelFormat(core::pf32bit);
             for (int y = 0; y < 7; ++y)
                 for (int x = 0; x < 19; ++x)
                     b->ScanLine(y)[4 * x + 3] = static_cast<std::uint8_t>(x * 13);
             b->SetHasAlpha(true);
             return b;
         }, 2, 8},
        {"pf16bit", [] {
             auto b = MakeBitmap24(11, 6, Noisy);
             b->SetPixelFormat(core::pf16bit);
             return b;
         }, 2, 8},
        {"pf8bit", [] { return IndexedBitmap(core::pf8bit, 13, 5); }, 3, 8},
        {"pf4bit", [] { return IndexedBitmap(core::pf4bit, 9, 4); }, 3, 4},
        {"pf1bit", [] { return IndexedBitmap(core::pf1bit, 17, 3); }, 3, 1},
        {"1 x 1", [] { return MakeBitmap24(1, 1, Noisy); }, 2, 8},
    };
}

void ExpectSamePixels(const core::TBitmap& a, const core::TBitmap& b)
{
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            ASSERT_EQ(PixelRGB(a, x, y), PixelRGB(b, x, y)) << "at " << x << "," << y;
}

TEST(PngWriter, filesReadBackIdenticallyInEveryLayoutAndFilterSet)
{
    const std::uint8_t filterSets[] = {0, PngFilter::Sub | PngFilter::Up, PngFilter::Average, PngFilter::Paeth,
                                       PngFilter::None | PngFilter::Sub | PngFilter::Up | PngFilter::Average | PngFilter::Paeth};
    for (const RoundTripCase& c : RoundTripCases()) {
        const auto bitmap = c.make();
        for (const std::uint8_t interlacing : {0, 1}) {
            for (const std::uint8_t filters : filterSets) {
                SCOPED_TRACE(c.name + " interlacing " + std::to_string(interlacing) + " filters " + std::to_string(filters));
                const Bytes file = Encode(*bitmap, [&](TPNGObject& png) {
                    png.PngFilters = filters;
                    png.PngInterlacing = interlacing;
                });
                const auto chunks = Chunks(file);
                EXPECT_EQ(chunks[0].data[8], c.depth);
                EXPECT_EQ(chunks[0].data[9], c.colorType);
                EXPECT_EQ(chunks[0].data[12], interlacing);
                ExpectSamePixels(*Decode(file), *bitmap);
            }
        }
    }
}

TEST(PngWriter, filesReadBackIdenticallyByImageMagick)
{
    test::TempDir dir;
    for (const RoundTripCase& c : RoundTripCases()) {
        const auto bitmap = c.make();
        for (const std::uint8_t interlacing : {0, 1}) {
            SCOPED_TRACE(c.name + " interlacing " + std::to_string(interlacing));
            const std::string path = dir.file("out.png");
            test::WriteBytes(path, Encode(*bitmap, [&](TPNGObject& png) {
                                   SavingRoutineSettings(png);
                                   png.PngInterlacing = interlacing;
                               }));
            int status = -1;
            const Bytes rgb = RunCommand("convert '" + path + "' -depth 8 rgb:- 2>/dev/null", &status);
            ASSERT_EQ(status, 0);
            ASSERT_EQ(rgb.size(), static_cast<std::size_t>(bitmap->Width() * bitmap->Height() * 3));
            for (int y = 0; y < bitmap->Height(); ++y)
                for (int x = 0; x < bitmap->Width(); ++x) {
                    const std::size_t at = 3 * static_cast<std::size_t>(y * bitmap->Width() + x);
                    const std::uint32_t theirs = (std::uint32_t{rgb[at]} << 16) | (std::uint32_t{rgb[at + 1]} << 8) | rgb[at + 2];
                    ASSERT_EQ(theirs, PixelRGB(*bitmap, x, y)) << "at " << x << "," << y;
                }
        }
    }
}

TEST(PngWriter, writesThePaletteAndAlphaListOfIndexedBitmaps)
{
    auto bitmap = IndexedBitmap(core::pf4bit, 4, 2);
    const gdi::TLogPalette palette = bitmap->Palette();
    bitmap->SetTransparent(true);
    bitmap->SetTransparentColor(core::RGB(palette[3].peRed, palette[3].peGreen, palette[3].peBlue));
    auto chunks = Chunks(Encode(*bitmap));
    ASSERT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(chunks[1].data.size(), 16u * 3);
    EXPECT_EQ(chunks[1].data[9], palette[3].peRed);
    EXPECT_EQ(chunks[2].data, (Bytes{255, 255, 255, 0}));

    // A colour that no entry holds makes nothing transparent: no tRNS at all.
    bitmap->SetTransparentColor(core::RGB(1, 2, 3));
    chunks = Chunks(Encode(*bitmap));
    EXPECT_EQ(Types(chunks), (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
}

TEST(PngWriter, deflateLevelChangesTheDataButNotTheImage)
{
    const auto bitmap = MakeBitmap24(64, 64, Noisy);
    const Bytes stored = Encode(*bitmap, [](TPNGObject& png) { png.PngDeflateLevel = 0; });
    const Bytes best = Encode(*bitmap, [](TPNGObject& png) { png.PngDeflateLevel = 9; });
    const Bytes clamped = Encode(*bitmap, [](TPNGObject& png) { png.PngDeflateLevel = 42; });
    EXPECT_GT(stored.size(), best.size());
    ExpectSamePixels(*Decode(stored), *bitmap);
    ExpectSamePixels(*Decode(clamped), *bitmap);
}

TEST(PngWriter, keepsThePixelsAsTheyWereWhenAssigned)
{
    auto bitmap = MakeBitmap24(2, 2, [](int, int) { return 0x102030u; });
    TPNGObject png;
    png.Assign(bitmap.get());
    bitmap->ScanLine(0)[0] = 0xFF;
    core::TMemoryStream stream;
    png.SaveToStream(stream);
    EXPECT_EQ(PixelRGB(*Decode(stream.Bytes()), 0, 0), 0x102030u);
    EXPECT_EQ(png.Width(), 2);
    EXPECT_EQ(png.Height(), 2);
}

TEST(PngWriter, readsAndWritesAsAGraphic)
{
    const auto bitmap = MakeBitmap24(5, 3, Noisy);
    core::TMemoryStream file(Encode(*bitmap));
    TPNGObject png;
    png.LoadFromStream(file);
    core::TBitmap copy;
    copy.Assign(&png);
    ExpectSamePixels(copy, *bitmap);

    TPNGObject second;
    second.Assign(&png);
    core::TMemoryStream again;
    second.SaveToStream(again);
    ExpectSamePixels(*Decode(again.Bytes()), *bitmap);
}

}  // namespace
