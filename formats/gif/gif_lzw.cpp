// GIF LZW coding (GIF89a, appendix F): codes packed least
// significant bit first, a clear and an end code above the literal pixels,
// code widths from the minimum code size + 1 up to 12 bits.

#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <cstring>

#include "base/bit_reader.h"
#include "base/exceptions.h"
#include "formats/gif/gif_exception.h"

namespace scalopex::formats {

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;

// Stores decoded strings into the frame's rows, in order or interlaced, and
// drops whatever comes after the last pixel.
class TPixelSink {
public:
    TPixelSink(std::uint8_t* pixels, int width, int height, bool interlaced)
        : m_pixels(pixels),
          m_width(width),
          m_height(height),
          m_interlaced(interlaced),
          m_done(width <= 0 || height <= 0)
    {
    }

    bool Done() const { return m_done; }

    void Put(const std::uint8_t* s, int n)
    {
        while (n > 0 && !m_done) {
            const int k = std::min(n, m_width - m_x);
            std::memcpy(m_pixels + static_cast<std::size_t>(m_y) * static_cast<std::size_t>(m_width) +
                            static_cast<std::size_t>(m_x),
                        s, static_cast<std::size_t>(k));
            m_x += k;
            s += k;
            n -= k;
            if (m_x == m_width)
                NextRow();
        }
    }

private:
    void NextRow()
    {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        m_x = 0;
        if (!m_interlaced) {
            m_done = ++m_y >= m_height;
            return;
        }
        m_y += kStep[m_pass];
        while (m_y >= m_height) {
            if (++m_pass == 4) {
                m_done = true;
                return;
            }
            m_y = kStart[m_pass];
        }
    }

    std::uint8_t* m_pixels;
    int m_width;
    int m_height;
    bool m_interlaced;
    bool m_done;
    int m_x = 0;
    int m_y = 0;
    int m_pass = 0;
};

}  // namespace

TLZWDecodeResult DecodeLZW(std::span<const std::uint8_t> data, int codeSize, std::span<std::uint8_t> frame, int width,
                           int height, bool interlaced)
{
    TLZWDecodeResult result;
    if (width <= 0 || height <= 0)
        return result;
    if (codeSize < 0 || codeSize > 8)
        throw base::EInternalError("DecodeLZW: minimum code size out of range");
    if (frame.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height))
        throw base::EInternalError("DecodeLZW: frame buffer smaller than width x height");
    std::uint8_t* const pixels = frame.data();
    TPixelSink sink(pixels, width, height, interlaced);

    const int clear = 1 << codeSize;
    const int end = clear + 1;
    std::uint16_t prefix[kTableSize];
    std::uint8_t suffix[kTableSize];
    std::uint8_t stack[kTableSize + 1];
    for (int i = 0; i < clear; ++i)
        suffix[i] = static_cast<std::uint8_t>(i);

    // Non-interlaced rows are one run of memory: strings that fit are written
    // straight into place, back to front along their prefix chain.
    std::uint16_t length[kTableSize];
    for (int i = 0; i < clear; ++i)
        length[i] = 1;
    const std::size_t total = interlaced ? 0 : static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::size_t written = 0;

    base::BitReader reader(data, base::BitOrder::LsbFirst);
    int codeWidth = codeSize + 1;
    int next = clear + 2;  // the next free table entry
    int old = -1;  // the previous code; none right after a clear
    std::uint8_t first = 0;
    std::uint32_t bits = 0;
    while (!sink.Done() && (interlaced || written < total)) {
        if (!reader.TryRead(static_cast<unsigned>(codeWidth), bits)) {
            result.underRun = true;
            return result;
        }
        int code = static_cast<int>(bits);
        if (code == clear) {
            codeWidth = codeSize + 1;
            next = clear + 2;
            old = -1;
            continue;
        }
        if (code == end)
            return result;

        // Only codes already in the table can be resolved; one equal to the
        // next free entry is the string of the previous code plus its own
        // first pixel.
        if (code > next || (old < 0 && code >= clear) || code >= kTableSize)
            throw GIFException(kSDecodeCircular);
        const int in = code;
        const bool repeat = code == next;
        const std::size_t size = repeat ? length[old] + 1u : length[code];
        if (!interlaced && size <= total - written) {
            std::uint8_t* p = pixels + written + size - 1;
            if (repeat) {
                *p-- = first;
                code = old;
            }
            while (code >= clear) {
                *p-- = suffix[code];
                code = prefix[code];
            }
            *p = static_cast<std::uint8_t>(code);
            written += size;
        } else {
            std::uint8_t* sp = stack + sizeof stack;
            if (repeat) {
                *--sp = first;
                code = old;
            }
            while (code >= clear) {
                if (sp == stack)
                    throw GIFException(kSDecodeCircular);
                *--sp = suffix[code];
                code = prefix[code];
            }
            *--sp = static_cast<std::uint8_t>(code);
            if (interlaced)
                sink.Put(sp, static_cast<int>(stack + sizeof stack - sp));
            else {
                std::memcpy(pixels + written, sp, total - written);  // the rest of the frame; the surplus is dropped
                written = total;
            }
        }
        first = static_cast<std::uint8_t>(code);

        if (old >= 0 && next < kTableSize) {
            prefix[next] = static_cast<std::uint16_t>(old);
            suffix[next] = first;
            length[next] = static_cast<std::uint16_t>(length[old] + 1);
            ++next;
        }
        old = in;
        if (next >= (1 << codeWidth) && codeWidth < kMaxBits)
            ++codeWidth;
    }
    // The code after the last pixel, normally the end code.
    if (!reader.TryRead(static_cast<unsigned>(codeWidth), bits))
        result.underRun = true;
    return result;
}

// ---------------------------------------------------------------------------
// TLZWEncoder

TLZWEncoder::TLZWEncoder() : m_hash(kHashSize, 0xFFFFFFFFu)
{
}

void TLZWEncoder::ResetTable()
{
    std::fill(m_hash.begin(), m_hash.end(), 0xFFFFFFFFu);
}

void TLZWEncoder::PutByte(std::uint8_t byte)
{
    m_block[m_blockLength++] = byte;
    if (m_blockLength == sizeof m_block) {
        m_out->push_back(static_cast<std::uint8_t>(m_blockLength));
        m_out->insert(m_out->end(), m_block, m_block + m_blockLength);
        m_blockLength = 0;
    }
}

void TLZWEncoder::Emit(int code)
{
    m_bits |= static_cast<std::uint64_t>(code) << m_bitCount;
    m_bitCount += m_width;
    while (m_bitCount >= 8) {
        PutByte(static_cast<std::uint8_t>(m_bits));
        m_bits >>= 8;
        m_bitCount -= 8;
    }
}

void TLZWEncoder::Encode(std::span<const std::uint8_t> pixels, int bits, int colorCount, std::vector<std::uint8_t>& out)
{
    const int s = std::max(bits, 2);
    const int clear = 1 << s;
    const int end = clear + 1;
    m_out = &out;
    m_blockLength = 0;
    m_bits = 0;
    m_bitCount = 0;
    out.push_back(static_cast<std::uint8_t>(s));

    int next = clear + 2;
    m_width = s + 1;
    int largest = (1 << m_width) - 1;
    // After every code but a clear: the width grows once the next free code
    // no longer fits; at 12 bits the largest code counts as 4096.
    auto grow = [&] {
        if (next > largest) {
            ++m_width;
            largest = m_width == kMaxBits ? kTableSize : (1 << m_width) - 1;
        }
    };

    ResetTable();
    Emit(clear);
    if (!pixels.empty()) {
        if (pixels[0] >= colorCount)
            throw GIFException(kSBadColorIndex);
        int prefix = pixels[0];
        for (std::size_t i = 1; i < pixels.size(); ++i) {
            const int p = pixels[i];
            if (p >= colorCount)
                throw GIFException(kSBadColorIndex);
            const std::uint32_t key = (static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(p);
            std::size_t slot = ((static_cast<std::size_t>(p) << 12) ^ static_cast<std::size_t>(prefix)) % kHashSize;
            const std::size_t step = slot == 0 ? 1 : kHashSize - slot;
            bool found = false;
            while (m_hash[slot] != 0xFFFFFFFFu) {
                if ((m_hash[slot] >> 12) == key) {
                    prefix = static_cast<int>(m_hash[slot] & 0xFFF);
                    found = true;
                    break;
                }
                slot = slot >= step ? slot - step : slot + kHashSize - step;
            }
            if (found)
                continue;
            Emit(prefix);
            grow();
            prefix = p;
            if (next >= kTableSize - 1) {
                Emit(clear);
                ResetTable();
                next = clear + 2;
                m_width = s + 1;
                largest = (1 << m_width) - 1;
            } else {
                m_hash[slot] = (key << 12) | static_cast<std::uint32_t>(next++);
            }
        }
        Emit(prefix);
        grow();
    }
    Emit(end);
    if (m_bitCount > 0)
        PutByte(static_cast<std::uint8_t>(m_bits));
    if (m_blockLength > 0) {
        out.push_back(static_cast<std::uint8_t>(m_blockLength));
        out.insert(out.end(), m_block, m_block + m_blockLength);
    }
    out.push_back(0);
    m_out = nullptr;
}

}  // namespace scalopex::formats
