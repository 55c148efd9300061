#pragma once
/// BitReader: fields of 1 to 32 bits taken from bytes through a ByteCursor,
/// most significant bit of each byte first (CCITT fax data) or least
/// significant first (GIF LZW codes). Reading past the end never touches
/// memory beyond the data: TryRead answers false, Read throws the cursor's
/// short-read error.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_cursor.h"

namespace scalopex::base {

enum class BitOrder { MsbFirst, LsbFirst };

class BitReader {
public:
    BitReader(std::span<const std::uint8_t> data, BitOrder order, ByteCursor::ShortReadHandler onShortRead = &ByteCursor::ThrowReadError)
        : m_cursor(data, onShortRead), m_onShortRead(onShortRead), m_lsbFirst(order == BitOrder::LsbFirst)
    {
    }

    /// The next width bits (1 to 32) in value; false, leaving value alone and
    /// the reader at its end, when fewer bits remain.
    bool TryRead(unsigned width, std::uint32_t& value)
    {
        if (m_count < width) {
            Refill();
            if (m_count < width) {
                m_count = 0;
                return false;
            }
        }
        const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
        if (m_lsbFirst) {
            value = static_cast<std::uint32_t>(m_acc & mask);
            m_acc >>= width;
        } else {
            value = static_cast<std::uint32_t>((m_acc >> (m_count - width)) & mask);
        }
        m_count -= width;
        return true;
    }

    /// The next width bits; fewer remaining is a short read.
    std::uint32_t Read(unsigned width)
    {
        std::uint32_t value = 0;
        if (!TryRead(width, value)) {
            m_onShortRead();
            throw EReadError();
        }
        return value;
    }

    /// Drops the bits left in the current byte.
    void AlignToByte()
    {
        const unsigned drop = m_count % 8;
        if (m_lsbFirst)
            m_acc >>= drop;
        m_count -= drop;
    }

    /// Bits still to be read.
    std::uint64_t BitsLeft() const { return std::uint64_t{m_count} + 8 * std::uint64_t{m_cursor.remaining()}; }
    bool AtEnd() const { return BitsLeft() == 0; }
    /// Bytes of the data begun so far (a byte counts once any of its bits is read).
    std::size_t BytePosition() const { return m_cursor.position() - m_count / 8; }

private:
    // Takes whole bytes while they fit in the 64-bit accumulator.
    void Refill()
    {
        const std::span<const std::uint8_t> more = m_cursor.bytesUpTo((64 - m_count) / 8);
        for (const std::uint8_t b : more) {
            if (m_lsbFirst)
                m_acc |= std::uint64_t{b} << m_count;
            else
                m_acc = (m_acc << 8) | b;
            m_count += 8;
        }
    }

    ByteCursor m_cursor;
    ByteCursor::ShortReadHandler m_onShortRead;
    std::uint64_t m_acc = 0;
    unsigned m_count = 0;  // valid bits in m_acc: the lowest ones (LSB-first) or the lowest ones read from the top (MSB-first)
    bool m_lsbFirst;
};

}  // namespace scalopex::base
