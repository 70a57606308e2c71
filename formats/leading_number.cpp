#include "leading_number.h"

#include <climits>
#include <cmath>
#include <cstdlib>

int leadingInt(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

int leadingDecimalAsInt(const char* text) {
    const double v = std::atof(text);
    if (!(std::fabs(v) < 2147483648.0)) return 1;
    return static_cast<int>(v);
}
