#pragma once
/// TEPSGraphic: shows an encapsulated PostScript file by the TIFF preview of
/// its 30-byte binary header. The PostScript itself is never interpreted, so
/// a plain-text file, or one without a preview, does not open.

#include <cstdint>
#include <span>

#include "formats/tiff/tiff_graphic.h"

namespace scalopex::formats {

inline constexpr const char* kSEpsName = "EPS";

class TEPSGraphic : public TTIFFGraphic {
    SCALOPEX_GRAPHIC_CLASS(TEPSGraphic)

public:
    /// True when more than 30 bytes remain, they begin with the binary
    /// header's magic, and its TIFF preview lies beyond the header and is
    /// not empty; the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// After the header's check, the TIFF preview's offset; a preview offset
    /// of 0 leaves the TIFF reader at the header, which then fails as a TIFF.
    std::size_t TiffStart(base::ByteCursor& input) override;
};

/// True when start holds a binary EPS header with a TIFF preview. Never throws.
bool IsEPS(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
