#pragma once
/// ByteCursor: the one bounds-checked reader through which every parser takes
/// untrusted bytes. A read past the end throws; the exception is chosen when
/// the cursor is made, so readers need no checks of their own.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "base/exceptions.h"

namespace scalopex::base {

enum class ByteOrder { LittleEndian, BigEndian };

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

    /// The byte order of u16(), u24() and u32(), for formats that declare
    /// theirs in the file (TIFF, Exif). Little-endian until set.
    void setByteOrder(ByteOrder order) { m_order = order; }
    ByteOrder byteOrder() const { return m_order; }

    /// The next byte, without moving.
    std::uint8_t peek() const
    {
        need(1);
        return m_data[m_pos];
    }
    std::uint8_t u8()
    {
        need(1);
        return m_data[m_pos++];
    }
    std::int8_t i8() { return static_cast<std::int8_t>(u8()); }

    std::uint16_t u16le() { return static_cast<std::uint16_t>(take<2, false>()); }
    std::uint16_t u16be() { return static_cast<std::uint16_t>(take<2, true>()); }
    std::uint32_t u24le() { return static_cast<std::uint32_t>(take<3, false>()); }
    std::uint32_t u24be() { return static_cast<std::uint32_t>(take<3, true>()); }
    std::uint32_t u32le() { return static_cast<std::uint32_t>(take<4, false>()); }
    std::uint32_t u32be() { return static_cast<std::uint32_t>(take<4, true>()); }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
    std::int16_t i16be() { return static_cast<std::int16_t>(u16be()); }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }
    std::int32_t i32be() { return static_cast<std::int32_t>(u32be()); }

    /// In the cursor's byte order.
    std::uint16_t u16() { return m_order == ByteOrder::BigEndian ? u16be() : u16le(); }
    std::uint32_t u24() { return m_order == ByteOrder::BigEndian ? u24be() : u24le(); }
    std::uint32_t u32() { return m_order == ByteOrder::BigEndian ? u32be() : u32le(); }

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
    /// Throws the short-read error unless n more bytes are there; never moves.
    void require(std::size_t n) const { need(n); }
    void skip(std::size_t n)
    {
        need(n);
        m_pos += n;
    }
    void seek(std::size_t pos)
    {
        if (pos > m_data.size())
            ShortRead();
        m_pos = pos;
    }
    /// When the next bytes are prefix, moves past them and answers true;
    /// otherwise stays and answers false (magic numbers, byte-order marks).
    bool skipPrefix(std::initializer_list<std::uint8_t> prefix)
    {
        if (prefix.size() > remaining())
            return false;
        std::size_t i = m_pos;
        for (const std::uint8_t b : prefix)
            if (m_data[i++] != b)
                return false;
        m_pos = i;
        return true;
    }
    /// Moves to the next byte equal to value and answers true; false, moving
    /// to the end, when there is none.
    bool skipTo(std::uint8_t value)
    {
        for (std::size_t i = m_pos; i < m_data.size(); ++i)
            if (m_data[i] == value) {
                m_pos = i;
                return true;
            }
        m_pos = m_data.size();
        return false;
    }
    /// A child cursor limited to the next n bytes (one chunk or segment),
    /// with this cursor's byte order.
    ByteCursor sub(std::size_t n)
    {
        ByteCursor child(bytes(n), m_onShortRead);
        child.m_order = m_order;
        return child;
    }
    /// Everything from the current position to the end, without moving.
    std::span<const std::uint8_t> rest() const { return m_data.subspan(m_pos); }

    [[noreturn]] static void ThrowReadError() { throw EReadError(); }

private:
    void need(std::size_t n) const
    {
        if (n > m_data.size() - m_pos)
            ShortRead();
    }
    [[noreturn, gnu::noinline, gnu::cold]] void ShortRead() const
    {
        m_onShortRead();
        throw EReadError();  // a handler that returns still must not let the read go on
    }

    // N bytes as one value, most significant first when BigEndian.
    template <std::size_t N, bool BigEndian>
    std::uint32_t take()
    {
        need(N);
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < N; ++i) {
            const std::uint32_t b = m_data[m_pos + i];
            if constexpr (BigEndian)
                v = (v << 8) | b;
            else
                v |= b << (8 * i);
        }
        m_pos += N;
        return v;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    ShortReadHandler m_onShortRead;
    ByteOrder m_order = ByteOrder::LittleEndian;
};

}  // namespace scalopex::base
