// GIF LZW coding (GIF89a, appendix F): codes packed least
// significant bit first, a clear and an end code above the literal pixels,
// code widths from the minimum code size + 1 up to 12 bits. Decoding runs on
// the LZW core shared with TIFF strips (formats/common/lzw.h).

#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"
#include "formats/common/lzw.h"
#include "formats/gif/gif_exception.h"

namespace scalopex::formats {

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;

// The rows of an interlaced frame in the order its data delivers them: the
// four passes starting at rows 0, 4, 2 and 1.
void ScatterInterlaced(std::span<const std::uint8_t> linear, std::uint8_t* pixels, int width, int height)
{
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const std::size_t w = static_cast<std::size_t>(width);
    std::size_t done = 0;
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < height; y += kStep[pass]) {
            if (done >= linear.size())
                return;
            const std::size_t n = std::min(w, linear.size() - done);
            std::memcpy(pixels + static_cast<std::size_t>(y) * w, linear.data() + done, n);
            done += n;
        }
}

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
    const std::size_t total = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const TLZWCoding coding{codeSize, base::BitOrder::LsbFirst, false};

    // Rows in order are one run of memory and decode straight into place;
    // interlaced rows are decoded in delivery order and then put in place.
    TLZWOutcome outcome;
    if (!interlaced) {
        outcome = DecodeLZWCodes(data, coding, frame.first(total));
    } else {
        std::vector<std::uint8_t> linear(total);
        outcome = DecodeLZWCodes(data, coding, linear);
        ScatterInterlaced(std::span<const std::uint8_t>(linear).first(outcome.written), frame.data(), width, height);
    }
    if (outcome.stop == TLZWStop::BadCode)
        throw GIFException(kSDecodeCircular);
    // The bits must reach the end code, or at least the code that follows the last pixel.
    result.underRun = outcome.stop == TLZWStop::DataEnd || (outcome.stop == TLZWStop::Full && !outcome.codeAfterOutput);
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
