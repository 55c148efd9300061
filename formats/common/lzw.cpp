#include "formats/common/lzw.h"

#include <cstring>

#include "base/exceptions.h"

namespace scalopex::formats {

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;

}  // namespace

TLZWOutcome DecodeLZWCodes(std::span<const std::uint8_t> data, const TLZWCoding& coding, std::span<std::uint8_t> out)
{
    const int codeSize = coding.codeSize;
    if (codeSize < 0 || codeSize > 8)
        throw base::EInternalError("DecodeLZWCodes: literal size out of range");
    TLZWOutcome outcome;
    std::uint8_t* const pixels = out.data();
    const std::size_t total = out.size();

    const int clear = 1 << codeSize;
    const int end = clear + 1;
    const int early = coding.earlyChange ? 1 : 0;
    std::uint16_t prefix[kTableSize];
    std::uint8_t suffix[kTableSize];
    std::uint16_t length[kTableSize];
    std::uint8_t stack[kTableSize + 1];
    for (int i = 0; i < clear; ++i) {
        suffix[i] = static_cast<std::uint8_t>(i);
        length[i] = 1;
    }

    base::BitReader reader(data, coding.order);
    auto finish = [&](TLZWStop stop) {
        outcome.stop = stop;
        outcome.consumed = reader.BytePosition();
        return outcome;
    };
    int codeWidth = codeSize + 1;
    int next = clear + 2;  // the next free table entry
    int old = -1;          // the previous code; none right after a clear
    std::uint8_t first = 0;
    std::uint32_t bits = 0;
    std::size_t written = 0;
    while (written < total) {
        if (!reader.TryRead(static_cast<unsigned>(codeWidth), bits)) {
            outcome.written = written;
            return finish(TLZWStop::DataEnd);
        }
        int code = static_cast<int>(bits);
        if (code == clear) {
            codeWidth = codeSize + 1;
            next = clear + 2;
            old = -1;
            continue;
        }
        if (code == end) {
            outcome.written = written;
            return finish(TLZWStop::EndCode);
        }

        // Only codes already in the table can be resolved; one equal to the
        // next free entry is the string of the previous code plus its own
        // first byte.
        if (code > next || (old < 0 && code >= clear) || code >= kTableSize) {
            outcome.written = written;
            return finish(TLZWStop::BadCode);
        }
        const int in = code;
        const bool repeat = code == next;
        const std::size_t size = repeat ? length[old] + 1u : length[code];
        if (size <= total - written) {
            // The string fits: written straight into place, back to front
            // along its prefix chain.
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
                if (sp == stack) {
                    outcome.written = written;
                    return finish(TLZWStop::BadCode);
                }
                *--sp = suffix[code];
                code = prefix[code];
            }
            *--sp = static_cast<std::uint8_t>(code);
            std::memcpy(pixels + written, sp, total - written);  // the rest of the output; the surplus is dropped
            written = total;
        }
        first = static_cast<std::uint8_t>(code);

        if (old >= 0 && next < kTableSize) {
            prefix[next] = static_cast<std::uint16_t>(old);
            suffix[next] = first;
            length[next] = static_cast<std::uint16_t>(length[old] + 1);
            ++next;
        }
        old = in;
        if (next + early >= (1 << codeWidth) && codeWidth < kMaxBits)
            ++codeWidth;
    }
    outcome.written = written;
    outcome.codeAfterOutput = reader.TryRead(static_cast<unsigned>(codeWidth), bits);
    return finish(TLZWStop::Full);
}

std::size_t TLZWDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    const std::span<const std::uint8_t> data = source.rest();
    // Old-style strips open with a clear code (256) least significant bit
    // first: a zero byte, then a byte with its lowest bit set. Strips of the
    // current coding open with 0x80.
    const bool oldStyle = data.size() >= 2 && data[0] == 0 && (data[1] & 1) != 0;
    const TLZWCoding coding =
        oldStyle ? TLZWCoding{8, base::BitOrder::LsbFirst, false} : TLZWCoding{8, base::BitOrder::MsbFirst, true};
    const TLZWOutcome outcome = DecodeLZWCodes(data, coding, dest);
    m_lastStop = outcome.stop;
    source.skip(outcome.consumed);
    return outcome.written;
}

}  // namespace scalopex::formats
