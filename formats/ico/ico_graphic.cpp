// Icon and cursor files, little-endian: a directory (reserved 0, type 1 for
// icons or 2 for cursors, the entry count) and 16 bytes per entry, of which
// the data offset is used; the size and depth the directory states are not
// trusted, each entry's own header is read instead. Entry data is PNG, or a
// BMP info header with its colour table and pixels (the height counts the
// AND mask too), followed by the AND mask: one bit per pixel, rows bottom
// up and padded to 32 bits, 1 marking a transparent pixel. A 32-bit image
// whose fourth bytes are not all 0 carries its own alpha instead.

#include "formats/ico/ico_graphic.h"

#include <algorithm>
#include <cstring>

#include "base/checked_math.h"
#include "base/exceptions.h"
#include "core/bmp_file.h"
#include "core/stream.h"
#include "formats/png/png_graphic.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TIcon, TReaderGraphic)

namespace {

constexpr const char* kShortName = "ICO";
constexpr std::uint8_t kPNGSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaxInfoHeaderSize = 124;
constexpr std::size_t kBmpFileHeaderSize = 14;

[[noreturn]] void Invalid()
{
    throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kShortName));
}

struct TDirectory {
    std::uint16_t reserved = 0;
    std::uint16_t type = 0;
    std::uint16_t count = 0;
    bool Valid() const { return reserved == 0 && (type == 1 || type == 2) && count > 0; }
};

TDirectory ReadDirectory(base::ByteCursor& in)
{
    return {in.u16le(), in.u16le(), in.u16le()};
}

// The entries' data offsets (the directory must be whole).
std::vector<std::uint32_t> ReadOffsets(base::ByteCursor& in, std::size_t count)
{
    base::ByteCursor entries = in.sub(count * ico::kEntrySize);
    std::vector<std::uint32_t> offsets(count);
    for (std::uint32_t& offset : offsets) {
        entries.skip(12);
        offset = entries.u32le();
    }
    return offsets;
}

std::span<const std::uint8_t> EntryData(std::span<const std::uint8_t> file, std::uint32_t offset)
{
    return offset < file.size() ? file.subspan(offset) : std::span<const std::uint8_t>();
}

// Samples per pixel of a PNG colour type.
unsigned PNGChannels(unsigned colourType)
{
    switch (colourType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

// The row stride of a BMP pixel array.
std::size_t Stride(std::size_t width, std::size_t bits)
{
    return base::checkedMul(base::checkedAdd(base::checkedMul(width, bits), 31) / 32, 4);
}

}  // namespace

namespace ico {

std::optional<TEntryImage> ProbeEntry(std::span<const std::uint8_t> data) noexcept
{
    TEntryImage image;
    if (data.size() >= 26 && std::equal(std::begin(kPNGSignature), std::end(kPNGSignature), data.begin())) {
        base::ByteCursor in(data.subspan(16));
        image.png = true;
        image.width = in.u32be();
        image.height = in.u32be();
        const unsigned bits = in.u8();
        image.depth = bits * PNGChannels(in.u8());
    } else if (data.size() >= kCoreHeaderSize) {
        base::ByteCursor in(data);
        const std::uint32_t size = in.u32le();
        if (size == kCoreHeaderSize) {
            image.width = in.u16le();
            image.height = in.u16le() / 2;
        } else if (size >= kInfoHeaderSize && size <= kMaxInfoHeaderSize && data.size() >= 16) {
            image.width = in.i32le();
            image.height = in.i32le() / 2;
        } else {
            return std::nullopt;
        }
        in.skip(2);
        image.depth = in.u16le();
        const unsigned d = image.depth;
        if (d != 1 && d != 4 && d != 8 && d != 16 && d != 24 && d != 32)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    // No image format here holds more than 2^31 - 1 pixels a side, which
    // also keeps the pixel count of ChooseEntry from overflowing.
    if (image.width <= 0 || image.height <= 0 || image.width > INT32_MAX || image.height > INT32_MAX)
        return std::nullopt;
    return image;
}

std::optional<std::size_t> ChooseEntry(std::span<const std::optional<TEntryImage>> entries) noexcept
{
    std::optional<std::size_t> best;
    auto key = [&](std::size_t i) { return std::pair(entries[i]->width * entries[i]->height, entries[i]->depth); };
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] && (!best || key(i) > key(*best)))
            best = i;
    return best;
}

}  // namespace ico

TIcon::TIcon() = default;
TIcon::~TIcon() = default;

bool IsIcon(std::span<const std::uint8_t> start) noexcept
{
    if (start.size() < ico::kDirectoryHeaderSize + ico::kEntrySize)
        return false;
    base::ByteCursor in(start);
    return ReadDirectory(in).Valid() && start[ico::kDirectoryHeaderSize + 3] == 0;
}

bool TIcon::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    std::uint8_t bytes[ico::kDirectoryHeaderSize + ico::kEntrySize];
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return IsIcon({bytes, got});
}

bool TIcon::ParseImageDescription(base::ByteCursor& input, int)
{
    const std::span<const std::uint8_t> file = input.rest();
    const TDirectory directory = ReadDirectory(input);
    if (!directory.Valid())
        return false;
    const std::vector<std::uint32_t> offsets = ReadOffsets(input, directory.count);
    std::vector<std::optional<ico::TEntryImage>> entries(offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i)
        entries[i] = ico::ProbeEntry(EntryData(file, offsets[i]));
    const std::optional<std::size_t> chosen = ico::ChooseEntry(entries);
    if (!chosen)
        return false;
    const ico::TEntryImage& image = *entries[*chosen];
    TImageProperties& d = ImageDescription;
    d.ImageTotal = static_cast<std::int16_t>(directory.count);
    d.ImageWidth = static_cast<std::int32_t>(std::min<std::int64_t>(image.width, INT32_MAX));
    d.ImageHeight = static_cast<std::int32_t>(std::min<std::int64_t>(image.height, INT32_MAX));
    d.Scheme = ColorScheme::BGRA;
    d.SampleCount = 4;
    d.SampleBits = 8;
    d.PixelBits = 32;
    d.HasAlphaChannel = true;
    d.Compression = image.png ? CompressionKind::LZ77 : CompressionKind::None;
    return true;
}

TRasterPlan TIcon::ReadHeader(base::ByteCursor& input)
{
    m_png.reset();
    m_dib.reset();
    m_mask = {};
    m_alphaFromPixels = false;

    base::ByteCursor description = input;
    if (!ParseImageDescription(description, 0))
        Invalid();
    const std::span<const std::uint8_t> file = input.rest();
    const TDirectory directory = ReadDirectory(input);
    const std::vector<std::uint32_t> offsets = ReadOffsets(input, directory.count);
    std::vector<std::optional<ico::TEntryImage>> entries(offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i)
        entries[i] = ico::ProbeEntry(EntryData(file, offsets[i]));
    const std::optional<std::size_t> chosen = ico::ChooseEntry(entries);
    if (!chosen)
        Invalid();
    const std::span<const std::uint8_t> data = EntryData(file, offsets[*chosen]);

    TRasterPlan plan;
    plan.pixelFormat = core::pf32bit;
    if (entries[*chosen]->png) {
        m_png = std::make_unique<TPNGGraphic>();
        core::TMemoryStream stream(std::vector<std::uint8_t>(data.begin(), data.end()));
        m_png->LoadFromStream(stream);
        plan.width = m_png->Width();
        plan.height = m_png->Height();
        return plan;
    }

    // The BMP data as a BMP file image whose height leaves out the mask.
    base::ByteCursor header(data);
    const std::uint32_t headerSize = header.u32le();
    const bool core = headerSize == kCoreHeaderSize;
    std::vector<std::uint8_t> bmp(kBmpFileHeaderSize + data.size(), 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    std::memcpy(bmp.data() + kBmpFileHeaderSize, data.data(), data.size());
    std::uint8_t* dib = bmp.data() + kBmpFileHeaderSize;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t compression = core::BI_RGB;
    std::uint32_t colours = 0;
    unsigned bits = 0;
    if (core) {
        width = header.u16le();
        height = header.u16le() / 2;
        header.skip(2);
        bits = header.u16le();
        dib[6] = static_cast<std::uint8_t>(height);
        dib[7] = static_cast<std::uint8_t>(height >> 8);
    } else {
        width = header.i32le();
        height = header.i32le() / 2;
        header.skip(2);
        bits = header.u16le();
        compression = header.u32le();
        header.skip(12);
        colours = header.u32le();
        for (int k = 0; k < 4; ++k)
            dib[8 + k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(height) >> (8 * k));
    }
    m_dib = core::bmp::Read(bmp);
    plan.width = m_dib->width;
    plan.height = m_dib->height;

    const bool packed = compression == core::BI_RGB || compression == core::BI_BITFIELDS;
    if (bits == 32 && compression == core::BI_RGB) {
        for (int y = 0; y < m_dib->height && !m_alphaFromPixels; ++y) {
            const std::uint8_t* row = m_dib->Row(y);
            for (std::int64_t x = 0; x < width; ++x)
                if (row[4 * x + 3] != 0) {
                    m_alphaFromPixels = true;
                    break;
                }
        }
    }
    if (packed && !m_alphaFromPixels) {
        // The mask follows the colour table and the pixels.
        if (bits <= 8 && colours == 0)
            colours = 1u << bits;
        const std::size_t masks = headerSize == kInfoHeaderSize && compression == core::BI_BITFIELDS ? 12 : 0;
        const std::size_t table =
            base::checkedMul(std::min<std::size_t>(colours, gdi::kMaxPaletteEntries), core ? 3 : 4);
        const std::size_t pixels =
            base::checkedMul(Stride(static_cast<std::size_t>(width), bits), static_cast<std::size_t>(height));
        const std::size_t at = base::checkedAdd(base::checkedAdd(headerSize, masks), base::checkedAdd(table, pixels));
        m_maskStride = Stride(static_cast<std::size_t>(width), 1);
        if (at < data.size())
            m_mask = data.subspan(
                at, std::min(data.size() - at, base::checkedMul(m_maskStride, static_cast<std::size_t>(height))));
    }
    return plan;
}

void TIcon::DecodeRows(base::ByteCursor&, TRowSink& sink)
{
    const int width = sink.Width();
    const int height = sink.Height();
    if (width == 0 || height == 0)
        return;
    const core::TBitmapImage& image = m_png ? m_png->Image() : *m_dib;
    const bool pixelAlpha = m_png ? m_png->HasAlpha() : m_alphaFromPixels;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* bgra = sink.Row(y).data();
        core::UnpackRow(image, image.Row(y), width, bgra);
        if (pixelAlpha)
            continue;
        const std::size_t maskRow = static_cast<std::size_t>(height - 1 - y) * m_maskStride;
        const std::uint8_t* mask = maskRow + m_maskStride <= m_mask.size() ? m_mask.data() + maskRow : nullptr;
        for (int x = 0; x < width; ++x) {
            const bool transparent = mask != nullptr && ((mask[x >> 3] >> (7 - (x & 7))) & 1) != 0;
            bgra[4 * x + 3] = transparent ? 0 : 255;
        }
    }
    SetHasAlpha(true);
    m_png.reset();
    m_dib.reset();
    m_mask = {};
}

}  // namespace scalopex::formats
