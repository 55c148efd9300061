#pragma once
/// TJPEGImage: the graphic class of JPEG (JFIF and Exif) files. Loading keeps
/// the file's bytes and reads only its headers; the pixels are decoded the
/// first time they are needed. Writing compresses a raster given by Assign.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/exceptions.h"
#include "core/bitmap.h"
#include "core/graphic.h"

namespace scalopex::formats {

/// A fatal error of the JPEG codec: "JPEG error #%d" with the codec's
/// message number.
class EJPEG : public base::EInvalidGraphic {
public:
    explicit EJPEG(int messageCode);
    using base::EInvalidGraphic::EInvalidGraphic;
};

/// The decoding and encoding options of one image.
struct TJPEGOptions {
    int JpegQuality = 90;            ///< 1..100, for Encode
    bool GrayDecode = false;         ///< decode to grey; Encode writes a grey file
    bool FastDecode = false;         ///< fast integer DCT, one-pass quantising, ordered dither
    bool IndexedDecode = false;      ///< decode to 8 bits, at most 236 colours
    bool IncrementalDecode = false;  ///< decode a multi-scan file scan by scan
    bool ProgressiveWrite = false;   ///< Encode writes a progressive file; set on loading
    int DecodeScale = 0;             ///< 0..3: decode at 1/1, 1/2, 1/4, 1/8
    bool BlockSmoothing = true;      ///< block smoothing of multi-scan files
};

/// The options every new TJPEGImage starts with. Set once at start-up: the
/// window sets IndexedDecode on a display of 256 colours or fewer.
extern TJPEGOptions JpegDefaultOptions;

/// One JPEG file image with what its headers say. Shared, unchanged, by the
/// images made from one another by Assign.
struct TJPEGData {
    std::vector<std::uint8_t> fileImage;
    /// False while the image holds no JPEG data; a 0-byte file image counts
    /// as present.
    bool hasFileImage = false;
    /// Size as stored in the frame header (or of the raster Encode compressed).
    int width = 0;
    int height = 0;
    bool grayscale = false;
    /// Exif orientation (1..8); the decoded raster is turned upright.
    int orientation = 1;
};

class TJPEGImage : public core::TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TJPEGImage)

public:
    TJPEGImage();
    ~TJPEGImage() override;
    TJPEGImage(const TJPEGImage&) = delete;
    TJPEGImage& operator=(const TJPEGImage&) = delete;

    /// From a TJPEGImage: shares its data (and its decoded raster). From a
    /// TBitmap: holds that raster (sharing its pixels) for Encode.
    void Assign(const core::TGraphic* source) override;
    /// To a TBitmap: the bitmap shares the decoded raster (decoding if needed).
    void AssignTo(core::TGraphic& dest) const override;
    /// Decodes if needed and draws the raster stretched into rect.
    void Draw(core::TCanvas& canvas, const core::TRect& rect) const override;
    /// The decoded raster (decoding if needed), so opening can share it.
    const core::TBitmap* Raster() const override { return &Bitmap(); }
    bool Empty() const override;
    /// Upright size: of the decoded raster when there is one, else from the
    /// headers (divided by 2^DecodeScale, rounded up).
    int Width() const override;
    int Height() const override;
    /// Fail: "Cannot change the size of a JPEG image".
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    /// The decoded raster's palette; none before decoding.
    gdi::TLogPalette Palette() const override;
    /// Reads the rest of the stream as a JPEG file and its headers.
    void LoadFromStream(core::TStream& stream) override;
    /// Writes the file image unchanged, after Encode when there is none.
    void SaveToStream(core::TStream& stream) override;

    /// Compresses the raster into new JPEG data (0 bytes for an empty one).
    void Encode();
    /// The decoded raster (DecodedBitmap), decoding on first use. Colour
    /// files give pf24bit, grey or indexed output pf8bit.
    const core::TBitmap& Bitmap() const;
    /// The JPEG data in use.
    const TJPEGData& Data() const { return *m_data; }
    bool Grayscale() const { return m_data->grayscale; }

    const TJPEGOptions& Options() const { return m_options; }
    int JpegQuality() const { return m_options.JpegQuality; }
    void SetJpegQuality(int quality);
    bool GrayDecode() const { return m_options.GrayDecode; }
    void SetGrayDecode(bool value) { m_options.GrayDecode = value; }
    bool FastDecode() const { return m_options.FastDecode; }
    void SetFastDecode(bool value) { m_options.FastDecode = value; }
    bool IndexedDecode() const { return m_options.IndexedDecode; }
    void SetIndexedDecode(bool value) { m_options.IndexedDecode = value; }
    bool IncrementalDecode() const { return m_options.IncrementalDecode; }
    void SetIncrementalDecode(bool value) { m_options.IncrementalDecode = value; }
    bool ProgressiveWrite() const { return m_options.ProgressiveWrite; }
    void SetProgressiveWrite(bool value) { m_options.ProgressiveWrite = value; }
    int DecodeScale() const { return m_options.DecodeScale; }
    /// 0..3; other values are clamped.
    void SetDecodeScale(int scale);
    bool BlockSmoothing() const { return m_options.BlockSmoothing; }
    void SetBlockSmoothing(bool value) { m_options.BlockSmoothing = value; }

private:
    void Decode() const;

    std::shared_ptr<const TJPEGData> m_data;
    /// DecodedBitmap: absent until needed, or the raster given to Assign.
    mutable std::unique_ptr<core::TBitmap> m_bitmap;
    TJPEGOptions m_options;
};

/// True when bytes begin like a JPEG file (FF D8 FF). Never throws.
bool IsJpeg(std::span<const std::uint8_t> bytes) noexcept;

/// Writes bitmap as the saving routine's ".jpg" row does: a new TJPEGImage
/// with JpegQuality 90, Assign(bitmap), Encode, then the file image.
void SaveBitmapAsJpeg(const core::TBitmap& bitmap, core::TStream& stream);

}  // namespace scalopex::formats
