#include "formats/sgi/sgi_rle.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

TSGIRLEDecoder::TSGIRLEDecoder(int sampleBits) : m_sampleBytes(sampleBits == 8 ? 1 : (sampleBits == 16 ? 2 : 0)) {}

std::size_t TSGIRLEDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    const std::size_t s = m_sampleBytes;
    if (s == 0)
        return 0;
    const std::size_t room = dest.size() / s * s;
    std::uint8_t* const out = dest.data();
    std::size_t written = 0;
    while (written < room && source.remaining() >= s) {
        const std::uint8_t control = s == 1 ? source.u8() : static_cast<std::uint8_t>(source.u16be());
        const std::size_t count = control & 0x7Fu;
        if (count == 0)
            break;
        const std::size_t wanted = count * s;
        const std::size_t n = std::min(wanted, room - written);
        if (control & 0x80) {
            const std::span<const std::uint8_t> literal = source.bytesUpTo(wanted);
            const std::size_t copied = std::min(n, literal.size() / s * s);
            std::memcpy(out + written, literal.data(), copied);
            written += copied;
            if (literal.size() < wanted)
                break;  // the source ended inside the copy
        } else {
            if (source.remaining() < s)
                break;
            const std::span<const std::uint8_t> value = source.bytes(s);
            if (s == 1) {
                std::memset(out + written, value[0], n);
            } else {
                for (std::size_t i = 0; i < n; i += 2) {
                    out[written + i] = value[0];
                    out[written + i + 1] = value[1];
                }
            }
            written += n;
        }
    }
    return written;
}

}  // namespace scalopex::formats
