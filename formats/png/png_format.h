#pragma once
// Pieces shared by the PNG reader and writer: the file signature, chunk type
// codes, the chunk CRC, the five row filters with the writer's filter score,
// the Adam7 pass geometry, and RAII holders of zlib's stream states.
// Layout and filters follow the PNG standard (ISO/IEC 15948), sections
// 5 (datastream), 7.3 and 9 (filtering) and 8.2 (Adam7).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include <zlib.h>

namespace scalopex::formats::png {

inline constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

/// A chunk type as the big-endian number of its four letters.
constexpr std::uint32_t ChunkType(const char (&name)[5])
{
    return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[3]));
}

inline constexpr std::uint32_t kIHDR = ChunkType("IHDR");
inline constexpr std::uint32_t kPLTE = ChunkType("PLTE");
inline constexpr std::uint32_t kIDAT = ChunkType("IDAT");
inline constexpr std::uint32_t kIEND = ChunkType("IEND");
inline constexpr std::uint32_t kgAMA = ChunkType("gAMA");
inline constexpr std::uint32_t kbKGD = ChunkType("bKGD");
inline constexpr std::uint32_t ktRNS = ChunkType("tRNS");

/// The largest chunk data length the format allows.
inline constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

/// A chunk is critical when bit 5 of its first type letter is clear.
constexpr bool IsCritical(std::uint32_t type) { return (type & 0x20000000u) == 0; }

/// The four type letters in file order.
inline std::array<std::uint8_t, 4> TypeBytes(std::uint32_t type)
{
    return {static_cast<std::uint8_t>(type >> 24), static_cast<std::uint8_t>(type >> 16),
            static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type)};
}

/// Continues a CRC-32 over bytes (zlib's polynomial, as chunks use it).
inline std::uint32_t CrcUpdate(std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    // zlib answers 0 for a null buffer, whatever the crc: nothing to add is no change.
    if (bytes.empty())
        return crc;
    // zlib takes the length as uInt; chunk pieces never exceed 2^31 - 1 bytes.
    return static_cast<std::uint32_t>(::crc32(crc, bytes.data(), static_cast<uInt>(bytes.size())));
}

/// The CRC of a chunk's type alone, where every chunk CRC starts.
inline std::uint32_t CrcOfType(std::uint32_t type)
{
    const auto letters = TypeBytes(type);
    return CrcUpdate(static_cast<std::uint32_t>(::crc32(0, nullptr, 0)), letters);
}

enum FilterType : std::uint8_t { ftNone = 0, ftSub = 1, ftUp = 2, ftAverage = 3, ftPaeth = 4 };

/// The Paeth predictor of the left, upper and upper-left bytes.
inline std::uint8_t PaethPredictor(int left, int up, int upperLeft)
{
    const int q = left + up - upperLeft;
    const int pa = q > left ? q - left : left - q;
    const int pb = q > up ? q - up : up - q;
    const int pc = q > upperLeft ? q - upperLeft : upperLeft - q;
    if (pa <= pb && pa <= pc)
        return static_cast<std::uint8_t>(left);
    if (pb <= pc)
        return static_cast<std::uint8_t>(up);
    return static_cast<std::uint8_t>(upperLeft);
}

/// Undoes filter `type` in place on the n bytes of row, against prev (the
/// previous unfiltered row of the same length), distance d bytes. Unknown
/// types leave the row as it is.
void UnfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::size_t d);

/// Writes into out the n bytes of row filtered with type (1 to 4) against prev.
void FilterRow(std::uint8_t type, const std::uint8_t* row, const std::uint8_t* prev, std::uint8_t* out,
               std::size_t n, std::size_t d);

/// The writer's score of a filtered row: the positions j from 2 to n - 1
/// whose byte equals the byte at j - 1 or at j - 2.
std::size_t RepeatCount(const std::uint8_t* filtered, std::size_t n);

/// One Adam7 pass: where its pixels start and how far apart they are, and
/// which pixels of each group of eight columns it fills (bit 7 = column 0).
struct Adam7Pass {
    int firstColumn;
    int columnStep;
    int firstRow;
    int rowStep;
    std::uint8_t mask;
};

inline constexpr std::array<Adam7Pass, 7> kAdam7 = {{
    {0, 8, 0, 8, 0x80},
    {4, 8, 0, 8, 0x08},
    {0, 4, 4, 8, 0x88},
    {2, 4, 0, 4, 0x22},
    {0, 2, 2, 4, 0xAA},
    {1, 2, 0, 2, 0x55},
    {0, 1, 1, 2, 0xFF},
}};

/// Pixels in each row of a pass over an image `width` wide (0: none).
constexpr std::int64_t PassWidth(const Adam7Pass& pass, std::int64_t width)
{
    return width > pass.firstColumn ? (width - pass.firstColumn + pass.columnStep - 1) / pass.columnStep : 0;
}

/// Rows of a pass over an image `height` tall (0: none).
constexpr std::int64_t PassHeight(const Adam7Pass& pass, std::int64_t height)
{
    return height > pass.firstRow ? (height - pass.firstRow + pass.rowStep - 1) / pass.rowStep : 0;
}

/// An inflate state (zlib header and checksum), ended when it goes.
class InflateState {
public:
    InflateState();
    ~InflateState();
    InflateState(const InflateState&) = delete;
    InflateState& operator=(const InflateState&) = delete;
    z_stream& operator*() { return m_stream; }
    z_stream* operator->() { return &m_stream; }
    /// Ends the state now; false when zlib reports an inconsistent state.
    bool Finish();

private:
    z_stream m_stream{};
    bool m_live = false;
};

/// A deflate state, ended when it goes.
class DeflateState {
public:
    DeflateState(int level, int windowBits, int memLevel, int strategy);
    ~DeflateState();
    DeflateState(const DeflateState&) = delete;
    DeflateState& operator=(const DeflateState&) = delete;
    z_stream& operator*() { return m_stream; }
    z_stream* operator->() { return &m_stream; }

private:
    z_stream m_stream{};
};

}  // namespace scalopex::formats::png
