#include "platform/gdi/alpha_blend.h"

namespace scalopex::gdi {

namespace {

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
inline std::uint8_t Div255(std::uint32_t x)
{
    x += 128;
    return static_cast<std::uint8_t>((x + (x >> 8)) >> 8);
}

}  // namespace

void BlendRowOver(const std::uint8_t* src, std::uint8_t* dst, std::size_t count, std::size_t dstStep)
{
    for (std::size_t i = 0; i < count; ++i, src += 4, dst += dstStep) {
        const std::uint32_t a = src[3];
        if (a == 255) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        } else if (a != 0) {
            const std::uint32_t na = 255 - a;
            dst[0] = Div255(src[0] * a + dst[0] * na);
            dst[1] = Div255(src[1] * a + dst[1] * na);
            dst[2] = Div255(src[2] * a + dst[2] * na);
        }
    }
}

}  // namespace scalopex::gdi
