#pragma once
/// Compositing of rows with a real alpha channel over a surface.

#include <cstddef>
#include <cstdint>

namespace scalopex::gdi {

/// src holds count blue, green, red, alpha quadruples; each is composited
/// over the pixel of dst (dstStep bytes per pixel, 3 or 4; a fourth
/// destination byte is kept). Exact: result = round((s·a + d·(255 − a)) / 255).
void BlendRowOver(const std::uint8_t* src, std::uint8_t* dst, std::size_t count, std::size_t dstStep);

}  // namespace scalopex::gdi
