// The cut reader on files built here from the format's layout, with and
// without their palette file, and its row decoder on hostile records.

#include "formats/cut/cut_graphic.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/cut/cut_rle.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;
using test::PixelRGB;

using test::ErrorOf;

// A cut file of width x height whose row y holds the indices row(y), each
// row one literal packet and the end packet.
Bytes CutFile(int width, int height, const std::function<Bytes(int)>& row)
{
    ByteBuilder b;
    b.u16le(static_cast<std::uint32_t>(width)).u16le(static_cast<std::uint32_t>(height)).u16le(0);
    for (int y = 0; y < height; ++y) {
        const Bytes indices = row(y);
        b.u16le(static_cast<std::uint32_t>(indices.size() + 2))
            .u8(static_cast<std::uint32_t>(indices.size()))
            .bytes(indices)
            .u8(0);
    }
    return b.take();
}

// A palette file of highest + 1 entries, entry k being colour(k), laid out
// in 512-byte blocks that no entry straddles.
Bytes PaletteFile(int highest, const std::function<std::array<int, 3>(int)>& colour, const std::string& id = "AH")
{
    Bytes file(40, 0);
    std::copy(id.begin(), id.end(), file.begin());
    file[12] = static_cast<std::uint8_t>(highest);
    file[13] = static_cast<std::uint8_t>(highest >> 8);
    std::size_t inBlock = 40;
    for (int k = 0; k <= std::min(highest, 255); ++k) {
        if (inBlock > 506) {
            file.resize(file.size() + (512 - inBlock), 0xCC);  // the unused end of a block
            inBlock = 0;
        }
        const auto c = colour(k);
        // Each component a 16-bit value whose high byte is not part of the colour.
        for (int v : c) {
            file.push_back(static_cast<std::uint8_t>(v));
            file.push_back(0x7F);
        }
        inBlock += 6;
    }
    return file;
}

std::array<int, 3> Colour(int k)
{
    return {k, 255 - k, (k * 37) & 0xFF};
}

std::uint32_t RGBOf(const std::array<int, 3>& c)
{
    return static_cast<std::uint32_t>((c[0] << 16) | (c[1] << 8) | c[2]);
}

TEST(CutRowDecoder, DecodesPacketsWithinTheRow)
{
    struct Case {
        const char* what;
        Bytes record;
        std::size_t width;
        Bytes expected;    // 0xEE where the row is untouched
        std::size_t left;  // source bytes not used
    } cases[] = {
        {"the documented row", {0x07, 0x00, 0x83, 0x05, 0x02, 0x01, 0x02, 0x00}, 5, {5, 5, 5, 1, 2}, 0},
        {"decoding stops at the end packet", {0x00, 0x00, 0x81, 0x09, 0x00, 0x81, 0x07}, 3, {9, 0xEE, 0xEE}, 2},
        {"a run past the row is cut", {0x00, 0x00, 0xFF, 0x04, 0x00}, 3, {4, 4, 4}, 0},
        {"a literal past the row is cut, its bytes passed over",
         {0x00, 0x00, 0x04, 1, 2, 3, 4, 0x81, 8, 0x00},
         2,
         {1, 2},
         0},
        {"a literal cut by the data", {0x00, 0x00, 0x05, 1, 2}, 4, {1, 2, 0xEE, 0xEE}, 0},
        {"a run without its value", {0x00, 0x00, 0x85}, 2, {0xEE, 0xEE}, 0},
        {"a count of 0 with bit 7 repeats nothing", {0x00, 0x00, 0x80, 0x06, 0x01, 0x03, 0x00}, 2, {3, 0xEE}, 0},
        {"only part of the byte count", {0x05}, 2, {0xEE, 0xEE}, 0},
    };
    for (const Case& c : cases) {
        Bytes row(c.width, 0xEE);
        base::ByteCursor source(c.record);
        TCUTRowDecoder decoder;
        decoder.Decode(source, row);
        EXPECT_EQ(row, c.expected) << c.what;
        EXPECT_EQ(source.remaining(), c.left) << c.what;
    }
}

TEST(CutReader, WithoutAPaletteFileIndicesShowAsGreyLevels)
{
    const auto row = [](int y) { return Bytes{static_cast<std::uint8_t>(y), 128, 255}; };
    formats::TCUTGraphic graphic;
    core::TMemoryStream stream(CutFile(3, 2, row));
    graphic.LoadFromStream(stream);
    ASSERT_EQ(graphic.Width(), 3);
    ASSERT_EQ(graphic.Height(), 2);
    EXPECT_EQ(graphic.PixelFormat(), core::pf8bit);
    EXPECT_EQ(PixelRGB(graphic, 0, 1), 0x010101u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x808080u);
    EXPECT_EQ(PixelRGB(graphic, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(graphic.Palette().size(), 256u);
}

TEST(CutReader, ThePaletteFileBesideTheCutFileGivesTheColours)
{
    struct Case {
        const char* what;
        int highest;
        std::vector<int> indices;  // shown with Colour(index)
        std::size_t entries;
    } cases[] = {
        {"the last entry of the first block and the first of the second", 100, {0, 77, 78, 100}, 101},
        {"256 entries over four blocks", 255, {162, 163, 247, 248, 255}, 256},
        {"a highest index above 255 keeps 256 entries", 300, {255}, 256},
        {"one entry", 0, {0}, 1},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        Bytes indices;
        for (int i : c.indices)
            indices.push_back(static_cast<std::uint8_t>(i));
        test::WriteBytes(dir.file("pic.cut"),
                         CutFile(static_cast<int>(indices.size()), 1, [&](int) { return indices; }));
        test::WriteBytes(dir.file("pic.pal"), PaletteFile(c.highest, Colour));
        formats::TCUTGraphic graphic;
        graphic.LoadFromFile(dir.file("pic.cut"));
        EXPECT_EQ(graphic.Palette().size(), c.entries) << c.what;
        for (std::size_t x = 0; x < indices.size(); ++x)
            EXPECT_EQ(PixelRGB(graphic, static_cast<int>(x), 0), RGBOf(Colour(c.indices[x])))
                << c.what << ", index " << c.indices[x];
    }
}

TEST(CutReader, PaletteFilesThatAreNoneOrShort)
{
    const Bytes cut = CutFile(2, 1, [](int) { return Bytes{3, 7}; });
    struct Case {
        const char* what;
        std::string name;  // of the palette file beside "pic.cut"
        Bytes palette;
        std::string message;
        std::uint32_t pixel0;
    } cases[] = {
        {"no palette file", "other.pal", PaletteFile(10, Colour), "(no error)", 0x030303u},
        {"the name in upper case", "pic.PAL", PaletteFile(10, Colour), "(no error)", RGBOf(Colour(3))},
        {"not a palette", "pic.pal", PaletteFile(10, Colour, "XY"), "(no error)", 0x030303u},
        {"an empty file", "pic.pal", {}, "(no error)", 0x030303u},
        {"fewer entries than its highest index", "pic.pal",
         [] {
             Bytes p = PaletteFile(10, Colour);
             p.resize(p.size() - 1);
             return p;
         }(),
         "Stream read error", 0},
        {"a header whose highest index runs past the file", "pic.pal",
         [] {
             Bytes p = PaletteFile(10, Colour);
             p[12] = 200;
             return p;
         }(),
         "Stream read error", 0},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::WriteBytes(dir.file("pic.cut"), cut);
        test::WriteBytes(dir.file(c.name), c.palette);
        formats::TCUTGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { graphic.LoadFromFile(dir.file("pic.cut")); }), c.message) << c.what;
        if (c.message == "(no error)") {
            EXPECT_EQ(PixelRGB(graphic, 0, 0), c.pixel0) << c.what;
        }
    }
}

TEST(CutReader, StreamLoadsUseThePaletteOfTheLastFileLoad)
{
    test::TempDir dir;
    test::WriteBytes(dir.file("a.cut"), CutFile(1, 1, [](int) { return Bytes{5}; }));
    test::WriteBytes(dir.file("a.pal"), PaletteFile(20, Colour));
    formats::TCUTGraphic graphic;
    core::TMemoryStream before(CutFile(1, 1, [](int) { return Bytes{9}; }));
    graphic.LoadFromStream(before);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x090909u);  // no file load yet: grey
    graphic.LoadFromFile(dir.file("a.cut"));
    EXPECT_EQ(graphic.PaletteFileName(), dir.file("a.pal"));
    core::TMemoryStream after(CutFile(1, 1, [](int) { return Bytes{9}; }));
    graphic.LoadFromStream(after);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), RGBOf(Colour(9)));
}

TEST(CutReader, RowsTheFileDoesNotHoldKeepIndexZero)
{
    Bytes file = CutFile(3, 3, [](int) { return Bytes{200, 201, 202}; });
    file.resize(6 + 7 + 4);  // the first row and half of the second
    formats::TCUTGraphic graphic;
    core::TMemoryStream stream(file);
    graphic.LoadFromStream(stream);
    const auto rowOf = [&](int y) { return Bytes(graphic.ScanLineRead(y), graphic.ScanLineRead(y) + 3); };
    EXPECT_EQ(rowOf(0), (Bytes{200, 201, 202}));
    EXPECT_EQ(rowOf(1), (Bytes{200, 0, 0}));
    EXPECT_EQ(rowOf(2), (Bytes{0, 0, 0}));
    // Fewer than the six header bytes.
    core::TMemoryStream tiny(Bytes{1, 0, 1, 0});
    EXPECT_EQ(ErrorOf([&] { graphic.LoadFromStream(tiny); }), "Stream read error");
}

TEST(CutContentTest, NothingIsRecognised)
{
    const Bytes file = CutFile(2, 2, [](int) { return Bytes{1, 2}; });
    core::TMemoryStream stream(file);
    formats::TCUTGraphic graphic;
    EXPECT_FALSE(graphic.CanLoadStream(stream));
    EXPECT_FALSE(IsCUT(file));
}

}  // namespace
}  // namespace scalopex::formats
