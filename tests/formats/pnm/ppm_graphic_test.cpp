// The portable map reader on hand-made files: the six types, tokens and
// comments, values beyond a byte or beyond 32 bits, the buffered reading,
// and files cut short.

#include "formats/pnm/ppm_graphic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/stream.h"
#include "tests/formats/pcx/reader_test_util.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using test::Bytes;
using test::PixelRGB;

constexpr const char* kReadError = "Stream read error in PPM file.";
constexpr const char* kInvalidImage = "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.";

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes Concat(const std::string& head, const Bytes& tail)
{
    Bytes out = Text(head);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

std::unique_ptr<TPPMGraphic> Load(const Bytes& bytes)
{
    auto graphic = std::make_unique<TPPMGraphic>();
    test::LoadBytes(*graphic, bytes);
    return graphic;
}

Bytes Row(const core::TBitmap& bitmap, int y, std::size_t count)
{
    return Bytes(bitmap.ScanLineRead(y), bitmap.ScanLineRead(y) + count);
}

TEST(PpmReader, EveryTypeFillsItsRaster)
{
    struct Case {
        const char* what;
        Bytes file;
        core::TPixelFormat format;
        int width, height;
        std::vector<Bytes> rows;  // the raster's bytes, top row first
    } cases[] = {
        {"P1 of width 10: two bytes a row, the last two pixels on top",
         Text("P1\n10 2\n1 0 1 1 0 0 0 1 1 1\n0 0 0 0 0 0 0 0 0 1\n"),
         core::pf1bit,
         10,
         2,
         {{0xB1, 0xC0}, {0x00, 0x40}}},
        {"P1 digits need no space between them", Text("P1\n3 2\n101\n011"), core::pf1bit, 3, 2, {{0xA0}, {0x60}}},
        {"P2 values are stored modulo 256", Text("P2\n3 1\n255\n300 255 0\n"), core::pf8bit, 3, 1, {{44, 255, 0}}},
        {"P3 red, green, blue become blue, green, red",
         Text("P3\n2 1\n255\n1 2 3 256 257 258\n"),
         core::pf24bit,
         2,
         1,
         {{3, 2, 1, 2, 1, 0}}},
        {"P4 rows of whole bytes, the padding cleared",
         Concat("P4\n10 2\n", {0xB1, 0xFF, 0x00, 0x7F}),
         core::pf1bit,
         10,
         2,
         {{0xB1, 0xC0}, {0x00, 0x40}}},
        {"P5 one byte a pixel", Concat("P5\n3 1\n255\n", {9, 8, 7}), core::pf8bit, 3, 1, {{9, 8, 7}}},
        {"P5 with maximum 65535 still one byte a sample",
         Concat("P5\n2 1\n65535\n", {0x12, 0x34, 0x56, 0x78}),
         core::pf8bit,
         2,
         1,
         {{0x12, 0x34}}},
        {"P6 red, green, blue become blue, green, red",
         Concat("P6\n2 1\n255\n", {1, 2, 3, 4, 5, 6}),
         core::pf24bit,
         2,
         1,
         {{3, 2, 1, 6, 5, 4}}},
        {"comment lines between the numbers",
         Text("P2\n# made by hand\n2 # the width\n# and a line\n1\n#\n255\n7 # one\n8\n"),
         core::pf8bit,
         2,
         1,
         {{7, 8}}},
        {"a comment on the first line", Text("P2 # grey\n1 1 255 5\n"), core::pf8bit, 1, 1, {{5}}},
        {"CR and CR LF line ends", Text("P2\r\n1\r2\r\n255\r\n3\r4\r"), core::pf8bit, 1, 2, {{3}, {4}}},
        {"the last number may end the file", Text("P2\n1 1\n255\n77"), core::pf8bit, 1, 1, {{77}}},
        // The numbers on the type line are not read: width, height and
        // maximum come from the data that follows.
        {"all numbers on the first line", Concat("P5 9 9 255\n", Text("2 1 255 ab")), core::pf8bit, 2, 1, {{'a', 'b'}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto graphic = Load(c.file);
        ASSERT_EQ(graphic->PixelFormat(), c.format);
        ASSERT_EQ(graphic->Width(), c.width);
        ASSERT_EQ(graphic->Height(), c.height);
        for (int y = 0; y < c.height; ++y)
            EXPECT_EQ(Row(*graphic, y, c.rows[static_cast<std::size_t>(y)].size()), c.rows[static_cast<std::size_t>(y)])
                << y;
    }
}

TEST(PpmReader, BitmapsAreBlackOnWhiteAndGreyMapsARamp)
{
    const auto bitmap = Load(Text("P1 2 1\n2 1\n0 1\n"));
    EXPECT_EQ(PixelRGB(*bitmap, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelRGB(*bitmap, 1, 0), 0x000000u);
    const auto grey = Load(Concat("P5\n2 1\n255\n", {0, 200}));
    EXPECT_EQ(PixelRGB(*grey, 0, 0), 0x000000u);
    EXPECT_EQ(PixelRGB(*grey, 1, 0), 0xC8C8C8u);
    EXPECT_EQ(grey->Palette().size(), 256u);
}

TEST(PpmReader, BinaryDataRunsThroughTheBufferAcrossRefills)
{
    // 70 × 70 pixels of three bytes: the data spans four buffers.
    Bytes pixels(70 * 70 * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    const auto graphic = Load(Concat("P6\n# a comment\n70 70\n255\n", pixels));
    for (int y : {0, 19, 20, 69}) {
        const Bytes row = Row(*graphic, y, 3 * 70);
        for (std::size_t x = 0; x < 70; ++x) {
            const std::size_t at = (static_cast<std::size_t>(y) * 70 + x) * 3;
            ASSERT_EQ(row[3 * x], pixels[at + 2]) << y << " " << x;
            ASSERT_EQ(row[3 * x + 2], pixels[at]) << y << " " << x;
        }
    }
    // A text map whose numbers cross the buffer's end.
    std::string text = "P2\n1000 1\n255\n";
    for (int i = 0; i < 1000; ++i)
        text += std::to_string(i % 256) + (i % 3 == 0 ? "\n" : "    ");
    const auto grey = Load(Text(text));
    for (std::size_t x = 0; x < 1000; x += 111)
        EXPECT_EQ(grey->ScanLineRead(0)[x], x % 256);
}

TEST(PpmReader, BadFilesFailWithTheirMessage)
{
    struct Case {
        const char* what;
        Bytes file;
        std::string message;  // a prefix
    } cases[] = {
        {"binary data cut short", Concat("P6\n4 4\n255\n", Bytes(47, 1)), kReadError},
        {"a bitmap cut short", Concat("P4\n9 3\n", Bytes(5, 1)), kReadError},
        {"text data cut short", Text("P3\n2 2\n255\n1 2 3 4 5 6 7 8 9 10 11\n"), kReadError},
        {"numbers missing", Text("P2\n3\n"), kReadError},
        {"a first line without its end", Text("P6"), kReadError},
        {"an empty file", {}, kReadError},
        {"no P", Text("Q6\n1 1\n255\n"), kInvalidImage},
        {"a line starting with a comment", Text("#P6\n1 1\n255\nabc"), kInvalidImage},
        {"a type that is no digit", Text("Pf\n1 1\n-1\n"), "'f' is not a valid integer value"},
        {"no type", Text("P\n1 1\n"), "'' is not a valid integer value"},
        {"a size beyond 32 bits", Text("P5\n99999999999999999999 1\n255\nxyz"), "Image too large"},
        {"a size beyond the limits", Text("P6\n65000 65000\n255\n"), "Image too large"},
        {"a text map far larger than its data", Text("P2\n10000 10000\n255\n1 2 3\n"), "Image too large"},
        {"a negative size", Text("P6 32 -358888\n"), kReadError},
    };
    for (const Case& c : cases) {
        const std::string message = test::LoadError<TPPMGraphic>(c.file);
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << c.what << ": " << message;
    }
    // A size that would wrap to a small one in 32 bits stays huge.
    EXPECT_EQ(test::LoadError<TPPMGraphic>(Text("P5\n4294967297 1\n255\n\x01")).rfind("Image too large", 0), 0u);
}

TEST(PpmReader, OtherTypeDigitsLoadNothing)
{
    for (const char* head : {"P0\n1 1\n", "P7\nWIDTH 1\n", "P9\n"}) {
        const auto graphic = Load(Text(head));
        EXPECT_TRUE(graphic->Empty()) << head;
    }
}

// A side of 0 leaves nothing to read: the raster stays empty, whatever follows.
TEST(PpmReader, ZeroSidesLoadNothing)
{
    for (const char* file : {"P5\n0 5\n255\nabcdefgh", "P1\n4 0\n1 0 1 1\n", "P3\n0 0\n255\n"}) {
        const auto graphic = Load(Text(file));
        EXPECT_TRUE(graphic->Empty()) << file;
    }
}

TEST(PpmReader, TheDescriptionHoldsTheHeadersNumbers)
{
    struct Case {
        std::string file;
        ColorScheme scheme;
        int bits, samples, width, height;
    } cases[] = {
        {"P1\n3 4\n", ColorScheme::Indexed, 1, 1, 3, 4},
        {"P5\n7 2 255\n", ColorScheme::Indexed, 8, 1, 7, 2},
        {"P6\n#\n5 6\n255\n", ColorScheme::RGB, 8, 3, 5, 6},
        {"P7\n", ColorScheme::Unknown, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TPPMGraphic graphic;
        core::TMemoryStream stream(Text(c.file));
        ASSERT_TRUE(graphic.ReadImageDescription(stream)) << c.file;
        EXPECT_EQ(stream.Position(), 0u);
        const TImageProperties& d = graphic.ImageDescription;
        EXPECT_EQ(d.Scheme, c.scheme) << c.file;
        EXPECT_EQ(d.SampleBits, c.bits) << c.file;
        EXPECT_EQ(d.SampleCount, c.samples) << c.file;
        EXPECT_EQ(d.ImageWidth, c.width) << c.file;
        EXPECT_EQ(d.ImageHeight, c.height) << c.file;
    }
    TPPMGraphic graphic;
    core::TMemoryStream other(Text("GIF89a...."));
    EXPECT_FALSE(graphic.ReadImageDescription(other));
}

TEST(PpmReader, TheContentCheckWantsATypeDigitAndMoreThanTenBytes)
{
    struct Case {
        std::string start;
        bool accepted;
    } cases[] = {
        {"P6\n1 1\n255\n\x01\x02\x03", true}, {"P1\n1 1\n0\n\n\n", true}, {"P7\n1 1\n255\n\x01\x02", false},
        {"P0\n1 1\n255\n\x01\x02", false},    {"P6\n1 1\n255", false},    {"p6\n1 1\n255\n\x01\x02", false},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(Text(c.start));
        TPPMGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.accepted) << c.start;
        EXPECT_EQ(stream.Position(), 0u);
    }
}

}  // namespace
}  // namespace scalopex::formats
