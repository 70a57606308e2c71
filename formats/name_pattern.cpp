#include "name_pattern.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {
constexpr std::size_t kMaxFieldDigits = 4;
}  // namespace

int countIntegerConversions(const std::string& p) {
    int integers = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%') continue;
        ++i;
        if (i < p.size() && p[i] == '%') continue;  // literal percent
        while (i < p.size() && std::string("-+ #0").find(p[i]) != std::string::npos) ++i;
        // A width or precision of more than four digits would make a name of gigabytes.
        std::size_t digits = 0;
        for (; i < p.size() && std::isdigit(static_cast<unsigned char>(p[i])); ++i) ++digits;
        if (digits > kMaxFieldDigits) return -1;
        if (i < p.size() && p[i] == '.') {
            ++i;
            digits = 0;
            for (; i < p.size() && std::isdigit(static_cast<unsigned char>(p[i])); ++i) ++digits;
            if (digits > kMaxFieldDigits) return -1;
        }
        if (i >= p.size() || (p[i] != 'd' && p[i] != 'i')) return -1;
        ++integers;
    }
    return integers;
}

std::string expandPattern(const std::string& pattern, int n) {
    // Callers check the pattern first: at most one integer conversion and no other.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int length = std::snprintf(nullptr, 0, pattern.c_str(), n);
    std::vector<char> buffer(length > 0 ? length + 1 : 1, '\0');
    std::snprintf(buffer.data(), buffer.size(), pattern.c_str(), n);
#pragma GCC diagnostic pop
    return buffer.data();
}

std::string numberedName(const std::string& base, const std::string& suffix, int n,
                         const std::string& ext) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", n);
    return base + suffix + number + ext;
}

std::string escapePercent(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '%') out += '%';
    }
    return out;
}
