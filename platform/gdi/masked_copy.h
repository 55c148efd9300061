#pragma once
/// Masked copy of 32-bit pixel rows: pixels whose RGB equals the transparent
/// colour leave the destination unchanged, all others replace it.

#include <cstddef>
#include <cstdint>

namespace scalopex::gdi {

/// src and dst hold count pixels of 4 bytes (blue, green, red, x).
/// transparentBgr is blue | green << 8 | red << 16.
void MaskedCopyRow(const std::uint8_t* src, std::uint8_t* dst, std::size_t count, std::uint32_t transparentBgr);

}  // namespace scalopex::gdi
