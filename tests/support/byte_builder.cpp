#include "tests/support/byte_builder.h"

namespace scalopex::test {

ByteBuilder& ByteBuilder::u8(std::uint32_t v)
{
    m_bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
}
ByteBuilder& ByteBuilder::u16le(std::uint32_t v) { return u8(v).u8(v >> 8); }
ByteBuilder& ByteBuilder::u32le(std::uint32_t v) { return u16le(v & 0xFFFF).u16le(v >> 16); }
ByteBuilder& ByteBuilder::u16be(std::uint32_t v) { return u8(v >> 8).u8(v); }
ByteBuilder& ByteBuilder::u32be(std::uint32_t v) { return u16be(v >> 16).u16be(v & 0xFFFF); }
ByteBuilder& ByteBuilder::bytes(std::initializer_list<std::uint8_t> values)
{
    m_bytes.insert(m_bytes.end(), values);
    return *this;
}
ByteBuilder& ByteBuilder::bytes(std::span<const std::uint8_t> values)
{
    m_bytes.insert(m_bytes.end(), values.begin(), values.end());
    return *this;
}
ByteBuilder& ByteBuilder::text(const std::string& s)
{
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    return *this;
}
ByteBuilder& ByteBuilder::fill(std::size_t count, std::uint8_t value)
{
    m_bytes.insert(m_bytes.end(), count, value);
    return *this;
}
ByteBuilder& ByteBuilder::patch32le(std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
}

}  // namespace scalopex::test
