// Windows metafiles. Reads enhanced metafiles (EMF, told by the header
// record's type and " EMF" signature) and old-format metafiles that start
// with a placeable header (key 0x9AC6CDD7 and a correct checksum); the
// content decides, not the extension. Old-format records are converted into
// an enhanced picture, so every metafile holds EMF bytes. Writes EMF only.
// Pictures whose reference device or frame has no size, or whose size in
// pixels passes the engine's limits, are refused at load.

#include "formats/metafile/metafile_graphic.h"

#include <algorithm>
#include <array>
#include <vector>

#include "base/byte_cursor.h"
#include "base/checked_math.h"
#include "base/limits.h"
#include "platform/gdi/player.h"
#include "platform/gdi/screen.h"

namespace scalopex::formats {

namespace {

constexpr const char* kSInvalidMetafile = "Metafile is not valid";
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::size_t kPlaceableBytes = 22;
constexpr std::size_t kEmfProbeBytes = 100;

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(kSInvalidMetafile);
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

bool LooksLikeEmf(std::span<const std::uint8_t> b)
{
    return b.size() >= 44 && U32(b, 0) == gdi::kEmrHeader && U32(b, 40) == gdi::kEmfSignature;
}

struct TPlaceable {
    std::int16_t left = 0, top = 0, right = 0, bottom = 0;
    std::uint16_t unitsPerInch = 0;
};

// The placeable header, or nothing when its key or checksum is wrong.
std::optional<TPlaceable> ReadPlaceable(std::span<const std::uint8_t> b)
{
    if (b.size() < kPlaceableBytes)
        return std::nullopt;
    base::ByteCursor c(b);
    if (c.u32le() != kPlaceableKey)
        return std::nullopt;
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<std::uint16_t>(b[i] | (b[i + 1] << 8));
    c.skip(2);
    TPlaceable p;
    p.left = c.i16le();
    p.top = c.i16le();
    p.right = c.i16le();
    p.bottom = c.i16le();
    p.unitsPerInch = c.u16le();
    c.skip(4);
    if (c.u16le() != sum)
        return std::nullopt;
    return p;
}

}  // namespace

SCALOPEX_DEFINE_GRAPHIC_CLASS(TMetafile, core::TGraphic)

TMetafile::TMetafile() : m_image(std::make_shared<TMetafileImage>())
{
    m_transparent = true;
}

TMetafileImage& TMetafile::Unique()
{
    if (m_image.use_count() > 1) {
        auto copy = std::make_shared<TMetafileImage>();
        if (m_image->picture)
            copy->picture = gdi::CopyEnhMetaFileA(*m_image->picture);
        copy->FrameWidth = m_image->FrameWidth;
        copy->FrameHeight = m_image->FrameHeight;
        copy->UnitsPerInch = m_image->UnitsPerInch;
        copy->PendingWidth = m_image->PendingWidth;
        copy->PendingHeight = m_image->PendingHeight;
        copy->palette = m_image->palette;
        m_image = std::move(copy);
    }
    return *m_image;
}

void TMetafile::Assign(const core::TGraphic* source)
{
    if (source == nullptr) {
        m_image = std::make_shared<TMetafileImage>();
        m_enhanced = true;
        Changed();
        return;
    }
    if (source->ClassType().InheritsFrom(TMetafile::StaticClass())) {
        const auto& other = static_cast<const TMetafile&>(*source);
        m_image = other.m_image;
        m_enhanced = other.m_enhanced;
        Changed();
        return;
    }
    core::TGraphic::Assign(source);
}

int TMetafile::Width() const
{
    const TMetafileImage& i = *m_image;
    if (i.UnitsPerInch != 0)
        return base::MulDiv(i.FrameWidth, gdi::ScreenMetrics().pixelsPerInchY, 2540);
    if (i.picture) {
        const auto& h = gdi::GetEnhMetaFileHeader(*i.picture);
        return base::MulDiv(i.FrameWidth, h.szlDevice.cx, h.szlMillimeters.cx * 100);
    }
    return i.PendingWidth;
}

int TMetafile::Height() const
{
    const TMetafileImage& i = *m_image;
    if (i.UnitsPerInch != 0)
        return base::MulDiv(i.FrameHeight, gdi::ScreenMetrics().pixelsPerInchY, 2540);
    if (i.picture) {
        const auto& h = gdi::GetEnhMetaFileHeader(*i.picture);
        return base::MulDiv(i.FrameHeight, h.szlDevice.cy, h.szlMillimeters.cy * 100);
    }
    return i.PendingHeight;
}

void TMetafile::SetWidth(int width)
{
    TMetafileImage& i = Unique();
    int frame = 0;
    if (i.UnitsPerInch != 0) {
        frame = base::MulDiv(width, 2540, gdi::ScreenMetrics().pixelsPerInchY);
    } else if (i.picture) {
        const auto& h = gdi::GetEnhMetaFileHeader(*i.picture);
        frame = base::MulDiv(width, h.szlMillimeters.cx * 100, h.szlDevice.cx);
    } else {
        i.PendingWidth = width;
        return;
    }
    i.PendingWidth = 0;
    i.PendingHeight = 0;
    if (frame != i.FrameWidth) {
        i.FrameWidth = frame;
        Changed();
    }
}

void TMetafile::SetHeight(int height)
{
    TMetafileImage& i = Unique();
    int frame = 0;
    if (i.UnitsPerInch != 0) {
        frame = base::MulDiv(height, 2540, gdi::ScreenMetrics().pixelsPerInchY);
    } else if (i.picture) {
        const auto& h = gdi::GetEnhMetaFileHeader(*i.picture);
        frame = base::MulDiv(height, h.szlMillimeters.cy * 100, h.szlDevice.cy);
    } else {
        i.PendingHeight = height;
        return;
    }
    i.PendingWidth = 0;
    i.PendingHeight = 0;
    if (frame != i.FrameHeight) {
        i.FrameHeight = frame;
        Changed();
    }
}

gdi::TLogPalette TMetafile::Palette() const
{
    const TMetafileImage& i = *m_image;
    if (!i.picture)
        return {};
    if (!i.palette) {
        gdi::TLogPalette entries = gdi::GetEnhMetaFilePaletteEntries(*i.picture);
        if (entries.size() > gdi::kMaxPaletteEntries)
            entries.resize(gdi::kMaxPaletteEntries);
        i.palette = std::move(entries);
    }
    return *i.palette;
}

void TMetafile::CheckSize() const
{
    const TMetafileImage& i = *m_image;
    if (i.FrameWidth <= 0 || i.FrameHeight <= 0)
        Invalid();
    const int w = Width(), h = Height();
    // MulDiv answers -1 when the size does not fit in 32 bits.
    if (w < 0 || h < 0)
        throw base::ELimitExceeded("The metafile's size in pixels exceeds the engine's limits");
    if (w == 0 || h == 0)
        Invalid();
    base::CheckRasterSize(w, h, 24);
}

void TMetafile::LoadFromStream(core::TStream& stream)
{
    try {
        const std::uint64_t remaining = stream.Size() - std::min(stream.Size(), stream.Position());
        bool emf = false;
        if (remaining > kEmfProbeBytes) {
            std::uint8_t probe[kEmfProbeBytes];
            stream.ReadBuffer(probe, kEmfProbeBytes);
            stream.SetPosition(stream.Position() - kEmfProbeBytes);
            emf = LooksLikeEmf(probe);
        }
        if (emf)
            LoadEmf(stream);
        else
            LoadWmf(stream);
        CheckSize();
    } catch (...) {
        m_image = std::make_shared<TMetafileImage>();
        throw;
    }
    Changed();
}

void TMetafile::LoadEmf(core::TStream& stream)
{
    std::array<std::uint8_t, kEmfProbeBytes> header{};
    stream.ReadBuffer(header.data(), kEmfProbeBytes);
    if (!LooksLikeEmf(header))
        Invalid();
    const std::uint32_t total = U32(header, 48);
    if (total < kEmfProbeBytes)
        Invalid();
    const std::uint64_t left = stream.Size() - std::min(stream.Size(), stream.Position());
    // The stream ending inside the records is a read error; check before
    // allocating what the header claims.
    if (total - kEmfProbeBytes > left)
        throw base::EReadError();
    if (total > base::Limits().maxInputBytes)
        throw base::ELimitExceeded("The metafile exceeds the engine's input limit");
    std::vector<std::uint8_t> bytes(total);
    std::copy(header.begin(), header.end(), bytes.begin());
    stream.ReadBuffer(bytes.data() + kEmfProbeBytes, total - kEmfProbeBytes);

    auto picture = gdi::SetEnhMetaFileBits(std::move(bytes));
    if (!picture)
        Invalid();
    auto image = std::make_shared<TMetafileImage>();
    const auto& frame = gdi::GetEnhMetaFileHeader(*picture).rclFrame;
    image->FrameWidth = static_cast<int>(static_cast<std::int64_t>(frame.right) - frame.left);
    image->FrameHeight = static_cast<int>(static_cast<std::int64_t>(frame.bottom) - frame.top);
    if (static_cast<std::int64_t>(frame.right) - frame.left > 0x7FFFFFFF ||
        static_cast<std::int64_t>(frame.bottom) - frame.top > 0x7FFFFFFF)
        Invalid();
    image->picture = std::move(picture);
    m_image = std::move(image);
    m_enhanced = true;
}

void TMetafile::LoadWmf(core::TStream& stream)
{
    std::uint8_t header[kPlaceableBytes];
    stream.ReadBuffer(header, kPlaceableBytes);
    const auto placeable = ReadPlaceable(header);
    if (!placeable)
        Invalid();
    const std::uint64_t left = stream.Size() - std::min(stream.Size(), stream.Position());
    if (left > base::Limits().maxInputBytes)
        throw base::ELimitExceeded("The metafile exceeds the engine's input limit");
    std::vector<std::uint8_t> records(static_cast<std::size_t>(left));
    stream.ReadBuffer(records.data(), records.size());

    auto image = std::make_shared<TMetafileImage>();
    image->UnitsPerInch = placeable->unitsPerInch;
    const int u = placeable->unitsPerInch != 0 ? placeable->unitsPerInch : 96;
    image->FrameWidth = base::MulDiv(placeable->right - placeable->left, 2540, u);
    image->FrameHeight = base::MulDiv(placeable->bottom - placeable->top, 2540, u);

    // Two conversions: the first lets the converter choose the frame, the
    // second maps the records onto that frame.
    const gdi::TRectL box{placeable->left, placeable->top, placeable->right, placeable->bottom};
    auto first = gdi::SetWinMetaFileBits(records, gdi::TMetaFilePict{8, 0, 0}, box);
    if (!first)
        Invalid();
    const gdi::TRectL frame = gdi::GetEnhMetaFileHeader(*first).rclFrame;
    gdi::DeleteEnhMetaFile(first);
    auto picture = gdi::SetWinMetaFileBits(records, gdi::TMetaFilePict{8, frame.right, frame.bottom}, box);
    if (!picture)
        Invalid();
    image->picture = std::move(picture);
    m_image = std::move(image);
    m_enhanced = false;
}

void TMetafile::SaveToStream(core::TStream& stream)
{
    if (m_image->picture)
        stream.WriteBuffer(gdi::GetEnhMetaFileBits(*m_image->picture));
}

void TMetafile::Draw(core::TCanvas& canvas, const core::TRect& rect) const
{
    const TMetafileImage& i = *m_image;
    if (!i.picture || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    // The picture is played onto a white raster of the rectangle's size,
    // which the canvas then takes.
    base::CheckRasterSize(rect.Width(), rect.Height(), 24);
    core::TBitmap raster;
    raster.SetPixelFormat(core::pf24bit);
    raster.SetSize(rect.Width(), rect.Height());
    gdi::TPlayTarget target;
    target.pixels = raster.ScanLine(0);
    target.width = rect.Width();
    target.height = rect.Height();
    target.stride =
        rect.Height() > 1 ? raster.ScanLine(1) - raster.ScanLine(0) : static_cast<std::ptrdiff_t>(raster.RowBytes());
    gdi::PlayEnhMetaFile(target, *i.picture, gdi::TRectL{0, 0, rect.Width(), rect.Height()});
    canvas.DrawBitmap(rect, raster);
}

// ---- recording -----------------------------------------------------------------

TMetafileCanvas::TMetafileCanvas(TMetafile& metafile) : m_metafile(metafile)
{
    const gdi::TScreenMetrics& screen = gdi::ScreenMetrics();
    if (screen.widthPixels <= 0 || screen.heightPixels <= 0 || screen.widthMillimetres <= 0 ||
        screen.heightMillimetres <= 0)
        throw base::EOutOfResources();
    TMetafileImage& i = metafile.Unique();
    // The raster's pixels in 0.01 mm at the screen's physical resolution.
    if (i.FrameWidth == 0)
        i.FrameWidth = i.PendingWidth != 0
                           ? base::MulDiv(i.PendingWidth, screen.widthMillimetres * 100, screen.widthPixels)
                           : screen.widthMillimetres * 100;
    if (i.FrameHeight == 0)
        i.FrameHeight = i.PendingHeight != 0
                            ? base::MulDiv(i.PendingHeight, screen.heightMillimetres * 100, screen.heightPixels)
                            : screen.heightMillimetres * 100;
    m_recorder = gdi::CreateEnhMetaFileA(screen, gdi::TRectL{0, 0, i.FrameWidth, i.FrameHeight});
    if (!m_recorder)
        throw base::EOutOfResources();
}

TMetafileCanvas::~TMetafileCanvas()
{
    try {
        Close();
    } catch (...) {
        // a destructor must not throw; the metafile keeps its old picture
    }
}

void TMetafileCanvas::Close()
{
    if (!m_recorder)
        return;
    auto picture = gdi::CloseEnhMetaFile(std::move(m_recorder));
    if (!picture)
        throw base::EOutOfResources();
    TMetafileImage& i = m_metafile.Unique();
    const auto& frame = gdi::GetEnhMetaFileHeader(*picture).rclFrame;
    i.picture = std::move(picture);
    i.palette.reset();
    i.PendingWidth = 0;
    i.PendingHeight = 0;
    i.FrameWidth = frame.right - frame.left;
    i.FrameHeight = frame.bottom - frame.top;
    m_metafile.Changed();
}

void TMetafileCanvas::DrawBitmap(const core::TRect& rect, const core::TBitmap& source)
{
    if (!m_recorder || source.Empty() || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    const core::TBitmap* rows = &source;
    core::TBitmap converted;
    if (source.PixelFormat() != core::pf24bit) {
        converted.Assign(&source);
        converted.SetPixelFormat(core::pf24bit);
        rows = &converted;
    }
    std::vector<const std::uint8_t*> lines(static_cast<std::size_t>(rows->Height()));
    for (int y = 0; y < rows->Height(); ++y)
        lines[static_cast<std::size_t>(y)] = rows->ScanLineRead(y);
    std::uint32_t key = 0;
    if (source.Transparent())
        key = core::ColorToRGB(source.TransparentColor());
    m_recorder->DrawRaster(rect.Left, rect.Top, rect.Width(), rect.Height(), rows->Width(), rows->Height(), lines,
                           source.Transparent() ? &key : nullptr);
}

void TMetafileCanvas::FillRect(const core::TRect& rect)
{
    if (!m_recorder || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    // One pixel of the brush colour stretched over the rectangle.
    const core::TColor c = core::ColorToRGB(BrushColor());
    const std::uint8_t pixel[3] = {core::GetBValue(c), core::GetGValue(c), core::GetRValue(c)};
    const std::uint8_t* row = pixel;
    m_recorder->DrawRaster(rect.Left, rect.Top, rect.Width(), rect.Height(), 1, 1, {&row, 1}, nullptr);
}

bool IsMetafile(std::span<const std::uint8_t> start) noexcept
{
    return LooksLikeEmf(start) || ReadPlaceable(start).has_value();
}

}  // namespace scalopex::formats
