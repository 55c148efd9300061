#pragma once
/// TPCDGraphic: reads the base resolution (768 x 512, stored uncompressed)
/// of Photo CD image packs and overview packs (".pcd"): a luma plane and two
/// chroma planes of half the size, upsampled and converted from PhotoYCC,
/// turned by the rotation the file gives.

#include <array>
#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace pcd {

inline constexpr std::size_t kSectorSize = 2048;
inline constexpr std::size_t kDescriptionBytes = 6144;
inline constexpr int kBaseWidth = 768;
inline constexpr int kBaseHeight = 512;
inline constexpr std::size_t kImagePackSectors = 96;
inline constexpr std::size_t kOverviewPackSectors = 5;
/// Bytes of the stored base image: 256 groups of two luma rows and one row
/// of each chroma plane.
inline constexpr std::size_t kBaseImageBytes = 256 * (2 * 768 + 384 + 384);

/// A chroma plane of kBaseWidth x kBaseHeight bytes whose first 384 columns
/// of the first 256 rows hold the stored plane, doubled in place in both
/// directions.
void UpsampleChroma(std::span<std::uint8_t> plane);

}  // namespace pcd

class TPCDGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPCDGraphic)

public:
    TPCDGraphic() = default;

    /// True when more than 6144 bytes remain and "PCD_OPA" stands at 0 or
    /// "PCD" at 2048; the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// Needs the first 6144 bytes (fewer throw the read error); false
    /// without the markers. The image index chooses the size described.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    bool m_overview = false;
    int m_rotation = 0;
};

/// True when start begins with the overview pack's "PCD_OPA" (an image
/// pack's marker lies beyond the first bytes a content check sees). Never throws.
bool IsPhotoCDOverview(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
