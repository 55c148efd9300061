// SGI image files (the Silicon Graphics image file format, version 1.00).
// A 512-byte big-endian header; then every channel as height rows of width
// samples, the bottom row first, channel after channel. Verbatim rows lie
// one after the other; run-length rows are found through two tables after
// the header: the start offset and the packed length of row r of channel c
// at index c × height + r. Rows that lie outside the file read nothing.

#include "formats/sgi/sgi_graphic.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "base/limits.h"
#include "core/stream.h"
#include "formats/common/format_descriptor.h"
#include "formats/sgi/sgi_rle.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TSGIGraphic, TReaderGraphic)

namespace {

constexpr const char* kFormatName = "sgi, bw or rgb(a)";
constexpr std::uint8_t kFlagBigEndian = 1 << 1;

}  // namespace

namespace sgi {

THeader ParseHeader(base::ByteCursor& input)
{
    THeader h;
    h.magic = input.u16be();
    h.storage = input.u8();
    h.bytesPerSample = input.u8();
    h.dimension = input.u16be();
    h.xSize = input.u16be();
    h.ySize = input.u16be();
    h.zSize = input.u16be();
    return h;
}

}  // namespace sgi

bool IsSGI(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() < kContentCheckBytes)
        return false;
    base::ByteCursor in(start);
    const sgi::THeader h = sgi::ParseHeader(in);
    return h.magic == sgi::kMagic && (h.bytesPerSample == 1 || h.bytesPerSample == 2) && h.dimension >= 1 &&
           h.dimension <= 3;
}

bool TSGIGraphic::CanLoadStream(core::TStream& stream) const
{
    // The same answer as the registry's content check, which sees only the
    // first bytes: a file shorter than its header fails when it is loaded.
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[kContentCheckBytes];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsSGI({bytes, got});
}

bool TSGIGraphic::ParseImageDescription(base::ByteCursor& input, int)
{
    const sgi::THeader h = sgi::ParseHeader(input);
    if (h.magic != sgi::kMagic)
        return false;
    TImageProperties& d = ImageDescription;
    const unsigned sampleBits = 8u * h.bytesPerSample;
    d.ImageWidth = h.xSize;
    d.ImageHeight = h.ySize;
    // Sample sizes beyond a byte's range read as 0, which the colour manager refuses.
    d.SampleBits = static_cast<std::uint8_t>(sampleBits <= 255 ? sampleBits : 0);
    d.SampleCount = h.Channels();
    d.PixelBits = static_cast<std::uint8_t>(std::min(255u, sampleBits * d.SampleCount));
    d.Scheme = d.SampleCount == 3 ? ColorScheme::RGB : (d.SampleCount == 4 ? ColorScheme::RGBA : ColorScheme::Indexed);
    d.Compression = h.IsRLE() ? CompressionKind::RLE : CompressionKind::None;
    d.Flags = kFlagBigEndian;
    d.RowsBottomUp = true;
    return true;
}

TRasterPlan TSGIGraphic::ReadHeader(base::ByteCursor& input)
{
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kFormatName));
    m_header = sgi::ParseHeader(input);
    input.skip(sgi::kHeaderSize - 12);
    const TImageProperties& d = ImageDescription;

    TColorManager& cm = ColorManager();
    cm.SourceFlags = cfSwapBytes16;
    cm.TargetFlags = 0;
    cm.SetSourceSampleBits(d.SampleBits);
    cm.SetTargetSampleBits(8);
    cm.SetSourceSamples(d.SampleCount);
    cm.SetTargetSamples(d.SampleCount);
    cm.SetSourceScheme(d.Scheme);
    cm.SetTargetScheme(d.Scheme == ColorScheme::RGB
                           ? ColorScheme::BGR
                           : (d.Scheme == ColorScheme::RGBA ? ColorScheme::BGRA : ColorScheme::Indexed));

    TRasterPlan plan;
    plan.width = m_header.xSize;
    plan.height = m_header.ySize;
    // Two channels give the custom format, which the raster refuses.
    plan.pixelFormat = cm.PixelFormatOf(TColorManager::Side::Target);
    if (d.Scheme == ColorScheme::Indexed)
        plan.palette = cm.BuildGrayPalette(false);
    // A size beyond the limits is refused before the tables are looked at.
    base::CheckRasterSize(plan.width, plan.height, core::BitsPerPixel(plan.pixelFormat));
    if (m_header.IsRLE()) {
        // Both tables must be there; the rows they point at need not be.
        const std::uint64_t entries = std::uint64_t{m_header.ySize} * d.SampleCount;
        input.require(static_cast<std::size_t>(2 * 4 * entries));
    }
    // Rows the file never delivers keep the fill; rows it delivers in part
    // read the missing samples as 0.
    plan.prefill = true;
    return plan;
}

void TSGIGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    const sgi::THeader& h = m_header;
    const std::size_t width = static_cast<std::size_t>(sink.Width());
    const std::size_t height = static_cast<std::size_t>(sink.Height());
    const std::size_t channels = ImageDescription.SampleCount;
    const std::size_t sampleBytes = h.bytesPerSample;
    if (width == 0 || height == 0)
        return;
    const std::size_t rowBytes = base::checkedMul(width, sampleBytes);
    // Offsets count from the start of the file, where the cursor began.
    const base::ByteCursor whole = input;

    // Channels 1, 3 and 4 reach this point: grey goes through plane 0 alone.
    const std::size_t used = channels == 1 ? 1 : channels;
    std::vector<std::uint8_t> buffers(base::checkedMul(rowBytes, used));
    std::span<const std::uint8_t> planes[4];
    for (std::size_t c = 0; c < used; ++c)
        planes[c] = std::span<const std::uint8_t>(buffers.data() + c * rowBytes, rowBytes);

    TSGIRLEDecoder decoder(8 * static_cast<int>(sampleBytes));
    decoder.StartDecoding();
    const std::size_t tableEntries = height * channels;
    const std::size_t startTable = sgi::kHeaderSize;
    const std::size_t lengthTable = sgi::kHeaderSize + 4 * tableEntries;
    auto tableValue = [&](std::size_t table, std::size_t index) {
        base::ByteCursor at = whole;
        at.seek(table + 4 * index);
        return at.u32be();
    };

    for (std::size_t r = 0; r < height; ++r) {
        bool delivered = false;
        for (std::size_t c = 0; c < used; ++c) {
            const std::span<std::uint8_t> buffer(buffers.data() + c * rowBytes, rowBytes);
            std::memset(buffer.data(), 0, rowBytes);
            std::size_t got = 0;
            if (h.IsRLE()) {
                const std::size_t index = c * height + r;
                const std::uint64_t offset = tableValue(startTable, index);
                const std::uint64_t length = std::uint64_t{tableValue(lengthTable, index)} * sampleBytes;
                if (offset < whole.size()) {
                    base::ByteCursor row = whole;
                    row.seek(static_cast<std::size_t>(offset));
                    base::ByteCursor packed =
                        row.sub(static_cast<std::size_t>(std::min<std::uint64_t>(length, row.remaining())));
                    got = decoder.Decode(packed, buffer);
                }
            } else {
                const std::uint64_t offset =
                    sgi::kHeaderSize + (std::uint64_t{r} + std::uint64_t{c} * height) * rowBytes;
                if (offset < whole.size()) {
                    base::ByteCursor row = whole;
                    row.seek(static_cast<std::size_t>(offset));
                    const std::span<const std::uint8_t> bytes = row.bytesUpTo(rowBytes);
                    std::memcpy(buffer.data(), bytes.data(), bytes.size());
                    got = bytes.size();
                }
            }
            delivered = delivered || got > 0;
        }
        if (!delivered)
            continue;
        const int y = static_cast<int>(height - 1 - r);
        if (used == 1)
            sink.Convert(y, planes[0]);
        else
            sink.Convert(y, std::span<const std::span<const std::uint8_t>>(planes, used));
    }
    decoder.FinishDecoding();
    input.seek(input.size());
    if (channels == 4)
        SetHasAlpha(true);
}

}  // namespace scalopex::formats
