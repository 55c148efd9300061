// RLA files: a 740-byte big-endian header of which the active window, the
// channel counts, the revision, the gamma text, the channel space and the
// channel size are used; a table of one file offset per stored row; each
// stored row its channels one after the other (red, green, blue, then the
// matte), each a 16-bit byte count followed by run-length data. Rows are
// stored bottom row first when the window's bottom lies below its top.
// Channels of 9 to 16 bits hold the high bytes of a row's samples, then
// their low bytes; they are widened to 16 bits and reduced to 8.

#include "formats/rla/rla_graphic.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/rla/rla_rle.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TRLAGraphic, TReaderGraphic)

namespace {

constexpr const char* kShortName = "RLA";
constexpr std::uint8_t kFlagBigEndian = 1 << 1;
constexpr std::uint8_t kFlagGammaApplied = 1 << 4;
constexpr std::size_t kRevisionOffset = 26;

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kShortName));
}

// A text field up to its first NUL, without surrounding spaces.
std::string FieldText(std::span<const std::uint8_t> field)
{
    std::string text;
    for (const std::uint8_t c : field) {
        if (c == 0)
            break;
        text += static_cast<char>(c);
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

rla::THeader::Space SpaceOf(std::span<const std::uint8_t> field)
{
    std::string text = FieldText(field);
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (text == "rgb")
        return rla::THeader::Space::RGB;
    if (text == "xyz")
        return rla::THeader::Space::XYZ;
    return rla::THeader::Space::Other;
}

}  // namespace

namespace rla {

float ParseGamma(std::span<const std::uint8_t> text)
{
    const std::string number = FieldText(text);
    float value = 0;
    const char* end = number.data() + number.size();
    const auto [ptr, ec] = std::from_chars(number.data(), end, value);
    // A gamma of 0 or less, or none, is no gamma the file can mean.
    if (number.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value <= 0)
        return 1.0f;
    return value;
}

THeader ParseHeader(base::ByteCursor& input)
{
    base::ByteCursor in = input.sub(kHeaderSize);
    THeader h;
    in.skip(8);  // the window
    h.activeLeft = in.i16be();
    h.activeRight = in.i16be();
    h.activeBottom = in.i16be();
    h.activeTop = in.i16be();
    in.skip(4);  // frame, storage type
    h.colorChannels = in.i16be();
    h.matteChannels = in.i16be();
    in.skip(2);  // auxiliary channels
    h.revision = in.u16be();
    h.gamma = ParseGamma(in.bytes(16));
    in.seek(580);
    h.space = SpaceOf(in.bytes(32));
    in.seek(658);
    h.channelBits = in.i16be();
    return h;
}

}  // namespace rla

bool IsRLA(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() < kRevisionOffset + 2)
        return false;
    return ((start[kRevisionOffset] << 8) | start[kRevisionOffset + 1]) == rla::kRevision;
}

bool TRLAGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[rla::kHeaderSize + 1];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    if (got <= rla::kHeaderSize)
        return false;
    base::ByteCursor in({bytes, got});
    const rla::THeader h = rla::ParseHeader(in);
    return h.revision == rla::kRevision && h.space != rla::THeader::Space::Other;
}

bool TRLAGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    const rla::THeader h = rla::ParseHeader(input);
    TImageProperties& d = ImageDescription;
    const int bottom = h.activeBottom;
    const int top = h.activeTop;
    d.ImageWidth = h.activeRight - h.activeLeft + 1;
    d.ImageHeight = std::abs(bottom - top) + 1;
    d.RowsBottomUp = bottom < top;
    const bool matte = h.matteChannels > 0;
    d.SampleCount = static_cast<std::uint8_t>(h.colorChannels + (matte ? 1 : 0));
    d.SampleBits = static_cast<std::uint8_t>(h.channelBits);
    d.PixelBits = static_cast<std::uint8_t>(d.SampleBits * d.SampleCount);
    d.Gamma = h.gamma;
    d.Compression = CompressionKind::RLE;
    d.Flags = kFlagBigEndian;
    d.HasAlphaChannel = matte;
    if (h.space == rla::THeader::Space::RGB)
        d.Scheme = matte ? ColorScheme::RGBA : ColorScheme::RGB;
    return h.space != rla::THeader::Space::XYZ;
}

TRasterPlan TRLAGraphic::ReadHeader(base::ByteCursor& input)
{
    TRasterPlan plan;
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0)) {
        plan.stayEmpty = true;
        return plan;
    }
    const rla::THeader h = rla::ParseHeader(input);
    TImageProperties& d = ImageDescription;
    // Only colour data converts; the converter's own refusal comes before
    // anything is allocated.
    if (d.Scheme == ColorScheme::Unknown)
        throw EColorConversionError(kSNoConversion);
    if (d.ImageWidth <= 0 || h.colorChannels != 3)
        Invalid();
    const unsigned bits = d.SampleBits;
    if (h.channelBits <= 0 || h.channelBits > 16)
        throw EColorConversionError(kSInvalidColorDepth);
    if (h.channelBits < 8)
        Invalid();  // no layout of packed channels below a byte is known

    TColorManager& cm = ColorManager();
    cm.SourceFlags = 0;
    cm.TargetFlags = 0;
    cm.SetSourceSamples(d.SampleCount);
    cm.SetTargetSamples(d.SampleCount);
    cm.SetSourceSampleBits(static_cast<std::uint8_t>(bits <= 8 ? 8 : 16));
    cm.SetTargetSampleBits(8);
    cm.SetSourceScheme(d.Scheme);
    cm.SetTargetScheme(d.Scheme == ColorScheme::RGBA ? ColorScheme::BGRA : ColorScheme::BGR);
    if (d.Gamma != 1.0f) {
        cm.SetGammaValues(d.Gamma, 2.2f);
        cm.TargetFlags |= cfGammaCorrect;
        d.Flags |= kFlagGammaApplied;
    }

    plan.width = d.ImageWidth;
    plan.height = d.ImageHeight;
    plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    // The whole table must be there; the rows it points at need not be.
    m_offsets = input.bytes(static_cast<std::size_t>(d.ImageHeight) * 4);
    m_channels = d.SampleCount;
    m_sampleBits = bits;
    m_sampleBytes = bits <= 8 ? 1 : 2;
    return plan;
}

void TRLAGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const std::size_t width = static_cast<std::size_t>(sink.Width());
    const int height = sink.Height();
    const std::size_t storedBytes = width * m_sampleBytes;  // one decoded channel row
    // Offsets count from the start of the file, where the cursor began.
    base::ByteCursor file = input;
    file.seek(0);
    base::ByteCursor table(m_offsets);

    std::vector<std::uint8_t> stored(m_channels * storedBytes);
    std::vector<std::uint8_t> wide(m_sampleBytes == 2 ? m_channels * width * 2 : 0);
    std::vector<std::span<const std::uint8_t>> planes(m_channels);
    for (std::size_t c = 0; c < m_channels; ++c)
        planes[c] = m_sampleBytes == 1 ? std::span<const std::uint8_t>(&stored[c * storedBytes], storedBytes)
                                       : std::span<const std::uint8_t>(&wide[c * width * 2], width * 2);
    const unsigned maxValue = (1u << m_sampleBits) - 1;

    TRLADecoder decoder;
    decoder.StartDecoding();
    for (int i = 0; i < height; ++i) {
        const std::uint32_t offset = table.u32be();
        // A row outside the file is not delivered and keeps the fill.
        if (offset >= file.size())
            continue;
        file.seek(offset);
        std::fill(stored.begin(), stored.end(), 0);
        for (std::size_t c = 0; c < m_channels && file.remaining() >= 2; ++c) {
            const std::size_t count = file.u16be();
            base::ByteCursor packed(file.bytesUpTo(count));
            decoder.Decode(packed, {&stored[c * storedBytes], storedBytes});
        }
        if (m_sampleBytes == 2) {
            // High bytes, then low bytes: little-endian 16-bit samples for the converter.
            for (std::size_t c = 0; c < m_channels; ++c) {
                const std::uint8_t* high = &stored[c * storedBytes];
                const std::uint8_t* low = high + width;
                std::uint8_t* out = &wide[c * width * 2];
                for (std::size_t x = 0; x < width; ++x) {
                    std::uint32_t v = std::min<std::uint32_t>((high[x] << 8) | low[x], maxValue);
                    v = v * 65535u / maxValue;
                    out[2 * x] = static_cast<std::uint8_t>(v);
                    out[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                }
            }
        }
        sink.Convert(ImageDescription.RowsBottomUp ? height - 1 - i : i, planes);
    }
    decoder.FinishDecoding();
    if (m_channels == 4)
        SetHasAlpha(true);
}

}  // namespace scalopex::formats
