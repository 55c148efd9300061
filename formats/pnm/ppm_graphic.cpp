// Portable maps: "P" and a type digit on the first line, then decimal
// numbers (width, height and, but for bitmaps, the maximum) separated by
// white space or "#" comments, then the pixels: numbers in the text types
// 1 to 3, bytes in the binary types 4 to 6.

#include "formats/pnm/ppm_graphic.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPPMGraphic, TReaderGraphic)

namespace {

constexpr const char* kFormatName = "PBM, PGM or PPM";
constexpr const char* kSStreamReadError = "Stream read error in %s file.";
constexpr const char* kSInvalidInteger = "'%s' is not a valid integer value";

[[noreturn]] void FailRead()
{
    throw base::EInvalidGraphic(base::Format(kSStreamReadError, "PPM"));
}

bool IsDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}

// Ends a line at CR or LF; a CR directly followed by LF takes both.
void FinishLine(ppm::TBufferedReader& reader, std::uint8_t terminator)
{
    if (terminator == '\r' && reader.Peek() == '\n')
        reader.Read();
}

void SkipLine(ppm::TBufferedReader& reader)
{
    std::uint8_t c = reader.Read();
    while (c != '\r' && c != '\n')
        c = reader.Read();
    FinishLine(reader, c);
}

}  // namespace

namespace ppm {

void TBufferedReader::Refill()
{
    if (m_input.atEnd())
        FailRead();
    m_window = m_input.bytesUpTo(kBufferSize);
    m_index = 0;
}

void TBufferedReader::ReadBytes(std::span<std::uint8_t> out)
{
    while (!out.empty()) {
        if (m_index == m_window.size())
            Refill();
        const std::size_t n = std::min(out.size(), m_window.size() - m_index);
        std::memcpy(out.data(), m_window.data() + m_index, n);
        m_index += n;
        out = out.subspan(n);
    }
}

void TBufferedReader::Sync()
{
    m_input.seek(m_input.position() - (m_window.size() - m_index));
    m_window = {};
    m_index = 0;
}

// The first decimal digit from here; a "#" before it starts a comment.
std::uint8_t SkipToDigit(TBufferedReader& reader)
{
    std::uint8_t c = reader.Read();
    while (!IsDigit(c)) {
        if (c == '#')
            SkipLine(reader);
        c = reader.Read();
    }
    return c;
}

unsigned ReadDigit(TBufferedReader& reader)
{
    return SkipToDigit(reader) - '0';
}

TNumber ReadNumber(TBufferedReader& reader)
{
    std::uint8_t c = SkipToDigit(reader);
    TNumber n;
    for (;;) {
        const unsigned digit = c - '0';
        n.value = std::min(n.value * 10 + digit, TNumber::kSaturated);
        n.low = static_cast<std::uint8_t>(n.low * 10 + digit);
        if (reader.AtEnd())
            break;  // the last number of a file without a final separator
        c = reader.Read();
        if (!IsDigit(c))
            break;
    }
    return n;
}

bool ReadHeader(TBufferedReader& reader, THeader& header)
{
    // The first line; only its first two characters before any "#" matter.
    // Data that do not start with "P" are not read any further.
    char start[2] = {0, 0};
    std::size_t kept = 0;
    bool comment = false;
    std::uint8_t c = reader.Read();
    if (c != 'P')
        return false;
    while (c != '\r' && c != '\n') {
        comment = comment || c == '#';
        if (!comment && kept < 2)
            start[kept++] = static_cast<char>(c);
        c = reader.Read();
    }
    FinishLine(reader, c);
    if (kept == 0 || start[0] != 'P')
        return false;
    if (kept < 2 || !IsDigit(static_cast<std::uint8_t>(start[1])))
        throw base::EConvertError(base::Format(kSInvalidInteger, std::string(start + 1, kept - 1)));
    header = THeader{};
    header.type = start[1] - '0';
    if (header.type < 1 || header.type > 6)
        return true;
    header.width = ReadNumber(reader).value;
    header.height = ReadNumber(reader).value;
    if (header.type != 1 && header.type != 4)
        header.maximum = ReadNumber(reader).value;
    return true;
}

}  // namespace ppm

bool IsPPM(std::span<const std::uint8_t> start) noexcept
{
    return start.size() > 10 && start[0] == 'P' && start[1] >= '1' && start[1] <= '6';
}

bool TPPMGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[11];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsPPM({bytes, got});
}

base::ByteCursor::ShortReadHandler TPPMGraphic::ShortReadHandler() const
{
    return &FailRead;
}

bool TPPMGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    ppm::TBufferedReader reader(input);
    ppm::THeader h;
    if (!ppm::ReadHeader(reader, h))
        return false;
    reader.Sync();
    TImageProperties& d = ImageDescription;
    d.Compression = CompressionKind::None;
    if (h.type < 1 || h.type > 6)
        return true;
    const bool colour = h.type == 3 || h.type == 6;
    const bool bitmap = h.type == 1 || h.type == 4;
    d.Scheme = colour ? ColorScheme::RGB : ColorScheme::Indexed;
    d.SampleCount = colour ? 3 : 1;
    d.SampleBits = bitmap ? 1 : 8;
    d.PixelBits = static_cast<std::uint8_t>(d.SampleCount * d.SampleBits);
    constexpr std::uint64_t kMaxSide = 0x7FFFFFFF;
    d.ImageWidth = static_cast<std::int32_t>(std::min(h.width, kMaxSide));
    d.ImageHeight = static_cast<std::int32_t>(std::min(h.height, kMaxSide));
    return true;
}

TRasterPlan TPPMGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kFormatName));
    ppm::TBufferedReader reader(input);
    ppm::ReadHeader(reader, m_header);
    reader.Sync();
    const ppm::THeader& h = m_header;

    TRasterPlan plan;
    if (h.type < 1 || h.type > 6) {
        plan.stayEmpty = true;  // a type this reader has no raster for
        return plan;
    }
    TColorManager& cm = ColorManager();
    cm.TargetFlags = 0;
    switch (h.type) {
    case 1:
    case 4:
        plan.pixelFormat = core::pf1bit;
        cm.SetTargetSamples(1);
        cm.SetTargetSampleBits(1);
        plan.palette = cm.BuildGrayPalette(true);
        break;
    case 2:
    case 5:
        plan.pixelFormat = core::pf8bit;
        cm.SetTargetSamples(1);
        cm.SetTargetSampleBits(8);
        plan.palette = cm.BuildGrayPalette(false);
        break;
    default:
        plan.pixelFormat = core::pf24bit;
        break;
    }
    // Sizes beyond the limits fail here, before any data is looked at.
    base::CheckRasterSize(static_cast<std::int64_t>(h.width), static_cast<std::int64_t>(h.height),
                          core::BitsPerPixel(plan.pixelFormat));
    plan.width = static_cast<int>(h.width);
    plan.height = static_cast<int>(h.height);
    if (plan.width == 0 || plan.height == 0) {
        plan.stayEmpty = true;  // no pixels to read
        return plan;
    }
    const std::uint64_t pixels = h.width * h.height;
    switch (h.type) {
    case 1:
    case 2:
        plan.minimumDataBytes = pixels;
        break;  // a character for every number at least
    case 3:
        plan.minimumDataBytes = 3 * pixels;
        break;
    case 4:
        plan.rawBytes = (h.width + 7) / 8 * h.height;
        break;
    case 5:
        plan.rawBytes = pixels;
        break;
    default:
        plan.rawBytes = 3 * pixels;
        break;
    }
    return plan;
}

void TPPMGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const int type = m_header.type;
    const std::size_t width = static_cast<std::size_t>(sink.Width());
    const int height = sink.Height();
    ppm::TBufferedReader reader(input);
    for (int y = 0; y < height; ++y) {
        const std::span<std::uint8_t> row = sink.Row(y);
        switch (type) {
        case 1: {
            // A digit a pixel, with or without white space between them.
            // Bits packed from the top; a final partial byte is shifted up.
            unsigned acc = 0;
            std::size_t out = 0;
            for (std::size_t x = 0; x < width; ++x) {
                acc = (acc << 1) | (ppm::ReadDigit(reader) & 1u);
                if (x % 8 == 7) {
                    row[out++] = static_cast<std::uint8_t>(acc);
                    acc = 0;
                }
            }
            if (width % 8 != 0)
                row[out] = static_cast<std::uint8_t>(acc << (8 - width % 8));
            break;
        }
        case 2:
            for (std::size_t x = 0; x < width; ++x)
                row[x] = ppm::ReadNumber(reader).low;
            break;
        case 3:
            for (std::size_t x = 0; x < width; ++x) {
                row[3 * x + 2] = ppm::ReadNumber(reader).low;
                row[3 * x + 1] = ppm::ReadNumber(reader).low;
                row[3 * x] = ppm::ReadNumber(reader).low;
            }
            break;
        case 4: {
            const std::size_t bytes = (width + 7) / 8;
            reader.ReadBytes(row.first(bytes));
            if (width % 8 != 0)
                row[bytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
            break;
        }
        case 5:
            reader.ReadBytes(row.first(width));
            break;
        default:
            reader.ReadBytes(row.first(3 * width));
            for (std::size_t x = 0; x < 3 * width; x += 3)
                std::swap(row[x], row[x + 2]);
            break;
        }
    }
    reader.Sync();
}

}  // namespace scalopex::formats
