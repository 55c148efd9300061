#pragma once
/// TReaderGraphic: the base of the readers that decode a file into their
/// own raster through a TColorManager, with the image description they
/// read from the file's header.

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "formats/common/color_manager.h"

namespace scalopex::formats {

/// Compression of the pixel data, as a description reports it.
enum class CompressionKind : std::uint8_t {
    Unknown, None, RLE, PackedBits, LZW, Fax3, Fax3Huffman, Fax4, HuffmanWordAligned, LZ77, JPEG, OldJPEG,
    ThunderScan, NeXT, IT8CTPad, IT8LW, IT8MP, IT8BL, PixarFilm, PixarLog, DCS, JBIG,
};

/// What a reader learns of an image from its header.
struct TImageProperties {
    std::uint32_t FormatVersion = 0;
    std::uint8_t Flags = 0;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    ColorScheme Scheme = ColorScheme::Unknown;
    std::uint8_t SampleBits = 0;
    std::uint8_t SampleCount = 0;
    std::uint8_t PixelBits = 0;
    CompressionKind Compression = CompressionKind::Unknown;
    float Gamma = 1.0f;
    float ResolutionX = 0;
    float ResolutionY = 0;
    bool IsInterlaced = false;
    bool HasAlphaChannel = false;
    // Fields of the TIFF reader.
    std::uint8_t Orientation = 0;
    std::uint8_t PlanarConfig = 0;
    std::uint8_t FillOrder = 0;
    std::uint8_t Predictor = 0;
    std::uint32_t RowsPerStrip = 0;
    std::vector<std::uint32_t> StripOffsets;
    std::vector<std::uint8_t> JPEGTables;
    std::vector<std::uint8_t> Extra;
    std::int16_t ImageTotal = 0;
    bool RowsBottomUp = false;
};

class TReaderGraphic : public core::TBitmap {
    SCALOPEX_GRAPHIC_CLASS(TReaderGraphic)

public:
    TReaderGraphic() = default;

    /// Opens path read-only and runs CanLoadStream on it.
    bool CanLoadFile(const std::string& path) const;
    /// Content test; leaves the stream position unchanged. False here.
    virtual bool CanLoadStream(core::TStream& stream) const;
    /// Fills ImageDescription from the stream. The base clears it (gamma
    /// 1.0) and answers false; every format calls the base first.
    virtual bool ReadImageDescription(core::TStream& stream, int imageIndex = 0);

    /// From another reader: its description, then its raster.
    void Assign(const core::TGraphic* source) override;

    TImageProperties ImageDescription;

protected:
    TColorManager& ColorManager() { return m_colorManager; }

    TColorManager m_colorManager;
    std::uint64_t m_basePosition = 0;  // where the current load started
};

}  // namespace scalopex::formats
