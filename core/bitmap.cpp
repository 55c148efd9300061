#include "core/bitmap.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/exceptions.h"
#include "base/limits.h"
#include "core/bmp_file.h"
#include "platform/gdi/alpha_blend.h"
#include "platform/gdi/masked_copy.h"

namespace scalopex::core {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TBitmap, TGraphic)

namespace {

// Guards every switch of shared storage, so that reference counts and the
// copy-on-write decision stay consistent.
std::mutex g_storageLock;

// One row of width pixels of colour, in the layout of image.
std::vector<std::uint8_t> SolidRow(TBitmapImage& image, TColor color, int width)
{
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * 4);
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        bgra[i] = GetBValue(color);
        bgra[i + 1] = GetGValue(color);
        bgra[i + 2] = GetRValue(color);
        bgra[i + 3] = 0;
    }
    std::vector<std::uint8_t> row(base::RowBytes(width, image.bitCount), 0);
    gdi::TNearestColorMap nearest(image.palette);
    PackRow(image, bgra.data(), width, row.data(), &nearest);
    return row;
}

// Copies the first `pixels` pixels of a row, keeping the bits that follow them in dst.
void CopyPixels(const std::uint8_t* src, std::uint8_t* dst, int pixels, int bitCount)
{
    const std::size_t bits = static_cast<std::size_t>(pixels) * static_cast<std::size_t>(bitCount);
    std::memcpy(dst, src, bits / 8);
    if (const unsigned rest = bits % 8) {
        const auto keep = static_cast<std::uint8_t>(0xFF >> rest);
        dst[bits / 8] = static_cast<std::uint8_t>((src[bits / 8] & ~keep) | (dst[bits / 8] & keep));
    }
}

bool SameLayout(const TBitmapImage& a, const TBitmapImage& b)
{
    return a.bitCount == b.bitCount && a.bitCount > 8 && a.PixelFormat() == b.PixelFormat() && a.PixelFormat() != pfCustom;
}

// Pixels of the transparent colour become fully transparent.
void ClearAlphaOfKey(std::vector<std::uint8_t>& bgra, std::uint32_t keyBgr)
{
    for (std::size_t i = 0; i + 4 <= bgra.size(); i += 4) {
        const std::uint32_t px = bgra[i] | (bgra[i + 1] << 8) | (static_cast<std::uint32_t>(bgra[i + 2]) << 16);
        if (px == keyBgr)
            bgra[i + 3] = 0;
    }
}

}  // namespace

TBitmap::TBitmap() : m_image(std::make_shared<TBitmapImage>()) {}

TBitmap::~TBitmap()
{
    std::lock_guard lock(g_storageLock);
    m_image.reset();
}

TBitmapImage& TBitmap::Changing()
{
    m_dormant = false;
    std::lock_guard lock(g_storageLock);
    if (m_image.use_count() > 1) {
        std::shared_ptr<TBitmapImage> own = m_image->Clone();
        m_image = std::move(own);
    }
    return *m_image;
}

void TBitmap::ReplaceImage(std::shared_ptr<TBitmapImage> image)
{
    m_dormant = false;
    std::lock_guard lock(g_storageLock);
    m_image = std::move(image);
}

void TBitmap::Assign(const TGraphic* source)
{
    if (source == nullptr) {
        auto empty = std::make_shared<TBitmapImage>();
        empty->SetLayout(PixelFormat());
        ReplaceImage(std::move(empty));
    } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        if (bitmap != this) {
            {
                std::lock_guard lock(g_storageLock);
                m_image = bitmap->m_image;
            }
            m_dormant = false;
            m_transparent = bitmap->m_transparent;
            m_transparentColor = bitmap->m_transparentColor;
            m_transparentMode = bitmap->m_transparentMode;
        }
    } else {
        TGraphic::Assign(source);
        return;  // the source's AssignTo has raised the change
    }
    Changed();
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const
{
    canvas.DrawBitmap(rect, *this);
}

bool TBitmap::Empty() const { return m_image->Empty(); }
int TBitmap::Width() const { return m_image->width; }
int TBitmap::Height() const { return m_image->height; }
void TBitmap::SetWidth(int width) { SetSize(width, Height()); }
void TBitmap::SetHeight(int height) { SetSize(Width(), height); }

void TBitmap::SetSize(int width, int height)
{
    if (width == Width() && height == Height())
        return;
    Resize(width, height);
    Changed();
}

void TBitmap::SetSizeUninitialized(int width, int height)
{
    const TBitmapImage& old = Image();
    auto image = std::make_shared<TBitmapImage>();
    image->CopyDescription(old);
    image->palette = old.palette;
    image->ownHalftonePalette = old.ownHalftonePalette;
    image->Allocate(width, height);
    // Bits past the last pixel of each row are zero, so the BMP image and
    // every copy of the raster come out the same from run to run.
    const std::size_t whole = static_cast<std::size_t>(width) * image->bitCount / 8;
    for (int y = 0; y < height && whole < image->stride; ++y)
        std::memset(image->Row(y) + whole, 0, image->stride - whole);
    ReplaceImage(std::move(image));
    Changed();
}

void TBitmap::Resize(int width, int height)
{
    TBitmapImage& old = Changing();
    auto image = std::make_shared<TBitmapImage>();
    image->CopyDescription(old);
    image->palette = old.palette;
    image->ownHalftonePalette = old.ownHalftonePalette;
    image->Allocate(width, height);

    // New pixels take the brush colour; the old ones keep their place at the top left.
    if (!image->Empty()) {
        const TColor brush = m_canvas ? m_canvas->BrushColor() : clWhite;
        const std::vector<std::uint8_t> fill = SolidRow(*image, brush, width);
        const int keepRows = std::min(height, old.height);
        const int keepColumns = std::min(width, old.width);
        for (int y = 0; y < height; ++y) {
            std::memcpy(image->Row(y), fill.data(), image->stride);
            if (y < keepRows && keepColumns > 0)
                CopyPixels(old.Row(y), image->Row(y), keepColumns, old.bitCount);
        }
    }
    ReplaceImage(std::move(image));
}

gdi::TLogPalette TBitmap::Palette() const
{
    return m_image->palette;
}

void TBitmap::SetPalette(const gdi::TLogPalette& palette)
{
    TBitmapImage& image = Changing();
    image.palette.assign(palette.begin(), palette.begin() + static_cast<std::ptrdiff_t>(std::min(palette.size(), gdi::kMaxPaletteEntries)));
    image.ownHalftonePalette = false;
    Changed();
}

bool TBitmap::HasAlpha() const
{
    return m_image->hasAlpha && m_image->bitCount == 32 && m_image->compression == BI_RGB;
}

void TBitmap::SetHasAlpha(bool value)
{
    if (value == m_image->hasAlpha)
        return;
    Changing().hasAlpha = value;
    Changed();
}

void TBitmap::SetTransparent(bool value)
{
    TGraphic::SetTransparent(value);
}

void TBitmap::LoadFromStream(TStream& stream)
{
    std::vector<std::uint8_t> holder;
    LoadFromBytes(stream.ViewRemaining(base::Limits().maxInputBytes, holder));
}

void TBitmap::LoadFromBytes(std::span<const std::uint8_t> bytes)
{
    std::shared_ptr<TBitmapImage> image = bmp::Read(bytes);
    ReplaceImage(std::move(image));
    Changed();
}

void TBitmap::SaveToStream(TStream& stream)
{
    bmp::Write(*m_image, stream);
}

TPixelFormat TBitmap::PixelFormat() const { return m_image->PixelFormat(); }

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == pfCustom)
        throw base::EInvalidGraphic(base::kSInvalidPixelFormat);
    if (format == pfDevice)
        format = pf24bit;
    if (format == PixelFormat())
        return;
    const TBitmapImage& old = Image();
    auto image = std::make_shared<TBitmapImage>();
    image->SetLayout(format);
    image->xPelsPerMeter = old.xPelsPerMeter;
    image->yPelsPerMeter = old.yPelsPerMeter;
    image->clrImportant = old.clrImportant;
    switch (format) {
    case pf1bit:
        image->palette = (old.bitCount > 8 && old.palette.size() >= 2)
                             ? gdi::TLogPalette(old.palette.begin(), old.palette.begin() + 2)
                             : gdi::TLogPalette{{0, 0, 0, 0}, {255, 255, 255, 0}};
        break;
    case pf4bit: image->palette = gdi::SystemPalette16(); break;
    case pf8bit: image->palette = gdi::HalftonePalette(); break;
    default: image->palette = old.palette; break;  // merely attached to deeper formats
    }
    image->Allocate(old.width, old.height);
    if (!image->Empty()) {
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(old.width) * 4);
        gdi::TNearestColorMap nearest(image->palette);
        for (int y = 0; y < old.height; ++y) {
            UnpackRow(old, old.Row(y), old.width, bgra.data());
            if (format == pf32bit)
                for (std::size_t i = 3; i < bgra.size(); i += 4)
                    bgra[i] = 0;
            std::memset(image->Row(y), 0, image->stride);
            PackRow(*image, bgra.data(), old.width, image->Row(y), &nearest);
        }
    }
    ReplaceImage(std::move(image));
    Changed();
}

std::uint8_t* TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= Height())
        throw base::EInvalidGraphicOperation(base::kSScanLine);
    return Changing().Row(row);
}

const std::uint8_t* TBitmap::ScanLineRead(int row) const
{
    if (row < 0 || row >= Height())
        throw base::EInvalidGraphicOperation(base::kSScanLine);
    return Image().Row(row);
}

std::size_t TBitmap::RowBytes() const { return m_image->stride; }

TCanvas& TBitmap::Canvas()
{
    if (!m_canvas)
        m_canvas = std::make_unique<TBitmapCanvas>(*this);
    return *m_canvas;
}

TColor TBitmap::TransparentColor() const
{
    if (m_transparentMode == tmFixed)
        return ColorToRGB(m_transparentColor) | kTransparentFlag;
    if (PixelFormat() == pf1bit)
        return 0x02FFFFFF;
    if (Empty())
        return kTransparentFlag;
    const TBitmapImage& image = Image();
    std::uint8_t bgra[4 * 8];
    UnpackRow(image, image.Row(image.height - 1), 1, bgra);
    return RGB(bgra[2], bgra[1], bgra[0]) | kTransparentFlag;
}

void TBitmap::SetTransparentColor(TColor color)
{
    if (color == m_transparentColor)
        return;
    m_transparentColor = color;
    m_transparentMode = color == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (mode == m_transparentMode)
        return;
    if (mode == tmFixed)
        SetTransparentColor(TransparentColor());
    else
        SetTransparentColor(clDefault);
}

void TBitmap::Dormant()
{
    if (!Empty())
        m_dormant = true;
}

void TBitmap::FreeImage()
{
    std::lock_guard lock(g_storageLock);
    if (m_image.use_count() > 1) {
        std::shared_ptr<TBitmapImage> own = m_image->Clone();
        m_image = std::move(own);
    }
}

void TBitmapCanvas::FillRect(const TRect& rect)
{
    TBitmap& dest = m_owner;
    const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dest.Width());
    const int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, dest.Height());
    if (x0 >= x1 || y0 >= y1)
        return;
    TBitmapImage& image = dest.Changing();
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(image.width) * 4);
    gdi::TNearestColorMap nearest(image.palette);
    const TColor color = BrushColor();
    for (int y = y0; y < y1; ++y) {
        UnpackRow(image, image.Row(y), image.width, bgra.data());
        for (int x = x0; x < x1; ++x) {
            bgra[4 * x] = GetBValue(color);
            bgra[4 * x + 1] = GetGValue(color);
            bgra[4 * x + 2] = GetRValue(color);
        }
        PackRow(image, bgra.data(), image.width, image.Row(y), &nearest);
    }
    dest.Changed();
}

void TBitmapCanvas::DrawBitmap(const TRect& rect, const TBitmap& source)
{
    TBitmap& dest = m_owner;
    if (source.Empty() || dest.Empty() || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, dest.Width());
    const int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, dest.Height());
    if (x0 >= x1 || y0 >= y1)
        return;

    // Hold the source's storage: drawing a bitmap onto itself must read the old pixels.
    const TBitmapImage& src = source.Image();
    std::shared_ptr<const TBitmapImage> keepSource = source.m_image;
    TBitmapImage& dst = dest.Changing();
    const bool transparent = source.Transparent();
    const bool sameSize = rect.Width() == src.width && rect.Height() == src.height;
    const bool alpha = source.HasAlpha();

    if (!transparent && !alpha && sameSize && SameLayout(src, dst)) {
        // Whole rows of equal layout: a plain copy of bytes.
        const std::size_t bytesPerPixel = dst.bitCount / 8u;
        for (int y = y0; y < y1; ++y)
            std::memcpy(dst.Row(y) + static_cast<std::size_t>(x0) * bytesPerPixel,
                        src.Row(y - rect.Top) + static_cast<std::size_t>(x0 - rect.Left) * bytesPerPixel,
                        static_cast<std::size_t>(x1 - x0) * bytesPerPixel);
        dest.Changed();
        return;
    }

    if (!transparent && sameSize && src.PixelFormat() == pf32bit && dst.PixelFormat() == pf24bit) {
        if (alpha) {
            // Alpha from a file: composite over the surface.
            for (int y = y0; y < y1; ++y)
                gdi::BlendRowOver(src.Row(y - rect.Top) + static_cast<std::size_t>(x0 - rect.Left) * 4,
                                  dst.Row(y) + static_cast<std::size_t>(x0) * 3, static_cast<std::size_t>(x1 - x0), 3);
            dest.Changed();
            return;
        }
        // A rotated (32-bit) image drawn onto a 24-bit one: drop the fourth byte.
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* in = src.Row(y - rect.Top) + static_cast<std::size_t>(x0 - rect.Left) * 4;
            std::uint8_t* out = dst.Row(y) + static_cast<std::size_t>(x0) * 3;
            for (int x = x0; x < x1; ++x, in += 4, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        }
        dest.Changed();
        return;
    }

    // Any other case goes through rows of blue, green, red, x quadruples,
    // taking the nearest source column for every destination column.
    std::vector<int> columns(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x)
        columns[static_cast<std::size_t>(x - x0)] =
            static_cast<int>(static_cast<std::int64_t>(x - rect.Left) * src.width / rect.Width());
    const TColor key = source.TransparentColor();
    const std::uint32_t keyBgr = (static_cast<std::uint32_t>(GetBValue(key))) |
                                 (static_cast<std::uint32_t>(GetGValue(key)) << 8) |
                                 (static_cast<std::uint32_t>(GetRValue(key)) << 16);
    std::vector<std::uint8_t> srcRow(static_cast<std::size_t>(src.width) * 4);
    std::vector<std::uint8_t> mapped(columns.size() * 4);
    std::vector<std::uint8_t> dstRow(static_cast<std::size_t>(dst.width) * 4);
    gdi::TNearestColorMap nearest(dst.palette);
    int unpacked = -1;
    for (int y = y0; y < y1; ++y) {
        const int sy = static_cast<int>(static_cast<std::int64_t>(y - rect.Top) * src.height / rect.Height());
        if (sy != unpacked) {
            UnpackRow(src, src.Row(sy), src.width, srcRow.data());
            for (std::size_t i = 0; i < columns.size(); ++i)
                std::memcpy(mapped.data() + 4 * i, srcRow.data() + 4 * static_cast<std::size_t>(columns[i]), 4);
            unpacked = sy;
        }
        UnpackRow(dst, dst.Row(y), dst.width, dstRow.data());
        std::uint8_t* target = dstRow.data() + 4 * static_cast<std::size_t>(x0);
        if (alpha) {
            if (transparent)
                ClearAlphaOfKey(mapped, keyBgr);
            gdi::BlendRowOver(mapped.data(), target, columns.size(), 4);
        } else if (transparent)
            gdi::MaskedCopyRow(mapped.data(), target, columns.size(), keyBgr);
        else
            std::memcpy(target, mapped.data(), mapped.size());
        PackRow(dst, dstRow.data(), dst.width, dst.Row(y), &nearest);
    }
    dest.Changed();
}

}  // namespace scalopex::core
