#pragma once
/// TPNGObject: the PNG writer. Assign takes a TBitmap (and its transparency);
/// SaveToStream writes the signature and the chunk list IHDR, PLTE (indexed
/// images), tRNS (transparent bitmaps), a run of IDAT chunks and IEND.
/// Bitmaps of 16 bits per pixel or more become 8-bit RGB (colour type 2),
/// those of 1, 4 or 8 bits indexed images (colour type 3).
///
/// The saving routine's use:
///     TPNGObject png;
///     png.PngFilters = PngFilter::Sub | PngFilter::Up;
///     png.PngDeflateLevel = 8;
///     png.Assign(&bitmap);
///     png.SaveToStream(stream);

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"
#include "core/stream.h"

namespace scalopex::formats {

/// The bits of TPNGObject::PngFilters, one per row filter type.
struct PngFilter {
    static constexpr std::uint8_t None = 1 << 0;
    static constexpr std::uint8_t Sub = 1 << 1;
    static constexpr std::uint8_t Up = 1 << 2;
    static constexpr std::uint8_t Average = 1 << 3;
    static constexpr std::uint8_t Paeth = 1 << 4;
};

class TPNGObject;

/// One chunk of the list; its type is the last four letters of its class name.
class TChunk {
public:
    explicit TChunk(TPNGObject& owner) : m_owner(owner) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    /// The four type letters, e.g. "IHDR".
    virtual std::string Name() const = 0;
    /// Writes the chunk (IDAT: a run of chunks) to stream.
    virtual void SaveToStream(core::TStream& stream) = 0;

protected:
    TPNGObject& m_owner;
};

/// The header; it also owns the pixel rows (a shared copy of the bitmap).
class TChunkIHDR final : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IHDR"; }
    void SaveToStream(core::TStream& stream) override;

    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint8_t BitDepth = 8;
    std::uint8_t ColorType = 2;
    std::uint8_t CompressionMethod = 0;
    std::uint8_t FilterMethod = 0;
    /// The pixels, in the bitmap's own layout; rows are made per write.
    core::TBitmap Rows;
};

class TChunkPLTE final : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "PLTE"; }
    void SaveToStream(core::TStream& stream) override;

    gdi::TLogPalette Entries;
};

class TChunktRNS final : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "tRNS"; }
    void SaveToStream(core::TStream& stream) override;

    std::vector<std::uint8_t> Data;
};

/// The image data, deflated from the header's rows when written.
class TChunkIDAT final : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IDAT"; }
    void SaveToStream(core::TStream& stream) override;
};

class TChunkIEND final : public TChunk {
public:
    using TChunk::TChunk;
    std::string Name() const override { return "IEND"; }
    void SaveToStream(core::TStream& stream) override;
};

using TPNGList = std::vector<std::unique_ptr<TChunk>>;

class TPNGObject : public core::TGraphic {
    SCALOPEX_GRAPHIC_CLASS(TPNGObject)

public:
    TPNGObject() = default;
    ~TPNGObject() override;
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    /// Filter types tried for every row (PngFilter bits).
    std::uint8_t PngFilters = PngFilter::Sub;
    /// zlib compression level, 0 to 9 (others are clamped).
    int PngDeflateLevel = 7;
    /// 0: rows in order; 1: Adam7 interlacing.
    std::uint8_t PngInterlacing = 0;
    /// Data length of every IDAT chunk but the last.
    std::uint32_t IdatChunkSize = 65535;

    /// From a TBitmap: rebuilds the chunk list (see the class note); from
    /// another TPNGObject: its settings and image; none: empty.
    void Assign(const core::TGraphic* source) override;
    /// Into a TBitmap: the pixels and transparency.
    void AssignTo(core::TGraphic& dest) const override;
    void Draw(core::TCanvas& canvas, const core::TRect& rect) const override;
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    gdi::TLogPalette Palette() const override;
    /// Reads a PNG file (through TPNGGraphic) and takes it as by Assign.
    void LoadFromStream(core::TStream& stream) override;
    void SaveToStream(core::TStream& stream) override;

    const TPNGList& Chunks() const { return m_chunks; }
    /// The header chunk; null while the list is empty.
    TChunkIHDR* Header() const;

private:
    void Clear();

    TPNGList m_chunks;
};

}  // namespace scalopex::formats
