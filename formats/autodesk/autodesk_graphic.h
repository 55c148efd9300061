#pragma once
/// TAutodeskGraphic: reads the 256-colour cel and picture files (".cel",
/// ".pic") of the animation program with the magic number 0x9119: a 32-byte
/// header, a palette of 6-bit components and raw 8-bit rows, top row first.

#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace autodesk {

inline constexpr std::uint16_t kMagic = 0x9119;
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kPaletteSize = 768;

}  // namespace autodesk

class TAutodeskGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TAutodeskGraphic)

public:
    TAutodeskGraphic() = default;

    /// True when more than 32 bytes remain, the magic is 0x9119, the pixels
    /// have 8 bits and the compression is 0; the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// False unless the magic matches.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;
};

/// The content test of CanLoadStream on the first bytes of a file. Never throws.
bool IsAutodesk(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
