#pragma once
// SGI image files spelled out for the tests.

#include <cstdint>
#include <vector>

#include "tests/support/byte_builder.h"

namespace scalopex::test::sgi {

struct HeaderSpec {
    std::uint16_t magic = 474;
    std::uint8_t rle = 0;
    std::uint8_t bytesPerSample = 1;
    std::uint16_t dimension = 3;
    std::uint16_t width = 1, height = 1, channels = 3;
};

inline std::vector<std::uint8_t> Header(const HeaderSpec& h)
{
    ByteBuilder b;
    b.u16be(h.magic).u8(h.rle).u8(h.bytesPerSample).u16be(h.dimension);
    b.u16be(h.width).u16be(h.height).u16be(h.channels);
    b.fill(512 - 12, 0);
    return b.take();
}

/// A verbatim file: rows[c][r] is file row r (bottom first) of channel c.
inline std::vector<std::uint8_t> Verbatim(const HeaderSpec& h,
                                          const std::vector<std::vector<std::vector<std::uint8_t>>>& rows)
{
    std::vector<std::uint8_t> out = Header(h);
    for (const auto& channel : rows)
        for (const auto& row : channel)
            out.insert(out.end(), row.begin(), row.end());
    return out;
}

/// A run-length file from packed rows: packed[c][r] is file row r of
/// channel c, already encoded. The tables point at the rows in order.
inline std::vector<std::uint8_t> RunLength(HeaderSpec h,
                                           const std::vector<std::vector<std::vector<std::uint8_t>>>& packed)
{
    h.rle = 1;
    std::vector<std::uint8_t> out = Header(h);
    std::uint32_t at = 512 + 8u * h.height * h.channels;
    ByteBuilder starts, lengths;
    std::vector<std::uint8_t> data;
    for (const auto& channel : packed)
        for (const auto& row : channel) {
            starts.u32be(at);
            lengths.u32be(static_cast<std::uint32_t>(row.size()));
            at += static_cast<std::uint32_t>(row.size());
            data.insert(data.end(), row.begin(), row.end());
        }
    out.insert(out.end(), starts.data().begin(), starts.data().end());
    out.insert(out.end(), lengths.data().begin(), lengths.data().end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace scalopex::test::sgi
