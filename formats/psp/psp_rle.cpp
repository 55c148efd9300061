#include "formats/psp/psp_rle.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

std::size_t TPSPRLEDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    std::size_t written = 0;
    while (!source.atEnd() && written < dest.size()) {
        const std::uint8_t a = source.u8();
        const std::size_t room = dest.size() - written;
        if (a >= 128) {
            if (source.atEnd())
                break;
            const std::uint8_t value = source.u8();
            const std::size_t count = std::min<std::size_t>(a - 128u, room);
            std::memset(dest.data() + written, value, count);
            written += count;
        } else {
            const std::span<const std::uint8_t> literal = source.bytesUpTo(std::min<std::size_t>(a, room));
            std::memcpy(dest.data() + written, literal.data(), literal.size());
            written += literal.size();
        }
    }
    return written;
}

}  // namespace scalopex::formats
