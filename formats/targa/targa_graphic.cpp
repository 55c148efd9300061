// Targa files (Truevision TGA File Format 2.0). Reads image types 1, 2, 3
// (raw) and 9, 10, 11 (run-length encoded) of 8, 15, 16, 24 and 32 bits per
// pixel, with colour maps of 15, 16, 24 and 32-bit entries, in every row and
// column order. 16-bit pixels are 5-5-5 with bit 15 ignored; 16-bit grey
// files hold grey and alpha and become 32-bit pixels. Nothing after the
// pixel data (footer, extension or developer area) is read or written.
// Pixels are copied straight between file and raster rows: both store blue,
// green, red (and alpha) in that order.

#include "formats/targa/targa_graphic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/common/targa_rle.h"
#include "formats/targa/targa_header.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TTargaGraphic, TReaderGraphic)

namespace {

using targa::TTargaHeader;

constexpr const char* kShortName = "TGA";
constexpr const char* kSTooLarge = "Image is too large for a Targa file (at most 65535 x 65535 pixels)";
constexpr int kMaxTargaSide = 65535;

struct TSampleLayout {
    ColorScheme scheme;
    std::uint8_t sampleBits;
    std::uint8_t sampleCount;  // 0: the depth is not supported
};

TSampleLayout LayoutOf(const TTargaHeader& h)
{
    if (h.IsGrayAlpha())
        return {ColorScheme::GrayAlpha, 8, 2};
    switch (h.pixelDepth) {
    case 8: return {h.IsGray() ? ColorScheme::Gray : ColorScheme::Indexed, 8, 1};
    case 15:
    case 16: return {ColorScheme::RGB, 5, 3};
    case 24: return {ColorScheme::RGB, 8, 3};
    case 32: return {ColorScheme::RGBA, 8, 4};
    default: return {ColorScheme::Unknown, 8, 0};
    }
}

// Bytes of one pixel in the file.
std::size_t FilePixelBytes(const TTargaHeader& h)
{
    switch (h.pixelDepth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

// Colour map entries of 15 or 16 bits: 5-5-5 words, each channel shifted
// into the top of its byte.
gdi::TLogPalette Palette16(std::span<const std::uint8_t> bytes, std::size_t count)
{
    gdi::TLogPalette palette(std::min(count, gdi::kMaxPaletteEntries));
    base::ByteCursor words(bytes);
    for (std::size_t k = 0; k < palette.size(); ++k) {
        const unsigned w = words.u16le();
        palette[k] = {static_cast<std::uint8_t>((w & 0x7C00) >> 7), static_cast<std::uint8_t>((w & 0x03E0) >> 2),
                      static_cast<std::uint8_t>((w & 0x001F) << 3), 0};
    }
    return palette;
}

void WriteU16(std::uint8_t* p, unsigned v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

bool IsTarga(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() <= targa::kHeaderSize)
        return false;
    base::ByteCursor in(start);
    const TTargaHeader h = targa::ParseHeader(in);
    const auto validEntry = [](unsigned bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; };
    const auto validDepth = [](unsigned bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; };
    // Files without a colour map often leave its entry size 0.
    const bool entryOk = validEntry(h.colorMapEntryBits) || (h.colorMapType == 0 && h.colorMapEntryBits == 0);
    return (h.imageType <= 3 || (h.imageType >= 9 && h.imageType <= 11)) && h.colorMapType <= 1 && entryOk &&
           validDepth(h.pixelDepth);
}

bool TTargaGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[targa::kHeaderSize + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsTarga({bytes, got});
}

bool TTargaGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    const TTargaHeader h = targa::ParseHeader(input);
    const TSampleLayout layout = LayoutOf(h);
    TImageProperties& d = ImageDescription;
    d.ImageWidth = h.width;
    d.ImageHeight = h.height;
    d.Compression = h.IsRLE() ? CompressionKind::RLE : CompressionKind::None;
    d.Scheme = layout.scheme;
    d.SampleBits = layout.sampleBits;
    d.SampleCount = layout.sampleCount;
    d.PixelBits = static_cast<std::uint8_t>(layout.sampleBits * layout.sampleCount);
    return true;
}

TRasterPlan TTargaGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    ParseImageDescription(description, 0);
    m_header = targa::ParseHeader(input);
    const TTargaHeader& h = m_header;
    // Fields that claim more bytes than the file has are passed over as far
    // as it goes: what follows then reads as cut short.
    auto skipField = [&input](std::size_t bytes) { input.skip(std::min(bytes, input.remaining())); };
    skipField(h.idLength);

    // The colour manager chooses the pixel format and builds the palettes;
    // an unsupported depth (sample count 0) fails in its setter.
    const TImageProperties& d = ImageDescription;
    TColorManager& cm = ColorManager();
    cm.SetSourceSamples(d.SampleCount);
    cm.SetTargetSamples(d.SampleCount);
    cm.SetSourceScheme(d.Scheme);
    cm.SourceFlags = 0;
    cm.SetTargetScheme(ColorScheme::BGR);
    cm.SetSourceSampleBits(d.SampleBits);
    cm.SetTargetSampleBits(d.SampleBits);

    TRasterPlan plan;
    plan.pixelFormat = h.IsGrayAlpha() ? core::pf32bit : cm.PixelFormatOf(TColorManager::Side::Target);
    if (h.IsGray()) {
        if (!h.IsGrayAlpha())
            plan.palette = cm.BuildGrayPalette(false);
        if (h.colorMapType == 1)
            skipField(h.ColorMapBytes());  // a grey image shows its levels, not a map
    } else if (h.colorMapType == 1) {
        const std::size_t count = h.colorMapLength;
        const unsigned bits = h.colorMapEntryBits;
        if (bits == 15 || bits == 16 || bits == 24 || bits == 32) {
            const std::span<const std::uint8_t> map = input.bytes(h.ColorMapBytes());  // at most 65535 × 4 bytes
            if (bits >= 24) {
                const std::span<const std::uint8_t> sources[] = {map};
                const auto format = bits == 24 ? RawPaletteFormat::Interlaced8Triple : RawPaletteFormat::Interlaced8Quad;
                plan.palette = cm.BuildColorPalette(sources, format, count, true);
            } else {
                plan.palette = Palette16(map, count);
            }
        } else if (h.IsColorMapped()) {
            // Indices into a map whose entries cannot be read show nothing sensible.
            throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kShortName));
        } else {
            skipField(h.ColorMapBytes());
        }
    }

    plan.width = h.width;
    plan.height = h.height;
    const std::size_t rowBytes = static_cast<std::size_t>(h.width) * FilePixelBytes(h);
    if (h.HasPixelData() && !h.IsRLE())
        plan.rawBytes = std::uint64_t{rowBytes} * h.height;  // a raw file must hold every row
    // Run-length data may end early (the rest stays white) and rows may end
    // inside a packet, so every pixel starts as the raster is made.
    plan.prefill = true;
    return plan;
}

void TTargaGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const TTargaHeader& h = m_header;
    if (!h.HasPixelData() || sink.Height() == 0 || sink.Width() == 0)
        return;
    const int width = sink.Width();
    const int height = sink.Height();
    const std::size_t pixelBytes = FilePixelBytes(h);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * pixelBytes;
    const bool grayAlpha = h.IsGrayAlpha();

    // File row i goes to raster row i when rows run top to bottom, else to
    // height - 1 - i; with right-to-left columns the pixels are mirrored.
    const bool mirror = h.RightToLeft();
    auto store = [&](int i, const std::uint8_t* src, std::size_t pixels) {
        std::uint8_t* dst = sink.Row(h.TopDown() ? i : height - 1 - i).data();
        if (grayAlpha) {
            for (std::size_t x = 0; x < pixels; ++x) {
                const std::size_t col = mirror ? static_cast<std::size_t>(width) - 1 - x : x;
                std::uint8_t* p = dst + 4 * col;
                p[0] = p[1] = p[2] = src[2 * x];
                p[3] = src[2 * x + 1];
            }
        } else if (mirror) {
            for (std::size_t x = 0; x < pixels; ++x)
                std::memcpy(dst + (static_cast<std::size_t>(width) - 1 - x) * pixelBytes, src + x * pixelBytes, pixelBytes);
        } else {
            std::memcpy(dst, src, pixels * pixelBytes);
        }
    };

    if (!h.IsRLE()) {
        for (int i = 0; i < height; ++i)
            store(i, input.bytes(rowBytes).data(), static_cast<std::size_t>(width));
    } else {
        // A file that ends early leaves the rest of the raster as it was made.
        TTargaRLEDecoder decoder(h.pixelDepth);
        decoder.StartDecoding();
        if (!mirror && !grayAlpha) {
            // The file's pixels are the raster's: packets go straight into its rows.
            for (int i = 0; i < height; ++i)
                decoder.Decode(input, sink.Row(h.TopDown() ? i : height - 1 - i).first(rowBytes));
        } else {
            std::vector<std::uint8_t> fileRow(rowBytes);
            for (int i = 0; i < height; ++i)
                store(i, fileRow.data(), decoder.Decode(input, fileRow) / pixelBytes);
        }
    }
    // The fourth byte is alpha only when the descriptor counts alpha bits.
    if (h.AlphaBits() != 0 && PixelFormat() == core::pf32bit)
        SetHasAlpha(true);
}

void TTargaGraphic::SaveToStream(core::TStream& stream)
{
    SaveToStream(stream, true);
}

void TTargaGraphic::SaveToStream(core::TStream& stream, bool compressed)
{
    if (Empty())
        return;
    const int width = Width();
    const int height = Height();
    if (width > kMaxTargaSide || height > kMaxTargaSide)
        throw base::EInvalidGraphic(kSTooLarge);

    // Rasters of fewer than 8 bits are written as 8-bit indices and layouts
    // without a Targa form as 24-bit pixels, converted row by row.
    const core::TPixelFormat format = PixelFormat();
    std::size_t b = 3;
    switch (format) {
    case core::pf1bit:
    case core::pf4bit:
    case core::pf8bit: b = 1; break;
    case core::pf15bit:
    case core::pf16bit: b = 2; break;
    case core::pf32bit: b = 4; break;
    default: b = 3; break;
    }

    std::uint8_t header[targa::kHeaderSize] = {};
    header[1] = b == 1 ? 1 : 0;
    header[2] = static_cast<std::uint8_t>(compressed ? (b == 1 ? 9 : 10) : (b == 1 ? 1 : 2));
    WriteU16(header + 5, 256);
    header[7] = 24;
    WriteU16(header + 12, static_cast<unsigned>(width));
    WriteU16(header + 14, static_cast<unsigned>(height));
    header[16] = static_cast<std::uint8_t>(8 * b);
    header[17] = 0x20;
    stream.WriteBuffer(header, sizeof header);

    if (b == 1) {
        const gdi::TLogPalette palette = Palette();
        std::uint8_t map[256 * 3] = {};
        for (std::size_t k = 0; k < std::min(palette.size(), std::size_t{256}); ++k) {
            map[3 * k] = palette[k].peBlue;
            map[3 * k + 1] = palette[k].peGreen;
            map[3 * k + 2] = palette[k].peRed;
        }
        stream.WriteBuffer(map, sizeof map);
    }

    const std::size_t count = static_cast<std::size_t>(width);
    const std::size_t rowBytes = count * b;
    TTargaRLEDecoder encoder(static_cast<int>(8 * b));
    std::vector<std::uint8_t> converted(rowBytes);
    std::vector<std::uint8_t> encoded(compressed ? encoder.EncodeBound(count) : 0);
    std::vector<std::uint8_t> bgra(format == core::pfCustom ? 4 * count : 0);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* src = ScanLineRead(y);
        const std::uint8_t* row = src;
        if (format == core::pf1bit || format == core::pf4bit) {
            const unsigned bits = format == core::pf1bit ? 1 : 4;
            const unsigned perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (std::size_t x = 0; x < count; ++x) {
                const unsigned shift = 8 - bits * (static_cast<unsigned>(x % perByte) + 1);
                converted[x] = static_cast<std::uint8_t>((src[x / perByte] >> shift) & mask);
            }
            row = converted.data();
        } else if (format == core::pf16bit) {
            // 5-6-5 words to the file's 5-5-5.
            for (std::size_t x = 0; x < count; ++x) {
                const unsigned w = src[2 * x] | (src[2 * x + 1] << 8);
                WriteU16(&converted[2 * x], ((w >> 1) & 0x7FE0) | (w & 0x001F));
            }
            row = converted.data();
        } else if (format == core::pfCustom) {
            core::UnpackRow(Image(), src, width, bgra.data());
            for (std::size_t x = 0; x < count; ++x)
                std::memcpy(&converted[3 * x], &bgra[4 * x], 3);
            row = converted.data();
        }
        if (compressed) {
            const std::size_t n = encoder.Encode(std::span<const std::uint8_t>(row, rowBytes), encoded, count);
            stream.WriteBuffer(encoded.data(), n);
        } else {
            stream.WriteBuffer(row, rowBytes);
        }
    }
}

}  // namespace scalopex::formats
