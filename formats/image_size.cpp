#include "image_size.h"

#include <cstdio>

namespace {
constexpr int kMaxSide = 100000;
}

bool parseImageSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0, used = 0;
    if (std::sscanf(text.c_str(), "%6dx%6d%n", &w, &h, &used) != 2 ||
        used != static_cast<int>(text.size()) || w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide)
        return false;
    *width = w;
    *height = h;
    return true;
}
