// The header read before the codec runs: the kind test of the first bytes,
// the JP2 boxes up to the codestream, the SIZ marker, and the limits it is
// held to. Files are spelled out byte by byte.

#include "formats/jpeg2000/jp2_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/limits.h"
#include "tests/formats/jpeg2000/jpeg2000_test_util.h"
#include "tests/support/byte_builder.h"

namespace scalopex::formats::jp2 {
namespace {

using test::ByteBuilder;
using test::jpeg2000::Bytes;
using test::jpeg2000::ErrorOf;

struct Siz {
    std::uint32_t x1 = 100, y1 = 50, x0 = 0, y0 = 0;
    std::uint32_t tileWidth = 64, tileHeight = 64, tileX0 = 0, tileY0 = 0;
    std::uint32_t components = 3;
    std::uint8_t depth = 7;      // Ssiz of every component but the last: 8-bit unsigned
    std::uint8_t lastDepth = 7;  // Ssiz of the last
    std::uint8_t dx = 1, dy = 1;
    int lengthChange = 0;  // added to the correct Lsiz
};

// SOC, SIZ, then a few bytes standing for the rest of the codestream.
Bytes Codestream(const Siz& s, std::size_t tail = 32)
{
    ByteBuilder b;
    b.u16be(0xFF4F)
        .u16be(0xFF51)
        .u16be(static_cast<std::uint32_t>(38 + 3 * static_cast<int>(s.components) + s.lengthChange))
        .u16be(0);
    b.u32be(s.x1)
        .u32be(s.y1)
        .u32be(s.x0)
        .u32be(s.y0)
        .u32be(s.tileWidth)
        .u32be(s.tileHeight)
        .u32be(s.tileX0)
        .u32be(s.tileY0);
    b.u16be(s.components);
    for (std::uint32_t c = 0; c < s.components; ++c)
        b.u8(c + 1 == s.components ? s.lastDepth : s.depth).u8(s.dx).u8(s.dy);
    b.fill(tail, 0);
    return b.take();
}

ByteBuilder& Box(ByteBuilder& b, const char* type, const Bytes& content)
{
    return b.u32be(static_cast<std::uint32_t>(content.size() + 8)).text(type).bytes(content);
}

Bytes Jp2(const Bytes& headerContent, const Bytes& codestream)
{
    ByteBuilder b;
    Box(b, "jP  ", {0x0D, 0x0A, 0x87, 0x0A});
    Box(b, "ftyp", ByteBuilder().text("jp2 ").u32be(0).text("jp2 ").take());
    Box(b, "jp2h", headerContent);
    Box(b, "jp2c", codestream);
    return b.take();
}

Bytes HeaderBoxWith(std::initializer_list<std::pair<const char*, Bytes>> boxes)
{
    ByteBuilder b;
    for (const auto& [type, content] : boxes)
        Box(b, type, content);
    return b.take();
}

TEST(Jp2Header, TheFirstEightBytesTellTheKind)
{
    struct Case {
        const char* name;
        Bytes bytes;
        TFileKind kind;
    } cases[] = {
        {"JP2 signature box", {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A}, TFileKind::Jp2},
        {"SOC and SIZ", {0xFF, 0x4F, 0xFF, 0x51, 0, 0x2F, 0, 0}, TFileKind::Codestream},
        {"SOC and SIZ alone are too short", {0xFF, 0x4F, 0xFF, 0x51}, TFileKind::Unknown},
        {"seven bytes of the signature", {0, 0, 0, 0x0C, 'j', 'P', ' '}, TFileKind::Unknown},
        {"another box first", {0, 0, 0, 0x14, 'f', 't', 'y', 'p'}, TFileKind::Unknown},
        {"SOC without SIZ", {0xFF, 0x4F, 0xFF, 0x52, 0, 0, 0, 0}, TFileKind::Unknown},
        {"PNG", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, TFileKind::Unknown},
        {"nothing", {}, TFileKind::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KindOf(c.bytes), c.kind) << c.name;
}

TEST(Jp2Header, ACodestreamGivesItsImageTilesAndComponents)
{
    Siz s{.x1 = 130, .y1 = 70, .x0 = 3, .y0 = 5, .tileWidth = 64, .tileHeight = 32, .tileX0 = 2, .tileY0 = 1};
    s.components = 2;
    s.depth = 0x8B;   // 12-bit signed
    s.lastDepth = 0;  // 1-bit unsigned
    s.dx = 2;
    const Bytes data = Codestream(s);
    const TFileHeader header = ParseHeader(data, TFileKind::Codestream);
    const TCodestreamHeader& siz = header.codestream;
    EXPECT_EQ(siz.Width(), 127u);
    EXPECT_EQ(siz.Height(), 65u);
    EXPECT_EQ(siz.Tiles(), 2u * 3u);  // (130 - 2) / 64 and (70 - 1) / 32, rounded up
    ASSERT_EQ(siz.components.size(), 2u);
    EXPECT_EQ(siz.components[0].precision, 12);
    EXPECT_TRUE(siz.components[0].isSigned);
    EXPECT_EQ(siz.components[1].precision, 1);
    EXPECT_EQ(siz.components[1].dx, 2u);
    EXPECT_EQ(siz.Samples(1), (65u - 2u) * 65u);  // ceil(130 / 2) - ceil(3 / 2) columns, 70 - 5 rows
    EXPECT_EQ(header.codestreamBytes, data.size());
    EXPECT_TRUE(header.channels.empty());
}

TEST(Jp2Header, AJp2FileGivesItsChannelDefinitionsPaletteChannelsAndCodestream)
{
    const Bytes codestream = Codestream({});
    const Bytes cdef = ByteBuilder().u16be(2).u16be(0).u16be(0).u16be(1).u16be(1).u16be(1).u16be(0).take();
    const Bytes data = Jp2(HeaderBoxWith({{"ihdr", Bytes(14, 0)}, {"cdef", cdef}, {"cmap", Bytes(12, 0)}}), codestream);
    const TFileHeader header = ParseHeader(data, TFileKind::Jp2);
    ASSERT_EQ(header.channels.size(), 2u);
    EXPECT_EQ(header.channels[1].channel, 1);
    EXPECT_EQ(header.channels[1].type, 1);
    EXPECT_EQ(header.channels[1].association, 0);
    EXPECT_EQ(header.mappedChannels, 3u);
    EXPECT_EQ(header.codestreamBytes, codestream.size());
    EXPECT_EQ(header.codestream.Width(), 100u);
}

TEST(Jp2Header, BoxLengthsOfEveryFormAreFollowed)
{
    const Bytes codestream = Codestream({});
    ByteBuilder extended;  // an XML box with a 64-bit length, then a codestream box that runs to the end
    Box(extended, "jP  ", {0x0D, 0x0A, 0x87, 0x0A});
    extended.u32be(1).text("xml ").u32be(0).u32be(16 + 5).text("<a/>\n");
    extended.u32be(0).text("jp2c").bytes(codestream);
    const TFileHeader header = ParseHeader(extended.data(), TFileKind::Jp2);
    EXPECT_EQ(header.codestreamBytes, codestream.size());
    EXPECT_EQ(header.codestream.components.size(), 3u);
}

TEST(Jp2Header, BrokenStructuresFailAsTheCodecWouldAndShortDataAsAReadError)
{
    const Bytes good = Codestream({});
    const Bytes ihdr = HeaderBoxWith({{"ihdr", Bytes(14, 0)}});
    const Bytes full = Jp2(ihdr, good);
    const auto upToCodestreamBox = static_cast<std::ptrdiff_t>(12 + 20 + 8 + ihdr.size());
    auto codestreamWith = [](auto change) {
        Siz s;
        change(s);
        return Codestream(s);
    };
    struct Case {
        const char* name;
        Bytes data;
        TFileKind kind;
        const char* message;
    } cases[] = {
        {"no components", codestreamWith([](Siz& s) { s.components = 0; }), TFileKind::Codestream,
         "JPEG 2000 image decoding failed"},
        {"a marker length that does not fit the components", codestreamWith([](Siz& s) { s.lengthChange = 3; }),
         TFileKind::Codestream, "JPEG 2000 image decoding failed"},
        {"tiles of no width", codestreamWith([](Siz& s) { s.tileWidth = 0; }), TFileKind::Codestream,
         "JPEG 2000 image decoding failed"},
        {"an empty image", codestreamWith([](Siz& s) { s.x0 = s.x1; }), TFileKind::Codestream,
         "JPEG 2000 image decoding failed"},
        {"tiles that start right of the image", codestreamWith([](Siz& s) { s.x0 = 10, s.tileX0 = 11; }),
         TFileKind::Codestream, "JPEG 2000 image decoding failed"},
        {"a first tile that ends before the image", codestreamWith([](Siz& s) { s.x0 = 70, s.tileWidth = 64; }),
         TFileKind::Codestream, "JPEG 2000 image decoding failed"},
        {"a sample separation of 0", codestreamWith([](Siz& s) { s.dy = 0; }), TFileKind::Codestream,
         "JPEG 2000 image decoding failed"},
        {"a precision beyond 38 bits", codestreamWith([](Siz& s) { s.lastDepth = 0x26; }), TFileKind::Codestream,
         "JPEG 2000 image decoding failed"},
        {"a SIZ cut short", Bytes(good.begin(), good.begin() + 40), TFileKind::Codestream, "Stream read error"},
        {"a JP2 file without codestream box", Bytes(full.begin(), full.begin() + upToCodestreamBox), TFileKind::Jp2,
         "JPEG 2000 image decoding failed"},
        {"a box shorter than its header",
         ByteBuilder().u32be(12).text("jP  ").u32be(0x0D0A870A).u32be(4).text("ftyp").take(), TFileKind::Jp2,
         "JPEG 2000 image decoding failed"},
        {"a box longer than the file",
         ByteBuilder().u32be(12).text("jP  ").u32be(0x0D0A870A).u32be(1000).text("xml ").fill(20, 0).take(),
         TFileKind::Jp2, "Stream read error"},
        {"channel definitions beyond their box",
         Jp2(HeaderBoxWith({{"cdef", ByteBuilder().u16be(3).u16be(0).u16be(0).u16be(1).take()}}), good), TFileKind::Jp2,
         "JPEG 2000 image decoding failed"},
        {"a codestream box holding something else", Jp2(ihdr, Bytes(40, 0x11)), TFileKind::Jp2,
         "JPEG 2000 image decoding failed"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorOf([&] { ParseHeader(c.data, c.kind); }), c.message) << c.name;
}

TEST(Jp2Header, HeadersBeyondTheLimitsAreRefusedBeforeDecoding)
{
    const base::TScopedLimits limits({.maxPixels = 1 << 22, .maxCodecBytes = 64 << 20});
    auto headerOf = [](const Siz& s, std::size_t tail) {
        return ParseHeader(Codestream(s, tail), TFileKind::Codestream);
    };
    struct Case {
        const char* name;
        Siz siz;
        std::size_t tail;
        std::string prefix;
    } cases[] = {
        {"a raster beyond the pixel limit",
         {.x1 = 4000, .y1 = 2000, .tileWidth = 4000, .tileHeight = 2000},
         32,
         "Image too large: 4000 x 2000 pixels exceeds the limit"},
        {"no room for a tile-part",
         {.x1 = 1000, .y1 = 1000, .tileWidth = 10, .tileHeight = 10},
         13,
         "Image too large for its data: 1000 x 1000 pixels cannot come from"},
        {"more tiles than the codec memory allows",
         {.x1 = 4000, .y1 = 1000, .tileWidth = 4, .tileHeight = 4},
         1000,
         "JPEG 2000 image of 3 components and 250000 tiles needs"},
        {"more codec memory than the limit",
         {.x1 = 1000, .y1 = 1000, .tileWidth = 1000, .tileHeight = 1000, .components = 17},
         32,
         "JPEG 2000 image of 17 components and 1 tiles needs 68"},
        {"tiny tiles of many components",
         {.x1 = 200, .y1 = 200, .tileWidth = 2, .tileHeight = 2, .components = 500},
         200000,
         "JPEG 2000 image of 500 components and 10000 tiles needs"},
    };
    for (const Case& c : cases) {
        const std::string error = ErrorOf([&] { CheckLimits(headerOf(c.siz, c.tail)); });
        EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << c.name << ": " << error;
    }
    EXPECT_EQ(
        ErrorOf([&] { CheckLimits(headerOf({.x1 = 2000, .y1 = 2000, .tileWidth = 500, .tileHeight = 500}, 224)); }),
        "(no error)");
    // Tiles the data leave out decode as empty; one tile-part is enough.
    EXPECT_EQ(
        ErrorOf([&] { CheckLimits(headerOf({.x1 = 128, .y1 = 12416, .tileWidth = 128, .tileHeight = 128}, 14)); }),
        "(no error)");
}

}  // namespace
}  // namespace scalopex::formats::jp2
