#pragma once
/// The header and image file directories (IFDs) of TIFF files, classic and
/// 64-bit ("BigTIFF"), in either byte order. A directory's entries are
/// loaded whole, sorted by tag and looked up by binary search; values are
/// read through the cursor with the file's byte order, never past the data.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/byte_cursor.h"

namespace scalopex::formats::tiff {

/// Tags the reader uses.
enum Tag : std::uint16_t {
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfiguration = 284,
    kT4Options = 292,
    kResolutionUnit = 296,
    kPredictor = 317,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    kExtraSamples = 338,
    kSampleFormat = 339,
    kJPEGTables = 347,
    kYCbCrCoefficients = 529,
    kYCbCrSubSampling = 530,
    kYCbCrPositioning = 531,
};

/// Field types.
enum FieldType : std::uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
    kIfd = 13,
    kLong8 = 16,
    kSLong8 = 17,
    kIfd8 = 18,
};

/// Bytes of one value of a field type; 0 for types that are not known.
std::size_t TypeSize(std::uint16_t type);

struct THeader {
    base::ByteOrder order = base::ByteOrder::LittleEndian;
    std::uint16_t version = 0;  // 42, or 43 for 64-bit offsets
    std::uint64_t firstIFD = 0;
    bool Big() const { return version == 43; }
};

/// The header at the start of data: a byte order mark ("II" or "MM") and
/// version 42 (or 43 with 8-byte offsets); nothing when data do not begin
/// with one.
std::optional<THeader> ReadHeader(std::span<const std::uint8_t> data);

struct TEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    /// The value field: the values themselves when they fit in it, else
    /// their offset. In the file's byte order.
    std::uint8_t field[8] = {};
};

class TDirectory {
public:
    /// Loads the directory at offset of data; false when offset is 0 or its
    /// entry count lies beyond the data. An entry count larger than the data
    /// can hold is cut to the entries that are there.
    bool Load(std::span<const std::uint8_t> data, const THeader& header, std::uint64_t offset);

    /// The offset of the next directory, 0 when the chain ends (or the next
    /// offset lies beyond the data).
    std::uint64_t Next() const { return m_next; }
    std::size_t EntryCount() const { return m_entries.size(); }

    const TEntry* Find(std::uint16_t tag) const;
    bool Has(std::uint16_t tag) const { return Find(tag) != nullptr; }

    /// A single integer: the default when the tag is missing; the raw value
    /// field when the count is not 1; for a count of 1 the value of an
    /// integer type (signed types as their bit patterns), else the default.
    std::uint64_t Integer(std::uint16_t tag, std::uint64_t fallback) const;
    /// One element per value of an integer type; empty when the tag is
    /// missing or of another type. Only values held by the data are read.
    std::vector<std::uint64_t> Integers(std::uint16_t tag) const;
    /// One element per value, each of its type's size cut to a byte.
    std::vector<std::uint8_t> Bytes(std::uint16_t tag) const;
    /// Integers converted, rationals as numerator / denominator, floats as they are.
    std::vector<double> Reals(std::uint16_t tag) const;
    /// The single value as Reals reads it; the default unless the count is 1.
    double Real(std::uint16_t tag, double fallback) const;

private:
    // The bytes of an entry's values (those the data hold), with the
    // number of whole values there.
    std::span<const std::uint8_t> Values(const TEntry& entry, std::size_t& count) const;
    base::ByteCursor CursorOver(std::span<const std::uint8_t> bytes) const;

    std::span<const std::uint8_t> m_data;
    THeader m_header;
    std::vector<TEntry> m_entries;
    std::uint64_t m_next = 0;
};

}  // namespace scalopex::formats::tiff
