#pragma once
// Photoshop documents spelled out for the tests.

#include <cstdint>
#include <vector>

#include "tests/support/byte_builder.h"

namespace scalopex::test::psd {

using Bytes = std::vector<std::uint8_t>;

struct DocumentSpec {
    std::uint16_t version = 1;
    std::uint16_t channels = 3;
    std::uint32_t width = 1, height = 1;
    std::uint16_t depth = 8;
    std::uint16_t mode = 3;
    Bytes colorModeData = {};
    Bytes layers = {};  // the layer and mask information section
};

inline ByteBuilder Start(const DocumentSpec& d)
{
    ByteBuilder b;
    b.text("8BPS")
        .u16be(d.version)
        .fill(6, 0)
        .u16be(d.channels)
        .u32be(d.height)
        .u32be(d.width)
        .u16be(d.depth)
        .u16be(d.mode);
    b.u32be(static_cast<std::uint32_t>(d.colorModeData.size())).bytes(d.colorModeData);
    b.u32be(4).bytes({1, 2, 3, 4});  // image resources, skipped
    b.u32be(static_cast<std::uint32_t>(d.layers.size())).bytes(d.layers);
    return b;
}

/// A raw document: planes[c] holds all rows of channel c.
inline Bytes Raw(const DocumentSpec& d, const std::vector<Bytes>& planes)
{
    ByteBuilder b = Start(d);
    b.u16be(0);
    for (const Bytes& p : planes)
        b.bytes(p);
    return b.take();
}

/// PackBits: repeats of 2 to 128 as runs, the rest as literals of up to 128.
inline Bytes PackBits(const Bytes& row)
{
    Bytes out;
    for (std::size_t i = 0; i < row.size();) {
        std::size_t n = 1;
        while (i + n < row.size() && row[i + n] == row[i] && n < 128)
            ++n;
        if (n > 1) {
            out.push_back(static_cast<std::uint8_t>(257 - n));
            out.push_back(row[i]);
            i += n;
            continue;
        }
        std::size_t m = 1;
        while (i + m < row.size() && m < 128 && !(i + m + 1 < row.size() && row[i + m] == row[i + m + 1]))
            ++m;
        out.push_back(static_cast<std::uint8_t>(m - 1));
        out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(i),
                   row.begin() + static_cast<std::ptrdiff_t>(i + m));
        i += m;
    }
    return out;
}

/// A PackBits document from packed rows: rows[c][r] is row r of channel c.
inline Bytes Packed(const DocumentSpec& d, const std::vector<std::vector<Bytes>>& rows)
{
    ByteBuilder b = Start(d);
    b.u16be(1);
    for (const auto& channel : rows)
        for (const Bytes& row : channel)
            b.u16be(static_cast<std::uint32_t>(row.size()));
    for (const auto& channel : rows)
        for (const Bytes& row : channel)
            b.bytes(row);
    return b.take();
}

/// The same, each row of planes[c] (rowBytes long) packed.
inline Bytes PackedPlanes(const DocumentSpec& d, const std::vector<Bytes>& planes, std::size_t rowBytes)
{
    std::vector<std::vector<Bytes>> rows;
    for (const Bytes& p : planes) {
        rows.emplace_back();
        for (std::size_t at = 0; at < p.size(); at += rowBytes)
            rows.back().push_back(PackBits(Bytes(p.begin() + static_cast<std::ptrdiff_t>(at),
                                                 p.begin() + static_cast<std::ptrdiff_t>(at + rowBytes))));
    }
    return Packed(d, rows);
}

/// A layer section whose layer count is count (and nothing else of use).
inline Bytes LayerCount(std::int16_t count)
{
    ByteBuilder b;
    b.u32be(2).u16be(static_cast<std::uint16_t>(count));
    return b.take();
}

}  // namespace scalopex::test::psd
