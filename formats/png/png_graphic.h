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

#include <memory>
#include <span>

namespace scalopex::formats {

namespace png {
class PngLoader;
}

class TPNGGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPNGGraphic)

public:
    TPNGGraphic();
    ~TPNGGraphic() override;

    /// True when more than 8 bytes remain and the next 8 are the PNG
    /// signature; the position is left unchanged. Never throws for content.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// The description from the signature, IHDR and the first gAMA. False
    /// when the signature, the first chunk (must be IHDR) or the size
    /// disqualifies the data; a CRC error in IHDR or data cut short throws.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    /// Bad files throw EInvalidGraphic with the format's messages, files cut
    /// short EReadError ("Stream read error").
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    std::unique_ptr<png::PngLoader> m_loader;  // between the header and the rows of one load
};

/// True when start, the first bytes of a file, holds more than the PNG
/// signature and begins with it. Never throws.
bool IsPNG(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
