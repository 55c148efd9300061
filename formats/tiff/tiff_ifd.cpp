#include "formats/tiff/tiff_ifd.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace scalopex::formats::tiff {

namespace {

bool IsInteger(std::uint16_t type)
{
    switch (type) {
    case kByte:
    case kShort:
    case kLong:
    case kSShort:
    case kSLong:
    case kIfd:
    case kLong8:
    case kSLong8:
    case kIfd8:
        return true;
    default:
        return false;
    }
}

// One value of an integer type at the cursor, signed types as bit patterns.
std::uint64_t IntegerAt(base::ByteCursor& c, std::uint16_t type)
{
    switch (TypeSize(type)) {
    case 1:
        return c.u8();
    case 2:
        return c.u16();
    case 4:
        return c.u32();
    default: {
        const std::uint64_t first = c.u32();
        const std::uint64_t second = c.u32();
        return c.byteOrder() == base::ByteOrder::BigEndian ? (first << 32) | second : (second << 32) | first;
    }
    }
}

}  // namespace

std::size_t TypeSize(std::uint16_t type)
{
    switch (type) {
    case kByte:
    case kAscii:
    case kSByte:
    case kUndefined:
        return 1;
    case kShort:
    case kSShort:
        return 2;
    case kLong:
    case kSLong:
    case kFloat:
    case kIfd:
        return 4;
    case kRational:
    case kSRational:
    case kDouble:
    case kLong8:
    case kSLong8:
    case kIfd8:
        return 8;
    default:
        return 0;
    }
}

std::optional<THeader> ReadHeader(std::span<const std::uint8_t> data)
{
    base::ByteCursor c(data);
    THeader header;
    if (c.skipPrefix({'I', 'I'}))
        header.order = base::ByteOrder::LittleEndian;
    else if (c.skipPrefix({'M', 'M'}))
        header.order = base::ByteOrder::BigEndian;
    else
        return std::nullopt;
    c.setByteOrder(header.order);
    if (c.remaining() < 6)
        return std::nullopt;
    header.version = c.u16();
    if (header.version == 42) {
        header.firstIFD = c.u32();
        return header;
    }
    // 64-bit offsets: the offset size (8) and a zero word, then the offset.
    if (header.version != 43 || c.remaining() < 12 || c.u16() != 8 || c.u16() != 0)
        return std::nullopt;
    header.firstIFD = IntegerAt(c, kLong8);
    return header;
}

bool TDirectory::Load(std::span<const std::uint8_t> data, const THeader& header, std::uint64_t offset)
{
    m_data = data;
    m_header = header;
    m_entries.clear();
    m_next = 0;
    const bool big = header.Big();
    const std::size_t countBytes = big ? 8 : 2;
    if (offset == 0 || offset >= data.size() || data.size() - offset < countBytes)
        return false;
    base::ByteCursor c = CursorOver(data);
    c.seek(static_cast<std::size_t>(offset));
    const std::uint64_t count = big ? IntegerAt(c, kLong8) : c.u16();
    const std::size_t entryBytes = big ? 20 : 12;
    const std::size_t present = static_cast<std::size_t>(std::min<std::uint64_t>(count, c.remaining() / entryBytes));
    m_entries.resize(present);
    for (TEntry& entry : m_entries) {
        entry.tag = c.u16();
        entry.type = c.u16();
        entry.count = big ? IntegerAt(c, kLong8) : c.u32();
        const std::span<const std::uint8_t> field = c.bytes(big ? 8 : 4);
        std::memcpy(entry.field, field.data(), field.size());
    }
    const std::size_t offsetBytes = big ? 8 : 4;
    if (present == count && c.remaining() >= offsetBytes) {
        m_next = big ? IntegerAt(c, kLong8) : c.u32();
        if (m_next >= data.size())
            m_next = 0;
    }
    // Directories need not be sorted; equal tags keep their file order.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const TEntry& a, const TEntry& b) { return a.tag < b.tag; });
    return true;
}

base::ByteCursor TDirectory::CursorOver(std::span<const std::uint8_t> bytes) const
{
    base::ByteCursor c(bytes);
    c.setByteOrder(m_header.order);
    return c;
}

const TEntry* TDirectory::Find(std::uint16_t tag) const
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), tag,
                                     [](const TEntry& entry, std::uint16_t t) { return entry.tag < t; });
    return it != m_entries.end() && it->tag == tag ? &*it : nullptr;
}

std::span<const std::uint8_t> TDirectory::Values(const TEntry& entry, std::size_t& count) const
{
    count = 0;
    const std::size_t size = TypeSize(entry.type);
    if (size == 0 || entry.count == 0)
        return {};
    const std::size_t fieldBytes = m_header.Big() ? 8 : 4;
    if (entry.count <= fieldBytes / size) {
        count = static_cast<std::size_t>(entry.count);
        return std::span<const std::uint8_t>(entry.field, count * size);
    }
    base::ByteCursor field = CursorOver(std::span<const std::uint8_t>(entry.field, fieldBytes));
    const std::uint64_t offset = m_header.Big() ? IntegerAt(field, kLong8) : field.u32();
    if (offset >= m_data.size())
        return {};
    const std::size_t available = (m_data.size() - static_cast<std::size_t>(offset)) / size;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(entry.count, available));
    return m_data.subspan(static_cast<std::size_t>(offset), count * size);
}

std::uint64_t TDirectory::Integer(std::uint16_t tag, std::uint64_t fallback) const
{
    const TEntry* entry = Find(tag);
    if (entry == nullptr)
        return fallback;
    base::ByteCursor field = CursorOver(std::span<const std::uint8_t>(entry->field, sizeof entry->field));
    if (entry->count != 1) {
        // The raw value field: two shorts as two shorts, bytes as they are.
        switch (TypeSize(entry->type)) {
        case 1:
            return field.u32le();
        case 2: {
            const std::uint64_t low = field.u16();
            return low | (std::uint64_t{field.u16()} << 16);
        }
        default:
            return m_header.Big() ? IntegerAt(field, kLong8) : field.u32();
        }
    }
    if (!IsInteger(entry->type))
        return fallback;
    return IntegerAt(field, entry->type);
}

std::vector<std::uint64_t> TDirectory::Integers(std::uint16_t tag) const
{
    std::vector<std::uint64_t> values;
    const TEntry* entry = Find(tag);
    if (entry == nullptr || !IsInteger(entry->type))
        return values;
    std::size_t count = 0;
    base::ByteCursor c = CursorOver(Values(*entry, count));
    values.resize(count);
    for (std::uint64_t& v : values)
        v = IntegerAt(c, entry->type);
    return values;
}

std::vector<std::uint8_t> TDirectory::Bytes(std::uint16_t tag) const
{
    std::vector<std::uint8_t> values;
    const TEntry* entry = Find(tag);
    if (entry == nullptr)
        return values;
    std::size_t count = 0;
    const std::span<const std::uint8_t> raw = Values(*entry, count);
    if (TypeSize(entry->type) == 1)
        return {raw.begin(), raw.end()};
    if (!IsInteger(entry->type))
        return values;
    base::ByteCursor c = CursorOver(raw);
    values.resize(count);
    for (std::uint8_t& v : values)
        v = static_cast<std::uint8_t>(IntegerAt(c, entry->type));
    return values;
}

std::vector<double> TDirectory::Reals(std::uint16_t tag) const
{
    std::vector<double> values;
    const TEntry* entry = Find(tag);
    if (entry == nullptr)
        return values;
    std::size_t count = 0;
    base::ByteCursor c = CursorOver(Values(*entry, count));
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        switch (entry->type) {
        case kRational: {
            const double numerator = c.u32();
            const double denominator = c.u32();
            values.push_back(denominator == 0 ? 0.0 : numerator / denominator);
            break;
        }
        case kSRational: {
            const double numerator = static_cast<std::int32_t>(c.u32());
            const double denominator = static_cast<std::int32_t>(c.u32());
            values.push_back(denominator == 0 ? 0.0 : numerator / denominator);
            break;
        }
        case kFloat:
            values.push_back(std::bit_cast<float>(c.u32()));
            break;
        case kDouble:
            values.push_back(std::bit_cast<double>(IntegerAt(c, kLong8)));
            break;
        case kSByte:
            values.push_back(static_cast<std::int8_t>(c.u8()));
            break;
        case kSShort:
            values.push_back(static_cast<std::int16_t>(c.u16()));
            break;
        case kSLong:
            values.push_back(static_cast<std::int32_t>(c.u32()));
            break;
        default:
            if (!IsInteger(entry->type))
                return {};
            values.push_back(static_cast<double>(IntegerAt(c, entry->type)));
            break;
        }
    }
    return values;
}

double TDirectory::Real(std::uint16_t tag, double fallback) const
{
    const TEntry* entry = Find(tag);
    if (entry == nullptr || entry->count != 1)
        return fallback;
    const std::vector<double> values = Reals(tag);
    return values.empty() ? fallback : values.front();
}

}  // namespace scalopex::formats::tiff
