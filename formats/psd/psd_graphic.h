#pragma once
/// TPSDGraphic: reads the composite image of Photoshop documents into its
/// own raster: bitmap, greyscale, duotone and indexed images as palette
/// rasters, RGB (with alpha), CMYK and Lab images as true colour, of 8 or 16
/// bits per sample (bitmaps of 1), raw or PackBits encoded. Layers are
/// skipped. It does not write such files.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace psd {

inline constexpr std::size_t kHeaderSize = 26;

enum TColorMode : std::uint16_t {
    cmBitmap = 0,
    cmGrayscale = 1,
    cmIndexed = 2,
    cmRGB = 3,
    cmCMYK = 4,
    cmMultichannel = 7,
    cmDuotone = 8,
    cmLab = 9,
};

struct THeader {
    std::uint16_t version = 0;
    std::uint16_t channels = 0;
    std::uint32_t height = 0;
    std::uint32_t width = 0;
    std::uint16_t depth = 0;  // bits per sample
    std::uint16_t mode = 0;
};

/// The 26-byte header after its signature check; false when the first four
/// bytes are not "8BPS".
bool ParseHeader(base::ByteCursor& input, THeader& header);

}  // namespace psd

class TPSDGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPSDGraphic)

public:
    TPSDGraphic() = default;

    /// True when more than 26 bytes remain, the first four upper-cased are
    /// "8BPS" and the version is 1; the stream position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    psd::THeader m_header;
    bool m_rle = false;
    bool m_direct = false;       // rows go straight into the raster rows
    bool m_invert = false;       // CMYK: the file stores ink as 0
    bool m_highBytes = false;    // 16-bit samples taken by their high byte before converting
    bool m_mergedAlpha = false;  // the fourth channel is the composite's transparency
    std::size_t m_planes = 0;    // channels read
    std::size_t m_rowBytes = 0;  // of one channel's row
};

/// The content check of CanLoadStream on the first bytes of a file. Never throws.
bool IsPSD(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
