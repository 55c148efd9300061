#pragma once
/// TMetafile: Windows metafiles, enhanced (EMF) and old-format with a
/// placeable header (WMF), held as an enhanced picture of the platform; and
/// TMetafileCanvas, which records drawing into a new enhanced picture.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "platform/gdi/emf_writer.h"
#include "platform/gdi/metafile.h"

namespace scalopex::formats {

/// The shared holder of one metafile's data; copied before a change while
/// two metafiles share it.
struct TMetafileImage {
    gdi::HENHMETAFILE picture;
    int FrameWidth = 0;  // 0.01 mm
    int FrameHeight = 0;
    int UnitsPerInch = 0;  // of the placeable header; 0 for other pictures
    int PendingWidth = 0;  // pixels, while there is no picture
    int PendingHeight = 0;
    mutable std::optional<gdi::TLogPalette> palette;  // made on first request
};

class TMetafile : public core::TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TMetafile)

public:
    TMetafile();

    void Assign(const core::TGraphic* source) override;
    void Draw(core::TCanvas& canvas, const core::TRect& rect) const override;
    bool Empty() const override { return false; }
    int Width() const override;
    int Height() const override;
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    gdi::TLogPalette Palette() const override;
    /// Always transparent: setting it does nothing.
    void SetTransparent(bool) override {}
    void LoadFromStream(core::TStream& stream) override;
    void SaveToStream(core::TStream& stream) override;

    bool EnhancedFormat() const { return m_enhanced; }
    void SetEnhancedFormat(bool value) { m_enhanced = value; }
    const TMetafileImage& Image() const { return *m_image; }
    bool SharesImageWith(const TMetafile& other) const { return m_image == other.m_image; }

private:
    friend class TMetafileCanvas;
    /// The holder, made private first when it is shared.
    TMetafileImage& Unique();
    void LoadEmf(core::TStream& stream);
    void LoadWmf(core::TStream& stream);
    /// Refuses pictures whose pixel size is 0 or beyond the engine's limits.
    void CheckSize() const;

    std::shared_ptr<TMetafileImage> m_image;
    bool m_enhanced = true;
};

/// Records onto a metafile; the recording ends, and the metafile takes the
/// picture, when the canvas is destroyed (or Close is called).
class TMetafileCanvas final : public core::TCanvas {
public:
    /// Starts the recording with the screen as reference device.
    explicit TMetafileCanvas(TMetafile& metafile);
    ~TMetafileCanvas() override;
    TMetafileCanvas(const TMetafileCanvas&) = delete;
    TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

    void DrawBitmap(const core::TRect& rect, const core::TBitmap& source) override;
    void FillRect(const core::TRect& rect) override;
    /// Ends the recording and hands the picture to the metafile.
    void Close();

private:
    TMetafile& m_metafile;
    std::unique_ptr<gdi::TEmfRecorder> m_recorder;
};

/// True when start holds an EMF header or a placeable WMF header with a
/// correct checksum.
bool IsMetafile(std::span<const std::uint8_t> start) noexcept;

}  // namespace scalopex::formats
