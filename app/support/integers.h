// Integer helpers.
#pragma once

#include <cmath>
#include <string>

#include "com/types.h"
#include "support/app_error.h"

inline LONG MinLong(LONG a, LONG b) {
    return a < b ? a : b;
}
inline LONG MaxLong(LONG a, LONG b) {
    return a > b ? a : b;
}
inline SHORT MinInteger(SHORT a, SHORT b) {
    return a < b ? a : b;
}
inline SHORT MaxInteger(SHORT a, SHORT b) {
    return a > b ? a : b;
}

// v as a 32-bit value; error 6 with description when it does not fit.
inline LONG CheckedLong(long long v, const char* description) {
    if (v < -2147483648LL || v > 2147483647LL) ThrowOverflow(description);
    return static_cast<LONG>(v);
}
// x rounded to the nearest integer, halves to the even neighbour; error 6
// with description out of range (and for NaN).
inline LONG RoundToLong(double x, const char* description) {
    const double r = std::nearbyint(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) ThrowOverflow(description);
    return static_cast<LONG>(r);
}
