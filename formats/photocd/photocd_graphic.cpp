// Photo CD image packs and overview packs. The first sectors describe the
// pack: "PCD_OPA" at 0 marks an overview pack, "PCD" at 2048 an image pack,
// the big-endian word at 10 counts the images, and bits 0-1 of the byte at
// 3586 give the rotation (1 a quarter turn anticlockwise, 3 clockwise; 2 is
// shown unrotated). The base image starts at sector 96 of an image pack and
// at sector 5 of an overview pack: 256 groups of two luma rows of 768 bytes
// and one row of 384 bytes of each chroma plane.

#include "formats/photocd/photocd_graphic.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPCDGraphic, TReaderGraphic)

namespace {

constexpr std::size_t kImageTotalOffset = 10;
constexpr std::size_t kRotationOffset = 3586;
constexpr std::size_t kChromaWidth = 384;
constexpr std::size_t kChromaRows = 256;
constexpr std::size_t kWidth = pcd::kBaseWidth;
constexpr std::size_t kHeight = pcd::kBaseHeight;

constexpr std::uint8_t kOverviewMarker[] = {'P', 'C', 'D', '_', 'O', 'P', 'A'};
constexpr std::uint8_t kImageMarker[] = {'P', 'C', 'D'};

bool HasMarker(std::span<const std::uint8_t> data, std::size_t at, std::span<const std::uint8_t> marker)
{
    return data.size() >= at + marker.size() && std::equal(marker.begin(), marker.end(), data.begin() + at);
}

}  // namespace

namespace pcd {

void UpsampleChroma(std::span<std::uint8_t> plane)
{
    if (plane.size() < kWidth * kHeight)
        throw base::EInternalError("Chroma plane too small");
    auto row = [&](std::size_t r) { return plane.data() + r * kWidth; };
    // Each stored row spreads over the even row of twice its index, the
    // last row first so that no stored row is overwritten before it is read.
    std::array<std::uint8_t, kChromaWidth> in{};
    for (std::size_t r = kChromaRows; r-- > 0;) {
        std::memcpy(in.data(), row(r), kChromaWidth);
        std::uint8_t* out = row(2 * r);
        for (std::size_t x = 0; x + 1 < kChromaWidth; ++x) {
            out[2 * x] = in[x];
            out[2 * x + 1] = static_cast<std::uint8_t>((in[x] + in[x + 1] + 1) / 2);
        }
        out[kWidth - 2] = out[kWidth - 1] = in[kChromaWidth - 1];
    }
    // The odd rows between two even ones.
    for (std::size_t r = 0; r + 1 < kChromaRows; ++r) {
        const std::uint8_t* a = row(2 * r);
        const std::uint8_t* b = row(2 * r + 2);
        std::uint8_t* out = row(2 * r + 1);
        for (std::size_t x = 0; x + 1 < kChromaWidth; ++x) {
            out[2 * x] = static_cast<std::uint8_t>((a[2 * x] + b[2 * x] + 1) / 2);
            out[2 * x + 1] = static_cast<std::uint8_t>((a[2 * x] + a[2 * x + 2] + b[2 * x] + b[2 * x + 2] + 2) / 4);
        }
        for (std::size_t i = kWidth - 2; i < kWidth; ++i)
            out[i] = static_cast<std::uint8_t>((a[i] + b[i] + 1) / 2);
    }
    std::memcpy(row(kHeight - 1), row(kHeight - 2), kWidth);
}

}  // namespace pcd

bool IsPhotoCDOverview(std::span<const std::uint8_t> start) noexcept
{
    return HasMarker(start, 0, kOverviewMarker);
}

bool TPCDGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    const std::uint64_t size = stream.Size();
    std::array<std::uint8_t, pcd::kSectorSize + 3> bytes{};
    const std::size_t got = stream.Read(bytes.data(), bytes.size());
    stream.SetPosition(start);
    const std::span<const std::uint8_t> head(bytes.data(), got);
    return size > start && size - start > pcd::kDescriptionBytes &&
           (HasMarker(head, 0, kOverviewMarker) || HasMarker(head, pcd::kSectorSize, kImageMarker));
}

bool TPCDGraphic::ParseImageDescription(base::ByteCursor& input, int imageIndex)
{
    const std::span<const std::uint8_t> head = input.bytes(pcd::kDescriptionBytes);
    const bool overview = HasMarker(head, 0, kOverviewMarker);
    if (!overview && !HasMarker(head, pcd::kSectorSize, kImageMarker))
        return false;
    m_overview = overview;
    m_rotation = head[kRotationOffset] & 3;
    const int d = overview ? 0 : std::clamp(imageIndex, 0, 5);
    TImageProperties& desc = ImageDescription;
    desc.ImageWidth = 192 << d;
    desc.ImageHeight = 128 << d;
    if (m_rotation == 1 || m_rotation == 3)
        std::swap(desc.ImageWidth, desc.ImageHeight);
    desc.ImageTotal = static_cast<std::int16_t>((head[kImageTotalOffset] << 8) | head[kImageTotalOffset + 1]);
    desc.Scheme = ColorScheme::PhotoYCC;
    desc.SampleCount = 3;
    desc.SampleBits = 8;
    desc.PixelBits = 24;
    // The resolutions above the base are Huffman coded, which this reader
    // neither decodes nor names.
    desc.Compression = d < 3 ? CompressionKind::None : CompressionKind::Unknown;
    return true;
}

TRasterPlan TPCDGraphic::ReadHeader(base::ByteCursor& input)
{
    TRasterPlan plan;
    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 2)) {
        plan.stayEmpty = true;
        return plan;
    }
    input.seek((m_overview ? pcd::kOverviewPackSectors : pcd::kImagePackSectors) * pcd::kSectorSize);

    TColorManager& cm = ColorManager();
    cm.SourceFlags = 0;
    cm.TargetFlags = 0;
    cm.SetSourceScheme(ColorScheme::PhotoYCC);
    cm.SetSourceSampleBits(8);
    cm.SetSourceSamples(3);
    cm.SetTargetScheme(ColorScheme::BGR);
    cm.SetTargetSampleBits(8);
    cm.SetTargetSamples(3);
    constexpr float kLuma[] = {0.2125f, 0.7154f, 0.0721f};
    cm.SetYCbCrValues(kLuma, 2, 2);

    const bool turned = m_rotation == 1 || m_rotation == 3;
    plan.width = turned ? pcd::kBaseHeight : pcd::kBaseWidth;
    plan.height = turned ? pcd::kBaseWidth : pcd::kBaseHeight;
    plan.pixelFormat = core::pf24bit;
    // The base image must be there whole: a short file fails before anything is allocated.
    plan.rawBytes = pcd::kBaseImageBytes;
    return plan;
}

void TPCDGraphic::DecodeRows(base::ByteCursor& input, TRowSink& sink)
{
    std::vector<std::uint8_t> luma(kWidth * kHeight), chroma1(kWidth * kHeight), chroma2(kWidth * kHeight);
    for (std::size_t g = 0; g < kChromaRows; ++g) {
        std::memcpy(&luma[2 * g * kWidth], input.bytes(2 * kWidth).data(), 2 * kWidth);
        std::memcpy(&chroma1[g * kWidth], input.bytes(kChromaWidth).data(), kChromaWidth);
        std::memcpy(&chroma2[g * kWidth], input.bytes(kChromaWidth).data(), kChromaWidth);
    }
    pcd::UpsampleChroma(chroma1);
    pcd::UpsampleChroma(chroma2);

    auto planesOf = [&](std::size_t y) {
        return std::array<std::span<const std::uint8_t>, 3>{
            std::span<const std::uint8_t>(&luma[y * kWidth], kWidth),
            std::span<const std::uint8_t>(&chroma1[y * kWidth], kWidth),
            std::span<const std::uint8_t>(&chroma2[y * kWidth], kWidth)};
    };
    if (m_rotation != 1 && m_rotation != 3) {
        for (std::size_t y = 0; y < kHeight; ++y)
            sink.Convert(static_cast<int>(y), planesOf(y));
        return;
    }
    // Turned: every source row becomes a column of the raster.
    std::vector<std::uint8_t*> rows(kWidth);
    for (std::size_t r = 0; r < kWidth; ++r)
        rows[r] = sink.Row(static_cast<int>(r)).data();
    std::vector<std::uint8_t> converted(kWidth * 3);
    for (std::size_t y = 0; y < kHeight; ++y) {
        const auto planes = planesOf(y);
        ColorManager().ConvertPixels(planes, converted, kWidth);
        const std::size_t column = 3 * (m_rotation == 1 ? y : kHeight - 1 - y);
        for (std::size_t x = 0; x < kWidth; ++x)
            std::memcpy(rows[m_rotation == 1 ? kWidth - 1 - x : x] + column, &converted[3 * x], 3);
    }
}

}  // namespace scalopex::formats
