#include "core/opening.h"

#include "base/paths.h"
#include "core/file_formats.h"
#include "core/picture.h"

namespace scalopex::core {

namespace {

// A 24-bit opaque raster without carried file fields draws onto a new white
// 24-bit bitmap as an exact copy of itself, so its storage can be shared.
const TBitmap* DrawsAsItself(const TGraphic& graphic)
{
    if (graphic.Transparent())
        return nullptr;
    const TBitmap* bitmap = graphic.Raster();
    if (bitmap == nullptr || bitmap->Transparent() || bitmap->PixelFormat() != pf24bit ||
        bitmap->Width() != graphic.Width() || bitmap->Height() != graphic.Height())
        return nullptr;
    const TBitmapImage& image = bitmap->Image();
    if (image.xPelsPerMeter != 0 || image.yPelsPerMeter != 0 || image.clrUsed != 0 || image.clrImportant != 0)
        return nullptr;
    return bitmap;
}

}  // namespace

std::unique_ptr<TBitmap> LoadGraphicAsBitmap(const std::string& path)
{
    TPicture picture;
    picture.LoadFromFile(path);
    return GraphicToBitmap(picture.Graphic());
}

std::unique_ptr<TBitmap> GraphicToBitmap(const TGraphic* graphic)
{
    if (graphic == nullptr)
        return nullptr;
    // The palette is taken before anything is drawn: a graphic that decodes
    // on demand has none yet, and must not hand its decoder's over.
    const gdi::TLogPalette palette = graphic->Palette();
    auto bitmap = std::make_unique<TBitmap>();
    if (const TBitmap* raster = DrawsAsItself(*graphic)) {
        bitmap->Assign(raster);
        bitmap->SetTransparentMode(tmAuto);
        return bitmap;
    }
    bitmap->SetPixelFormat(pf24bit);
    const int height = graphic->Height();
    bitmap->SetSize(graphic->Width(), height);
    bitmap->SetPalette(palette);
    if (graphic->Transparent()) {
        bitmap->SetTransparent(true);
        bitmap->SetTransparentMode(tmAuto);
    }
    bitmap->Canvas().Draw(0, 0, graphic);
    return bitmap;
}

bool IsGraphicFile(const std::string& path) noexcept
{
    try {
        const std::string mask = base::LowerCase(GetFileFormats().GraphicFileMask(TGraphic::StaticClass()));
        const std::string ext = base::LowerCase(base::ExtractFileExt(path));
        return !ext.empty() && mask.find(ext) != std::string::npos;
    } catch (...) {
        return false;
    }
}

}  // namespace scalopex::core
