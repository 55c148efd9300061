#pragma once
// ByteBuilder: spells out test files byte by byte, little- or big-endian.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace scalopex::test {

class ByteBuilder {
public:
    ByteBuilder& u8(std::uint32_t v);
    ByteBuilder& u16le(std::uint32_t v);
    ByteBuilder& u32le(std::uint32_t v);
    ByteBuilder& u16be(std::uint32_t v);
    ByteBuilder& u32be(std::uint32_t v);
    ByteBuilder& bytes(std::initializer_list<std::uint8_t> values);
    ByteBuilder& bytes(std::span<const std::uint8_t> values);
    ByteBuilder& text(const std::string& s);
    ByteBuilder& fill(std::size_t count, std::uint8_t value);
    /// Overwrites a little-endian 32-bit value at offset.
    ByteBuilder& patch32le(std::size_t offset, std::uint32_t v);

    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& data() const { return m_bytes; }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace scalopex::test
