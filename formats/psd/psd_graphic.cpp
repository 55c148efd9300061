// Photoshop documents (version 1). Big-endian throughout: the 26-byte
// header, then three sections each led by its length (colour mode data,
// image resources, layer and mask information), then the composite image:
// a compression word (0 raw, 1 PackBits) and the channels one after the
// other, each height rows of width samples. PackBits data starts with the
// packed size of every row of every channel, channel after channel.

#include "formats/psd/psd_graphic.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "core/stream.h"
#include "formats/common/packbits.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPSDGraphic, TReaderGraphic)

namespace {

constexpr const char* kFormatName = "PSD or PDD";
constexpr std::uint8_t kFlagBigEndian = 1 << 1;
constexpr std::uint8_t kFlagMinimumIsWhite = 1 << 2;
constexpr std::size_t kMaxColorTable = 768;  // 256 red, 256 green, 256 blue

[[noreturn]] void FailInvalid()
{
    throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kFormatName));
}

ColorScheme SchemeOf(const psd::THeader& h)
{
    switch (h.mode) {
    case psd::cmBitmap:
    case psd::cmGrayscale:
    case psd::cmDuotone:
        return ColorScheme::Gray;
    case psd::cmIndexed:
        return ColorScheme::Indexed;
    case psd::cmRGB:
    case psd::cmMultichannel:
        return h.channels == 3 ? ColorScheme::RGB : ColorScheme::RGBA;
    case psd::cmCMYK:
        return ColorScheme::CMYK;
    case psd::cmLab:
        return ColorScheme::CIELab;
    default:
        return ColorScheme::Unknown;
    }
}

// Channels a colour scheme converts from.
std::size_t PlanesOf(ColorScheme scheme)
{
    switch (scheme) {
    case ColorScheme::RGB:
    case ColorScheme::CIELab:
        return 3;
    case ColorScheme::RGBA:
    case ColorScheme::CMYK:
        return 4;
    default:
        return 1;
    }
}

// The first, most significant byte of every big-endian 16-bit sample,
// packed to the front of row.
void KeepHighBytes(std::span<std::uint8_t> row)
{
    const std::size_t samples = row.size() / 2;
    for (std::size_t i = 0; i < samples; ++i)
        row[i] = row[2 * i];
}

// Composite colours are stored matted with white: c' = c × a + 255 × (1 - a).
// Brings the colours of a row of BGRA pixels back to c; fully transparent
// pixels keep theirs.
void RemoveWhiteMatte(std::span<std::uint8_t> row)
{
    for (std::size_t p = 0; p + 4 <= row.size(); p += 4) {
        const int a = row[p + 3];
        if (a == 0 || a == 255)
            continue;
        for (std::size_t c = p; c < p + 3; ++c) {
            const int v = ((row[c] - 255 + a) * 255 + a / 2) / a;
            row[c] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

void Invert(std::span<std::uint8_t> row)
{
    for (std::uint8_t& b : row)
        b = static_cast<std::uint8_t>(~b);
}

}  // namespace

namespace psd {

bool ParseHeader(base::ByteCursor& input, THeader& header)
{
    if (!input.skipPrefix({'8', 'B', 'P', 'S'}))
        return false;
    header.version = input.u16be();
    input.skip(6);
    header.channels = input.u16be();
    header.height = input.u32be();
    header.width = input.u32be();
    header.depth = input.u16be();
    header.mode = input.u16be();
    return true;
}

}  // namespace psd

bool IsPSD(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() <= psd::kHeaderSize)
        return false;
    const char signature[] = {'8', 'B', 'P', 'S'};
    for (std::size_t i = 0; i < 4; ++i)
        if (std::toupper(start[i]) != signature[i])
            return false;
    return start[4] == 0 && start[5] == 1;
}

bool TPSDGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[psd::kHeaderSize + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsPSD({bytes, got});
}

bool TPSDGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    psd::THeader h;
    if (!psd::ParseHeader(input, h))
        return false;
    TImageProperties& d = ImageDescription;
    d.FormatVersion = h.version;
    d.Flags = kFlagBigEndian | (h.mode == psd::cmBitmap ? kFlagMinimumIsWhite : 0);
    // Depths beyond a byte's range read as 0, which the colour manager refuses.
    d.SampleBits = static_cast<std::uint8_t>(h.depth <= 255 ? h.depth : 0);
    d.SampleCount = static_cast<std::uint8_t>(std::min<unsigned>(h.channels, 4));
    d.PixelBits = static_cast<std::uint8_t>(std::min(255u, unsigned{d.SampleCount} * d.SampleBits));
    // Sizes beyond 31 bits read as negative, which the limits refuse.
    d.ImageWidth = static_cast<std::int32_t>(h.width);
    d.ImageHeight = static_cast<std::int32_t>(h.height);
    d.Scheme = SchemeOf(h);
    d.HasAlphaChannel = d.Scheme == ColorScheme::RGBA;
    // The three sections lead to the compression word.
    for (int section = 0; section < 3; ++section)
        input.skip(input.u32be());
    d.Compression = input.u16be() == 1 ? CompressionKind::PackedBits : CompressionKind::None;
    return true;
}

TRasterPlan TPSDGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        FailInvalid();
    psd::ParseHeader(input, m_header);
    const psd::THeader& h = m_header;
    // Version 2 documents size their sections and rows otherwise.
    if (h.version != 1)
        FailInvalid();
    const TImageProperties& d = ImageDescription;
    const ColorScheme scheme = d.Scheme;
    const bool palettized = scheme == ColorScheme::Gray || scheme == ColorScheme::Indexed;

    TColorManager& cm = ColorManager();
    cm.SourceFlags = cfSwapBytes16;
    cm.TargetFlags = 0;
    cm.SetSourceSampleBits(d.SampleBits);
    cm.SetTargetSampleBits(d.SampleBits == 16 ? 8 : d.SampleBits);
    cm.SetSourceSamples(d.SampleCount);
    cm.SetTargetSamples(d.SampleCount);
    cm.SetSourceScheme(scheme);
    if (scheme == ColorScheme::Unknown)
        throw EColorConversionError(kSNoConversion);
    if (d.SampleBits != 1 && d.SampleBits != 8 && d.SampleBits != 16)
        FailInvalid();

    m_invert = scheme == ColorScheme::CMYK;
    m_highBytes = false;
    if (palettized) {
        // The first channel is the image; further ones (alpha, spot colours) are skipped.
        cm.SetSourceSamples(1);
        cm.SetTargetSamples(1);
        cm.SetTargetScheme(scheme);
        m_planes = 1;
        m_direct = d.SampleBits != 16;
    } else {
        if (d.SampleBits == 1 || d.SampleCount < PlanesOf(scheme))
            FailInvalid();
        m_planes = PlanesOf(scheme);
        m_direct = false;
        switch (scheme) {
        case ColorScheme::RGB:
            cm.SetTargetScheme(ColorScheme::BGR);
            break;
        case ColorScheme::RGBA:
            cm.SetTargetScheme(ColorScheme::BGRA);
            break;
        case ColorScheme::CMYK:
            cm.SetTargetScheme(ColorScheme::BGR);
            cm.SetTargetSamples(3);
            break;
        default:  // CIELab; extra channels (alpha) are skipped
            cm.SetTargetScheme(ColorScheme::BGR);
            cm.SetTargetSamples(3);
            cm.SourceFlags |= cfLabLightnessByteRange | cfLabChromaOffset128;
            // The conversion reads 8-bit L*, a* and b*: 16-bit samples give their high byte.
            if (d.SampleBits == 16) {
                m_highBytes = true;
                cm.SetSourceSampleBits(8);
            }
            break;
        }
    }

    TRasterPlan plan;
    plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    base::CheckRasterSize(h.width, h.height, core::BitsPerPixel(plan.pixelFormat));
    plan.width = static_cast<int>(h.width);
    plan.height = static_cast<int>(h.height);

    // Colour mode data: the colour table of indexed images, at most 768
    // bytes of it (three planes of a third each).
    const std::span<const std::uint8_t> modeData = input.bytes(input.u32be());
    if (scheme == ColorScheme::Indexed) {
        const std::size_t entries = std::min(modeData.size(), kMaxColorTable) / 3;
        const std::span<const std::uint8_t> planes[] = {
            modeData.subspan(0, entries), modeData.subspan(entries, entries), modeData.subspan(2 * entries, entries)};
        plan.palette = cm.BuildColorPalette(planes, RawPaletteFormat::Plane8Triple, entries, false);
    } else if (scheme == ColorScheme::Gray) {
        plan.palette = cm.BuildGrayPalette((d.Flags & kFlagMinimumIsWhite) != 0);
    }
    input.skip(input.u32be());  // image resources
    // Layer and mask information: a negative layer count says that the
    // first alpha channel is the transparency of the composite.
    base::ByteCursor layers = input.sub(input.u32be());
    m_mergedAlpha = false;
    if (layers.remaining() >= 6 && layers.u32be() >= 2)
        m_mergedAlpha = layers.i16be() < 0;
    m_rle = input.u16be() == 1;

    const std::uint64_t width = h.width;
    const std::uint64_t height = h.height;
    m_rowBytes = static_cast<std::size_t>((width * d.SampleBits + 7) / 8);
    const std::uint64_t planeRows = height * m_planes;
    if (m_rle) {
        // The table of every row of every channel, and at least two packed
        // bytes for every 128 bytes of the rows read.
        plan.minimumDataBytes = 2 * height * h.channels + planeRows * 2 * ((m_rowBytes + 127) / 128);
    } else {
        plan.rawBytes = planeRows * m_rowBytes;
    }
    // Packed rows that yield less keep the fill for the rest.
    plan.prefill = true;
    return plan;
}

void TPSDGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const std::size_t height = static_cast<std::size_t>(sink.Height());
    const std::size_t rowBytes = m_rowBytes;
    if (height == 0 || sink.Width() == 0)
        return;
    const std::size_t planes = m_planes;

    // For PackBits data: a cursor on each read channel's row counts, and
    // where its packed rows start.
    base::ByteCursor counts[4] = {input, input, input, input};
    std::size_t packedAt[4] = {0, 0, 0, 0};
    std::size_t dataStart = input.position();
    if (m_rle) {
        const base::ByteCursor table = input.sub(2 * height * m_header.channels);
        dataStart = input.position();
        std::size_t at = dataStart;
        base::ByteCursor sizes = table;
        for (std::size_t c = 0; c < planes; ++c) {
            counts[c] = table;
            counts[c].seek(2 * c * height);
            packedAt[c] = at;
            for (std::size_t r = 0; r < height; ++r)
                at += sizes.u16be();
        }
    }

    TPackbitsRLEDecoder decoder;
    decoder.StartDecoding();
    // Decodes row r of channel c into dest; returns the bytes it yields.
    auto unpack = [&](std::size_t c, std::span<std::uint8_t> dest) -> std::size_t {
        const std::size_t count = counts[c].u16be();
        const std::size_t start = packedAt[c];
        packedAt[c] += count;
        if (start >= input.size())
            return 0;  // the row lies outside the file
        base::ByteCursor row = input;
        row.seek(start);
        base::ByteCursor packed = row.sub(std::min(count, row.remaining()));
        return decoder.Decode(packed, dest);
    };

    if (m_direct) {
        for (std::size_t r = 0; r < height; ++r) {
            const std::span<std::uint8_t> target = sink.Row(static_cast<int>(r)).first(rowBytes);
            if (m_rle)
                unpack(0, target);
            else
                std::memcpy(target.data(), input.bytes(rowBytes).data(), rowBytes);
        }
    } else {
        std::vector<std::uint8_t> buffers(base::checkedMul(rowBytes, planes));
        std::span<const std::uint8_t> sources[4];
        const std::size_t sourceBytes = m_highBytes ? rowBytes / 2 : rowBytes;
        for (std::size_t r = 0; r < height; ++r) {
            bool delivered = !m_rle;
            for (std::size_t c = 0; c < planes; ++c) {
                const std::span<std::uint8_t> buffer(buffers.data() + c * rowBytes, rowBytes);
                if (m_rle) {
                    const std::size_t got = unpack(c, buffer);
                    std::memset(buffer.data() + got, 0, rowBytes - got);
                    delivered = delivered || got > 0;
                } else {
                    base::ByteCursor at = input;
                    at.seek(dataStart + (c * height + r) * rowBytes);
                    std::memcpy(buffer.data(), at.bytes(rowBytes).data(), rowBytes);
                }
                if (m_invert)
                    Invert(buffer);
                if (m_highBytes)
                    KeepHighBytes(buffer);
                sources[c] = std::span<const std::uint8_t>(buffer.data(), sourceBytes);
            }
            if (!delivered)
                continue;
            const int y = static_cast<int>(r);
            if (planes == 1)
                sink.Convert(y, sources[0]);
            else
                sink.Convert(y, std::span<const std::span<const std::uint8_t>>(sources, planes));
            if (m_mergedAlpha && PixelFormat() == core::pf32bit)
                RemoveWhiteMatte(sink.Row(y));
        }
        if (!m_rle)
            input.seek(dataStart + planes * height * rowBytes);
    }
    decoder.FinishDecoding();
    if (m_rle)
        input.seek(std::min(packedAt[planes - 1], input.size()));
    if (m_mergedAlpha && PixelFormat() == core::pf32bit)
        SetHasAlpha(true);
}

}  // namespace scalopex::formats
