#include "formats/common/targa_rle.h"

#include <algorithm>
#include <cstring>

#include "base/exceptions.h"

namespace scalopex::formats {

namespace {

constexpr std::size_t kMaxPacket = 128;

std::size_t PixelSizeOf(int depth)
{
    switch (depth) {
    case 8:
    case 15:
    case 16:
    case 24:
    case 32: return static_cast<std::size_t>((depth + 1) / 8);
    default: return 0;
    }
}

}  // namespace

TTargaRLEDecoder::TTargaRLEDecoder(int colorDepth) : m_colorDepth(colorDepth), m_pixelSize(PixelSizeOf(colorDepth)) {}

void TTargaRLEDecoder::StartDecoding()
{
    m_pendingRun = 0;
    m_pendingRaw = 0;
}

std::size_t TTargaRLEDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    const std::size_t b = m_pixelSize;
    if (b == 0)
        return 0;
    const std::size_t pixelCount = dest.size() / b;
    std::uint8_t* out = dest.data();
    std::size_t produced = 0;
    while (produced < pixelCount) {
        const std::size_t room = pixelCount - produced;
        if (m_pendingRun > 0) {
            const std::size_t k = std::min(m_pendingRun, room);
            if (b == 1) {
                std::memset(out, m_runValue[0], k);
            } else {
                for (std::size_t i = 0; i < k; ++i)
                    std::memcpy(out + i * b, m_runValue, b);
            }
            out += k * b;
            produced += k;
            m_pendingRun -= k;
            continue;
        }
        if (m_pendingRaw > 0) {
            const std::size_t k = std::min({m_pendingRaw, room, source.remaining() / b});
            if (k == 0)
                break;  // the data ends inside this packet
            const std::span<const std::uint8_t> values = source.bytes(k * b);
            std::memcpy(out, values.data(), values.size());
            out += k * b;
            produced += k;
            m_pendingRaw -= k;
            continue;
        }
        if (source.atEnd())
            break;
        const std::size_t n = (source.peek() & 0x7Fu) + 1;
        if (source.peek() & 0x80) {
            if (source.remaining() < 1 + b)
                break;  // a run without its whole value: leave it unread
            source.u8();
            const std::span<const std::uint8_t> value = source.bytes(b);
            std::memcpy(m_runValue, value.data(), b);
            m_pendingRun = n;
        } else {
            source.u8();
            m_pendingRaw = n;
        }
    }
    return produced * b;
}

std::size_t TTargaRLEDecoder::Encode(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                                     std::size_t pixelCount) const
{
    const std::size_t b = m_pixelSize;
    if (b == 0 || pixelCount == 0)
        return 0;
    if (source.size() / b < pixelCount || dest.size() < EncodeBound(pixelCount))
        throw base::EInvalidGraphicOperation("Targa encoder buffer too small");
    const std::uint8_t* p = source.data();
    auto same = [p, b](std::size_t i, std::size_t j) { return std::memcmp(p + i * b, p + j * b, b) == 0; };

    std::uint8_t* out = dest.data();
    std::size_t at = 0;
    while (at < pixelCount) {
        const std::size_t left = pixelCount - at;
        // Pixels before the first pair of equal neighbours; with no such
        // pair the last pixel is left for a packet of its own.
        std::size_t raw = 0;
        if (left == 1) {
            raw = 1;
        } else {
            while (raw < kMaxPacket && raw + 1 < left && !same(at + raw, at + raw + 1))
                ++raw;
            if (raw + 1 == left)
                raw = left - 1;
        }
        std::size_t run = 1;
        while (run < kMaxPacket && run < left && same(at, at + run))
            ++run;
        raw = std::min(raw, kMaxPacket);

        if (raw > 0) {
            *out++ = static_cast<std::uint8_t>(raw - 1);
            std::memcpy(out, p + at * b, raw * b);
            out += raw * b;
            at += raw;
        } else {
            *out++ = static_cast<std::uint8_t>((run - 1) | 0x80);
            std::memcpy(out, p + at * b, b);
            out += b;
            at += run;
        }
    }
    return static_cast<std::size_t>(out - dest.data());
}

}  // namespace scalopex::formats
