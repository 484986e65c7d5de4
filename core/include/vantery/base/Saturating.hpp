#pragma once
// Token counts come from transcripts without range checks; every sum of them
// saturates at the int64 limits instead of overflowing.
#include <cmath>
#include <cstdint>
#include <limits>

namespace vantery {

/// a + b, clamped to the int64 range.
inline std::int64_t satAdd(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return r;
}

/// The integer part of d (cut toward zero), clamped to the int64 range; NaN gives 0.
inline std::int64_t clampToInt64(double d) noexcept {
    if (std::isnan(d)) return 0;
    // 2^63 is exactly representable; anything at or beyond it is out of range.
    constexpr double limit = 9223372036854775808.0;
    if (d >= limit) return std::numeric_limits<std::int64_t>::max();
    if (d < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
}

} // namespace vantery
