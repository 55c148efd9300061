// TGIFImage: reads GIF87a and GIF89a files into frames (every block is kept,
// only frame 0 is ever drawn) and writes one frame made from a TBitmap.
// Reading tolerates stray bytes between blocks, a missing trailer and short
// image data (with warnings); it fails on a bad signature, cut-short fixed
// parts, unknown extension labels and undecodable LZW codes.

#include "formats/gif/gif_image.h"

#include <algorithm>
#include <cstring>

#include "base/checked_math.h"
#include "base/limits.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TGIFImage, core::TGraphic)

namespace {

constexpr std::uint8_t kTrailer = 0x3B;
constexpr int kMaxGIFDimension = 65535;

// Frames are allocated in full however little data they carry, so the pixels
// of all frames of one file are bounded: the engine's raster limit plus an
// allowance that grows with the file (LZW rarely packs more than a few
// hundred pixels into one byte).
constexpr std::uint64_t kFramePixelsPerByte = 256;

[[noreturn]] void ThrowPrematureEnd()
{
    throw GIFException(kSPrematureEnd);
}

// Resets the loading state however the load ends.
class TLoadingScope {
public:
    explicit TLoadingScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TLoadingScope() { m_flag = false; }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
    bool& m_flag;
};

}  // namespace

TGIFImage::TGIFImage() : m_header(this)
{
}

TGIFImage::~TGIFImage() = default;

void TGIFImage::Warning(const std::string& message) const
{
    if (OnWarning)
        OnWarning(message);
}

void TGIFImage::Clear()
{
    m_images.clear();
    m_header.Clear();
}

TGIFVersion TGIFImage::Version() const
{
    for (const auto& frame : m_images)
        if (frame->ColorMap().Sorted() || !frame->Extensions().empty())
            return TGIFVersion::gv89a;
    return TGIFVersion::gv87a;
}

void TGIFImage::ChargeFramePixels(std::uint64_t pixels)
{
    if (pixels > m_pixelBudget)
        throw base::ELimitExceeded(kSFramesTooLarge);
    m_pixelBudget -= pixels;
}

// ---------------------------------------------------------------------------
// Reading

void TGIFImage::LoadFromStream(core::TStream& stream)
{
    const std::uint64_t start = stream.Position();
    try {
        std::vector<std::uint8_t> holder;
        const std::span<const std::uint8_t> bytes = stream.ViewRemaining(base::Limits().maxInputBytes, holder);
        stream.SetPosition(start + Load(bytes));
    } catch (...) {
        stream.SetPosition(start);
        throw;
    }
}

void TGIFImage::LoadFromBytes(std::span<const std::uint8_t> bytes)
{
    Load(bytes);
}

std::size_t TGIFImage::Load(std::span<const std::uint8_t> bytes)
{
    Clear();
    TLoadingScope loading(m_loading);
    m_pixelBudget = base::Limits().maxPixels + kFramePixelsPerByte * bytes.size();
    base::ByteCursor cursor(bytes, &ThrowPrematureEnd);

    m_header.LoadFromCursor(cursor);

    auto skipZeros = [&] {
        while (!cursor.atEnd() && cursor.peek() == 0)
            cursor.u8();
    };
    skipZeros();
    while (!cursor.atEnd()) {
        const std::uint8_t next = cursor.peek();
        if (next == kTrailer)
            break;
        if (next != 0x21 && next != 0x2C) {
            Warning(kSUnknownBlock);
            break;
        }
        auto frame = std::make_unique<TGIFSubImage>(this);
        frame->LoadFromCursor(cursor);
        m_images.push_back(std::move(frame));
        skipZeros();
    }

    // The logical screen grows to hold every frame.
    int width = m_header.Width();
    int height = m_header.Height();
    for (const auto& frame : m_images) {
        width = std::max(width, frame->Left() + frame->Width());
        height = std::max(height, frame->Top() + frame->Height());
    }
    m_header.SetWidth(width);
    m_header.SetHeight(height);

    if (!cursor.atEnd() && cursor.u8() != kTrailer)
        Warning(kSBadTrailer);
    Changed();
    return cursor.position();
}

// ---------------------------------------------------------------------------
// Writing

std::vector<std::uint8_t> TGIFImage::SaveToBytes() const
{
    if (m_images.empty())
        throw GIFException(kSBadVersion);
    // Sizes and places that the 16-bit fields cannot hold are refused rather
    // than written truncated (a logical screen grown while reading may be).
    bool fits = m_header.Width() <= kMaxGIFDimension && m_header.Height() <= kMaxGIFDimension;
    for (const auto& frame : m_images)
        fits = fits && frame->Left() <= kMaxGIFDimension && frame->Top() <= kMaxGIFDimension;
    if (!fits)
        throw GIFException(kSTooLarge);
    int bits = TGIFColorMap::BitsForColors(m_header.ColorMap().Count());
    for (const auto& frame : m_images)
        bits = std::max(bits, TGIFColorMap::BitsForColors(frame->ColorMap().Count()));

    std::vector<std::uint8_t> out;
    m_header.SaveToBuffer(out, Version(), bits);
    for (const auto& frame : m_images)
        frame->SaveToBuffer(out, bits);
    out.push_back(kTrailer);
    return out;
}

void TGIFImage::SaveToStream(core::TStream& stream)
{
    stream.WriteBuffer(SaveToBytes());
}

void WriteGIF(const core::TBitmap& bitmap, core::TStream& stream)
{
    TGIFImage gif;
    gif.SetGifReduction(TColorReduction::OctreeWithSystemColors);
    gif.Assign(&bitmap);
    gif.SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// Assign

void TGIFImage::Assign(const core::TGraphic* source)
{
    if (source == nullptr) {
        Clear();
        Changed();
    } else if (const auto* bitmap = dynamic_cast<const core::TBitmap*>(source)) {
        AssignBitmap(*bitmap);
    } else if (const auto* gif = dynamic_cast<const TGIFImage*>(source)) {
        AssignGIF(*gif);
    } else {
        core::TGraphic::Assign(source);
    }
}

void TGIFImage::AssignGIF(const TGIFImage& source)
{
    if (&source == this)
        return;
    Clear();
    m_header.CopyFrom(source.m_header);
    for (const auto& frame : source.m_images)
        m_images.push_back(frame->Clone(this));
    m_reduction = source.m_reduction;
    m_transparent = source.m_transparent;
    Changed();
}

void TGIFImage::AssignBitmap(const core::TBitmap& bitmap)
{
    Clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    if (bitmap.Empty()) {
        m_images.push_back(std::move(frame));
        Changed();
        return;
    }
    // The size fields of the file hold 16 bits; larger bitmaps are refused
    // rather than written with truncated sizes.
    if (bitmap.Width() > kMaxGIFDimension || bitmap.Height() > kMaxGIFDimension)
        throw GIFException(kSTooLarge);
    frame->SetSize(bitmap.Width(), bitmap.Height());

    const core::TBitmapImage& image = bitmap.Image();
    const auto width = static_cast<std::size_t>(image.width);
    std::uint8_t* pixels = frame->MutableData().data();
    gdi::TLogPalette palette;
    const int bitCount = image.bitCount;
    if ((bitCount == 1 || bitCount == 4 || bitCount == 8) && image.compression == core::BI_RGB) {
        // Indexed bitmaps keep their colour table and indices.
        palette = image.palette;
        for (int y = 0; y < image.height; ++y) {
            const std::uint8_t* row = image.Row(y);
            std::uint8_t* out = pixels + static_cast<std::size_t>(y) * width;
            for (std::size_t x = 0; x < width; ++x) {
                if (bitCount == 8)
                    out[x] = row[x];
                else if (bitCount == 4)
                    out[x] = static_cast<std::uint8_t>((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4);
                else
                    out[x] = static_cast<std::uint8_t>((row[x / 8] >> (7 - (x & 7))) & 1);
            }
        }
    } else {
        ReduceColorsTo(bitmap, m_reduction, palette, pixels);
    }
    frame->ColorMap().Assign(palette);

    if (bitmap.Transparent()) {
        // Pixels of the bitmap's transparent colour get an entry of their
        // own, appended after the used colours, unless the table is full.
        frame->SortByUsage();
        TGIFLocalColorMap& map = frame->ColorMap();
        if (map.Count() > 0 && map.Count() < TGIFColorMap::kMaxColors) {
            const int index = map.Add({0, 0, 0});
            const core::TColor key = core::ColorToRGB(bitmap.TransparentColor());
            const std::uint8_t keyBgr[3] = {core::GetBValue(key), core::GetGValue(key), core::GetRValue(key)};
            pixels = frame->MutableData().data();
            std::vector<std::uint8_t> bgra(width * 4);
            bool any = false;
            for (int y = 0; y < image.height; ++y) {
                core::UnpackRow(image, image.Row(y), image.width, bgra.data());
                std::uint8_t* out = pixels + static_cast<std::size_t>(y) * width;
                for (std::size_t x = 0; x < width; ++x)
                    if (std::memcmp(bgra.data() + 4 * x, keyBgr, 3) == 0) {
                        out[x] = static_cast<std::uint8_t>(index);
                        any = true;
                    }
            }
            if (any) {
                auto control = std::make_unique<TGIFGraphicControlExtension>(frame.get());
                control->SetTransparent(true);
                control->SetTransparentColorIndex(static_cast<std::uint8_t>(index));
                frame->AddExtension(std::move(control));
            } else {
                map.Delete(index);
            }
        }
    }
    m_images.push_back(std::move(frame));
    Changed();
}

// ---------------------------------------------------------------------------
// Size, palette, drawing

void TGIFImage::SetWidth(int width)
{
    for (const auto& frame : m_images)
        if (frame->Left() + frame->Width() > width)
            throw GIFException(kSWidthTooSmall);
    if (width != m_header.Width()) {
        m_header.SetWidth(width);
        Changed();
    }
}

void TGIFImage::SetHeight(int height)
{
    for (const auto& frame : m_images)
        if (frame->Top() + frame->Height() > height)
            throw GIFException(kSHeightTooSmall);
    if (height != m_header.Height()) {
        m_header.SetHeight(height);
        Changed();
    }
}

gdi::TLogPalette TGIFImage::Palette() const
{
    if (m_header.ColorMap().Count() > 0)
        return m_header.ColorMap().Palette();
    if (m_images.empty())
        return {};
    const TGIFLocalColorMap& local = m_images.front()->ColorMap();
    if (local.Count() == 0)
        throw GIFException(kSNoColorTable);
    return local.Palette();
}

void TGIFImage::Draw(core::TCanvas& canvas, const core::TRect& rect) const
{
    if (m_images.empty())
        return;
    const TGIFSubImage& frame = *m_images.front();
    const int screenWidth = Width();
    const int screenHeight = Height();
    if (frame.Empty() || screenWidth <= 0 || screenHeight <= 0)
        return;
    const core::TBitmap& bitmap = frame.DrawingBitmap();
    // The frame's place on the logical screen, scaled into rect.
    const core::TRect target {rect.Left + base::MulDiv(frame.Left(), rect.Width(), screenWidth),
                              rect.Top + base::MulDiv(frame.Top(), rect.Height(), screenHeight),
                              rect.Left + base::MulDiv(frame.Left() + frame.Width(), rect.Width(), screenWidth),
                              rect.Top + base::MulDiv(frame.Top() + frame.Height(), rect.Height(), screenHeight)};
    canvas.DrawBitmap(target, bitmap);
}

bool IsGIF(std::span<const std::uint8_t> bytes) noexcept
{
    // Six bytes of signature and version at offset; the cursor never reads
    // past the three it is given.
    auto at = [&](std::size_t offset) {
        if (bytes.size() < offset + 6)
            return false;
        base::ByteCursor signature(bytes.subspan(offset, 3));
        return (signature.u8() & 0xDF) == 'G' && (signature.u8() & 0xDF) == 'I' && (signature.u8() & 0xDF) == 'F';
    };
    return at(0) || at(4);
}

}  // namespace scalopex::formats
