#include "formats/rla/rla_rle.h"

#include <algorithm>
#include <cstring>

namespace scalopex::formats {

std::size_t TRLADecoder::Decode(base::ByteCursor& source, std::span<std::uint8_t> dest)
{
    std::size_t written = 0;
    while (!source.atEnd() && written < dest.size()) {
        const int c = source.i8();
        const std::size_t room = dest.size() - written;
        if (c < 0) {
            const std::span<const std::uint8_t> literal =
                source.bytesUpTo(std::min<std::size_t>(std::size_t(-c), room));
            std::memcpy(dest.data() + written, literal.data(), literal.size());
            written += literal.size();
        } else {
            if (source.atEnd())
                break;
            const std::uint8_t value = source.u8();
            const std::size_t count = std::min<std::size_t>(std::size_t(c) + 1, room);
            std::memset(dest.data() + written, value, count);
            written += count;
        }
    }
    return written;
}

}  // namespace scalopex::formats
