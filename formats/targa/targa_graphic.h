#pragma once
/// TTargaGraphic: reads and writes Truevision Targa files into its own
/// raster. Reads colour-mapped, true-colour and grey images, raw or
/// run-length encoded, of 8, 15, 16, 24 and 32 bits per pixel (16-bit grey
/// files as grey with alpha); writes 8-bit colour-mapped or 16, 24 and
/// 32-bit true-colour files, run-length encoded by default.

#include "formats/common/reader_graphic.h"
#include "formats/targa/targa_header.h"

namespace scalopex::formats {

class TTargaGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TTargaGraphic)

public:
    TTargaGraphic() = default;

    /// True when more than a header remains and its fields name a Targa
    /// image; the stream position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

    /// Writes the raster run-length encoded.
    void SaveToStream(core::TStream& stream) override;
    /// Writes the raster at the stream position, run-length encoded when
    /// compressed is true. An empty raster writes nothing.
    void SaveToStream(core::TStream& stream, bool compressed);

protected:
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    targa::TTargaHeader m_header;  // of the file being loaded
};

/// True when start, the first bytes of a file (more than a header), holds
/// a Targa header as CanLoadStream accepts it. Never throws.
bool IsTarga(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
