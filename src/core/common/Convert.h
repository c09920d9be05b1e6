// The two rules that turn computed values into 16-bit DAC codes.
#pragma once

#include <cmath>
#include <cstdint>

namespace conv {

// Truncates toward zero to a signed 64-bit integer and keeps its low 16 bits;
// a value outside the 64-bit range, an infinity or not-a-number gives 0.
inline uint16_t trunc16(double x) {
    if (!std::isfinite(x) || x >= 9223372036854775808.0 || x < -9223372036854775808.0)
        return 0;
    return static_cast<uint16_t>(static_cast<uint64_t>(static_cast<int64_t>(x)) & 0xFFFFu);
}

// Adds 0.5 first: the nearest integer for positive values, halves going up
// (fix16(-3.2) is -2, taken as 65534).
inline uint16_t fix16(double x) {
    return trunc16(x + 0.5);
}

// A slope from which no zero crossing can be extrapolated.
inline bool degenerateSlope(double slope) {
    return slope == 0.0 || !std::isfinite(slope);
}

} // namespace conv
