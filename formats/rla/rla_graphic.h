#pragma once
/// TRLAGraphic: reads run-length encoded RLA image files (".rla", ".rpf"):
/// a 740-byte big-endian header, a table of row offsets, and per stored row
/// the red, green and blue channels (then the matte) each as a byte count
/// and run-length data. Colour space "rgb" only; "xyz" files open empty.
/// Channels of 9 to 16 bits are reduced to 8 bits.

#include <cstdint>
#include <span>

#include "formats/common/reader_graphic.h"

namespace scalopex::formats {

namespace rla {

inline constexpr std::size_t kHeaderSize = 740;
inline constexpr std::uint16_t kRevision = 0xFFFE;

/// The header fields the reader uses.
struct THeader {
    std::int16_t activeLeft = 0;
    std::int16_t activeRight = 0;
    std::int16_t activeBottom = 0;
    std::int16_t activeTop = 0;
    std::int16_t colorChannels = 0;
    std::int16_t matteChannels = 0;
    std::uint16_t revision = 0;
    float gamma = 1.0f;
    enum class Space { RGB, XYZ, Other } space = Space::Other;
    std::int16_t channelBits = 0;
};

/// Parses the 740-byte header (short data throws the cursor's error).
THeader ParseHeader(base::ByteCursor& input);

/// The gamma of a header's text field: a number, surrounded by nothing but
/// spaces and NULs, greater than 0; 1.0 otherwise.
float ParseGamma(std::span<const std::uint8_t> text);

}  // namespace rla

class TRLAGraphic : public TReaderGraphic {
    SCALOPEX_GRAPHIC_CLASS(TRLAGraphic)

public:
    TRLAGraphic() = default;

    /// True when more than 740 bytes remain, the revision is 0xFFFE and the
    /// channel space is "rgb" or "xyz" (any case); the position is restored.
    bool CanLoadStream(core::TStream& stream) const override;

protected:
    /// False for the channel space "xyz".
    bool ParseImageDescription(base::ByteCursor& input, int imageIndex) override;
    TRasterPlan ReadHeader(base::ByteCursor& input) override;
    void DecodeRows(base::ByteCursor& input, TRowSink& sink) override;

private:
    std::span<const std::uint8_t> m_offsets;  // the row offset table of the load in progress
    std::size_t m_channels = 0;               // channels converted per row (3 or 4)
    std::size_t m_sampleBytes = 1;            // bytes per stored sample (1, or 2 above 8 bits)
    unsigned m_sampleBits = 8;
};

/// True when start (the first bytes of a file) holds the RLA revision
/// 0xFFFE at its place. Never throws.
bool IsRLA(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
