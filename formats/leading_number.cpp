#include "leading_number.h"

#include <cerrno>
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

namespace {
bool onlyBlanksFrom(const char* end) {
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0';
}
}  // namespace

bool wholeInt(const char* text, int* value) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || errno == ERANGE || !onlyBlanksFrom(end) || v > INT_MAX || v < INT_MIN)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool wholeFiniteDouble(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || !onlyBlanksFrom(end) || !std::isfinite(v)) return false;
    *value = v;
    return true;
}
