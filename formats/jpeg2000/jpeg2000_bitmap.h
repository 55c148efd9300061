#pragma once
/// TJpeg2000Bitmap: a raster that reads JPEG 2000 data (JP2 files and raw
/// codestreams) and writes JP2 files, through the OpenJPEG codec. After
/// loading it is an ordinary TBitmap.

#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "formats/jpeg2000/jpeg2000_error.h"

namespace scalopex::formats {

class TJpeg2000Bitmap : public core::TBitmap {
    SCALOPEX_GRAPHIC_CLASS(TJpeg2000Bitmap)

public:
    TJpeg2000Bitmap() = default;

    /// Decodes the JPEG 2000 data from the stream's position to its end; the
    /// raster becomes the decoded image. On failure the raster is unchanged.
    void LoadFromStream(core::TStream& stream) override;
    /// Writes the raster as a JP2 file at the stream's position.
    void SaveToStream(core::TStream& stream) override;

    bool J2kLossless() const { return m_lossless; }
    void SetJ2kLossless(bool value) { m_lossless = value; }
    int J2kQuality() const { return m_quality; }
    /// 1..100; other values are clamped.
    void SetJ2kQuality(int quality);

private:
    bool m_lossless = false;
    int m_quality = 80;
};

/// True when bytes begin like JPEG 2000 data (the JP2 signature box, or a
/// codestream's SOC and SIZ markers). Never throws.
bool IsJpeg2000(std::span<const std::uint8_t> bytes) noexcept;

/// The compression ratio lossy writing asks of the codec for a raster of
/// width × height pixels of components 8-bit components at quality:
/// X / (X × 100 / (115 - quality)² + 550 + 142 × (components - 1)) with
/// X = width × height × components, in single precision.
float CompressionRatio(int quality, int components, int width, int height);

/// The resolution levels a raster is coded with: 6, or fewer where a side
/// is shorter than the 2^(levels - 1) pixels the codec needs for them.
int ResolutionLevels(int width, int height);

/// The boxes of a JP2 file around a codestream: signature, file type,
/// header (image header, colour box "colr" sRGB, channel definitions
/// red, green, blue and, with four components, opacity), then the
/// contiguous-codestream box header for codestreamBytes bytes.
std::vector<std::uint8_t> Jp2BoxesBefore(int width, int height, int components, std::uint64_t codestreamBytes);

/// Writes bitmap as the saving routine's ".jp2" row does: a new
/// TJpeg2000Bitmap with J2kLossless false and J2kQuality 97, Assign(bitmap),
/// then SaveToStream.
void SaveBitmapAsJpeg2000(const core::TBitmap& bitmap, core::TStream& stream);

}  // namespace scalopex::formats
