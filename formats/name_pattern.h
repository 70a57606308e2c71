// File-name patterns: printf formats that take one image number.
#pragma once

#include <string>

// Counts the integer conversions (%d or %i with optional flags, width and precision) of
// pattern. Returns -1 when the pattern holds any other conversion ("%%" is a literal
// percent and allowed), which would make formatting unsafe.
int countIntegerConversions(const std::string& pattern);

// pattern formatted with n; the pattern must hold at most one integer conversion and
// nothing else (countIntegerConversions of 0 or 1).
std::string expandPattern(const std::string& pattern, int n);

// base + suffix + n printed with "%03d" + ext, base taken literally (a '%' in it is text).
std::string numberedName(const std::string& base, const std::string& suffix, int n,
                         const std::string& ext);

// text with every '%' doubled: a folder name taken literally inside a printf pattern.
std::string escapePercent(const std::string& text);
