#pragma once
// What TJpeg2000Bitmap reads of a JPEG 2000 file itself, before the codec
// sees it (private to this module): the kind of data from its first bytes,
// the JP2 boxes up to the codestream (the channel definitions and the
// palette's channel count of the header box), and the image and tile size
// of the codestream's SIZ marker. These give the engine's limits something
// to check before the codec allocates anything.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace scalopex::formats::jp2 {

enum class TFileKind { Unknown, Jp2, Codestream };

/// The bytes the kind test looks at.
inline constexpr std::size_t kSignatureBytes = 8;

/// A JP2 file when bytes begin with the JP2 signature box, a raw codestream
/// when they begin with SOC and SIZ; Unknown otherwise, also for fewer than
/// kSignatureBytes bytes. Never throws.
TFileKind KindOf(std::span<const std::uint8_t> bytes) noexcept;

/// One entry of a channel-definition box.
struct TChannelDefinition {
    std::uint16_t channel = 0;
    std::uint16_t type = 0;
    std::uint16_t association = 0;
};

struct TComponentHeader {
    int precision = 0;  // 1..38 bits
    bool isSigned = false;
    std::uint32_t dx = 1;
    std::uint32_t dy = 1;
};

/// The SIZ marker: the image area and tiles on the reference grid, and the
/// components.
struct TCodestreamHeader {
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::uint32_t tileWidth = 0, tileHeight = 0, tileX0 = 0, tileY0 = 0;
    std::vector<TComponentHeader> components;

    std::uint32_t Width() const { return x1 - x0; }
    std::uint32_t Height() const { return y1 - y0; }
    std::uint64_t Tiles() const;
    /// Samples of component c on the grid, as the codec sizes them.
    std::uint64_t Samples(std::size_t c) const;
};

struct TFileHeader {
    TFileKind kind = TFileKind::Unknown;
    TCodestreamHeader codestream;
    /// The channel-definition box of the header box; empty when there is none.
    std::vector<TChannelDefinition> channels;
    /// Channels the palette's component-mapping box makes; 0 without one.
    std::size_t mappedChannels = 0;
    /// Bytes from the codestream's start to the end of the data (or of its box).
    std::uint64_t codestreamBytes = 0;
};

/// Parses the header of data of a known kind. A structure the codec would
/// refuse throws EJpeg2000Error ("JPEG 2000 image decoding failed"); data
/// that end inside a box or marker they announce, EReadError.
TFileHeader ParseHeader(std::span<const std::uint8_t> data, TFileKind kind);

/// The bytes the codec allocates for an image of this header at least: the
/// samples of every component (and of the palette's channels) and its
/// per-tile coding parameters.
std::uint64_t CodecBytes(const TFileHeader& header);

/// The fewest codestream bytes that can yield an image: the SOC and SIZ
/// markers and one tile-part with its SOT and SOD markers (the codec decodes
/// tiles without data as empty).
std::uint64_t MinimumCodestreamBytes(const TCodestreamHeader& header);

/// Checks the header against the engine's limits before anything is
/// decoded: the raster (base::CheckImageHeader, with the tiles the data must
/// hold) and the codec's own memory. Throws ELimitExceeded.
void CheckLimits(const TFileHeader& header);

}  // namespace scalopex::formats::jp2
