#pragma once
/// Enhanced metafiles held by the platform: a picture made from EMF bytes
/// that were checked record by record, its header and palette, copies, and
/// the old-format (WMF) conversion into an enhanced picture.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/gdi/palette.h"

namespace scalopex::gdi {

struct TRectL {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct TSizeL {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

/// The fields of the EMF header record the engine reads.
struct TEnhMetaHeader {
    TRectL rclBounds;
    TRectL rclFrame;  // 0.01 mm
    std::uint32_t nBytes = 0;
    std::uint32_t nRecords = 0;
    std::uint16_t nHandles = 0;
    std::uint32_t nPalEntries = 0;
    TSizeL szlDevice;       // reference device, pixels
    TSizeL szlMillimeters;  // reference device, millimetres
    TSizeL szlMicrometers;  // zero when the header is older than that field
};

inline constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr std::uint32_t kEmrHeader = 1;
inline constexpr std::uint32_t kEmrEof = 14;

/// A picture: EMF bytes whose records were all checked (size at least 8, a
/// multiple of 4, inside the data; header first, end record last).
class TEnhMetaFile {
public:
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    const TEnhMetaHeader& Header() const { return m_header; }
    const TLogPalette& PaletteEntries() const { return m_palette; }

private:
    friend std::unique_ptr<TEnhMetaFile> SetEnhMetaFileBits(std::vector<std::uint8_t>&& bytes);
    std::vector<std::uint8_t> m_bytes;
    TEnhMetaHeader m_header;
    TLogPalette m_palette;
};

/// The handle of a picture; releasing it deletes the picture.
using HENHMETAFILE = std::unique_ptr<TEnhMetaFile>;

/// A picture of the complete EMF bytes, or null when they are not a valid EMF.
/// Never throws for bad data.
HENHMETAFILE SetEnhMetaFileBits(std::span<const std::uint8_t> bytes);
/// The same, taking the bytes over instead of copying them.
HENHMETAFILE SetEnhMetaFileBits(std::vector<std::uint8_t>&& bytes);

const TEnhMetaHeader& GetEnhMetaFileHeader(const TEnhMetaFile& picture);
/// The palette entries of the end record (red, green, blue, flags).
const TLogPalette& GetEnhMetaFilePaletteEntries(const TEnhMetaFile& picture);
const std::vector<std::uint8_t>& GetEnhMetaFileBits(const TEnhMetaFile& picture);
HENHMETAFILE CopyEnhMetaFileA(const TEnhMetaFile& picture);
inline void DeleteEnhMetaFile(HENHMETAFILE& picture)
{
    picture.reset();
}

/// The mapping of an old-format picture.
struct TMetaFilePict {
    std::int32_t mm = 8;    // MM_ANISOTROPIC
    std::int32_t xExt = 0;  // 0.01 mm; 0 lets the converter choose the frame
    std::int32_t yExt = 0;
};

/// Converts old-format records (without the placeable header) into an
/// enhanced picture played on the screen as reference device. With extents
/// 0, 0 the frame is the records' window (origin and extent) in screen
/// pixels, or fallbackWindow (the placeable bounding box) when the records
/// set none. Null when the records are not valid.
HENHMETAFILE SetWinMetaFileBits(std::span<const std::uint8_t> records, const TMetaFilePict& pict,
                                const TRectL& fallbackWindow);

}  // namespace scalopex::gdi
