// The blocks of a GIF file (GIF89a, sections 17 to 27): colour
// tables, logical screen descriptor, image descriptor with its image data,
// and the graphic control, comment, plain text and application extensions.
// Data sub-blocks that end early are kept as far as they go, with a warning;
// fixed-size parts that end early fail the load.

#include "formats/gif/gif_items.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "base/limits.h"
#include "formats/gif/gif_image.h"
#include "formats/gif/gif_lzw.h"

namespace scalopex::formats {

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;  // '!'
constexpr std::uint8_t kImageSeparator = 0x2C;  // ','
constexpr std::uint8_t kTrailer = 0x3B;  // ';'

void PutU16(std::vector<std::uint8_t>& out, int value)
{
    // The size fields hold 16 bits; larger values are refused before writing.
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// Calls f with every data sub-block up to the zero terminator. Data that ends
// early gives the warning "Premature end of data" and ends the blocks.
template <typename F>
void ReadSubBlocks(base::ByteCursor& cursor, const TGIFImage* image, F f)
{
    for (;;) {
        if (cursor.atEnd()) {
            if (image != nullptr)
                image->Warning(kSPrematureEnd);
            return;
        }
        const std::size_t length = cursor.u8();
        if (length == 0)
            return;
        const std::span<const std::uint8_t> block = cursor.bytesUpTo(length);
        if (!block.empty())
            f(block);
        if (block.size() < length) {
            if (image != nullptr)
                image->Warning(kSPrematureEnd);
            return;
        }
    }
}

void WriteSubBlocks(std::vector<std::uint8_t>& out, std::string_view data)
{
    while (!data.empty()) {
        const std::size_t n = std::min<std::size_t>(data.size(), 255);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        data.remove_prefix(n);
    }
}

// Takes the 6 bytes of signature and version; true when they start with
// "GIF" in either case.
bool ReadSignature(base::ByteCursor& cursor)
{
    base::ByteCursor signature = cursor.sub(6);
    for (const char letter : {'G', 'I', 'F'})
        if ((signature.u8() & 0xDF) != letter)
            return false;
    return true;
}

[[noreturn]] void ThrowInvalidData()
{
    throw GIFException(kSInvalidData);
}

// The Quicksort of a colour table by pixel count, largest first. Its exact
// swaps matter: whether the table comes out unchanged decides whether unused
// entries are cut.
struct TUsage {
    std::uint32_t count;
    int index;
};

void SortUsage(std::vector<TUsage>& pairs, int left, int right)
{
    int i;
    do {
        i = left;
        int j = right;
        const std::uint32_t pivot = pairs[static_cast<std::size_t>((left + right) / 2)].count;
        do {
            while (pairs[static_cast<std::size_t>(i)].count > pivot)
                ++i;
            while (pairs[static_cast<std::size_t>(j)].count < pivot)
                --j;
            if (i <= j) {
                std::swap(pairs[static_cast<std::size_t>(i)], pairs[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            SortUsage(pairs, left, j);
        left = i;
    } while (i < right);
}

}  // namespace

// ---------------------------------------------------------------------------
// TGIFColorMap

int TGIFColorMap::Add(TGIFColor color)
{
    if (Count() >= kMaxColors)
        throw GIFException(kSColorTableOverflow);
    m_colors.push_back(color);
    m_sorted = false;
    return Count() - 1;
}

void TGIFColorMap::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_colors.erase(m_colors.begin() + index);
    m_sorted = false;
}

void TGIFColorMap::Clear()
{
    m_colors.clear();
    m_sorted = false;
}

void TGIFColorMap::SetColors(std::vector<TGIFColor> colors)
{
    if (colors.size() > static_cast<std::size_t>(kMaxColors))
        colors.resize(static_cast<std::size_t>(kMaxColors));
    m_colors = std::move(colors);
}

void TGIFColorMap::Assign(const gdi::TLogPalette& palette)
{
    m_colors.clear();
    const std::size_t count = std::min(palette.size(), static_cast<std::size_t>(kMaxColors));
    for (std::size_t i = 0; i < count; ++i)
        m_colors.push_back({palette[i].peRed, palette[i].peGreen, palette[i].peBlue});
    m_sorted = false;
}

gdi::TLogPalette TGIFColorMap::Palette() const
{
    gdi::TLogPalette palette;
    palette.reserve(m_colors.size());
    for (const TGIFColor& c : m_colors)
        palette.push_back({c.Red, c.Green, c.Blue, 0});
    return palette;
}

int TGIFColorMap::BitsForColors(int count)
{
    if (count <= 0)
        return 0;
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

void TGIFColorMap::LoadFromCursor(base::ByteCursor& cursor, int count)
{
    base::ByteCursor table = cursor.sub(static_cast<std::size_t>(count) * 3);
    m_colors.resize(static_cast<std::size_t>(count));
    for (TGIFColor& color : m_colors)
        color = {table.u8(), table.u8(), table.u8()};  // braced lists are evaluated left to right
}

void TGIFColorMap::SaveToBuffer(std::vector<std::uint8_t>& out) const
{
    const std::size_t written = std::size_t {1} << BitsForColors(Count());
    for (const TGIFColor& c : m_colors)
        out.insert(out.end(), {c.Red, c.Green, c.Blue});
    out.insert(out.end(), (written - m_colors.size()) * 3, 0);
}

// ---------------------------------------------------------------------------
// TGIFItem, TGIFHeader

void TGIFItem::Warning(const char* message) const
{
    if (m_image != nullptr)
        m_image->Warning(message);
}

void TGIFHeader::Clear()
{
    m_width = 0;
    m_height = 0;
    m_flags = 0;
    m_background = 0;
    m_aspect = 0;
    m_colorMap.Clear();
}

void TGIFHeader::CopyFrom(const TGIFHeader& other)
{
    m_width = other.m_width;
    m_height = other.m_height;
    m_flags = other.m_flags;
    m_background = other.m_background;
    m_aspect = other.m_aspect;
    m_colorMap = other.m_colorMap;
}

void TGIFHeader::LoadFromCursor(base::ByteCursor& cursor)
{
    const std::size_t start = cursor.position();
    if (!ReadSignature(cursor)) {
        // Some files carry 4 bytes of something else before the signature.
        cursor.seek(start + 4);
        if (!ReadSignature(cursor))
            throw GIFException(kSBadSignature);
    }
    m_width = cursor.u16le();
    m_height = cursor.u16le();
    m_flags = cursor.u8();
    m_background = cursor.u8();
    m_aspect = cursor.u8();
    m_colorMap.Clear();
    if (m_flags & 0x80) {
        m_colorMap.LoadFromCursor(cursor, 2 << (m_flags & 0x07));
        m_colorMap.SetSorted((m_flags & 0x08) != 0);
    }
}

void TGIFHeader::SaveToBuffer(std::vector<std::uint8_t>& out, TGIFVersion version, int bits) const
{
    const char* signature = version == TGIFVersion::gv89a ? "GIF89a" : "GIF87a";
    out.insert(out.end(), signature, signature + 6);
    PutU16(out, m_width);
    PutU16(out, m_height);
    // Colour resolution and table size code both from the largest table of
    // the image; no table at all gives the codes of a 256-entry one. A global
    // table gets the size code of the entries written for it, since a reader
    // takes that many bytes as the table, whatever a local table holds.
    int packed = (((bits - 1) * 16) & 0x70) | ((bits - 1) & 0x07);
    if (m_colorMap.Count() > 0) {
        packed = (packed & 0x70) | 0x80 | ((TGIFColorMap::BitsForColors(m_colorMap.Count()) - 1) & 0x07);
        if (m_colorMap.Sorted())
            packed |= 0x08;
    }
    out.push_back(static_cast<std::uint8_t>(packed));
    out.push_back(m_background);
    out.push_back(m_aspect);
    if (m_colorMap.Count() > 0)
        m_colorMap.SaveToBuffer(out);
}

// ---------------------------------------------------------------------------
// Extensions

TGIFExtension::TGIFExtension(TGIFSubImage* subImage)
    : TGIFItem(subImage != nullptr ? subImage->Image() : nullptr),
      m_subImage(subImage)
{
}

std::unique_ptr<TGIFExtension> TGIFExtension::Create(std::uint8_t label, const base::ByteCursor& cursor, TGIFSubImage* subImage)
{
    switch (label) {
    case 0xF9: return std::make_unique<TGIFGraphicControlExtension>(subImage);
    case 0xFE: return std::make_unique<TGIFCommentExtension>(subImage);
    case 0x01: return std::make_unique<TGIFTextExtension>(subImage);
    case 0xFF: {
        base::ByteCursor ahead = cursor;  // looks at the identification without taking it
        if (ahead.remaining() >= 12 && ahead.u8() == 11) {
            const std::span<const std::uint8_t> bytes = ahead.bytes(11);
            const std::string id(bytes.begin(), bytes.end());
            if (id == "NETSCAPE2.0" || id == "ANIMEXTS1.0")
                return std::make_unique<TGIFAppExtNSLoop>(subImage);
        }
        return std::make_unique<TGIFUnknownAppExtension>(subImage);
    }
    default: throw GIFException(kSUnknownExtension);
    }
}

void TGIFGraphicControlExtension::SetTransparent(bool value)
{
    m_packed = static_cast<std::uint8_t>(value ? (m_packed | 0x01) : (m_packed & ~0x01));
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(std::uint8_t index)
{
    if (SubImage() != nullptr) {
        const TGIFColorMap& map = SubImage()->ActiveColorMap();
        if (map.Count() > 0 && index >= map.Count()) {
            Warning(kSInvalidColorIndex);
            index = 0;
        }
    }
    m_transparentIndex = index;
}

void TGIFGraphicControlExtension::LoadFromCursor(base::ByteCursor& cursor)
{
    // Block size (4, not checked), packed byte, delay, transparent index,
    // terminator; a block cut short sets the fields it holds whole.
    base::ByteCursor block(cursor.bytesUpTo(6));
    if (block.remaining() < 6)
        Warning(kSPrematureEnd);
    if (block.remaining() < 2)
        return;
    block.skip(1);
    m_packed = block.u8();
    if (block.remaining() < 2)
        return;
    m_delay = block.u16le();
    if (!block.atEnd())
        m_transparentIndex = block.u8();
}

void TGIFGraphicControlExtension::SaveToBuffer(std::vector<std::uint8_t>& out) const
{
    out.insert(out.end(), {kExtensionIntroducer, Label(), 4, m_packed, static_cast<std::uint8_t>(m_delay),
                           static_cast<std::uint8_t>(m_delay >> 8), m_transparentIndex, 0});
}

std::unique_ptr<TGIFExtension> TGIFGraphicControlExtension::Clone(TGIFSubImage* subImage) const
{
    auto copy = std::make_unique<TGIFGraphicControlExtension>(subImage);
    copy->m_packed = m_packed;
    copy->m_delay = m_delay;
    copy->m_transparentIndex = m_transparentIndex;
    return copy;
}

void TGIFCommentExtension::LoadFromCursor(base::ByteCursor& cursor)
{
    ReadSubBlocks(cursor, Image(), [&](std::span<const std::uint8_t> block) { Lines.emplace_back(block.begin(), block.end()); });
}

void TGIFCommentExtension::SaveToBuffer(std::vector<std::uint8_t>& out) const
{
    out.insert(out.end(), {kExtensionIntroducer, Label()});
    for (const std::string& line : Lines)
        WriteSubBlocks(out, line);
    out.push_back(0);
}

std::unique_ptr<TGIFExtension> TGIFCommentExtension::Clone(TGIFSubImage* subImage) const
{
    auto copy = std::make_unique<TGIFCommentExtension>(subImage);
    copy->Lines = Lines;
    return copy;
}

void TGIFTextExtension::LoadFromCursor(base::ByteCursor& cursor)
{
    base::ByteCursor fixed = cursor.sub(13);  // block size 12 (not checked) and the 12 bytes
    fixed.skip(1);
    const std::span<const std::uint8_t> header = fixed.bytes(Header.size());
    std::copy(header.begin(), header.end(), Header.begin());
    ReadSubBlocks(cursor, Image(), [&](std::span<const std::uint8_t> block) { Lines.emplace_back(block.begin(), block.end()); });
}

void TGIFTextExtension::SaveToBuffer(std::vector<std::uint8_t>& out) const
{
    out.insert(out.end(), {kExtensionIntroducer, Label(), 12});
    out.insert(out.end(), Header.begin(), Header.end());
    for (const std::string& line : Lines)
        WriteSubBlocks(out, line);
    out.push_back(0);
}

std::unique_ptr<TGIFExtension> TGIFTextExtension::Clone(TGIFSubImage* subImage) const
{
    auto copy = std::make_unique<TGIFTextExtension>(subImage);
    copy->Header = Header;
    copy->Lines = Lines;
    return copy;
}

void TGIFApplicationExtension::LoadFromCursor(base::ByteCursor& cursor)
{
    const std::size_t size = cursor.u8();
    // Identification blocks longer than 11 bytes are kept whole rather than
    // failing the file.
    if (size < 10)
        throw GIFException(kSBadAppExtSize);
    const std::span<const std::uint8_t> id = cursor.bytes(size);
    Identification.assign(id.begin(), id.end());
    LoadData(cursor);
}

void TGIFApplicationExtension::SaveToBuffer(std::vector<std::uint8_t>& out) const
{
    out.insert(out.end(), {kExtensionIntroducer, Label(), static_cast<std::uint8_t>(Identification.size())});
    out.insert(out.end(), Identification.begin(), Identification.end());
    SaveData(out);
    out.push_back(0);
}

void TGIFAppExtNSLoop::LoadData(base::ByteCursor& cursor)
{
    ReadSubBlocks(cursor, Image(), [&](std::span<const std::uint8_t> data) {
        // A sub-block too short for its value is invalid data.
        base::ByteCursor block(data, &ThrowInvalidData);
        switch (block.u8() & 0x07) {
        case 1:
            Loops = block.u16le();
            HasLoops = true;
            break;
        case 2:
            BufferSize = block.u32le();
            HasBufferSize = true;
            break;
        default: break;  // other sub-blocks are skipped
        }
    });
}

void TGIFAppExtNSLoop::SaveData(std::vector<std::uint8_t>& out) const
{
    if (HasLoops)
        out.insert(out.end(), {3, 1, static_cast<std::uint8_t>(Loops), static_cast<std::uint8_t>(Loops >> 8)});
    if (HasBufferSize)
        out.insert(out.end(), {5, 2, static_cast<std::uint8_t>(BufferSize), static_cast<std::uint8_t>(BufferSize >> 8),
                               static_cast<std::uint8_t>(BufferSize >> 16), static_cast<std::uint8_t>(BufferSize >> 24)});
}

std::unique_ptr<TGIFExtension> TGIFAppExtNSLoop::Clone(TGIFSubImage* subImage) const
{
    auto copy = std::make_unique<TGIFAppExtNSLoop>(subImage);
    copy->Identification = Identification;
    copy->HasLoops = HasLoops;
    copy->Loops = Loops;
    copy->HasBufferSize = HasBufferSize;
    copy->BufferSize = BufferSize;
    return copy;
}

void TGIFUnknownAppExtension::LoadData(base::ByteCursor& cursor)
{
    ReadSubBlocks(cursor, Image(), [&](std::span<const std::uint8_t> block) { Blocks.emplace_back(block.begin(), block.end()); });
}

void TGIFUnknownAppExtension::SaveData(std::vector<std::uint8_t>& out) const
{
    for (const TGIFBlock& block : Blocks) {
        out.push_back(static_cast<std::uint8_t>(block.size()));
        out.insert(out.end(), block.begin(), block.end());
    }
}

std::unique_ptr<TGIFExtension> TGIFUnknownAppExtension::Clone(TGIFSubImage* subImage) const
{
    auto copy = std::make_unique<TGIFUnknownAppExtension>(subImage);
    copy->Identification = Identification;
    copy->Blocks = Blocks;
    return copy;
}

// ---------------------------------------------------------------------------
// TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage* image) : TGIFItem(image)
{
}

TGIFSubImage::~TGIFSubImage() = default;

void TGIFSubImage::SetSize(int width, int height)
{
    base::CheckRasterSize(width, height, 8);
    try {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        m_data = std::move(data);
    } catch (const std::bad_alloc&) {
        throw base::EOutOfResources();
    }
    m_width = width;
    m_height = height;
    m_drawing.reset();
    if (TGIFImage* image = Image(); image != nullptr && !image->m_loading) {
        TGIFHeader& header = image->Header();
        header.SetWidth(std::max(header.Width(), m_left + width));
        header.SetHeight(std::max(header.Height(), m_top + height));
    }
}

std::span<std::uint8_t> TGIFSubImage::MutableData()
{
    m_drawing.reset();
    return m_data;
}

TGIFLocalColorMap& TGIFSubImage::ColorMap()
{
    m_drawing.reset();
    return m_colorMap;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const
{
    if (m_colorMap.Count() > 0)
        return m_colorMap;
    if (Image() != nullptr && Image()->Header().ColorMap().Count() > 0)
        return Image()->Header().ColorMap();
    return m_colorMap;
}

void TGIFSubImage::AddExtension(std::unique_ptr<TGIFExtension> extension)
{
    if (auto* control = dynamic_cast<TGIFGraphicControlExtension*>(extension.get());
        control != nullptr && m_graphicControl == nullptr)
        m_graphicControl = control;
    m_extensions.push_back(std::move(extension));
    m_drawing.reset();
}

bool TGIFSubImage::Transparent() const
{
    return TransparentIndex() >= 0;
}

int TGIFSubImage::TransparentIndex() const
{
    // Files with several graphic control extensions per frame are rare; the
    // first one that marks transparency gives the index.
    for (const auto& extension : m_extensions)
        if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get());
            control != nullptr && control->Transparent())
            return control->TransparentColorIndex();
    return -1;
}

void TGIFSubImage::SortByUsage()
{
    const int count = m_colorMap.Count();
    if (count <= 1)
        return;
    m_colorMap.SetSorted(true);

    std::uint32_t usage[256] = {};
    for (const std::uint8_t pixel : m_data)
        ++usage[pixel];
    std::vector<TUsage> pairs(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        pairs[static_cast<std::size_t>(i)] = {usage[i], i};
    SortUsage(pairs, 0, count - 1);

    bool moved = false;
    for (int k = 0; k < count && !moved; ++k)
        moved = pairs[static_cast<std::size_t>(k)].index != k;
    if (!moved)
        return;  // the table stays as it is, unused entries included

    std::uint8_t position[256];
    for (int i = 0; i < 256; ++i)
        position[i] = static_cast<std::uint8_t>(i);  // values beyond the table stay
    std::vector<TGIFColor> colors(static_cast<std::size_t>(count));
    int used = 0;
    for (int k = 0; k < count; ++k) {
        const TUsage& pair = pairs[static_cast<std::size_t>(k)];
        colors[static_cast<std::size_t>(k)] = m_colorMap[pair.index];
        position[pair.index] = static_cast<std::uint8_t>(k);
        if (pair.count != 0)
            used = k + 1;
    }
    for (std::uint8_t& pixel : m_data)
        pixel = position[pixel];
    for (const auto& extension : m_extensions)
        if (auto* control = dynamic_cast<TGIFGraphicControlExtension*>(extension.get());
            control != nullptr && control->Transparent() && control->TransparentColorIndex() < count)
            control->SetTransparentColorIndex(position[control->TransparentColorIndex()]);
    colors.resize(static_cast<std::size_t>(used));
    m_colorMap.SetColors(std::move(colors));
    m_drawing.reset();
}

void TGIFSubImage::LoadFromCursor(base::ByteCursor& cursor)
{
    while (!cursor.atEnd() && cursor.peek() == kExtensionIntroducer) {
        cursor.u8();
        const std::uint8_t label = cursor.u8();
        std::unique_ptr<TGIFExtension> extension = TGIFExtension::Create(label, cursor, this);
        extension->LoadFromCursor(cursor);
        AddExtension(std::move(extension));
    }
    if (cursor.atEnd())
        return;  // extensions at the very end: a frame without image
    const std::uint8_t next = cursor.peek();
    if (next != kImageSeparator && next != kTrailer)
        Warning(kSBadExtensionIntroducer);
    if (next == kTrailer || next == 0)
        return;

    cursor.u8();  // the separator, taken as it stands
    m_left = cursor.u16le();
    m_top = cursor.u16le();
    int width = cursor.u16le();
    int height = cursor.u16le();
    m_flags = cursor.u8();
    if (width == 0 || height == 0) {
        Warning(kSImageExceedsScreen);
        width = Image()->Header().Width();
        height = Image()->Header().Height();
    }
    m_colorMap.Clear();
    if (m_flags & 0x80) {
        m_colorMap.LoadFromCursor(cursor, 2 << (m_flags & 0x07));
        m_colorMap.SetSorted((m_flags & 0x20) != 0);
    }
    // The frame alone against the engine's limits, then against what is left
    // of the file's budget, before anything is allocated.
    base::CheckImageHeader({.width = width, .height = height, .bitsPerPixel = 8});
    Image()->ChargeFramePixels(static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height));
    SetSize(width, height);
    ReadImageData(cursor);
}

void TGIFSubImage::ReadImageData(base::ByteCursor& cursor)
{
    const int transparent = TransparentIndex();
    std::fill(m_data.begin(), m_data.end(), static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0));
    if (cursor.atEnd()) {
        Warning(kSPrematureEnd);
        return;
    }
    const int codeSize = std::min<int>(cursor.u8(), 8);

    // The data sub-blocks are joined first; all of them are consumed, also
    // those after the end code or after the last pixel.
    std::vector<std::uint8_t> joined;
    {
        // Sized once: a first pass over the sub-blocks, on a copy of the cursor.
        base::ByteCursor scan = cursor;
        std::size_t bytes = 0;
        while (!scan.atEnd()) {
            const std::size_t length = scan.u8();
            if (length == 0)
                break;
            bytes += scan.bytesUpTo(length).size();
        }
        joined.reserve(bytes);
    }
    bool terminated = false;
    for (;;) {
        if (cursor.atEnd()) {
            Warning(kSPrematureEnd);
            break;
        }
        const std::size_t length = cursor.u8();
        if (length == 0) {
            terminated = true;
            break;
        }
        const std::span<const std::uint8_t> block = cursor.bytesUpTo(length);
        joined.insert(joined.end(), block.begin(), block.end());
        if (block.size() < length) {
            Warning(kSPrematureEnd);
            break;
        }
    }
    const TLZWDecodeResult result = DecodeLZW(joined, codeSize, m_data, m_width, m_height, Interlaced());
    if (result.underRun && terminated)
        Warning(kSBitBufferUnderRun);
}

void TGIFSubImage::SaveToBuffer(std::vector<std::uint8_t>& out, int imageBits) const
{
    for (const auto& extension : m_extensions)
        extension->SaveToBuffer(out);
    if (Empty())
        return;
    out.push_back(kImageSeparator);
    PutU16(out, m_left);
    PutU16(out, m_top);
    PutU16(out, m_width);
    PutU16(out, m_height);
    const int count = m_colorMap.Count();
    int bits;
    int colors;
    if (count > 0) {
        bits = TGIFColorMap::BitsForColors(count);
        colors = count;
        out.push_back(static_cast<std::uint8_t>(0x80 | (m_colorMap.Sorted() ? 0x20 : 0) | ((bits - 1) & 0x07)));
        m_colorMap.SaveToBuffer(out);
    } else {
        bits = imageBits;
        colors = 1 << imageBits;
        // The pixels are written in row order, so the interlace flag must go.
        out.push_back(static_cast<std::uint8_t>(m_flags & 0x18));
    }
    TLZWEncoder().Encode(m_data, bits, colors, out);
}

std::unique_ptr<TGIFSubImage> TGIFSubImage::Clone(TGIFImage* image) const
{
    auto copy = std::make_unique<TGIFSubImage>(image);
    copy->m_left = m_left;
    copy->m_top = m_top;
    copy->m_width = m_width;
    copy->m_height = m_height;
    copy->m_flags = m_flags;
    copy->m_data = m_data;
    copy->m_colorMap = m_colorMap;
    for (const auto& extension : m_extensions)
        copy->AddExtension(extension->Clone(copy.get()));
    return copy;
}

const core::TBitmap& TGIFSubImage::DrawingBitmap() const
{
    if (m_drawing)
        return *m_drawing;
    const TGIFColorMap& map = ActiveColorMap();
    if (map.Count() == 0)
        throw GIFException(kSNoColorTable);
    // The frame's colours; entries beyond its table are black.
    gdi::TLogPalette palette(256);
    for (int i = 0; i < map.Count(); ++i)
        palette[static_cast<std::size_t>(i)] = {map[i].Red, map[i].Green, map[i].Blue, 0};

    const auto width = static_cast<std::size_t>(m_width);
    const int transparent = TransparentIndex();
    const bool masked =
        transparent >= 0 && std::find(m_data.begin(), m_data.end(), static_cast<std::uint8_t>(transparent)) != m_data.end();
    auto bitmap = std::make_unique<core::TBitmap>();
    if (!masked) {
        // The indices as they are, over the frame's colour table.
        bitmap->SetPixelFormat(core::pf8bit);
        bitmap->SetPalette(palette);
        bitmap->SetSizeUninitialized(m_width, m_height);  // every row is written below
        std::uint8_t* rows = bitmap->Empty() ? nullptr : bitmap->ScanLine(0);
        for (int y = 0; y < m_height; ++y)
            std::memcpy(rows + static_cast<std::size_t>(y) * bitmap->RowBytes(), m_data.data() + static_cast<std::size_t>(y) * width,
                        width);
    } else {
        // Transparent pixels get alpha 0, so drawing leaves the surface there
        // (a colour key could not tell them from table entries of equal colour).
        bitmap->SetPixelFormat(core::pf32bit);
        bitmap->SetSizeUninitialized(m_width, m_height);  // every pixel is written below
        std::uint8_t* rows = bitmap->Empty() ? nullptr : bitmap->ScanLine(0);
        for (int y = 0; y < m_height; ++y) {
            const std::uint8_t* src = m_data.data() + static_cast<std::size_t>(y) * width;
            std::uint8_t* dst = rows + static_cast<std::size_t>(y) * bitmap->RowBytes();
            for (std::size_t x = 0; x < width; ++x, dst += 4) {
                const gdi::TPaletteEntry& c = palette[src[x]];
                dst[0] = c.peBlue;
                dst[1] = c.peGreen;
                dst[2] = c.peRed;
                dst[3] = src[x] == transparent ? 0 : 255;
            }
        }
        bitmap->SetHasAlpha(true);
    }
    m_drawing = std::move(bitmap);
    return *m_drawing;
}

}  // namespace scalopex::formats
