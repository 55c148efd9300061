#pragma once
/// TPCXGraphic: reads ZSoft Paintbrush files into its own raster: one plane
/// of 1, 2, 4 or 8-bit indices, three or four planes of 1 bit (8 and 16
/// colours), and three or four planes of 8 bits (true colour, the fourth
/// plane alpha), raw or run-length encoded. It does not write PCX files.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace pcx {

inline constexpr std::size_t kHeaderSize = 128;
inline constexpr std::size_t kPaletteBytes = 769;  // the byte 12 and 256 entries of red, green, blue

struct THeader {
    std::uint8_t manufacturer = 0;  // 10 or 0xCD
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;      // 1 run-length encoded, else raw
    std::uint8_t bitsPerPixel = 0;  // in each plane
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::uint16_t resolutionX = 0, resolutionY = 0;
    std::span<const std::uint8_t> palette16;  // 48 bytes
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;  // of one plane
    std::uint16_t paletteInfo = 0;   // 2: grey

    bool IsRLE() const { return encoding == 1; }
    std::int32_t Width() const { return std::int32_t{xMax} - xMin + 1; }
    std::int32_t Height() const { return std::int32_t{yMax} - yMin + 1; }
};

/// The 128-byte header; the cursor must hold it.
THeader ParseHeader(base::ByteCursor& input);

}  // namespace pcx

class TPCXGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPCXGraphic)

public:
    TPCXGraphic() = default;

    /// IsPCX on the stream's first bytes, so that it agrees with the
    /// registry's content check; the stream position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// False when the manufacturer byte is neither 10 nor 0xCD.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

public:
    /// How the planes of a row become raster pixels.
    enum class TLayout : std::uint8_t {
        Indices,      // one plane of 1, 2, 4 or 8-bit indices
        BitPlanes,    // three or four 1-bit planes, each giving one bit of a 4-bit index
        ColorPlanes,  // three or four 8-bit planes: red, green, blue (and alpha)
    };

private:
    pcx::THeader m_header;
    TLayout m_layout = TLayout::Indices;
    std::size_t m_dataBytes = 0;  // pixel data from the end of the header
};

/// True when start, the first bytes of a file, begins like a PCX file as
/// CanLoadStream accepts it: manufacturer 10 or 0xCD, version 0, 2, 3 or 5,
/// encoding 0 or 1. A start shorter than the content check's bytes is the
/// whole file, too short for a header and data; a longer file shorter than
/// its header fails when it is loaded. Never throws.
bool IsPCX(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
