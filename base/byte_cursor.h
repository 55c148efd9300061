#pragma once
/// ByteCursor: the one bounds-checked reader through which every parser takes
/// untrusted bytes. A read past the end throws; the exception is chosen when
/// the cursor is made, so readers need no checks of their own.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/exceptions.h"

namespace scalopex::base {

class ByteCursor {
public:
    /// Raised on a short read; the default raises EReadError ("Stream read error").
    using ShortReadHandler = void (*)();

    explicit ByteCursor(std::span<const std::uint8_t> data, ShortReadHandler onShortRead = &ThrowReadError)
        : m_data(data), m_onShortRead(onShortRead)
    {
    }

    std::size_t size() const { return m_data.size(); }
    std::size_t position() const { return m_pos; }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos == m_data.size(); }

    std::uint8_t u8()
    {
        need(1);
        return m_data[m_pos++];
    }
    std::uint16_t u16le()
    {
        need(2);
        const std::uint16_t v = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::uint16_t u16be()
    {
        need(2);
        const std::uint16_t v = static_cast<std::uint16_t>((m_data[m_pos] << 8) | m_data[m_pos + 1]);
        m_pos += 2;
        return v;
    }
    std::uint32_t u32le()
    {
        need(4);
        const std::uint32_t v = static_cast<std::uint32_t>(m_data[m_pos]) | (static_cast<std::uint32_t>(m_data[m_pos + 1]) << 8) |
                                (static_cast<std::uint32_t>(m_data[m_pos + 2]) << 16) |
                                (static_cast<std::uint32_t>(m_data[m_pos + 3]) << 24);
        m_pos += 4;
        return v;
    }
    std::uint32_t u32be()
    {
        need(4);
        const std::uint32_t v = (static_cast<std::uint32_t>(m_data[m_pos]) << 24) |
                                (static_cast<std::uint32_t>(m_data[m_pos + 1]) << 16) |
                                (static_cast<std::uint32_t>(m_data[m_pos + 2]) << 8) | static_cast<std::uint32_t>(m_data[m_pos + 3]);
        m_pos += 4;
        return v;
    }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }

    /// The next n bytes; the cursor moves past them.
    std::span<const std::uint8_t> bytes(std::size_t n)
    {
        need(n);
        auto out = m_data.subspan(m_pos, n);
        m_pos += n;
        return out;
    }
    /// Up to n bytes: fewer when the data ends first (never throws).
    std::span<const std::uint8_t> bytesUpTo(std::size_t n)
    {
        const std::size_t take = n < remaining() ? n : remaining();
        auto out = m_data.subspan(m_pos, take);
        m_pos += take;
        return out;
    }
    void skip(std::size_t n)
    {
        need(n);
        m_pos += n;
    }
    void seek(std::size_t pos)
    {
        if (pos > m_data.size())
            m_onShortRead();
        m_pos = pos;
    }
    /// A child cursor limited to the next n bytes (one chunk or segment).
    ByteCursor sub(std::size_t n) { return ByteCursor(bytes(n), m_onShortRead); }
    /// Everything from the current position to the end, without moving.
    std::span<const std::uint8_t> rest() const { return m_data.subspan(m_pos); }

    [[noreturn]] static void ThrowReadError() { throw EReadError(); }

private:
    void need(std::size_t n) const
    {
        if (n > m_data.size() - m_pos) {
            m_onShortRead();
            throw EReadError();  // a handler that returns still must not let the read go on
        }
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    ShortReadHandler m_onShortRead;
};

}  // namespace scalopex::base
