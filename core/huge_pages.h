#pragma once
/// Asks the kernel to back large buffers with huge pages. In this program a
/// photo-sized buffer is usually touched once, right after it is allocated,
/// and faulting it in 4 KiB pages costs more than filling it.

#include <cstddef>

namespace scalopex::core {

/// Buffers at least this large are worth the hint.
inline constexpr std::size_t kHugePageWorthy = std::size_t{4} << 20;

/// Hints that the 2 MiB-aligned pages inside [begin, begin + bytes) should be
/// huge pages. Only a hint: nothing changes when the system declines.
void AdviseHugePages(void* begin, std::size_t bytes);

}  // namespace scalopex::core
