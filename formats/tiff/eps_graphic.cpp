// Encapsulated PostScript with a binary header (the DOS EPS layout): a
// little-endian magic C5 D0 D3 C6, then the offsets and lengths of the
// PostScript, a metafile preview and a TIFF preview, and a checksum. Only the
// TIFF preview is read, as a TIFF file whose offsets count from its first
// byte.

#include "formats/tiff/eps_graphic.h"

#include "base/exceptions.h"
#include "core/stream.h"

namespace scalopex::formats {

SCALOPEX_DEFINE_GRAPHIC_CLASS(TEPSGraphic, TTIFFGraphic)

namespace {

constexpr std::size_t kHeaderBytes = 30;
constexpr std::uint32_t kMagic = 0xC6D3D0C5;

struct TEpsHeader {
    std::uint32_t magic = 0;
    std::uint32_t tiffOffset = 0;
    std::uint32_t tiffLength = 0;
};

TEpsHeader ParseHeader(base::ByteCursor& c)
{
    TEpsHeader h;
    h.magic = c.u32le();
    c.skip(16);  // PostScript and metafile preview
    h.tiffOffset = c.u32le();
    h.tiffLength = c.u32le();
    c.skip(2);  // checksum
    return h;
}

bool HasPreview(std::span<const std::uint8_t> start, std::uint64_t remaining)
{
    if (remaining <= kHeaderBytes || start.size() < kHeaderBytes)
        return false;
    base::ByteCursor c(start);
    const TEpsHeader h = ParseHeader(c);
    return h.magic == kMagic && h.tiffOffset > kHeaderBytes && h.tiffLength != 0;
}

}  // namespace

bool IsEPS(std::span<const std::uint8_t> start) noexcept
{
    return HasPreview(start, start.size());
}

bool TEPSGraphic::CanLoadStream(core::TStream& stream) const
{
    const std::uint64_t start = stream.Position();
    const std::uint64_t size = stream.Size();
    std::uint8_t bytes[kHeaderBytes] = {};
    const std::size_t got = stream.Read(bytes, sizeof bytes);
    stream.SetPosition(start);
    return HasPreview({bytes, got}, size > start ? size - start : 0);
}

std::size_t TEPSGraphic::TiffStart(base::ByteCursor& input)
{
    input.seek(0);
    if (input.remaining() < kHeaderBytes)
        throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kSEpsName));
    const TEpsHeader h = ParseHeader(input);
    if (h.magic != kMagic)
        throw base::EInvalidGraphic(base::Format(base::kSInvalidImage, kSEpsName));
    // The preview's offset counts from the header; 0 (no preview) is the header itself.
    return h.tiffOffset;
}

}  // namespace scalopex::formats
