// The JP2 box structure up to the contiguous-codestream box and the SIZ
// marker of the codestream, read through the cursor. Only what the limits
// and the component roles need is kept; everything else is left to the
// codec, which reads the file again from its start.

#include "formats/jpeg2000/jp2_header.h"

#include <algorithm>
#include <string>

#include "base/byte_cursor.h"
#include "base/limits.h"
#include "formats/jpeg2000/jpeg2000_error.h"

namespace scalopex::formats::jp2 {

namespace {

constexpr std::uint32_t BoxType(const char (&name)[5])
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(name[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(name[3]));
}

constexpr std::uint32_t kHeaderBox = BoxType("jp2h");
constexpr std::uint32_t kCodestreamBox = BoxType("jp2c");
constexpr std::uint32_t kChannelDefinitionBox = BoxType("cdef");
constexpr std::uint32_t kComponentMappingBox = BoxType("cmap");

constexpr std::uint16_t kSOC = 0xFF4F;
constexpr std::uint16_t kSIZ = 0xFF51;
// The largest component count and sample separation a SIZ marker can give,
// and the largest precision the codec accepts.
constexpr std::size_t kMaxComponents = 16384;
constexpr int kMaxPrecision = 38;

// What the codec allocates per tile and per tile and component while it
// reads the main header (its coding parameters), measured on the codec and
// rounded up.
constexpr std::uint64_t kTileBytes = 7168;
constexpr std::uint64_t kTileComponentBytes = 1152;
// SOT (12 bytes) and SOD (2 bytes): the least one tile-part takes.
constexpr std::uint64_t kTilePartBytes = 14;
// SOC, and the SIZ marker segment without its component entries.
constexpr std::uint64_t kSocAndSizBytes = 2 + 2 + 38;

[[noreturn]] void FailDecoding()
{
    throw EJpeg2000Error(kSJpeg2000DecodingFailed);
}

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b)
{
    return (a + b - 1) / b;
}

// Sums and products that stop at the largest value instead of wrapping: they
// only feed comparisons with the limits.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t r = 0;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

std::uint64_t SaturatingMul(std::uint64_t a, std::uint64_t b)
{
    std::uint64_t r = 0;
    return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}

// A box header: its type and how many content bytes follow it (to the end
// of the data when its length field is 0).
struct TBox {
    std::uint32_t type = 0;
    std::uint64_t contentBytes = 0;
};

TBox ReadBox(base::ByteCursor& cursor)
{
    const std::uint32_t length = cursor.u32be();
    TBox box;
    box.type = cursor.u32be();
    std::uint64_t headerBytes = 8;
    std::uint64_t total = length;
    if (length == 1) {
        const std::uint64_t high = cursor.u32be();
        total = high << 32 | cursor.u32be();
        headerBytes = 16;
    } else if (length == 0) {
        total = cursor.remaining() + headerBytes;
    }
    if (total < headerBytes)
        FailDecoding();
    box.contentBytes = total - headerBytes;
    return box;
}

// The content of a box the file holds whole; a cursor over it fails as a
// broken file, not as short data, when the content is shorter than its
// fields claim.
base::ByteCursor BoxContent(base::ByteCursor& cursor, const TBox& box)
{
    cursor.require(static_cast<std::size_t>(box.contentBytes));  // data that end inside the box: a short read
    return base::ByteCursor(cursor.bytes(static_cast<std::size_t>(box.contentBytes)), &FailDecoding);
}

void ReadHeaderBox(base::ByteCursor content, TFileHeader& header)
{
    bool haveChannels = false;
    while (!content.atEnd()) {
        const TBox box = ReadBox(content);
        base::ByteCursor body = BoxContent(content, box);
        if (box.type == kChannelDefinitionBox && !haveChannels) {
            haveChannels = true;
            const std::uint16_t count = body.u16be();
            body.require(std::size_t{count} * 6);
            header.channels.resize(count);
            for (TChannelDefinition& entry : header.channels) {
                entry.channel = body.u16be();
                entry.type = body.u16be();
                entry.association = body.u16be();
            }
        } else if (box.type == kComponentMappingBox && header.mappedChannels == 0) {
            header.mappedChannels = static_cast<std::size_t>(box.contentBytes / 4);
        }
    }
}

TCodestreamHeader ReadSIZ(base::ByteCursor& cursor)
{
    if (cursor.u16be() != kSOC || cursor.u16be() != kSIZ)
        FailDecoding();
    const std::uint16_t length = cursor.u16be();
    cursor.u16be();  // capabilities
    TCodestreamHeader siz;
    siz.x1 = cursor.u32be();
    siz.y1 = cursor.u32be();
    siz.x0 = cursor.u32be();
    siz.y0 = cursor.u32be();
    siz.tileWidth = cursor.u32be();
    siz.tileHeight = cursor.u32be();
    siz.tileX0 = cursor.u32be();
    siz.tileY0 = cursor.u32be();
    const std::size_t count = cursor.u16be();
    if (count == 0 || count > kMaxComponents || length != 38 + 3 * count)
        FailDecoding();
    // The image lies on the grid and inside the first tile's column and row.
    if (siz.x0 >= siz.x1 || siz.y0 >= siz.y1 || siz.tileWidth == 0 || siz.tileHeight == 0 || siz.tileX0 > siz.x0 ||
        siz.tileY0 > siz.y0 || std::uint64_t{siz.tileX0} + siz.tileWidth <= siz.x0 ||
        std::uint64_t{siz.tileY0} + siz.tileHeight <= siz.y0)
        FailDecoding();
    cursor.require(3 * count);
    siz.components.resize(count);
    for (TComponentHeader& component : siz.components) {
        const std::uint8_t depth = cursor.u8();
        component.isSigned = (depth & 0x80) != 0;
        component.precision = (depth & 0x7F) + 1;
        component.dx = cursor.u8();
        component.dy = cursor.u8();
        if (component.precision > kMaxPrecision || component.dx == 0 || component.dy == 0)
            FailDecoding();
    }
    return siz;
}

}  // namespace

TFileKind KindOf(std::span<const std::uint8_t> bytes) noexcept
{
    static constexpr std::uint8_t kJp2Signature[kSignatureBytes] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
    static constexpr std::uint8_t kCodestreamStart[4] = {0xFF, 0x4F, 0xFF, 0x51};
    if (bytes.size() < kSignatureBytes)
        return TFileKind::Unknown;
    if (std::equal(std::begin(kJp2Signature), std::end(kJp2Signature), bytes.begin()))
        return TFileKind::Jp2;
    if (std::equal(std::begin(kCodestreamStart), std::end(kCodestreamStart), bytes.begin()))
        return TFileKind::Codestream;
    return TFileKind::Unknown;
}

std::uint64_t TCodestreamHeader::Tiles() const
{
    return CeilDiv(std::uint64_t{x1} - tileX0, tileWidth) * CeilDiv(std::uint64_t{y1} - tileY0, tileHeight);
}

std::uint64_t TCodestreamHeader::Samples(std::size_t c) const
{
    const TComponentHeader& component = components.at(c);
    const std::uint64_t w = CeilDiv(x1, component.dx) - CeilDiv(x0, component.dx);
    const std::uint64_t h = CeilDiv(y1, component.dy) - CeilDiv(y0, component.dy);
    return w * h;
}

TFileHeader ParseHeader(std::span<const std::uint8_t> data, TFileKind kind)
{
    TFileHeader header;
    header.kind = kind;
    base::ByteCursor cursor(data);
    if (kind == TFileKind::Jp2) {
        bool haveHeaderBox = false;
        for (;;) {
            if (cursor.atEnd())
                FailDecoding();  // no codestream
            const TBox box = ReadBox(cursor);
            if (box.type == kCodestreamBox) {
                header.codestreamBytes = std::min<std::uint64_t>(box.contentBytes, cursor.remaining());
                break;
            }
            base::ByteCursor content = BoxContent(cursor, box);
            if (box.type == kHeaderBox && !haveHeaderBox) {
                haveHeaderBox = true;
                ReadHeaderBox(content, header);
            }
        }
    } else if (kind == TFileKind::Codestream) {
        header.codestreamBytes = cursor.remaining();
    } else {
        throw EJpeg2000Error(kSUnknownJpeg2000Type);
    }
    base::ByteCursor codestream = cursor.sub(static_cast<std::size_t>(header.codestreamBytes));
    header.codestream = ReadSIZ(codestream);
    return header;
}

std::uint64_t CodecBytes(const TFileHeader& header)
{
    const TCodestreamHeader& siz = header.codestream;
    std::uint64_t samples = 0;
    for (std::size_t c = 0; c < siz.components.size(); ++c)
        samples = SaturatingAdd(samples, siz.Samples(c));
    samples = SaturatingAdd(samples, SaturatingMul(header.mappedChannels, siz.Samples(0)));
    const std::uint64_t perTile = kTileBytes + kTileComponentBytes * siz.components.size();
    return SaturatingAdd(SaturatingMul(samples, sizeof(std::int32_t)), SaturatingMul(siz.Tiles(), perTile));
}

std::uint64_t MinimumCodestreamBytes(const TCodestreamHeader& header)
{
    // Tiles without a tile-part decode as empty, so only one is required;
    // what the rest would cost the codec is bounded by CodecBytes.
    return kSocAndSizBytes + 3 * std::uint64_t{header.components.size()} + kTilePartBytes;
}

void CheckLimits(const TFileHeader& header)
{
    const std::size_t channels =
        header.mappedChannels != 0 ? header.mappedChannels : header.codestream.components.size();
    base::TImageHeader image;
    image.width = header.codestream.Width();
    image.height = header.codestream.Height();
    image.bitsPerPixel = channels == 3 ? 24 : channels == 4 ? 32 : 8;
    image.dataBytes = header.codestreamBytes;
    image.minimumDataBytes = MinimumCodestreamBytes(header.codestream);
    base::CheckImageHeader(image);
    const std::uint64_t codecBytes = CodecBytes(header);
    if (codecBytes > base::Limits().maxCodecBytes)
        throw base::ELimitExceeded("JPEG 2000 image of " + std::to_string(header.codestream.components.size()) +
                                   " components and " + std::to_string(header.codestream.Tiles()) + " tiles needs " +
                                   std::to_string(codecBytes) + " bytes of codec memory, beyond the limit of " +
                                   std::to_string(base::Limits().maxCodecBytes) + " bytes");
}

}  // namespace scalopex::formats::jp2
