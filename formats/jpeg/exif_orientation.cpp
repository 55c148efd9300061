// Exif orientation: the APP1 "Exif" payload is a TIFF structure (TIFF 6.0,
// section 2) holding the Exif 2.3 tags; only the Orientation tag (0x0112) of
// the first IFD is read. Offsets come from the file, so every read goes
// through the bounds-checked cursor and any damage falls back to 1.

#include "formats/jpeg/exif_orientation.h"

#include <algorithm>
#include <array>

#include "base/byte_cursor.h"
#include "base/exceptions.h"

namespace scalopex::formats {

namespace {

constexpr std::array<std::uint8_t, 6> kExifHeader = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t kTiffMagic = 42;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;

// Reads TIFF values in the byte order the structure declares.
class TTiffReader {
public:
    TTiffReader(base::ByteCursor& cursor, bool littleEndian) : m_cursor(cursor), m_little(littleEndian) {}
    std::uint16_t u16() { return m_little ? m_cursor.u16le() : m_cursor.u16be(); }
    std::uint32_t u32() { return m_little ? m_cursor.u32le() : m_cursor.u32be(); }

private:
    base::ByteCursor& m_cursor;
    bool m_little;
};

int ReadOrientation(std::span<const std::uint8_t> payload)
{
    base::ByteCursor cursor(payload);
    const auto header = cursor.bytes(kExifHeader.size());
    if (!std::equal(header.begin(), header.end(), kExifHeader.begin()))
        return 1;

    // TIFF offsets count from the byte-order mark.
    base::ByteCursor tiff(cursor.rest());
    const std::uint8_t first = tiff.u8();
    const std::uint8_t second = tiff.u8();
    if (first != second || (first != 'I' && first != 'M'))
        return 1;
    TTiffReader read(tiff, first == 'I');
    if (read.u16() != kTiffMagic)
        return 1;
    tiff.seek(read.u32());

    const std::uint16_t entries = read.u16();
    for (std::uint16_t i = 0; i < entries; ++i) {
        const std::uint16_t tag = read.u16();
        const std::uint16_t type = read.u16();
        const std::uint32_t count = read.u32();
        if (tag != kOrientationTag) {
            tiff.skip(4);
            continue;
        }
        if (type != kTypeShort || count < 1)
            return 1;
        // A single SHORT sits left-justified in the 4-byte value field.
        const std::uint16_t value = read.u16();
        return (value >= 1 && value <= 8) ? value : 1;
    }
    return 1;
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> app1Payload) noexcept
{
    try {
        return ReadOrientation(app1Payload);
    } catch (const base::Exception&) {
        return 1;  // cut short or pointing outside the block
    }
}

}  // namespace scalopex::formats
