#pragma once
/// The engine's limits on what one file or raster may cost. Every raster is
/// checked against them before its storage is allocated, whether its size
/// comes from a file field or from a scaling request. The limits are a value
/// the engine reads; tests and fuzz targets lower them.

#include <cstddef>
#include <cstdint>

namespace scalopex::base {

struct TLimits {
    /// Pixels in one raster.
    std::uint64_t maxPixels = std::uint64_t{1} << 28;
    /// Bytes of pixel storage in one raster.
    std::uint64_t maxPixelBytes = std::uint64_t{1} << 31;
    /// The widest or tallest raster side.
    std::int64_t maxDimension = std::int64_t{1} << 20;
    /// Bytes of one input file read into memory.
    std::uint64_t maxInputBytes = (std::uint64_t{1} << 31) + (std::uint64_t{1} << 20);
    /// Scans of one multi-scan (progressive) image: each is a full pass over
    /// the image, so a flood of tiny scans would stall decoding.
    int maxScans = 1000;
    /// Working memory of one codec besides the raster, such as the
    /// coefficients a multi-scan JPEG keeps for every block.
    std::uint64_t maxCodecBytes = std::uint64_t{1} << 31;
};

/// The limits in force. Set them before any image work starts; they are read
/// from every thread and never locked.
const TLimits& Limits();
void SetLimits(const TLimits& limits);

/// Sets limits for its lifetime and brings the previous ones back (tests).
class TScopedLimits {
public:
    explicit TScopedLimits(const TLimits& limits) : m_saved(Limits()) { SetLimits(limits); }
    ~TScopedLimits() { SetLimits(m_saved); }
    TScopedLimits(const TScopedLimits&) = delete;
    TScopedLimits& operator=(const TScopedLimits&) = delete;

private:
    TLimits m_saved;
};

/// Row length in bytes of a raster row: padded to a multiple of 4 bytes.
/// Throws ELimitExceeded for a width beyond the limits.
std::size_t RowBytes(std::int64_t width, int bitsPerPixel);

/// Checks a raster size against the limits and returns its storage in bytes.
/// Negative sizes throw EOutOfResources; sizes beyond a limit ELimitExceeded
/// with a message naming the size and the limit; a zero side gives 0 bytes.
std::size_t CheckRasterSize(std::int64_t width, std::int64_t height, int bitsPerPixel);

/// What a reader's header says about the image it is about to allocate.
struct TImageHeader {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bitsPerPixel = 24;
    /// Bytes of image data the input holds from where the pixels start.
    std::uint64_t dataBytes = 0;
    /// For packed data: the fewest bytes that can yield the image at the
    /// best ratio the packing reaches; 0 when the data do not bound the
    /// image (raw data is checked by its reader).
    std::uint64_t minimumDataBytes = 0;
};

/// The one check every reader makes before it allocates: the raster size as
/// CheckRasterSize does, and, for packed data, that the data present could
/// yield the raster at all. Returns the raster's storage in bytes.
std::size_t CheckImageHeader(const TImageHeader& header);

}  // namespace scalopex::base
