#pragma once
/// TGIFImage: GIF files (87a and 89a) read into frames, drawn as their first
/// frame, and written from a TBitmap as a single frame whose colours are
/// reduced to a 256-entry table when the bitmap is deeper than 8 bits.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "formats/gif/color_reduction.h"
#include "formats/gif/gif_exception.h"
#include "formats/gif/gif_items.h"

namespace scalopex::formats {

class TGIFImage : public core::TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TGIFImage)

public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    /// A TBitmap becomes a single frame; a TGIFImage is copied with its
    /// header, frames and settings; null empties the image.
    void Assign(const core::TGraphic* source) override;
    /// Paints frame 0 into rect, scaled by its place on the logical screen;
    /// transparent pixels and the rest of rect are left as they are.
    void Draw(core::TCanvas& canvas, const core::TRect& rect) const override;
    /// True when there is no frame.
    bool Empty() const override { return m_images.empty(); }
    /// The logical screen size.
    int Width() const override { return m_header.Width(); }
    int Height() const override { return m_header.Height(); }
    /// Fail with "Image width too small for contained frames" (or height)
    /// when a frame would stick out.
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    /// The global colour table, else frame 0's local one; none without
    /// frames. "No global or local color table defined" when frame 0 has
    /// neither.
    gdi::TLogPalette Palette() const override;
    void LoadFromStream(core::TStream& stream) override;
    void SaveToStream(core::TStream& stream) override;

    /// Reads a GIF file held in memory.
    void LoadFromBytes(std::span<const std::uint8_t> bytes);
    /// The file image: header, frames, trailer. An image without frames
    /// fails with "Unsupported GIF version".
    std::vector<std::uint8_t> SaveToBytes() const;

    /// Removes every frame and resets the header.
    void Clear();

    TGIFHeader& Header() { return m_header; }
    const TGIFHeader& Header() const { return m_header; }
    const TGIFImageList& Images() const { return m_images; }
    TGIFImageList& Images() { return m_images; }

    TColorReduction GifReduction() const { return m_reduction; }
    void SetGifReduction(TColorReduction reduction) { m_reduction = reduction; }

    /// The version the file is written as: 89a when a frame has a sorted
    /// colour table or any extension.
    TGIFVersion Version() const;

    /// Receives the warnings of reading; they never stop a load.
    std::function<void(const std::string& message)> OnWarning;
    void Warning(const std::string& message) const;

private:
    friend class TGIFSubImage;

    /// Reads the file at the start of bytes; returns the bytes taken.
    std::size_t Load(std::span<const std::uint8_t> bytes);
    void AssignBitmap(const core::TBitmap& bitmap);
    void AssignGIF(const TGIFImage& source);
    /// Charges the pixels of a frame being read against the load's budget.
    void ChargeFramePixels(std::uint64_t pixels);

    TGIFHeader m_header;
    TGIFImageList m_images;
    TColorReduction m_reduction = TColorReduction::WebCube;
    bool m_loading = false;
    std::uint64_t m_pixelBudget = 0;
};

/// True when bytes start like a GIF file, also 4 bytes on. Never throws.
bool IsGIF(std::span<const std::uint8_t> bytes) noexcept;

/// Writes bitmap to stream as the saving routine does: a new TGIFImage with
/// the reduction OctreeWithSystemColors, Assign(bitmap), SaveToStream.
void WriteGIF(const core::TBitmap& bitmap, core::TStream& stream);

}  // namespace scalopex::formats
