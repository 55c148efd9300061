#include "platform/gdi/masked_copy.h"

#include <cstring>

namespace scalopex::gdi {

void MaskedCopyRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t count, std::uint32_t transparentBgr)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t px;
        std::memcpy(&px, src + 4 * i, 4);
        if ((px & 0xFFFFFF) != transparentBgr)
            std::memcpy(dst + 4 * i, &px, 4);
    }
}

}  // namespace scalopex::gdi
