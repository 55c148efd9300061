// Pictures held from EMF bytes. Every record is checked once here (type,
// size at least 8 and a multiple of 4, inside the data), so the player can
// walk them without checking sizes again; it still reads each record's
// fields through a cursor limited to that record.

#include "platform/gdi/metafile.h"

#include "base/byte_cursor.h"

namespace scalopex::gdi {

namespace {

constexpr std::size_t kMinHeaderBytes = 88;  // the header without its optional tail fields

[[noreturn]] void Refuse()
{
    throw base::EInvalidGraphic("invalid EMF");
}

TRectL ReadRect(base::ByteCursor& c)
{
    TRectL r;
    r.left = c.i32le();
    r.top = c.i32le();
    r.right = c.i32le();
    r.bottom = c.i32le();
    return r;
}

TSizeL ReadSize(base::ByteCursor& c)
{
    TSizeL s;
    s.cx = c.i32le();
    s.cy = c.i32le();
    return s;
}

void ParseHeader(std::span<const std::uint8_t> record, TEnhMetaHeader& h)
{
    base::ByteCursor c(record, &Refuse);
    c.skip(8);
    h.rclBounds = ReadRect(c);
    h.rclFrame = ReadRect(c);
    if (c.u32le() != kEmfSignature)
        Refuse();
    c.skip(4);  // version
    h.nBytes = c.u32le();
    h.nRecords = c.u32le();
    h.nHandles = c.u16le();
    c.skip(2 + 8);  // reserved, description
    h.nPalEntries = c.u32le();
    h.szlDevice = ReadSize(c);
    h.szlMillimeters = ReadSize(c);
    if (c.remaining() >= 12 + 8) {
        c.skip(12);  // pixel format, OpenGL
        h.szlMicrometers = ReadSize(c);
    }
    // Sizes in pixels divide by the millimetre size (in 0.01 mm, so it must
    // stay within 32 bits a hundredfold), and playback by both.
    constexpr std::int32_t kMaxMillimetres = 0x7FFFFFFF / 100;
    if (h.szlDevice.cx <= 0 || h.szlDevice.cy <= 0 || h.szlMillimeters.cx <= 0 || h.szlMillimeters.cy <= 0 ||
        h.szlMillimeters.cx > kMaxMillimetres || h.szlMillimeters.cy > kMaxMillimetres)
        Refuse();
}

TLogPalette ParsePalette(std::span<const std::uint8_t> eofRecord)
{
    base::ByteCursor c(eofRecord, &Refuse);
    c.skip(8);
    const std::uint32_t count = c.u32le();
    const std::uint32_t offset = c.u32le();
    if (count == 0)
        return {};
    if (offset > eofRecord.size() || count > (eofRecord.size() - offset) / 4)
        Refuse();
    c.seek(offset);
    TLogPalette palette(count);
    for (auto& e : palette) {
        e.peRed = c.u8();
        e.peGreen = c.u8();
        e.peBlue = c.u8();
        e.peFlags = c.u8();
    }
    return palette;
}

}  // namespace

HENHMETAFILE SetEnhMetaFileBits(std::span<const std::uint8_t> bytes)
{
    return SetEnhMetaFileBits(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

HENHMETAFILE SetEnhMetaFileBits(std::vector<std::uint8_t>&& owned)
{
    const std::span<const std::uint8_t> bytes(owned);
    try {
        base::ByteCursor c(bytes, &Refuse);
        if (c.u32le() != kEmrHeader)
            return nullptr;
        const std::uint32_t headerSize = c.u32le();
        if (headerSize < kMinHeaderBytes || headerSize % 4 != 0 || headerSize > bytes.size())
            return nullptr;
        auto picture = std::make_unique<TEnhMetaFile>();
        ParseHeader(bytes.first(headerSize), picture->m_header);
        const std::uint32_t total = picture->m_header.nBytes;
        if (total < headerSize || total > bytes.size())
            return nullptr;
        const auto data = bytes.first(total);

        // Walk the records up to the end record; data after it are dropped.
        std::size_t pos = headerSize;
        std::size_t end = total;
        bool sawEof = false;
        while (pos < total) {
            base::ByteCursor r(data.subspan(pos), &Refuse);
            const std::uint32_t type = r.u32le();
            const std::uint32_t size = r.u32le();
            if (size < 8 || size % 4 != 0 || size > total - pos || type == kEmrHeader)
                return nullptr;
            if (type == kEmrEof) {
                picture->m_palette = ParsePalette(data.subspan(pos, size));
                end = pos + size;
                sawEof = true;
                break;
            }
            pos += size;
        }
        if (!sawEof)
            return nullptr;
        owned.resize(end);
        picture->m_bytes = std::move(owned);
        // Keep the header's size field true to the bytes held.
        const std::uint32_t held = static_cast<std::uint32_t>(end);
        for (int i = 0; i < 4; ++i)
            picture->m_bytes[48 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(held >> (8 * i));
        picture->m_header.nBytes = held;
        return picture;
    } catch (const base::Exception&) {
        return nullptr;
    }
}

const TEnhMetaHeader& GetEnhMetaFileHeader(const TEnhMetaFile& picture)
{
    return picture.Header();
}

const TLogPalette& GetEnhMetaFilePaletteEntries(const TEnhMetaFile& picture)
{
    return picture.PaletteEntries();
}

const std::vector<std::uint8_t>& GetEnhMetaFileBits(const TEnhMetaFile& picture)
{
    return picture.Bytes();
}

HENHMETAFILE CopyEnhMetaFileA(const TEnhMetaFile& picture)
{
    return std::make_unique<TEnhMetaFile>(picture);
}

}  // namespace scalopex::gdi
