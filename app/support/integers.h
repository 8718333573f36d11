// Integer helpers.
#pragma once

#include "com/types.h"

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
