#pragma once
/// TTIFFGraphic: reads the first image of a TIFF file into its own raster,
/// in strips or tiles, samples interleaved or in separate planes,
/// uncompressed or packed with PackBits, CCITT modified Huffman (plain,
/// one-dimensional group 3, word-aligned), LZW, deflate, JPEG or
/// ThunderScan. Bilevel, grey, palette, RGB(A), CMYK, CIE L*a*b* and YCbCr
/// images become palette rasters or 24/32-bit rasters through the colour
/// manager. It writes nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "formats/common/reader_graphic.h"
#include "formats/tiff/tiff_ifd.h"

namespace scalopex::formats {

namespace tiff {
class TTiffLoad;
}

/// Flags of the image description.
inline constexpr std::uint8_t kTiffTiled = 1 << 0;
inline constexpr std::uint8_t kTiffBigEndian = 1 << 1;
inline constexpr std::uint8_t kTiffMinIsWhite = 1 << 2;
inline constexpr std::uint8_t kTiffReversedBits = 1 << 3;

inline constexpr const char* kSTiffName = "TIF/TIFF";

class TTIFFGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TTIFFGraphic)

public:
    TTIFFGraphic();
    ~TTIFFGraphic() override;

    /// True when more than 8 bytes remain and they begin with "II" or "MM"
    /// and version 42 (or 43, 64-bit offsets); the position is restored. A
    /// first IFD beyond the end is found by the load, which then fails.
    bool CanLoadStream(core::TStream& stream) const override;
    /// Writes nothing: TIFF is only read.
    void SaveToStream(core::TStream& stream) override;

protected:
    /// Reads the header and walks the IFD chain to the image of that index;
    /// false when the data are no TIFF, the chain ends first, or width or
    /// height is 0.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

    /// Where the TIFF data begin in input, whose offsets count from there:
    /// its start here; formats that carry a TIFF file inside move it.
    virtual std::size_t TiffStart(base::ByteCursor& input);
    /// The description of image imageIndex of the TIFF file held by data.
    bool ParseTiffDescription(std::span<const std::uint8_t> data, int imageIndex);

private:
    tiff::THeader m_header;
    tiff::TDirectory m_directory;             // of the image described
    std::unique_ptr<tiff::TTiffLoad> m_load;  // between the header and the rows of one load
};

/// True when start, the first bytes of a file, holds a TIFF header as
/// CanLoadStream accepts it. Never throws.
bool IsTIFF(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
