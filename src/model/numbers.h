#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Number rules shared by every part of the program: a fractional value becomes a whole
// number by rounding to the nearest, a tie going to the even neighbour (2.5 -> 2, 3.5 -> 4).
namespace ww {

inline double roundHalfEven(double v) {
    // nearbyint honours the current rounding mode, which is round-to-nearest-even by default.
    return std::nearbyint(v);
}

// Rounded and held to the 32-bit signed range; NaN gives 0.
inline std::int32_t toInt32(double v) {
    if (std::isnan(v))
        return 0;
    const double r = roundHalfEven(v);
    if (r >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (r <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

// Rounded and held to the 16-bit signed range.
inline std::int16_t toInt16(double v) {
    const std::int32_t r = toInt32(v);
    if (r > 32767)
        return 32767;
    if (r < -32768)
        return -32768;
    return static_cast<std::int16_t>(r);
}

// Code that ran before (the window libraries' drawing, a wide memory copy) can leave the upper
// halves of the AVX registers in use; on some processors every later SSE instruction (libm's,
// muparser's, a conversion loop's) then runs many times slower. Long numeric loops start by
// clearing them: the expression evaluator, the encoding of an upload.
inline void clearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        asm volatile("vzeroupper");
#endif
}

} // namespace ww
