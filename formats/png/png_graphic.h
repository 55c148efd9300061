#pragma once
/// TPNGGraphic: the PNG reader. It decodes a file straight into its own
/// raster rows: grey of 1 to 16 bits into a grey-ramp palette raster, RGB of
/// 8 or 16 bits into pf24bit, indexed of 1 to 8 bits into a palette raster,
/// and images with alpha (RGBA, grey with alpha, indexed with a tRNS alpha
/// list) into pf32bit with real alpha (HasAlpha). 16-bit samples are
/// reduced to 8 bits; a gAMA chunk switches on gamma correction.

#include "core/bitmap.h"
#include "core/stream.h"
#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

class TPNGGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPNGGraphic)

public:
    TPNGGraphic() = default;

    /// True when more than 8 bytes remain and the next 8 are the PNG
    /// signature; the position is left unchanged. Never throws for content.
    bool CanLoadStream(core::TStream& stream) const override;
    /// Fills ImageDescription from the signature, IHDR and the first gAMA.
    /// False when the signature, the first chunk (must be IHDR) or the size
    /// disqualifies the stream; a CRC error in IHDR or a file cut short throws.
    bool ReadImageDescription(core::TStream& stream, int imageIndex = 0) override;
    /// Decodes the file into the raster. Bad files throw EInvalidGraphic with
    /// the format's messages, files cut short EReadError ("Stream read error").
    void LoadFromStream(core::TStream& stream) override;
};

}  // namespace scalopex::formats
