#pragma once
/// TPSPGraphic: reads the first usable raster layer of Paint Shop Pro image
/// files (".psp") of major version 3 and later: 1, 4 and 8-bit indexed or
/// grey images and 24-bit colour images, uncompressed, run-length encoded
/// or deflated.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace psp {

inline constexpr std::size_t kFileHeaderSize = 36;

enum TBlockId : std::uint16_t {
    kImageAttributes = 0,
    kColorPalette = 2,
    kLayerBank = 3,
    kLayer = 4,
    kChannel = 5,
};

/// Bytes of one channel row: (width + 7) div 8 for 1 bit, width div 2 + 1
/// for 4 bits, width for 8 bits (and each colour channel of 24 bits).
std::size_t ChannelRowBytes(std::size_t width, unsigned bitDepth);

/// True when bytes begin with the 36-byte file header of a major version
/// of 3 or later (the signature compared without regard to case).
bool HasFileHeader(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace psp

class TPSPGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPSPGraphic)

public:
    TPSPGraphic() = default;

    /// True when more than 36 bytes remain and they begin with the file
    /// header of major version 3 or later; the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// The file header and the image attributes; false unless the signature
    /// matches and the major version is at least 3.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    struct TChannel {
        std::span<const std::uint8_t> data;  // the compressed bytes the file holds
        std::uint32_t uncompressedLength = 0;
        std::uint16_t bitmapType = 0;
        std::uint16_t channelType = 0;
    };
    struct TLayer {
        std::uint16_t channelCount = 0;
        std::vector<TChannel> channels;
    };

    // The layer of a layer block, or nothing when its type is skipped.
    std::optional<TLayer> ReadLayer(base::ByteCursor& block) const;

    // Of the load in progress.
    std::uint16_t m_major = 0;
    std::uint16_t m_compression = 0;
    unsigned m_bitDepth = 0;
    std::optional<TLayer> m_layer;
};

/// The content test of CanLoadStream on the first bytes of a file. Never throws.
bool IsPSP(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
