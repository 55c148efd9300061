#include "core/scaling.h"

#include <algorithm>
#include <cstring>

#include "base/checked_math.h"
#include "core/opening.h"
#include "platform/gdi/stretch.h"

namespace scalopex::core {

std::unique_ptr<TBitmap> ScaleToMaxDimension(const TGraphic* graphic, int maxDimension, int filter)
{
    if (graphic == nullptr)
        return nullptr;
    const int w = graphic->Width();
    const int h = graphic->Height();
    std::unique_ptr<TBitmap> result = GraphicToBitmap(graphic);
    if (result->Empty())
        return result;

    int targetWidth, targetHeight;
    if (h < w) {
        targetWidth = maxDimension;
        targetHeight = base::MulDiv(maxDimension, h, w);
    } else {
        targetHeight = maxDimension;
        targetWidth = base::MulDiv(maxDimension, w, h);
    }
    // A very thin image keeps at least one pixel across instead of vanishing.
    targetWidth = std::max(targetWidth, 1);
    targetHeight = std::max(targetHeight, 1);

    std::unique_ptr<TBitmap> work = GraphicToBitmap(result.get());
    if (filter == kHalftoneFilter)
        StretchHalftone(targetWidth, targetHeight, *work);
    result->Assign(work.get());
    result->Dormant();
    result->FreeImage();
    return result;
}

void StretchHalftone(int width, int height, TBitmap& bitmap)
{
    // The stretch reads 24-bit rows; other formats are converted on a copy.
    const TBitmap* source = &bitmap;
    TBitmap converted;
    if (bitmap.PixelFormat() != pf24bit) {
        converted.Assign(&bitmap);
        converted.SetPixelFormat(pf24bit);
        source = &converted;
    }
    TBitmap tmp;
    tmp.SetPixelFormat(pf24bit);
    if (source->Empty()) {
        tmp.SetSize(width, height);  // nothing to stretch: white
    } else {
        tmp.SetSizeUninitialized(width, height);  // the stretch writes every pixel
        if (!tmp.Empty()) {
            const TBitmapImage& src = source->Image();
            gdi::AreaAverageStretch(
                gdi::TConstPixelRows{src.Row(0), static_cast<std::ptrdiff_t>(src.stride), src.width, src.height},
                gdi::TPixelRows{tmp.ScanLine(0), static_cast<std::ptrdiff_t>(tmp.RowBytes()), width, height}, 3);
        }
    }
    bitmap.Assign(&tmp);
}

void RotateClockwise(TBitmap& bitmap)
{
    TBitmap tmp;
    if (bitmap.PixelFormat() != pf32bit)
        bitmap.SetPixelFormat(pf32bit);
    tmp.SetPixelFormat(pf32bit);
    const int w = bitmap.Width();
    const int h = bitmap.Height();
    tmp.SetSize(h, w);
    if (w > 0 && h > 0) {
        // Source pixel (x, r) lands in row x, column h - 1 - r.
        const TBitmapImage& src = bitmap.Image();
        std::uint8_t* dst = tmp.ScanLine(0);
        const std::size_t dstStride = tmp.RowBytes();
        for (int r = h - 1; r >= 0; --r) {
            const std::uint8_t* in = src.Row(r);
            std::uint8_t* out = dst + static_cast<std::size_t>(h - 1 - r) * 4;
            for (int x = 0; x < w; ++x) {
                std::memcpy(out, in, 4);
                in += 4;
                out += dstStride;
            }
        }
    }
    bitmap.Assign(&tmp);
}

}  // namespace scalopex::core
