#pragma once
/// TReaderGraphic: the base of the readers that decode a file into their
/// own raster through a TColorManager, and the one reading skeleton they
/// share. A load is always the same: the whole input, bounded by the limits,
/// under a cursor; the format's header parse (ReadHeader); one check of the
/// header against the limits; the raster allocated; the format's row decoder
/// (DecodeRows) delivering rows into a TRowSink; then the rows the data never
/// delivered filled by the format's rule.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/byte_cursor.h"
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

/// How the pixels look that the data never delivers.
struct TRowFill {
    core::TColor color = core::clWhite;
    /// The fourth byte of 32-bit rasters.
    std::uint8_t alpha = 0;
};

/// What a format's header parse leaves for the reading skeleton.
struct TRasterPlan {
    int width = 0;
    int height = 0;
    core::TPixelFormat pixelFormat = core::pf24bit;
    /// The palette to set; none keeps the pixel format's default.
    std::optional<gdi::TLogPalette> palette;
    /// Raw pixel data: the bytes it needs from the cursor's position. An
    /// input holding fewer fails with the cursor's short-read error before
    /// anything is allocated.
    std::uint64_t rawBytes = 0;
    /// Packed pixel data: the fewest bytes of it that can yield the image;
    /// 0 when the data do not bound the image.
    std::uint64_t minimumDataBytes = 0;
    /// The rows the decoder never delivers.
    TRowFill fill;
    /// The decoder may deliver rows in part or in several passes: every
    /// pixel takes the fill before decoding starts.
    bool prefill = false;
    /// The load ends here without error and the raster stays empty.
    bool stayEmpty = false;
};

/// Where a row decoder delivers rows: straight into the raster or through
/// the colour manager. It notes which rows arrived, so that the others can
/// be filled at the end. The raster must not be resized or shared while a
/// sink is alive.
class TRowSink {
public:
    TRowSink(core::TBitmap& raster, TColorManager& colorManager, const TRasterPlan& plan);

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    /// The pixel bytes of raster row y (0 is the top), for formats that store
    /// the raster's own layout; the row counts as delivered.
    std::span<std::uint8_t> Row(int y);
    /// Converts one row of interleaved samples into raster row y.
    void Convert(int y, std::span<const std::uint8_t> source, std::uint8_t mask = 0xFF);
    /// Converts one row given as one plane per sample into raster row y.
    void Convert(int y, std::span<const std::span<const std::uint8_t>> planes, std::uint8_t mask = 0xFF);

    /// Gives every row not delivered the fill.
    void FillMissingRows();

private:
    std::uint8_t* RowStart(int y);

    TColorManager& m_colorManager;
    int m_width;
    int m_height;
    std::uint8_t* m_rows = nullptr;  // row 0; rows are m_stride bytes apart
    std::size_t m_stride = 0;
    std::size_t m_rowBytes = 0;  // bytes holding pixels, without the padding
    std::vector<std::uint8_t> m_fillRow;
    std::vector<bool> m_delivered;
    bool m_prefilled;
};

class TReaderGraphic : public core::TBitmap {
    SCALOPEX_GRAPHIC_CLASS(TReaderGraphic)

public:
    TReaderGraphic() = default;

    /// Opens path read-only and runs CanLoadStream on it.
    bool CanLoadFile(const std::string& path) const;
    /// Content test; leaves the stream position unchanged. False here.
    virtual bool CanLoadStream(core::TStream& stream) const;
    /// Fills ImageDescription from the stream, which keeps its position.
    /// The record is cleared first (gamma 1.0); false when the format's
    /// description parse does not recognise the data.
    virtual bool ReadImageDescription(core::TStream& stream, int imageIndex = 0);

    /// The reading skeleton; the stream is left after the bytes used.
    void LoadFromStream(core::TStream& stream) final;

    /// From another reader: its description, then its raster.
    void Assign(const core::TGraphic* source) override;

    TImageProperties ImageDescription;

protected:
    /// The format's description parse from the start of its data; false
    /// when the data are not the format's. The base answers false.
    virtual bool ParseImageDescription(base::ByteCursor& input, int imageIndex);
    /// The format's header parse: sets up the colour manager, fills
    /// ImageDescription and leaves the cursor where the pixel data start.
    virtual TRasterPlan ReadHeader(base::ByteCursor& input) = 0;
    /// The format's row decoder.
    virtual void DecodeRows(base::ByteCursor& input, TRowSink& sink) = 0;
    /// What a read past the end of the input raises; "Stream read error"
    /// unless the format says otherwise.
    virtual base::ByteCursor::ShortReadHandler ShortReadHandler() const { return &base::ByteCursor::ThrowReadError; }

    TColorManager& ColorManager() { return m_colorManager; }

    TColorManager m_colorManager;
    std::uint64_t m_basePosition = 0;  // where the current load started
};

}  // namespace scalopex::formats
