#include "formats/cut/cut_rle.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

std::size_t TCUTRowDecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    source.skip(std::min<std::size_t>(2, source.remaining()));
    std::size_t written = 0;
    while (!source.atEnd()) {
        const std::uint8_t a = source.u8();
        if (a == 0)
            break;
        const std::size_t count = a & 0x7F;
        const std::size_t room = dest.size() - written;
        if ((a & 0x80) != 0) {
            if (source.atEnd())
                break;
            const std::uint8_t value = source.u8();
            const std::size_t n = std::min(count, room);
            std::memset(dest.data() + written, value, n);
            written += n;
        } else {
            const std::span<const std::uint8_t> literal = source.bytesUpTo(count);
            const std::size_t n = std::min(literal.size(), room);
            std::memcpy(dest.data() + written, literal.data(), n);
            written += n;
        }
    }
    return written;
}

}  // namespace scalopex::formats
