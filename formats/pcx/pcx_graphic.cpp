// PCX files (ZSoft PC Paintbrush, versions 0 to 5). The 128-byte header
// gives the window (x min to x max, y min to y max), the bits of each plane,
// the planes and the bytes of one plane's row; every row holds its planes one
// after the other. Run-length data is one stream over all rows. 256-colour
// files end with their palette: the byte 12, then 256 red, green, blue
// entries.

#include "formats/pcx/pcx_graphic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/common/format_descriptor.h"
#include "formats/pcx/pcx_rle.h"
#include "platform/gdi/palette.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPCXGraphic, TReaderGraphic)

namespace {

constexpr const char* kFormatName = "PCX";
constexpr const char* kSInvalidColorFormat = "Invalid color format in %s file.";

[[noreturn]] void Fail(const char* pattern)
{
    throw base::EInvalidGraphic(base::Format(pattern, kFormatName));
}

bool KnownManufacturer(std::uint8_t b)
{
    return b == 10 || b == 0xCD;
}

// Bit (7 - j) of a byte, for pixel j of its 8, moved to bit 0 of nibble
// 7 - j of a 32-bit word: the first pixel lands in the top nibble.
constexpr std::array<std::uint32_t, 256> MakeNibbleSpread()
{
    std::array<std::uint32_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        for (unsigned j = 0; j < 8; ++j)
            if (b & (0x80u >> j))
                table[b] |= 1u << (4 * (7 - j));
    return table;
}
constexpr std::array<std::uint32_t, 256> kNibbleSpread = MakeNibbleSpread();

// 4-bit indices of width pixels from 1-bit planes of bytesPerLine bytes:
// bit k of a pixel's index is its bit in plane k. Bits after the last
// pixel are zero.
void PackBitPlanes(std::span<const std::uint8_t> row, std::size_t planes, std::size_t bytesPerLine, std::size_t width,
                   std::span<std::uint8_t> out)
{
    const std::size_t outBytes = (width + 1) / 2;
    const std::size_t groups = (width + 7) / 8;  // source bytes per plane that hold pixels
    const std::uint8_t* p[4] = {row.data(), row.data() + bytesPerLine, row.data() + 2 * bytesPerLine,
                                planes > 3 ? row.data() + 3 * bytesPerLine : nullptr};
    for (std::size_t g = 0; g < groups; ++g) {
        std::uint32_t word = kNibbleSpread[p[0][g]] | (kNibbleSpread[p[1][g]] << 1) | (kNibbleSpread[p[2][g]] << 2);
        if (p[3] != nullptr)
            word |= kNibbleSpread[p[3][g]] << 3;
        const std::size_t at = 4 * g;
        const std::size_t n = std::min<std::size_t>(4, outBytes - at);
        for (std::size_t i = 0; i < n; ++i)
            out[at + i] = static_cast<std::uint8_t>(word >> (24 - 8 * i));
    }
    if (width % 2 != 0)
        out[outBytes - 1] &= 0xF0;
}

}  // namespace

namespace pcx {

THeader ParseHeader(base::ByteCursor& input)
{
    base::ByteCursor in = input.sub(kHeaderSize);
    THeader h;
    h.manufacturer = in.u8();
    h.version = in.u8();
    h.encoding = in.u8();
    h.bitsPerPixel = in.u8();
    h.xMin = in.u16le();
    h.yMin = in.u16le();
    h.xMax = in.u16le();
    h.yMax = in.u16le();
    h.resolutionX = in.u16le();
    h.resolutionY = in.u16le();
    h.palette16 = in.bytes(48);
    in.skip(1);
    h.planes = in.u8();
    h.bytesPerLine = in.u16le();
    h.paletteInfo = in.u16le();
    return h;
}

}  // namespace pcx

bool IsPCX(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() < kContentCheckBytes)
        return false;  // the whole file, and no room for a header
    const std::uint8_t version = start[1];
    return KnownManufacturer(start[0]) && (version == 0 || version == 2 || version == 3 || version == 5) &&
           start[2] <= 1;
}

bool TPCXGraphic::CanLoadStream(core::TStream& stream) const
{
    // The same answer as the registry's content check, which sees only the
    // first bytes: a file shorter than its header fails when it is loaded.
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[kContentCheckBytes];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsPCX({bytes, got});
}

bool TPCXGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    if (!KnownManufacturer(input.peek()))
        return false;
    const pcx::THeader h = pcx::ParseHeader(input);
    TImageProperties& d = ImageDescription;
    const unsigned pixelBits = unsigned{h.bitsPerPixel} * h.planes;
    d.FormatVersion = h.version;
    d.ImageWidth = h.Width();
    d.ImageHeight = h.Height();
    d.ResolutionX = h.resolutionX;
    d.ResolutionY = h.resolutionY;
    d.SampleBits = h.bitsPerPixel;
    d.SampleCount = h.planes;
    d.PixelBits = static_cast<std::uint8_t>(std::min(pixelBits, 255u));
    d.Scheme = pixelBits > 8 ? ColorScheme::RGB : ColorScheme::Indexed;
    d.Compression = h.IsRLE() ? CompressionKind::RLE : CompressionKind::None;
    return true;
}

TRasterPlan TPCXGraphic::ReadHeader(base::ByteCursor& input)
{
    TRasterPlan plan;
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0)) {
        plan.stayEmpty = true;  // not a PCX file: the raster stays empty, without an error
        return plan;
    }
    const std::span<const std::uint8_t> file = input.rest();
    m_header = pcx::ParseHeader(input);
    const pcx::THeader& h = m_header;
    const TImageProperties& d = ImageDescription;
    const unsigned bits = h.bitsPerPixel;
    const unsigned planes = h.planes;
    const bool indexed = d.Scheme == ColorScheme::Indexed;

    // The colour manager refuses sample sizes and plane counts it cannot hold.
    TColorManager& cm = ColorManager();
    cm.SourceFlags = 0;
    cm.TargetFlags = 0;
    cm.SetSourceScheme(d.Scheme);
    cm.SetSourceSampleBits(h.bitsPerPixel);
    cm.SetSourceSamples(h.planes);
    cm.SetTargetScheme(indexed ? ColorScheme::Indexed : ColorScheme::BGR);
    cm.SetTargetSampleBits(bits * planes == 2 ? 4 : h.bitsPerPixel);
    cm.SetTargetSamples(h.planes);

    // Only these layouts have a raster form; the colour manager's pixel
    // format for the others (three planes of 4 bits, one of 3 bits, ...)
    // would take rows it cannot fill.
    if (planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
        m_layout = TLayout::Indices;
        plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    } else if ((planes == 3 || planes == 4) && bits == 1) {
        m_layout = TLayout::BitPlanes;
        plan.pixelFormat = core::pf4bit;
    } else if ((planes == 3 || planes == 4) && bits == 8) {
        m_layout = TLayout::ColorPlanes;
        if (planes == 4) {
            cm.SetSourceScheme(ColorScheme::RGBA);
            cm.SetTargetScheme(ColorScheme::BGRA);
        }
        plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    } else {
        Fail(kSInvalidColorFormat);
    }

    // A plane's row must hold the width's pixels.
    const std::int64_t width = h.Width();
    const std::uint64_t neededBytes = width > 0 ? (static_cast<std::uint64_t>(width) * bits + 7) / 8 : 0;
    if (h.bytesPerLine < neededBytes)
        Fail(base::kSInvalidImage);

    // The palette, for every raster but the true-colour ones.
    const bool trailingPalette =
        file.size() >= pcx::kHeaderSize + pcx::kPaletteBytes && file[file.size() - pcx::kPaletteBytes] == 12;
    switch (plan.pixelFormat) {
    case core::pf1bit:
        plan.palette = cm.BuildGrayPalette(false);
        break;
    case core::pf4bit:
        if (h.version == 3) {
            plan.palette = gdi::SystemPalette16();
        } else if (h.paletteInfo == 2) {
            plan.palette = cm.BuildGrayPalette(false);
        } else {
            const std::span<const std::uint8_t> sources[] = {h.palette16};
            plan.palette = cm.BuildColorPalette(sources, RawPaletteFormat::Interlaced8Triple, 16, false);
        }
        break;
    case core::pf8bit:
        if (h.version == 3) {
            plan.palette = gdi::SystemPalette16();
        } else if (trailingPalette) {
            const std::span<const std::uint8_t> sources[] = {file.last(pcx::kPaletteBytes - 1)};
            plan.palette = cm.BuildColorPalette(sources, RawPaletteFormat::Interlaced8Triple, 256, false);
        } else if (h.paletteInfo == 2) {
            plan.palette = cm.BuildGrayPalette(false);
        }
        break;
    default:
        break;
    }

    // The pixel data run to the end of the file, less a palette found there.
    m_dataBytes = input.remaining();
    if (plan.pixelFormat == core::pf8bit && trailingPalette)
        m_dataBytes -= pcx::kPaletteBytes;

    plan.width = h.Width();
    plan.height = h.Height();
    if (h.IsRLE() && plan.width > 0 && plan.height > 0) {
        // Two bytes yield at most 63: fewer cannot give every row.
        const std::uint64_t rowBytes = std::uint64_t{planes} * h.bytesPerLine;
        plan.minimumDataBytes = (2 * rowBytes * static_cast<std::uint64_t>(plan.height) + 62) / 63;
    }
    // A window without pixels (x max one below x min) has nothing to read.
    if (plan.width == 0 && plan.height >= 0)
        plan.stayEmpty = true;
    // Rows the data do not fully contain are left to the fill.
    return plan;
}

void TPCXGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const pcx::THeader& h = m_header;
    const int width = sink.Width();
    const int height = sink.Height();
    if (width <= 0 || height <= 0)
        return;
    const std::size_t bytesPerLine = h.bytesPerLine;
    const std::size_t planes = h.planes;
    const std::size_t rowBytes = planes * bytesPerLine;
    base::ByteCursor data = input.sub(m_dataBytes);

    std::vector<std::uint8_t> packed(h.IsRLE() ? rowBytes : 0);
    std::vector<std::uint8_t> nibbles(m_layout == TLayout::BitPlanes ? (static_cast<std::size_t>(width) + 1) / 2 : 0);
    TPCXRLEDecoder decoder;
    decoder.StartDecoding();

    for (int y = 0; y < height; ++y) {
        std::span<const std::uint8_t> row;
        if (h.IsRLE()) {
            if (decoder.Decode(data, packed) < rowBytes)
                break;
            row = packed;
        } else {
            if (data.remaining() < rowBytes)
                break;
            row = data.bytes(rowBytes);
        }
        switch (m_layout) {
        case TLayout::Indices:
            sink.Convert(y, row);
            break;
        case TLayout::BitPlanes: {
            PackBitPlanes(row, planes, bytesPerLine, static_cast<std::size_t>(width), nibbles);
            std::span<std::uint8_t> target = sink.Row(y);
            std::memcpy(target.data(), nibbles.data(), std::min(target.size(), nibbles.size()));
            break;
        }
        case TLayout::ColorPlanes: {
            const std::span<const std::uint8_t> sources[] = {
                row.subspan(0, bytesPerLine), row.subspan(bytesPerLine, bytesPerLine),
                row.subspan(2 * bytesPerLine, bytesPerLine),
                row.subspan(std::min(3, static_cast<int>(planes) - 1) * bytesPerLine, bytesPerLine)};
            sink.Convert(y, std::span<const std::span<const std::uint8_t>>(sources, planes));
            break;
        }
        }
    }
    decoder.FinishDecoding();
    if (m_layout == TLayout::ColorPlanes && planes == 4)
        SetHasAlpha(true);
}

}  // namespace scalopex::formats
