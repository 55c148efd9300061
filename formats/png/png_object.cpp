// PNG writer (ISO/IEC 15948): 8-bit RGB (colour type 2) from bitmaps of 16
// bits per pixel or more, indexed (colour type 3) from bitmaps of 1, 4 and 8
// bits, rows in order or Adam7 interlaced. Each row's filter is chosen from
// PngFilters by counting bytes equal to one of the two before them, which
// favours rows that deflate finds long matches in.

#include "formats/png/png_object.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "base/exceptions.h"
#include "core/bitmap_image.h"
#include "formats/png/png_format.h"
#include "formats/png/png_graphic.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TPNGObject, core::TGraphic)

namespace {

void PutBigEndian32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// Length, type, data and the CRC of type and data.
void WriteChunk(core::TStream& stream, std::uint32_t type, std::span<const std::uint8_t> data)
{
    std::uint8_t head[8];
    PutBigEndian32(head, static_cast<std::uint32_t>(data.size()));
    PutBigEndian32(head + 4, type);
    std::uint8_t crc[4];
    PutBigEndian32(crc, png::CrcUpdate(png::CrcOfType(type), data));
    stream.WriteBuffer(head, sizeof head);
    stream.WriteBuffer(data);
    stream.WriteBuffer(crc, sizeof crc);
}

// Unfiltered rows of the header's layout, made from the bitmap row by row.
class RowSource {
public:
    explicit RowSource(const TChunkIHDR& ihdr)
        : m_image(ihdr.Rows.Image()), m_width(static_cast<std::size_t>(ihdr.Width)), m_indexed(ihdr.ColorType == 3),
          m_bits(ihdr.BitDepth)
    {
        if (!m_indexed && m_image.bitCount != 24 && m_image.bitCount != 32)
            m_bgra.resize(m_width * 4);
    }

    std::size_t Length() const { return m_indexed ? (m_width * m_bits + 7) / 8 : m_width * 3; }
    // Bytes per complete pixel for the filters (at least 1).
    std::size_t Distance() const { return m_indexed ? 1 : 3; }

    void Row(int y, std::uint8_t* out)
    {
        const std::uint8_t* in = m_image.Row(y);
        if (m_indexed) {
            const std::size_t n = Length();
            std::memcpy(out, in, n);
            // Bits past the last pixel are not the image's: make them 0.
            if (const std::size_t used = (m_width * m_bits) % 8)
                out[n - 1] = static_cast<std::uint8_t>(out[n - 1] & (0xFF00 >> used));
            return;
        }
        std::size_t step = 3;
        if (m_image.bitCount == 32) {
            step = 4;
        } else if (m_image.bitCount != 24) {
            core::UnpackRow(m_image, in, static_cast<int>(m_width), m_bgra.data());
            in = m_bgra.data();
            step = 4;
        }
        for (std::size_t x = 0; x < m_width; ++x, in += step, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }

private:
    const core::TBitmapImage& m_image;
    std::size_t m_width;
    bool m_indexed;
    std::size_t m_bits;
    std::vector<std::uint8_t> m_bgra;
};

// Picks each row's filter. Buffers hold the type byte and then the row.
class FilterChooser {
public:
    FilterChooser(std::uint8_t filters, std::size_t maxRow, std::size_t distance) : m_distance(distance)
    {
        filters &= 0x1F;
        for (std::uint8_t type = 0; type <= png::ftPaeth; ++type)
            if (filters & (1u << type))
                m_types.push_back(type);
        if (filters == 0 || filters == PngFilter::None)
            m_types.assign(1, png::ftNone);
        for (std::uint8_t type = png::ftSub; type <= png::ftPaeth; ++type)
            if (std::find(m_types.begin(), m_types.end(), type) != m_types.end())
                m_filtered[type].assign(maxRow + 1, 0);
    }

    // raw: slot byte then n row bytes; prev: the previous raw row, same layout.
    // Returns the chosen row with its type byte, n + 1 bytes.
    std::uint8_t* Choose(std::uint8_t* raw, const std::uint8_t* prev, std::size_t n)
    {
        if (m_types.size() == 1)
            return Filtered(m_types[0], raw, prev, n);
        std::uint8_t best = png::ftNone;
        std::size_t bestCount = 0;
        for (const std::uint8_t type : m_types) {
            const std::size_t count = png::RepeatCount(Filtered(type, raw, prev, n) + 1, n);
            if (count > bestCount) {
                best = type;
                bestCount = count;
            }
        }
        // The buffer of `best` still holds its row: every type has its own.
        std::uint8_t* chosen = best == png::ftNone ? raw : m_filtered[best].data();
        chosen[0] = best;
        return chosen;
    }

private:
    std::uint8_t* Filtered(std::uint8_t type, std::uint8_t* raw, const std::uint8_t* prev, std::size_t n)
    {
        if (type == png::ftNone) {
            raw[0] = png::ftNone;
            return raw;
        }
        std::uint8_t* out = m_filtered[type].data();
        out[0] = type;
        png::FilterRow(type, raw + 1, prev + 1, out + 1, n, m_distance);
        return out;
    }

    std::size_t m_distance;
    std::vector<std::uint8_t> m_types;
    std::array<std::vector<std::uint8_t>, 5> m_filtered;
};

// Deflates the filtered rows into IDAT chunks of exactly chunkSize bytes,
// the last one holding what remains.
class IdatWriter {
public:
    // rawBytes: all the filtered rows, type bytes included. The buffer never
    // needs to be larger than deflate's bound for them.
    IdatWriter(core::TStream& stream, int level, std::uint32_t chunkSize, std::uint64_t rawBytes)
        : m_stream(stream), m_deflate(std::clamp(level, 0, 9), 15, 8, Z_DEFAULT_STRATEGY)
    {
        const std::uint64_t bound = ::deflateBound(&*m_deflate, static_cast<uLong>(rawBytes));
        m_out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, bound)));
        m_deflate->next_out = m_out.data();
        m_deflate->avail_out = static_cast<uInt>(m_out.size());
    }

    void Feed(const std::uint8_t* data, std::size_t n)
    {
        m_deflate->next_in = const_cast<Bytef*>(data);  // zlib's interface is not const
        m_deflate->avail_in = static_cast<uInt>(n);
        while (m_deflate->avail_in > 0) {
            if (m_deflate->avail_out == 0)
                EmitFull();
            if (::deflate(&*m_deflate, Z_NO_FLUSH) == Z_STREAM_ERROR)
                throw base::EInvalidGraphicOperation("Deflate failed");
        }
    }

    void Finish()
    {
        for (;;) {
            if (m_deflate->avail_out == 0)
                EmitFull();
            const int rc = ::deflate(&*m_deflate, Z_FINISH);
            if (rc == Z_STREAM_END)
                break;
            if (rc != Z_OK && !(rc == Z_BUF_ERROR && m_deflate->avail_out == 0))
                throw base::EInvalidGraphicOperation("Deflate failed");
        }
        const std::size_t used = m_out.size() - m_deflate->avail_out;
        if (used > 0)
            WriteChunk(m_stream, png::kIDAT, {m_out.data(), used});
    }

private:
    void EmitFull()
    {
        WriteChunk(m_stream, png::kIDAT, m_out);
        m_deflate->next_out = m_out.data();
        m_deflate->avail_out = static_cast<uInt>(m_out.size());
    }

    core::TStream& m_stream;
    png::DeflateState m_deflate;
    std::vector<std::uint8_t> m_out;
};

// Copies the pixels of one Adam7 pass out of a full raw row.
void GatherPass(const std::uint8_t* full, std::uint8_t* out, const png::Adam7Pass& pass, std::size_t passWidth,
                std::size_t bits)
{
    if (bits >= 8) {
        const std::size_t bytes = bits / 8;
        const std::uint8_t* in = full + static_cast<std::size_t>(pass.firstColumn) * bytes;
        const std::size_t step = static_cast<std::size_t>(pass.columnStep) * bytes;
        for (std::size_t k = 0; k < passWidth; ++k, in += step, out += bytes)
            std::memcpy(out, in, bytes);
        return;
    }
    std::memset(out, 0, (passWidth * bits + 7) / 8);
    const unsigned mask = (1u << bits) - 1;
    for (std::size_t k = 0; k < passWidth; ++k) {
        const std::size_t column = static_cast<std::size_t>(pass.firstColumn) + k * static_cast<std::size_t>(pass.columnStep);
        const std::size_t at = column * bits;
        const unsigned value = (full[at / 8] >> (8 - bits - at % 8)) & mask;
        const std::size_t to = k * bits;
        out[to / 8] = static_cast<std::uint8_t>(out[to / 8] | (value << (8 - bits - to % 8)));
    }
}

}  // namespace

void TChunkIHDR::SaveToStream(core::TStream& stream)
{
    std::uint8_t data[13];
    PutBigEndian32(data, Width);
    PutBigEndian32(data + 4, Height);
    data[8] = BitDepth == 2 ? 4 : BitDepth;
    data[9] = ColorType;
    data[10] = CompressionMethod;
    data[11] = FilterMethod;
    data[12] = m_owner.PngInterlacing != 0 ? 1 : 0;
    WriteChunk(stream, png::kIHDR, data);
}

void TChunkPLTE::SaveToStream(core::TStream& stream)
{
    std::vector<std::uint8_t> data;
    data.reserve(Entries.size() * 3);
    for (const gdi::TPaletteEntry& e : Entries) {
        data.push_back(e.peRed);
        data.push_back(e.peGreen);
        data.push_back(e.peBlue);
    }
    WriteChunk(stream, png::kPLTE, data);
}

void TChunktRNS::SaveToStream(core::TStream& stream)
{
    WriteChunk(stream, png::ktRNS, Data);
}

void TChunkIEND::SaveToStream(core::TStream& stream)
{
    WriteChunk(stream, png::kIEND, {});
}

void TChunkIDAT::SaveToStream(core::TStream& stream)
{
    const TChunkIHDR* ihdr = m_owner.Header();
    if (ihdr == nullptr)
        return;
    RowSource source(*ihdr);
    const std::size_t n = source.Length();
    const std::size_t bits = ihdr->ColorType == 3 ? ihdr->BitDepth : 24;
    // Raw rows carry a slot for the type byte in front, so None needs no copy.
    std::vector<std::uint8_t> full(n + 1), raw(n + 1), prev(n + 1);
    FilterChooser chooser(m_owner.PngFilters, n, source.Distance());
    const std::uint32_t chunkSize = std::clamp<std::uint32_t>(m_owner.IdatChunkSize, 1, png::kMaxChunkLength);
    const int height = static_cast<int>(ihdr->Height);
    const bool interlaced = m_owner.PngInterlacing != 0;
    std::uint64_t rawBytes = std::uint64_t{ihdr->Height} * (n + 1);
    if (interlaced) {
        rawBytes = 0;
        for (const png::Adam7Pass& pass : png::kAdam7)
            if (const auto w = static_cast<std::uint64_t>(png::PassWidth(pass, ihdr->Width)))
                rawBytes += static_cast<std::uint64_t>(png::PassHeight(pass, ihdr->Height)) * ((w * bits + 7) / 8 + 1);
    }
    IdatWriter writer(stream, m_owner.PngDeflateLevel, chunkSize, rawBytes);

    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            source.Row(y, raw.data() + 1);
            writer.Feed(chooser.Choose(raw.data(), prev.data(), n), n + 1);
            std::swap(raw, prev);
        }
    } else {
        for (const png::Adam7Pass& pass : png::kAdam7) {
            const auto passWidth = static_cast<std::size_t>(png::PassWidth(pass, ihdr->Width));
            const auto passHeight = png::PassHeight(pass, ihdr->Height);
            if (passWidth == 0 || passHeight == 0)
                continue;
            const std::size_t len = (passWidth * bits + 7) / 8;
            std::fill(prev.begin(), prev.end(), 0);
            for (std::int64_t r = 0; r < passHeight; ++r) {
                source.Row(static_cast<int>(pass.firstRow + r * pass.rowStep), full.data());
                GatherPass(full.data(), raw.data() + 1, pass, passWidth, bits);
                writer.Feed(chooser.Choose(raw.data(), prev.data(), len), len + 1);
                std::swap(raw, prev);
            }
        }
    }
    writer.Finish();
}

TPNGObject::~TPNGObject() = default;

TChunkIHDR* TPNGObject::Header() const
{
    return m_chunks.empty() ? nullptr : dynamic_cast<TChunkIHDR*>(m_chunks.front().get());
}

void TPNGObject::Clear()
{
    m_chunks.clear();
}

void TPNGObject::Assign(const core::TGraphic* source)
{
    if (source == nullptr) {
        Clear();
        Changed();
        return;
    }
    if (const auto* other = dynamic_cast<const TPNGObject*>(source)) {
        if (other == this)
            return;
        PngFilters = other->PngFilters;
        PngDeflateLevel = other->PngDeflateLevel;
        PngInterlacing = other->PngInterlacing;
        IdatChunkSize = other->IdatChunkSize;
        if (const TChunkIHDR* header = other->Header())
            Assign(&header->Rows);
        else
            Assign(nullptr);
        return;
    }
    const auto* bitmap = dynamic_cast<const core::TBitmap*>(source);
    if (bitmap == nullptr) {
        core::TGraphic::Assign(source);  // the source's AssignTo decides
        return;
    }

    Clear();
    const int bits = bitmap->Image().bitCount;
    auto ihdr = std::make_unique<TChunkIHDR>(*this);
    ihdr->Width = static_cast<std::uint32_t>(std::abs(bitmap->Width()));
    ihdr->Height = static_cast<std::uint32_t>(std::abs(bitmap->Height()));
    ihdr->BitDepth = static_cast<std::uint8_t>(bits < 16 ? bits : 8);
    ihdr->ColorType = bits < 16 ? 3 : 2;
    ihdr->Rows.Assign(bitmap);  // shares the pixels until one side changes
    const std::uint8_t colorType = ihdr->ColorType;
    m_chunks.push_back(std::move(ihdr));

    gdi::TLogPalette table;
    if (colorType == 3) {
        auto plte = std::make_unique<TChunkPLTE>(*this);
        table = bitmap->Palette();
        table.resize(std::size_t{1} << bits);  // missing entries are black
        plte->Entries = table;
        m_chunks.push_back(std::move(plte));
    }
    if (bitmap->Transparent()) {
        const core::TColor key = bitmap->TransparentColor();
        const std::uint8_t r = core::GetRValue(key), g = core::GetGValue(key), b = core::GetBValue(key);
        auto trns = std::make_unique<TChunktRNS>(*this);
        if (colorType == 2) {
            trns->Data = {0, r, 0, g, 0, b};
        } else {
            const auto at = std::find_if(table.begin(), table.end(), [&](const gdi::TPaletteEntry& e) {
                return e.peRed == r && e.peGreen == g && e.peBlue == b;
            });
            // No entry of that colour: nothing is transparent, so no tRNS (an
            // alpha list longer than the palette would make the file invalid).
            if (at != table.end()) {
                trns->Data.assign(static_cast<std::size_t>(at - table.begin()), 255);
                trns->Data.push_back(0);
            } else {
                trns.reset();
            }
        }
        if (trns)
            m_chunks.push_back(std::move(trns));
    }
    m_chunks.push_back(std::make_unique<TChunkIDAT>(*this));
    m_chunks.push_back(std::make_unique<TChunkIEND>(*this));
    Changed();
}

void TPNGObject::AssignTo(core::TGraphic& dest) const
{
    if (auto* bitmap = dynamic_cast<core::TBitmap*>(&dest)) {
        const TChunkIHDR* header = Header();
        bitmap->Assign(header ? &header->Rows : nullptr);
        return;
    }
    core::TGraphic::AssignTo(dest);
}

void TPNGObject::Draw(core::TCanvas& canvas, const core::TRect& rect) const
{
    if (const TChunkIHDR* header = Header())
        header->Rows.Draw(canvas, rect);
}

bool TPNGObject::Empty() const
{
    const TChunkIHDR* header = Header();
    return header == nullptr || header->Rows.Empty();
}

int TPNGObject::Width() const
{
    const TChunkIHDR* header = Header();
    return header ? static_cast<int>(header->Width) : 0;
}

int TPNGObject::Height() const
{
    const TChunkIHDR* header = Header();
    return header ? static_cast<int>(header->Height) : 0;
}

gdi::TLogPalette TPNGObject::Palette() const
{
    for (const auto& chunk : m_chunks)
        if (const auto* plte = dynamic_cast<const TChunkPLTE*>(chunk.get()))
            return plte->Entries;
    return {};
}

void TPNGObject::LoadFromStream(core::TStream& stream)
{
    TPNGGraphic graphic;
    graphic.LoadFromStream(stream);
    Assign(&graphic);
}

void TPNGObject::SaveToStream(core::TStream& stream)
{
    stream.WriteBuffer(png::kSignature.data(), png::kSignature.size());
    for (const auto& chunk : m_chunks)
        chunk->SaveToStream(stream);
}

}  // namespace scalopex::formats
