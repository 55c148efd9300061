#pragma once
/// Overflow-checked size arithmetic for sizes that come from file fields.

#include <cstddef>
#include <cstdint>
#include <limits>

#include "base/exceptions.h"

namespace scalopex::base {

/// a × b; throws EOutOfResources when the product does not fit.
inline std::size_t checkedMul(std::size_t a, std::size_t b)
{
    std::size_t result = 0;
    if (__builtin_mul_overflow(a, b, &result))
        throw EOutOfResources("Image size overflows the address space");
    return result;
}

/// a + b; throws EOutOfResources when the sum does not fit.
inline std::size_t checkedAdd(std::size_t a, std::size_t b)
{
    std::size_t result = 0;
    if (__builtin_add_overflow(a, b, &result))
        throw EOutOfResources("Image size overflows the address space");
    return result;
}

/// MulDiv(a, b, c): a × b / c with a 64-bit intermediate, rounded to the
/// nearest integer, halves away from zero. Returns -1 when c is 0 or the
/// result does not fit in 32 bits, as the classic routine does.
std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

}  // namespace scalopex::base
