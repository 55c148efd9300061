#pragma once
/// TTIFFJPEGDecoder: JPEG-compressed TIFF strips and tiles (compression 7)
/// through libjpeg, one JPEG stream per block, with the shared tables of the
/// JPEGTables tag read once as an abbreviated table stream. Three-component
/// data are delivered blue, green, red; other component counts as stored.
/// A block whose data end early is given an end of image and decoded as far
/// as it goes; the codec's warnings go to the process-wide warning hook.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/decoder.h"

namespace scalopex::formats {

inline constexpr const char* kSJPEGTables = "Bogus JPEG tables field.";
inline constexpr const char* kSJPEGStripSize = "Improper JPEG strip/tile size.";
inline constexpr const char* kSJPEGComponents = "Improper JPEG component count.";
inline constexpr const char* kSJPEGPrecision = "Improper JPEG data precision.";
inline constexpr const char* kSJPEGSampling = "Improper JPEG sampling factors.";
inline constexpr const char* kSJPEGScanline = "Fractional JPEG scanline unsupported.";
inline constexpr const char* kSJPEGEndOfInput = "JPEG decompression error. Unexpected end of input.";

struct TTIFFJPEGSetup {
    /// The JPEGTables tag; empty when the file has none.
    std::vector<std::uint8_t> tables;
    /// The sampling factors the first component must have (contiguous data).
    int samplingH = 1;
    int samplingV = 1;
    /// PlanarConfiguration 1: every block holds all samples of its pixels.
    bool contiguous = true;
    int sampleCount = 3;
    int sampleBits = 8;
    /// Photometric YCbCr: the codec converts to colour.
    bool ycbcr = false;
    /// Three components are delivered blue, green, red.
    bool bgr = true;
    /// Bytes of one decoded row of a block.
    std::size_t bytesPerLine = 0;
};

class TTIFFJPEGDecoder final : public base::TDecoder {
public:
    explicit TTIFFJPEGDecoder(TTIFFJPEGSetup setup);
    ~TTIFFJPEGDecoder() override;
    TTIFFJPEGDecoder(const TTIFFJPEGDecoder&) = delete;
    TTIFFJPEGDecoder& operator=(const TTIFFJPEGDecoder&) = delete;

    /// Creates the decompressor and reads the shared tables (kSJPEGTables
    /// when they are no table stream).
    void StartDecoding() override;
    /// The size the next block's JPEG stream must have.
    void SetBlockSize(int width, int height);
    /// Decodes the whole of source, one JPEG stream, into dest after the
    /// checks of its size, components, precision and sampling; returns the
    /// bytes of the rows decoded.
    std::size_t Decode(base::ByteCursor& source, std::span<std::uint8_t> dest) override;
    /// Releases the decompressor.
    void FinishDecoding() override;

private:
    struct TState;
    TTIFFJPEGSetup m_setup;
    std::unique_ptr<TState> m_state;
    int m_blockWidth = 0;
    int m_blockHeight = 0;
};

}  // namespace scalopex::formats
