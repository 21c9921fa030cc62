// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <limits>

namespace tallyvue {

/// a + b held at the 64-bit limits instead of wrapping: a damaged transcript line may claim
/// more tokens than any sum can hold.
constexpr std::int64_t saturatingAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

} // namespace tallyvue
