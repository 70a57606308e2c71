#include "image_header.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {
std::uint32_t big16(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 8) | p[1];
}
std::uint32_t big32(const unsigned char* p) {
    return (big16(p) << 16) | big16(p + 2);
}
std::int32_t little32(const unsigned char* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

// The frame header of a JPEG: markers are walked up to the first start of frame.
bool jpegSize(std::ifstream& in, int* width, int* height) {
    in.seekg(2);
    for (int markers = 0; markers < 1000 && in; ++markers) {
        unsigned char m[4];
        if (!in.read(reinterpret_cast<char*>(m), 2) || m[0] != 0xFF) return false;
        while (m[1] == 0xFF)  // fill bytes
            if (!in.read(reinterpret_cast<char*>(m + 1), 1)) return false;
        if (m[1] == 0xD8 || (m[1] >= 0xD0 && m[1] <= 0xD7) || m[1] == 0x01) continue;
        if (!in.read(reinterpret_cast<char*>(m + 2), 2)) return false;
        const std::uint32_t length = big16(m + 2);
        if (length < 2) return false;
        const bool frame =
            m[1] >= 0xC0 && m[1] <= 0xCF && m[1] != 0xC4 && m[1] != 0xC8 && m[1] != 0xCC;
        if (frame) {
            unsigned char f[5];
            if (!in.read(reinterpret_cast<char*>(f), 5)) return false;
            *height = static_cast<int>(big16(f + 1));
            *width = static_cast<int>(big16(f + 3));
            return true;
        }
        in.seekg(length - 2, std::ios::cur);
    }
    return false;
}
}  // namespace

bool imageHeaderSize(const std::string& path, int* width, int* height) {
    std::ifstream in(path, std::ios::binary);
    unsigned char h[26];
    if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (std::equal(png, png + 8, h)) {
        *width = static_cast<int>(std::min<std::uint32_t>(big32(h + 16), INT32_MAX));
        *height = static_cast<int>(std::min<std::uint32_t>(big32(h + 20), INT32_MAX));
        return true;
    }
    if (h[0] == 0xFF && h[1] == 0xD8) return jpegSize(in, width, height);
    if (h[0] == 'B' && h[1] == 'M') {
        // A negative height marks rows stored top down; INT32_MIN has no positive twin and
        // is clamped. A negative width stays negative and is refused below.
        const std::int64_t rows = little32(h + 22);
        *width = little32(h + 18);
        *height = static_cast<int>(std::min<std::int64_t>(rows < 0 ? -rows : rows, INT32_MAX));
        return true;
    }
    return false;
}

std::string imageTooLarge(const std::string& path) {
    int w = 0, h = 0;
    if (!imageHeaderSize(path, &w, &h)) return "";
    char text[160];
    if (w < 0 || h < 0) {
        std::snprintf(text, sizeof text, " has a header with a negative size, %d x %d", w, h);
        return path + text + ": it is damaged";
    }
    const double pixels = static_cast<double>(w) * h;
    if (pixels <= kMaxImagePixels) return "";
    std::snprintf(text, sizeof text, " is %d x %d = %.0f megapixels, above the limit of %.0f", w, h,
                  pixels / 1e6, kMaxImagePixels / 1e6);
    return path + text + " (reduce it before use)";
}
