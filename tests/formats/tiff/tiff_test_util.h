#pragma once
// A small TIFF writer for the reader tests: an 8-byte header, the image
// data, then one IFD whose entries are given as tag, type and values, in
// either byte order. Entries are written in the order given (the reader
// sorts them); values that do not fit the value field follow the IFD.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/exceptions.h"
#include "core/opening.h"
#include "core/stream.h"
#include "tests/support/test_files.h"
#include "tests/support/tools.h"

namespace scalopex::test::tiff {

using Bytes = std::vector<std::uint8_t>;

enum Type : std::uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

struct Field {
    std::uint16_t tag;
    std::uint16_t type;
    std::vector<std::uint32_t> values;  // a rational takes two: numerator, denominator
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false) : m_big(bigEndian) {}

    /// Appends image data; returns their offset in the file.
    std::uint32_t Data(const Bytes& bytes)
    {
        const std::uint32_t offset = static_cast<std::uint32_t>(8 + m_data.size());
        m_data.insert(m_data.end(), bytes.begin(), bytes.end());
        return offset;
    }
    TiffBuilder& Add(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values)
    {
        m_fields.push_back({tag, type, std::move(values)});
        return *this;
    }
    TiffBuilder& Short(std::uint16_t tag, std::vector<std::uint32_t> values)
    {
        return Add(tag, kShort, std::move(values));
    }
    TiffBuilder& Long(std::uint16_t tag, std::vector<std::uint32_t> values)
    {
        return Add(tag, kLong, std::move(values));
    }

    Bytes Build() const
    {
        Bytes out;
        Put(out, m_big ? 0x4D4D : 0x4949, 2);
        Put(out, 42, 2);
        const std::uint32_t ifd = static_cast<std::uint32_t>(8 + m_data.size() + (m_data.size() & 1));
        Put(out, ifd, 4);
        out.insert(out.end(), m_data.begin(), m_data.end());
        if (m_data.size() & 1)
            out.push_back(0);
        Bytes extra;
        const std::uint32_t extraStart = ifd + 2 + 12 * static_cast<std::uint32_t>(m_fields.size()) + 4;
        Put(out, static_cast<std::uint32_t>(m_fields.size()), 2);
        for (const Field& f : m_fields) {
            const unsigned size = f.type == kShort ? 2 : (f.type == kLong ? 4 : (f.type == kRational ? 4 : 1));
            const std::uint32_t count =
                static_cast<std::uint32_t>(f.type == kRational ? f.values.size() / 2 : f.values.size());
            Put(out, f.tag, 2);
            Put(out, f.type, 2);
            Put(out, count, 4);
            Bytes values;
            for (std::uint32_t v : f.values)
                Put(values, v, size);
            if (values.size() <= 4) {
                values.resize(4, 0);
                out.insert(out.end(), values.begin(), values.end());
            } else {
                Put(out, extraStart + static_cast<std::uint32_t>(extra.size()), 4);
                extra.insert(extra.end(), values.begin(), values.end());
            }
        }
        Put(out, 0, 4);
        out.insert(out.end(), extra.begin(), extra.end());
        return out;
    }

private:
    void Put(Bytes& out, std::uint32_t v, unsigned size) const
    {
        for (unsigned i = 0; i < size; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * (m_big ? size - 1 - i : i))));
    }

    bool m_big;
    Bytes m_data;
    std::vector<Field> m_fields;
};

/// A strip image of width × height: the basic tags, the data as one strip
/// (RowsPerStrip left out unless rowsPerStrip > 0).
inline TiffBuilder Image(int width, int height, std::vector<std::uint32_t> bits, int photometric, const Bytes& data,
                         int compression = 1, bool bigEndian = false, int rowsPerStrip = 0)
{
    TiffBuilder b(bigEndian);
    const std::uint32_t offset = b.Data(data);
    b.Short(256, {static_cast<std::uint32_t>(width)}).Short(257, {static_cast<std::uint32_t>(height)});
    const std::uint32_t samples = static_cast<std::uint32_t>(bits.size());
    b.Short(258, std::move(bits)).Short(259, {static_cast<std::uint32_t>(compression)});
    b.Short(262, {static_cast<std::uint32_t>(photometric)}).Long(273, {offset}).Short(277, {samples});
    if (rowsPerStrip > 0)
        b.Short(278, {static_cast<std::uint32_t>(rowsPerStrip)});
    b.Long(279, {static_cast<std::uint32_t>(data.size())});
    return b;
}

template <typename Graphic>
void Load(Graphic& graphic, Bytes bytes)
{
    core::TMemoryStream stream(std::move(bytes));
    graphic.LoadFromStream(stream);
}

/// The message of loading bytes into a new Graphic, "(no error)" when it loads.
template <typename Graphic>
std::string LoadError(Bytes bytes)
{
    try {
        Graphic graphic;
        Load(graphic, std::move(bytes));
    } catch (const base::Exception& e) {
        return e.what();
    }
    return "(no error)";
}

/// The picture bytes decode to, as the program shows it (24-bit, over white).
template <typename Graphic>
TPixmap Pixels(Bytes bytes)
{
    Graphic graphic;
    Load(graphic, std::move(bytes));
    return ToPixmap(*core::GraphicToBitmap(&graphic));
}

inline std::uint32_t At(const TPixmap& p, int x, int y)
{
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * p.width + x);
    return std::uint32_t{p.rgb[i]} << 16 | std::uint32_t{p.rgb[i + 1]} << 8 | p.rgb[i + 2];
}

}  // namespace scalopex::test::tiff
