#pragma once
/// TBitmap: the in-memory raster every image passes through. Rows are
/// addressed from the top; storage is shared on Assign and copied on the
/// first write.

#include <cstdint>
#include <memory>

#include "core/bitmap_image.h"
#include "core/graphic.h"

namespace scalopex::core {

enum TTransparentMode { tmAuto, tmFixed };

class TBitmap;

/// The canvas of one bitmap: drawing on it changes the bitmap's pixels.
class TBitmapCanvas final : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& owner) : m_owner(owner) {}
    void DrawBitmap(const TRect& rect, const TBitmap& source) override;
    void FillRect(const TRect& rect) override;

private:
    TBitmap& m_owner;
};

class TBitmap : public TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TBitmap)

public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    void Assign(const TGraphic* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) const override;
    bool Empty() const override;
    const TBitmap* Raster() const override { return this; }
    int Width() const override;
    int Height() const override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    /// Resizes both sides at once (one reallocation).
    void SetSize(int width, int height);
    /// Gives the bitmap width × height pixels of undefined value, dropping
    /// the old ones: for a reader that writes every row straight after, and
    /// discards the bitmap when it fails before that. The bits after the
    /// last pixel of each row are zero.
    void SetSizeUninitialized(int width, int height);
    gdi::TLogPalette Palette() const override;
    void SetPalette(const gdi::TLogPalette& palette) override;
    void SetTransparent(bool value) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;

    /// Reads a BMP file image held in memory.
    void LoadFromBytes(std::span<const std::uint8_t> bytes);

    TPixelFormat PixelFormat() const;
    /// Converts the pixels to format; pfCustom fails with "Invalid pixel format".
    void SetPixelFormat(TPixelFormat format);

    /// Writable address of row (0 is the top). Takes a private copy of
    /// shared storage first. Out of range: "Scan line index out of range".
    std::uint8_t* ScanLine(int row);
    /// Read-only address of row; shared storage stays shared.
    const std::uint8_t* ScanLineRead(int row) const;
    /// Bytes from one row to the next.
    std::size_t RowBytes() const;

    TCanvas& Canvas();

    /// True when the fourth byte of the 32-bit pixels is alpha from a file;
    /// readers set it after filling the rows. Conversions clear it.
    bool HasAlpha() const;
    void SetHasAlpha(bool value);

    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return m_transparentMode; }
    void SetTransparentMode(TTransparentMode mode);

    /// Gives up drawing resources until the pixels are next changed. This
    /// platform keeps none, so the pixels stay as they are (their BMP file
    /// image is made only when one is written).
    void Dormant();
    /// Releases extra device copies and takes a private copy of shared storage.
    void FreeImage();
    bool IsDormant() const { return m_dormant; }
    /// True when both bitmaps use one storage (tests and diagnostics).
    bool SharesStorageWith(const TBitmap& other) const { return m_image == other.m_image; }

    /// The storage.
    const TBitmapImage& Image() const { return *m_image; }

private:
    friend class TBitmapCanvas;

    /// Prepares for a change: storage private, the bitmap no longer dormant.
    TBitmapImage& Changing();
    void ReplaceImage(std::shared_ptr<TBitmapImage> image);
    void Resize(int width, int height);

    std::shared_ptr<TBitmapImage> m_image;
    TColor m_transparentColor = clDefault;
    TTransparentMode m_transparentMode = tmAuto;
    bool m_dormant = false;
    std::unique_ptr<TBitmapCanvas> m_canvas;
};

}  // namespace scalopex::core
