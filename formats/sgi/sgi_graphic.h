#pragma once
/// TSGIGraphic: reads Silicon Graphics image files into its own raster:
/// one channel as grey, three as RGB and four as RGB with alpha, of 8 or 16
/// bits per sample, verbatim or run-length encoded. It does not write them.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace sgi {

inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::uint16_t kMagic = 474;

struct THeader {
    std::uint16_t magic = 0;
    std::uint8_t storage = 0;  // 1 run-length encoded, else verbatim
    std::uint8_t bytesPerSample = 0;
    std::uint16_t dimension = 0;
    std::uint16_t xSize = 0, ySize = 0, zSize = 0;

    bool IsRLE() const { return storage == 1; }
    std::uint8_t Channels() const { return static_cast<std::uint8_t>(zSize); }  // the low-order byte
};

/// The first 12 bytes of the header; the cursor must hold them.
THeader ParseHeader(base::ByteCursor& input);

}  // namespace sgi

class TSGIGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TSGIGraphic)

public:
    TSGIGraphic() = default;

    /// IsSGI on the stream's first bytes, so that it agrees with the
    /// registry's content check; the stream position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// False unless the magic number is 474.
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    sgi::THeader m_header;
};

/// True when start, the first bytes of a file, holds the magic number 474,
/// 1 or 2 bytes per sample and a dimension of 1, 2 or 3. A start shorter
/// than the content check's bytes is the whole file, too short for a
/// header. Never throws.
bool IsSGI(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
