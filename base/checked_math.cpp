#include "base/checked_math.h"

namespace scalopex::base {

std::int32_t MulDiv(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const std::uint64_t num = product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t den = c < 0 ? 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(c)) : static_cast<std::uint64_t>(c);
    const std::uint64_t q = (num + den / 2) / den;  // halves round away from zero
    if (q > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return -1;
    return negative ? -static_cast<std::int32_t>(q) : static_cast<std::int32_t>(q);
}

}  // namespace scalopex::base
