#pragma once
// Helpers of the PNG tests: files spelled out chunk by chunk (CRCs and zlib
// data made with zlib itself) and decoding into a TPNGGraphic.

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "core/stream.h"
#include "formats/png/png_graphic.h"
#include "tests/support/byte_builder.h"
#include "tests/support/tools.h"

namespace scalopex::test::png {

using Bytes = std::vector<std::uint8_t>;

/// zlib data (header, deflate, Adler-32) of raw.
inline Bytes Zlib(std::span<const std::uint8_t> raw, int level = 9)
{
    uLongf size = ::compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    if (::compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

/// Inflates a whole zlib stream (for looking inside written files).
inline Bytes Unzlib(std::span<const std::uint8_t> data)
{
    z_stream z{};
    if (::inflateInit(&z) != Z_OK)
        throw std::runtime_error("inflateInit failed");
    Bytes out;
    std::uint8_t buffer[65536];
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = ::inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    }
    ::inflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("inflate failed");
    return out;
}

/// A PNG file written chunk by chunk.
class PngFile {
public:
    /// Starts with the signature.
    PngFile() { m_b.bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}); }

    /// A chunk with the right CRC, or with the CRC plus crcDelta.
    PngFile& Chunk(const std::string& type, std::span<const std::uint8_t> data, std::uint32_t crcDelta = 0)
    {
        m_b.u32be(static_cast<std::uint32_t>(data.size())).text(type).bytes(data);
        std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4));
        if (!data.empty())  // zlib answers 0 for a null buffer
            crc = static_cast<std::uint32_t>(::crc32(crc, data.data(), static_cast<uInt>(data.size())));
        m_b.u32be(crc + crcDelta);
        return *this;
    }
    PngFile& Chunk(const std::string& type, std::initializer_list<std::uint8_t> data, std::uint32_t crcDelta = 0)
    {
        const Bytes bytes(data);
        return Chunk(type, bytes, crcDelta);
    }
    PngFile& Ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colorType,
                  std::uint8_t interlace = 0, std::uint8_t compression = 0)
    {
        ByteBuilder d;
        d.u32be(width).u32be(height).u8(depth).u8(colorType).u8(compression).u8(0).u8(interlace);
        return Chunk("IHDR", d.data());
    }
    /// One IDAT chunk holding the zlib data of the filtered rows.
    PngFile& Idat(std::span<const std::uint8_t> rows) { return Chunk("IDAT", Zlib(rows)); }
    PngFile& Iend() { return Chunk("IEND", std::span<const std::uint8_t>()); }
    /// Raw bytes (for broken files).
    PngFile& Raw(std::initializer_list<std::uint8_t> bytes)
    {
        m_b.bytes(bytes);
        return *this;
    }

    const Bytes& bytes() const { return m_b.data(); }

private:
    ByteBuilder m_b;
};

inline std::unique_ptr<formats::TPNGGraphic> Decode(const Bytes& bytes)
{
    core::TMemoryStream stream(bytes);
    auto graphic = std::make_unique<formats::TPNGGraphic>();
    graphic->LoadFromStream(stream);
    return graphic;
}

/// The message a load fails with; "" when it succeeds. Only the engine's
/// own exceptions count as clean failures: anything else propagates.
inline std::string LoadError(const Bytes& bytes)
{
    try {
        Decode(bytes);
    } catch (const base::Exception& e) {
        return e.Message().empty() ? "(empty message)" : e.Message();
    }
    return "";
}

using test::RunCommand;

}  // namespace scalopex::test::png
