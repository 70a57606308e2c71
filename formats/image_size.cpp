#include "image_size.h"

namespace {
constexpr std::size_t kMaxDigits = 6;  // enough for kMaxImageSide

// Reads the digits at text[*at...] into *value; false when there are none or too many.
bool readSide(const std::string& text, std::size_t* at, int* value) {
    const std::size_t first = *at;
    int v = 0;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9' && *at - first < kMaxDigits)
        v = 10 * v + (text[(*at)++] - '0');
    if (*at == first) return false;
    *value = v;
    return true;
}
}  // namespace

bool parseImageSize(const std::string& text, int* width, int* height) {
    std::size_t at = 0;
    int w = 0, h = 0;
    if (!readSide(text, &at, &w) || at >= text.size() || text[at++] != 'x' ||
        !readSide(text, &at, &h) || at != text.size() || w <= 0 || h <= 0 || w > kMaxImageSide ||
        h > kMaxImageSide)
        return false;
    *width = w;
    *height = h;
    return true;
}
