// Paint Shop Pro image files, little-endian. A 36-byte file header (the
// signature, the major and minor version), then blocks: a marker whose
// first byte is '~', the block's identifier, for major version 3 an initial
// length, and the length of its contents. The first block holds the image
// attributes; a colour palette block gives the colours of indexed images; a
// layer bank holds layer blocks, each with its channel blocks. From major
// version 4 on, the attributes, palette, layer and channel data each begin
// with a chunk that states its own length.

#include "formats/psp/psp_graphic.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/common/lz77.h"
#include "formats/psp/psp_rle.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPSPGraphic, TReaderGraphic)

namespace {

constexpr const char* kShortName = "PSP";
constexpr const char* kSInvalidColorFormat = "Invalid color format in %s file.";
constexpr const char* kSUnsupported = "Cannot load image. %s not supported for %s files.";
constexpr const char* kSCompressionScheme = "The compression scheme is";
constexpr char kSignature[] = "Paint Shop Pro Image File";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;
constexpr std::size_t kLayerNameSize = 256;  // major version 3
constexpr std::size_t kLayerInfoSize = 115;
constexpr std::uint8_t kBlockMarker[] = {'~', 'B', 'K', 0};

enum TCompression : std::uint16_t { kNone = 0, kRLE = 1, kLZ77 = 2, kJPEG = 3 };
enum TChannelType : std::uint16_t { kComposite = 0, kRed = 1, kGreen = 2, kBlue = 3 };
constexpr std::uint16_t kImageBitmap = 0;

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kShortName));
}

struct TBlock {
    std::uint16_t id = 0;
    base::ByteCursor contents{{}};
};

// The next block of in, its contents cut to what in holds; nothing when in
// ends or the next byte is no marker. in moves past the block.
std::optional<TBlock> NextBlock(base::ByteCursor& in, std::uint16_t major)
{
    const std::size_t headerSize = major == 3 ? 14 : 10;
    if (in.remaining() < headerSize || in.peek() != '~')
        return std::nullopt;
    in.skip(4);
    TBlock block;
    block.id = in.u16le();
    if (major == 3)
        in.skip(4);  // the initial length
    const std::size_t length = in.u32le();
    block.contents = base::ByteCursor(in.bytesUpTo(length));
    return block;
}

// Moves a chunk's cursor to the end its length gives, never backwards and
// never past what the cursor holds.
void SkipToChunkEnd(base::ByteCursor& in, std::size_t chunkStart, std::size_t chunkLength)
{
    const std::size_t end = chunkLength > in.size() - chunkStart ? in.size() : chunkStart + chunkLength;
    if (end > in.position())
        in.seek(end);
}

struct TAttributes {
    std::int32_t width = 0;
    std::int32_t height = 0;
    double resolution = 0;
    std::uint8_t resolutionUnit = 0;
    std::uint16_t compression = 0;
    std::uint16_t bitDepth = 0;
    bool greyscale = false;
};

TAttributes ReadAttributes(base::ByteCursor& contents, std::uint16_t major)
{
    if (major > 3)
        contents.skip(4);  // the chunk length
    TAttributes a;
    a.width = contents.i32le();
    a.height = contents.i32le();
    const std::uint32_t low = contents.u32le();
    const std::uint32_t high = contents.u32le();
    a.resolution = std::bit_cast<double>((std::uint64_t{high} << 32) | low);
    a.resolutionUnit = contents.u8();
    a.compression = contents.u16le();
    a.bitDepth = contents.u16le();
    contents.skip(6);  // planes, colour count
    a.greyscale = contents.u8() != 0;
    return a;
}

}  // namespace

namespace psp {

std::size_t ChannelRowBytes(std::size_t width, unsigned bitDepth)
{
    switch (bitDepth) {
    case 1:
        return (width + 7) / 8;
    case 4:
        return width / 2 + 1;
    default:
        return width;
    }
}

bool HasFileHeader(std::span<const std::uint8_t> bytes) noexcept
{
    if (bytes.size() < kFileHeaderSize)
        return false;
    for (std::size_t i = 0; i < kSignatureLength; ++i)
        if (std::tolower(bytes[i]) != std::tolower(static_cast<unsigned char>(kSignature[i])))
            return false;
    return (bytes[32] | (bytes[33] << 8)) >= 3;
}

}  // namespace psp

bool IsPSP(std::span<const std::uint8_t> start) noexcept
{
    return start.size() > psp::kFileHeaderSize && psp::HasFileHeader(start);
}

bool TPSPGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[psp::kFileHeaderSize + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsPSP({bytes, got});
}

bool TPSPGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    if (!psp::HasFileHeader(input.bytes(psp::kFileHeaderSize)))
        return false;
    input.seek(input.position() - 4);
    const std::uint16_t major = input.u16le();
    input.skip(2);
    std::optional<TBlock> block = NextBlock(input, major);
    if (!block)
        return false;
    const TAttributes a = ReadAttributes(block->contents, major);
    TImageProperties& d = ImageDescription;
    d.FormatVersion = major;
    if (a.bitDepth == 24) {
        d.SampleCount = 3;
        d.SampleBits = 8;
        d.Scheme = ColorScheme::RGB;
    } else {
        d.SampleCount = 1;
        d.SampleBits = static_cast<std::uint8_t>(a.bitDepth);
        d.Scheme = a.greyscale ? ColorScheme::Gray : ColorScheme::Indexed;
    }
    d.PixelBits = static_cast<std::uint8_t>(d.SampleCount * d.SampleBits);
    d.ImageWidth = a.width;
    d.ImageHeight = a.height;
    switch (a.compression) {
    case kNone:
        d.Compression = CompressionKind::None;
        break;
    case kRLE:
        d.Compression = CompressionKind::RLE;
        break;
    case kLZ77:
        d.Compression = CompressionKind::LZ77;
        break;
    case kJPEG:
        d.Compression = CompressionKind::JPEG;
        break;
    default:
        d.Compression = CompressionKind::Unknown;
        break;
    }
    const double resolution = a.resolutionUnit == 2 ? a.resolution * 2.54 : a.resolution;
    d.ResolutionX = d.ResolutionY = static_cast<float>(resolution);
    return true;
}

std::optional<TPSPGraphic::TLayer> TPSPGraphic::ReadLayer(base::ByteCursor& block) const
{
    TLayer layer;
    if (m_major == 3) {
        block.skip(kLayerNameSize);
        if (block.bytes(kLayerInfoSize)[0] != 0)
            return std::nullopt;
        block.skip(2);  // the bitmap count
        layer.channelCount = block.u16le();
    } else {
        const std::size_t chunkStart = block.position();
        const std::size_t chunkLength = block.u32le();
        block.skip(block.u16le());  // the name
        if (block.bytes(kLayerInfoSize)[0] > 1)
            return std::nullopt;
        SkipToChunkEnd(block, chunkStart, chunkLength);
        // Later versions may put extension blocks before the bitmap chunk.
        while (block.remaining() >= 10 &&
               std::equal(std::begin(kBlockMarker), std::end(kBlockMarker), block.rest().begin()))
            NextBlock(block, m_major);
        const std::size_t bitmapStart = block.position();
        const std::size_t bitmapLength = block.u32le();
        block.skip(2);  // the bitmap count
        layer.channelCount = block.u16le();
        SkipToChunkEnd(block, bitmapStart, bitmapLength);
    }
    // The channels that are there; a layer may end before its count.
    for (std::uint16_t k = 0; k < layer.channelCount; ++k) {
        std::optional<TBlock> channelBlock = NextBlock(block, m_major);
        if (!channelBlock)
            break;
        base::ByteCursor& in = channelBlock->contents;
        const std::size_t chunkStart = in.position();
        const std::size_t chunkLength = m_major > 3 ? in.u32le() : 0;
        TChannel channel;
        const std::size_t compressedLength = in.u32le();
        channel.uncompressedLength = in.u32le();
        channel.bitmapType = in.u16le();
        channel.channelType = in.u16le();
        if (m_major > 3)
            SkipToChunkEnd(in, chunkStart, chunkLength);
        channel.data = in.bytesUpTo(compressedLength);
        layer.channels.push_back(channel);
    }
    return layer;
}

TRasterPlan TPSPGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        Invalid();
    TImageProperties& d = ImageDescription;
    input.skip(psp::kFileHeaderSize - 4);
    m_major = input.u16le();
    input.skip(2);
    std::optional<TBlock> attributesBlock = NextBlock(input, m_major);
    const TAttributes a = ReadAttributes(attributesBlock->contents, m_major);
    m_compression = a.compression;
    m_bitDepth = a.bitDepth;
    m_layer.reset();

    if (m_bitDepth != 1 && m_bitDepth != 4 && m_bitDepth != 8 && m_bitDepth != 24)
        throw base::EInvalidGraphic(base::Format(kSInvalidColorFormat, kShortName));
    // Channels of other compressions (JPEG among them) have no decoder here.
    if (m_compression != kNone && m_compression != kRLE && m_compression != kLZ77)
        throw base::EInvalidGraphic(base::Format(kSUnsupported, kSCompressionScheme, kShortName));
    if (d.ImageWidth < 0 || d.ImageHeight < 0)
        Invalid();

    TColorManager& cm = ColorManager();
    cm.SourceFlags = 0;
    cm.TargetFlags = 0;
    cm.SetSourceSampleBits(d.SampleBits);
    cm.SetTargetSampleBits(d.SampleBits);
    cm.SetSourceSamples(d.SampleCount);
    cm.SetTargetSamples(d.SampleCount);
    cm.SetSourceScheme(d.Scheme);
    cm.SetTargetScheme(d.Scheme == ColorScheme::RGB ? ColorScheme::BGR : d.Scheme);

    // The palette and the first usable layer of the blocks after the attributes.
    std::optional<gdi::TLogPalette> palette;
    for (std::optional<TBlock> block = NextBlock(input, m_major); block; block = NextBlock(input, m_major)) {
        base::ByteCursor& in = block->contents;
        if (block->id == psp::kColorPalette) {
            if (m_major > 3)
                in.skip(4);  // the chunk length
            const std::size_t count = std::min<std::size_t>({in.u32le(), gdi::kMaxPaletteEntries, in.remaining() / 4});
            const std::span<const std::uint8_t> entries[] = {in.bytes(count * 4)};
            if (count > 0)
                palette = cm.BuildColorPalette(entries, RawPaletteFormat::Interlaced8Quad, count, true);
        } else if (block->id == psp::kLayerBank && !m_layer) {
            for (std::optional<TBlock> layerBlock = NextBlock(in, m_major); layerBlock && !m_layer;
                 layerBlock = NextBlock(in, m_major))
                if (layerBlock->id == psp::kLayer)
                    m_layer = ReadLayer(layerBlock->contents);
        }
    }

    TRasterPlan plan;
    // A colour layer of more than three channels makes a 32-bit raster whose
    // fourth byte stays the fill's: an RGB source has no alpha.
    if (d.Scheme == ColorScheme::RGB && m_layer && m_layer->channelCount > 3) {
        cm.SetTargetSamples(4);
        cm.SetTargetScheme(ColorScheme::BGRA);
    }
    plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    if (d.Scheme == ColorScheme::Indexed && palette)
        plan.palette = std::move(palette);
    else if (d.Scheme == ColorScheme::Gray)
        plan.palette = palette ? std::move(*palette) : cm.BuildGrayPalette(false);
    plan.width = d.ImageWidth;
    plan.height = d.ImageHeight;
    // Channels may be short or missing: every pixel starts as the fill.
    plan.prefill = true;
    return plan;
}

void TPSPGraphic::DecodeRows(base::ByteCursor&, TRowSink& sink)
{
    const std::size_t width = static_cast<std::size_t>(sink.Width());
    const std::size_t height = static_cast<std::size_t>(sink.Height());
    if (!m_layer || width == 0 || height == 0)
        return;
    const bool colour = m_bitDepth == 24;
    const std::size_t rowBytes = psp::ChannelRowBytes(width, m_bitDepth);
    const std::size_t channelBytes = base::checkedMul(rowBytes, height);

    // Composite, red, green, blue: the colour channels of a colour image,
    // the composite of the others.
    std::vector<std::uint8_t> buffers[4];
    bool fromImage[4] = {false, false, false, false};
    TPSPRLEDecoder rle;
    TLZ77Decoder lz77;
    lz77.StartDecoding();
    for (const TChannel& channel : m_layer->channels) {
        const std::size_t type = channel.channelType;
        if (type > kBlue || (type == kComposite) == colour)
            continue;
        // A mask never replaces the image channel of the same type.
        if (fromImage[type] && channel.bitmapType != kImageBitmap)
            continue;
        fromImage[type] = channel.bitmapType == kImageBitmap;
        // Allocated and cleared once: a later channel of the same type
        // decodes over the earlier one, so many tiny channels cost no more
        // than their own output.
        std::vector<std::uint8_t>& buffer = buffers[type];
        if (buffer.empty())
            buffer.assign(channelBytes, 0);
        const std::span<std::uint8_t> dest(buffer.data(),
                                           std::min<std::size_t>(channelBytes, channel.uncompressedLength));
        base::ByteCursor source(channel.data);
        switch (m_compression) {
        case kRLE:
            rle.Decode(source, dest);
            break;
        case kLZ77:
            lz77.Decode(source, dest);
            break;
        default: {
            const std::span<const std::uint8_t> raw = source.bytesUpTo(dest.size());
            std::memcpy(dest.data(), raw.data(), raw.size());
            break;
        }
        }
    }
    lz77.FinishDecoding();
    m_layer.reset();  // its channels point into the input of this load

    // A channel the layer does not hold reads as 0.
    for (std::size_t type = colour ? kRed : kComposite; type <= (colour ? kBlue : kComposite); ++type)
        if (buffers[type].empty())
            buffers[type].assign(channelBytes, 0);
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t at = y * rowBytes;
        if (colour) {
            const std::span<const std::uint8_t> planes[] = {
                {&buffers[kRed][at], rowBytes}, {&buffers[kGreen][at], rowBytes}, {&buffers[kBlue][at], rowBytes}};
            sink.Convert(static_cast<int>(y), planes);
        } else {
            sink.Convert(static_cast<int>(y), std::span<const std::uint8_t>(&buffers[kComposite][at], rowBytes));
        }
    }
}

}  // namespace scalopex::formats
