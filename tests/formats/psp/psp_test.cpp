// The Paint Shop Pro reader on files of major versions 3 and 5 built here
// from the format's layout, and its run-length decoder on hostile data.

#include "formats/psp/psp_graphic.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/psp/psp_rle.h"
#include "tests/support/byte_builder.h"
#include "tests/support/test_files.h"

namespace scalopex::formats {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ByteBuilder;
using test::PixelRGB;

using test::ErrorOf;

struct Channel {
    std::uint16_t channelType = 0;
    Bytes data;  // uncompressed
    std::uint16_t bitmapType = 0;
};

struct Layer {
    std::uint8_t type = 0;
    std::vector<Channel> channels;
    int channelCount = -1;  // -1: as many as there are
};

struct PspLayout {
    std::uint16_t major = 3;
    int width = 2;
    int height = 2;
    std::uint16_t depth = 24;
    std::uint16_t compression = 0;
    bool greyscale = false;
    std::vector<std::array<int, 3>> palette;  // red, green, blue; empty: no palette block
    std::vector<Layer> layers;
    std::string signature = "Paint Shop Pro Image File\n\x1a";
    bool extensionBlock = false;  // an extension block before each layer's bitmap chunk
};

Bytes Compress(const Bytes& data, std::uint16_t compression)
{
    if (compression == 1) {
        Bytes out;
        for (std::size_t i = 0; i < data.size(); i += 127) {
            const std::size_t n = std::min<std::size_t>(127, data.size() - i);
            out.push_back(static_cast<std::uint8_t>(n));
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                       data.begin() + static_cast<std::ptrdiff_t>(i + n));
        }
        return out;
    }
    if (compression == 2) {
        uLongf size = compressBound(static_cast<uLong>(data.size()));
        Bytes out(size);
        compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
        out.resize(size);
        return out;
    }
    return data;
}

Bytes Block(std::uint16_t major, std::uint16_t id, const Bytes& contents)
{
    ByteBuilder b;
    b.bytes({'~', 'B', 'K', 0}).u16le(id);
    if (major == 3)
        b.u32le(static_cast<std::uint32_t>(contents.size()));
    b.u32le(static_cast<std::uint32_t>(contents.size())).bytes(contents);
    return b.take();
}

Bytes LayerBlock(const PspLayout& s, const Layer& layer)
{
    ByteBuilder b;
    const std::uint16_t count =
        static_cast<std::uint16_t>(layer.channelCount < 0 ? layer.channels.size() : layer.channelCount);
    Bytes info(115, 0);
    info[0] = layer.type;
    if (s.major == 3) {
        b.fill(256, 'n').bytes(info).u16le(1).u16le(count);
    } else {
        const std::string name = "Layer";
        const std::uint32_t chunk =
            static_cast<std::uint32_t>(4 + 2 + name.size() + 115 + 3);  // 3 bytes of later fields
        b.u32le(chunk).u16le(static_cast<std::uint32_t>(name.size())).text(name).bytes(info).fill(3, 0xAB);
        if (s.extensionBlock)
            b.bytes(Block(s.major, 0x21, Bytes(20, 0x7E)));
        b.u32le(8).u16le(1).u16le(count);
    }
    for (const Channel& c : layer.channels) {
        const Bytes packed = Compress(c.data, s.compression);
        ByteBuilder ch;
        if (s.major > 3)
            ch.u32le(16);
        ch.u32le(static_cast<std::uint32_t>(packed.size())).u32le(static_cast<std::uint32_t>(c.data.size()));
        ch.u16le(c.bitmapType).u16le(c.channelType).bytes(packed);
        b.bytes(Block(s.major, psp::kChannel, ch.take()));
    }
    return b.take();
}

Bytes File(const PspLayout& s)
{
    ByteBuilder b;
    Bytes signature(32, 0);
    std::copy(s.signature.begin(), s.signature.end(), signature.begin());
    b.bytes(signature).u16le(s.major).u16le(0);
    ByteBuilder attributes;
    if (s.major > 3)
        attributes.u32le(46);
    attributes.u32le(static_cast<std::uint32_t>(s.width)).u32le(static_cast<std::uint32_t>(s.height));
    double resolution = 72.0;
    std::uint64_t bits = 0;
    std::memcpy(&bits, &resolution, 8);
    attributes.u32le(static_cast<std::uint32_t>(bits)).u32le(static_cast<std::uint32_t>(bits >> 32));
    attributes.u8(2).u16le(s.compression).u16le(s.depth).u16le(1).u32le(1u << std::min<unsigned>(s.depth, 24));
    attributes.u8(s.greyscale ? 1 : 0).u32le(0).u32le(0).u16le(static_cast<std::uint32_t>(s.layers.size()));
    if (s.major > 3)
        attributes.u32le(1);
    b.bytes(Block(s.major, psp::kImageAttributes, attributes.take()));
    b.bytes(Block(s.major, 1, Bytes(30, 0x11)));  // a block of another kind
    if (!s.palette.empty()) {
        ByteBuilder palette;
        if (s.major > 3)
            palette.u32le(8);
        palette.u32le(static_cast<std::uint32_t>(s.palette.size()));
        for (const auto& c : s.palette)
            palette.u8(static_cast<std::uint32_t>(c[2]))
                .u8(static_cast<std::uint32_t>(c[1]))
                .u8(static_cast<std::uint32_t>(c[0]))
                .u8(0);
        b.bytes(Block(s.major, psp::kColorPalette, palette.take()));
    }
    ByteBuilder bank;
    for (const Layer& layer : s.layers)
        bank.bytes(Block(s.major, psp::kLayer, LayerBlock(s, layer)));
    b.bytes(Block(s.major, psp::kLayerBank, bank.take()));
    return b.take();
}

void Load(TPSPGraphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

// Colour channels of a width x height picture whose pixel (x, y) is rgb(x, y).
std::vector<Channel> ColourChannels(int width, int height, const std::function<std::uint32_t(int, int)>& rgb)
{
    std::vector<Channel> channels;
    for (std::uint16_t type = 1; type <= 3; ++type) {
        Channel c{type, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                c.data.push_back(static_cast<std::uint8_t>(rgb(x, y) >> (8 * (3 - type))));
        channels.push_back(c);
    }
    return channels;
}

std::uint32_t Picture(int x, int y)
{
    return static_cast<std::uint32_t>((x * 40) << 16 | (y * 30 + 5) << 8 | ((x + y) * 11 + 1));
}

// ---- run-length decoding ---------------------------------------------------

TEST(PspRleDecoder, DecodesRunsAndCopiesWithinBothBuffers)
{
    struct Case {
        const char* what;
        Bytes packed;
        std::size_t room;
        Bytes expected;  // 0xEE where untouched
    } cases[] = {
        {"copy then run", {0x02, 1, 2, 0x83, 9}, 5, {1, 2, 9, 9, 9}},
        {"a run past the channel is cut", {0xFF, 4}, 3, {4, 4, 4}},
        {"a copy past the channel is cut", {0x04, 1, 2, 3, 4}, 2, {1, 2}},
        {"a copy cut by the data", {0x04, 1}, 3, {1, 0xEE, 0xEE}},
        {"128 repeats nothing", {0x80, 5, 0x01, 6}, 2, {6, 0xEE}},
        {"0 copies nothing", {0x00, 0x01, 7}, 2, {7, 0xEE}},
        {"a run without its value", {0x85}, 2, {0xEE, 0xEE}},
    };
    for (const Case& c : cases) {
        Bytes dest(c.room, 0xEE);
        base::ByteCursor source(c.packed);
        TPSPRLEDecoder decoder;
        decoder.Decode(source, dest);
        EXPECT_EQ(dest, c.expected) << c.what;
    }
}

// ---- loading ---------------------------------------------------------------

TEST(PspReader, ColourChannelsOfEveryVersionAndCompression)
{
    for (std::uint16_t major : {3, 5, 10})
        for (std::uint16_t compression : {0, 1, 2}) {
            PspLayout s;
            s.major = major;
            s.compression = compression;
            s.width = 150;  // more than one run-length copy per row
            s.height = 3;
            s.layers = {{major == 3 ? std::uint8_t{0} : std::uint8_t{1}, ColourChannels(150, 3, Picture)}};
            TPSPGraphic graphic;
            Load(graphic, File(s));
            ASSERT_EQ(graphic.Width(), 150) << major << "/" << compression;
            ASSERT_EQ(graphic.PixelFormat(), core::pf24bit) << major << "/" << compression;
            for (int y = 0; y < 3; ++y)
                for (int x : {0, 1, 126, 127, 149})
                    EXPECT_EQ(PixelRGB(graphic, x, y), Picture(x, y) & 0xFFFFFF)
                        << major << "/" << compression << " at " << x << ", " << y;
            EXPECT_EQ(graphic.ImageDescription.FormatVersion, major);
        }
}

TEST(PspReader, IndexedImagesTakeThePaletteBlock)
{
    PspLayout s;
    s.depth = 8;
    s.width = 3;
    s.height = 1;
    for (int k = 0; k < 300; ++k)  // more entries than a palette holds
        s.palette.push_back({k & 0xFF, 255 - (k & 0xFF), 7});
    s.layers = {{0, {{0, {0, 5, 255}}}}};
    TPSPGraphic graphic;
    Load(graphic, File(s));
    ASSERT_EQ(graphic.PixelFormat(), core::pf8bit);
    EXPECT_EQ(graphic.Palette().size(), 256u);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x00FF07u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x05FA07u);
    EXPECT_EQ(PixelRGB(graphic, 2, 0), 0xFF0007u);
}

TEST(PspReader, GreyImagesWithoutAPaletteShowGreyLevels)
{
    PspLayout s;
    s.depth = 8;
    s.greyscale = true;
    s.width = 2;
    s.height = 1;
    s.layers = {{0, {{0, {40, 200}}}}};
    TPSPGraphic graphic;
    Load(graphic, File(s));
    EXPECT_EQ(graphic.ImageDescription.Scheme, ColorScheme::Gray);
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x282828u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0xC8C8C8u);
}

TEST(PspReader, LayersOfSkippedTypesArePassedOver)
{
    struct Case {
        std::uint16_t major;
        std::uint8_t skipped, used;
    } cases[] = {{3, 1, 0}, {3, 7, 0}, {5, 2, 1}, {5, 9, 0}};
    for (const Case& c : cases) {
        PspLayout s;
        s.major = c.major;
        s.layers = {{c.skipped, ColourChannels(2, 2, [](int, int) { return 0x102030u; })},
                    {c.used, ColourChannels(2, 2, Picture)},
                    {c.used, ColourChannels(2, 2, [](int, int) { return 0x405060u; })}};
        TPSPGraphic graphic;
        Load(graphic, File(s));
        EXPECT_EQ(PixelRGB(graphic, 1, 1), Picture(1, 1)) << c.major << ": type " << int{c.skipped};
    }
}

TEST(PspReader, RowSizesFollowTheDepth)
{
    struct Case {
        std::uint16_t depth;
        int width;
        std::size_t rowBytes;
        core::TPixelFormat format;
    } cases[] = {{4, 10, 6, core::pf4bit},
                 {4, 11, 6, core::pf4bit},
                 {1, 10, 2, core::pf1bit},
                 {1, 16, 2, core::pf1bit},
                 {8, 5, 5, core::pf8bit}};
    for (const Case& c : cases) {
        EXPECT_EQ(psp::ChannelRowBytes(static_cast<std::size_t>(c.width), c.depth), c.rowBytes)
            << c.depth << "/" << c.width;
        // Row y of the composite is all index y % 2, then row padding of
        // a value that must not show.
        PspLayout s;
        s.depth = c.depth;
        s.width = c.width;
        s.height = 3;
        s.palette = {{0, 0, 0}, {255, 255, 255}};
        Bytes data;
        for (int y = 0; y < 3; ++y) {
            const std::uint8_t fillByte = y % 2 == 0 ? 0x00 : (c.depth == 1 ? 0xFF : (c.depth == 4 ? 0x11 : 0x01));
            Bytes row(c.rowBytes, fillByte);
            data.insert(data.end(), row.begin(), row.end());
        }
        s.layers = {{0, {{0, data}}}};
        TPSPGraphic graphic;
        Load(graphic, File(s));
        ASSERT_EQ(graphic.PixelFormat(), c.format);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(PixelRGB(graphic, x, y), y % 2 == 0 ? 0u : 0xFFFFFFu)
                    << c.depth << "/" << c.width << " at " << x << ", " << y;
    }
}

TEST(PspReader, FourChannelsGiveThirtyTwoBitsWithoutAlpha)
{
    PspLayout s;
    std::vector<Channel> channels = ColourChannels(2, 2, Picture);
    channels.push_back({0, Bytes(4, 0x77), 1});
    s.layers = {{0, channels}};
    TPSPGraphic graphic;
    Load(graphic, File(s));
    ASSERT_EQ(graphic.PixelFormat(), core::pf32bit);
    EXPECT_FALSE(graphic.HasAlpha());
    const std::uint8_t* row = graphic.ScanLineRead(1);
    EXPECT_EQ(row[4 + 3], 0);  // not the composite's 0x77
    EXPECT_EQ(PixelRGB(graphic, 1, 1), Picture(1, 1));
}

TEST(PspReader, AMaskChannelNeverReplacesTheImageChannel)
{
    PspLayout s;
    s.depth = 8;
    s.width = 2;
    s.height = 1;
    s.palette = {{10, 10, 10}, {20, 20, 20}, {30, 30, 30}};
    s.layers = {{0, {{0, {1, 2}, 0}, {0, {0, 0}, 1}}}};  // the image, then its transparency mask
    TPSPGraphic graphic;
    Load(graphic, File(s));
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0x141414u);
    EXPECT_EQ(PixelRGB(graphic, 1, 0), 0x1E1E1Eu);
}

TEST(PspReader, LaterVersionsMaySetExtensionBlocksBeforeTheBitmapChunk)
{
    PspLayout s;
    s.major = 10;
    s.extensionBlock = true;
    s.layers = {{1, ColourChannels(2, 2, Picture)}};
    TPSPGraphic graphic;
    Load(graphic, File(s));
    EXPECT_EQ(PixelRGB(graphic, 1, 0), Picture(1, 0));
}

TEST(PspReader, FailuresCarryTheirMessages)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected PSP image format.";
    struct Case {
        const char* what;
        std::function<void(PspLayout&)> change;
        std::string message;
    } cases[] = {
        {"signature", [](PspLayout& s) { s.signature = "Paint Shop Pro Image Fil_"; }, invalid},
        {"signature in another case", [](PspLayout& s) { s.signature = "PAINT shop pro image file"; }, "(no error)"},
        {"major version 2", [](PspLayout& s) { s.major = 2; }, invalid},
        {"16-bit depth", [](PspLayout& s) { s.depth = 16; }, "Invalid color format in PSP file."},
        {"32-bit depth", [](PspLayout& s) { s.depth = 32; }, "Invalid color format in PSP file."},
        {"JPEG channels", [](PspLayout& s) { s.compression = 3; },
         "Cannot load image. The compression scheme is not supported for PSP files."},
        {"an unknown compression", [](PspLayout& s) { s.compression = 9; },
         "Cannot load image. The compression scheme is not supported for PSP files."},
        {"negative width", [](PspLayout& s) { s.width = -2; }, invalid},
    };
    for (const Case& c : cases) {
        PspLayout s;
        s.layers = {{0, ColourChannels(2, 2, Picture)}};
        c.change(s);
        TPSPGraphic graphic;
        EXPECT_EQ(ErrorOf([&] { Load(graphic, File(s)); }), c.message) << c.what;
    }
    TPSPGraphic graphic;
    EXPECT_EQ(ErrorOf([&] { Load(graphic, Bytes(30, 'P')); }), "Stream read error");
}

TEST(PspReader, LengthsBeyondTheirBlockReadWhatIsThere)
{
    PspLayout s;
    s.width = 4;
    s.height = 2;
    s.layers = {{0, ColourChannels(4, 2, Picture)}};
    const Bytes good = File(s);
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        std::function<std::uint32_t(int, int)> expected;
    } cases[] = {
        {"the file ends inside the blue channel", [](Bytes& f) { f.resize(f.size() - 3); },
         [](int x, int y) { return Picture(x, y) & (y == 1 && x >= 1 ? 0xFFFF00u : 0xFFFFFFu); }},
        {"the file ends before the blue channel", [](Bytes& f) { f.resize(f.size() - 8 - 24); },
         [](int x, int y) { return Picture(x, y) & 0xFFFF00u; }},
        {"every length far too large",
         [](Bytes& f) {
             // The uncompressed lengths and the last block's length.
             for (std::size_t i = 0; i + 4 <= f.size(); ++i)
                 if (f[i] == 8 && f[i + 1] == 0 && f[i + 2] == 0 && f[i + 3] == 0 && f[i - 4] == 8) {
                     f[i + 3] = 0x40;
                     f[i - 1] = 0x40;
                 }
         },
         Picture},
    };
    for (const Case& c : cases) {
        Bytes file = good;
        c.change(file);
        TPSPGraphic graphic;
        Load(graphic, file);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(PixelRGB(graphic, x, y), c.expected(x, y)) << c.what << " at " << x << ", " << y;
    }
}

TEST(PspReader, AChannelCountAboveTheChannelsHeldAndNoLayer)
{
    PspLayout s;
    s.layers = {{0, ColourChannels(2, 2, Picture), 9}};
    TPSPGraphic graphic;
    Load(graphic, File(s));
    EXPECT_EQ(graphic.PixelFormat(), core::pf32bit);  // more than three channels counted
    EXPECT_EQ(PixelRGB(graphic, 0, 1), Picture(0, 1));
    PspLayout none;
    none.layers = {{5, ColourChannels(2, 2, Picture)}};
    Load(graphic, File(none));
    EXPECT_EQ(PixelRGB(graphic, 0, 0), 0xFFFFFFu);  // no usable layer: the raster keeps its fill
}

TEST(PspContentTest, NeedsTheSignatureAndVersionThree)
{
    PspLayout s;
    s.layers = {{0, ColourChannels(1, 1, Picture)}};
    const Bytes file = File(s);
    struct Case {
        const char* what;
        Bytes bytes;
        bool expected;
    } cases[] = {
        {"a file", file, true},
        {"the header alone", Bytes(file.begin(), file.begin() + 36), false},
        {"the header and one byte", Bytes(file.begin(), file.begin() + 37), true},
        {"version 2",
         [&] {
             Bytes f = file;
             f[32] = 2;
             return f;
         }(),
         false},
        {"lower case",
         [&] {
             Bytes f = file;
             f[0] = 'p';
             f[6] = 'S';
             return f;
         }(),
         true},
    };
    for (const Case& c : cases) {
        core::TMemoryStream stream(c.bytes);
        TPSPGraphic graphic;
        EXPECT_EQ(graphic.CanLoadStream(stream), c.expected) << c.what;
        EXPECT_EQ(stream.Position(), 0u) << c.what;
        EXPECT_EQ(IsPSP({c.bytes.data(), std::min<std::size_t>(c.bytes.size(), 64)}), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace scalopex::formats
