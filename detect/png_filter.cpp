#include "png_filter.h"

#include <cstdlib>
#include <memory>

#ifdef __SSE2__
#include <immintrin.h>
#endif

namespace {
constexpr unsigned char kPaethFilter = 4;

inline unsigned char paethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<unsigned char>(a);
    return static_cast<unsigned char>(pb <= pc ? b : c);
}

// PNG stores red first: each pixel's first and third byte swapped. A byte's source is 2
// on, the same or 2 back by its place in the pixel, so a vector is three masked loads; three
// vectors bring the masks back to the same phase.
// x is a pixel's first byte.
inline void swapBytesFrom(const unsigned char* s, std::size_t x, std::size_t row,
                          unsigned char* d) {
    for (; x + 3 <= row; x += 3) {
        d[x] = s[x + 2];
        d[x + 1] = s[x + 1];
        d[x + 2] = s[x];
    }
}

// One row's Paeth differences from x on; up is the row above (zeros above the first row,
// which turns the filter into "sub").
inline void paethFrom(const unsigned char* cur, const unsigned char* up, std::size_t x,
                      std::size_t row, std::size_t bpp, unsigned char* out) {
    for (; x < bpp && x < row; ++x) out[x] = static_cast<unsigned char>(cur[x] - up[x]);
    for (; x < row; ++x)
        out[x] =
            static_cast<unsigned char>(cur[x] - paethPredictor(cur[x - bpp], up[x], up[x - bpp]));
}

#ifdef __SSE2__
struct SwapMasks {
    unsigned char masks[3][3][32];  // [phase][from 2 on, same, 2 back][byte]
};

constexpr SwapMasks swapMasks() {
    SwapMasks r{};
    for (int p = 0; p < 3; ++p)
        for (int m = 0; m < 3; ++m)
            for (int k = 0; k < 32; ++k) r.masks[p][m][k] = (p + k) % 3 == m ? 0xff : 0;
    return r;
}

alignas(32) constexpr SwapMasks kSwapMasks = swapMasks();

// The vector steps, written once for SSE2 (16 bytes) and AVX2 (32 bytes; attr marks its
// functions). In bytes: pa = |b - c| and pb = |a - c|; pc = |pa - pb| where b - c and a - c
// differ in sign, else pa + pb, which is then no smaller than either and only compared with
// them, so 255 stands for it.
#define TOOLKIT_PNG_ROWS(attr, V, W, load, store, andv, andnot, orv, subs, sub, cmpeq, minu, zero) \
    attr inline void swapStep##W(const unsigned char* s, std::size_t at, int phase,                \
                                 unsigned char* d) {                                               \
        const auto& m = kSwapMasks.masks[phase];                                                   \
        store(d + at,                                                                              \
              orv(andv(load(s + at + 2), load(m[0])),                                              \
                  orv(andv(load(s + at), load(m[1])), andv(load(s + at - 2), load(m[2])))));       \
    }                                                                                              \
    attr void rgbFromBgr##W(const unsigned char* s, std::size_t row, unsigned char* d) {           \
        std::size_t x = 0;                                                                         \
        if (row >= 3) {                                                                            \
            swapBytesFrom(s, 0, 3, d);                                                             \
            for (x = 3; x + 3 * W + 2 <= row; x += 3 * W) {                                        \
                swapStep##W(s, x, 0, d);                                                           \
                swapStep##W(s, x + W, W % 3, d);                                                   \
                swapStep##W(s, x + 2 * W, 2 * W % 3, d);                                           \
            }                                                                                      \
        }                                                                                          \
        swapBytesFrom(s, x, row, d);                                                               \
    }                                                                                              \
    attr void paethRow##W(const unsigned char* cur, const unsigned char* up, std::size_t row,      \
                          std::size_t bpp, unsigned char* out) {                                   \
        std::size_t x = 0;                                                                         \
        for (; x < bpp && x < row; ++x) out[x] = static_cast<unsigned char>(cur[x] - up[x]);       \
        for (; x + W <= row; x += W) {                                                             \
            const V a = load(cur + x - bpp), b = load(up + x), c = load(up + x - bpp);             \
            const V cb = subs(c, b), ca = subs(c, a);                                              \
            const V pa = orv(subs(b, c), cb), pb = orv(subs(a, c), ca);                            \
            const V sameSign = cmpeq(cmpeq(cb, zero), cmpeq(ca, zero));                            \
            const V pc = orv(orv(subs(pa, pb), subs(pb, pa)), sameSign);                           \
            const V least = minu(pb, pc);                                                          \
            const V takeA = cmpeq(minu(pa, least), pa), takeB = cmpeq(least, pb);                  \
            const V bOrC = orv(andv(takeB, b), andnot(takeB, c));                                  \
            store(out + x, sub(load(cur + x), orv(andv(takeA, a), andnot(takeA, bOrC))));          \
        }                                                                                          \
        paethFrom(cur, up, x, row, bpp, out);                                                      \
    }

inline __m128i load16(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store16(unsigned char* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
TOOLKIT_PNG_ROWS(, __m128i, 16, load16, store16, _mm_and_si128, _mm_andnot_si128, _mm_or_si128,
                 _mm_subs_epu8, _mm_sub_epi8, _mm_cmpeq_epi8, _mm_min_epu8, _mm_setzero_si128())

#if defined(__GNUC__) && defined(__x86_64__)
// AVX2 where the processor has it: twice the width, and three operands spare the copies.
#define TOOLKIT_AVX2 __attribute__((target("avx2")))
TOOLKIT_AVX2 inline __m256i load32(const unsigned char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
TOOLKIT_AVX2 inline void store32(unsigned char* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
TOOLKIT_PNG_ROWS(TOOLKIT_AVX2, __m256i, 32, load32, store32, _mm256_and_si256, _mm256_andnot_si256,
                 _mm256_or_si256, _mm256_subs_epu8, _mm256_sub_epi8, _mm256_cmpeq_epi8,
                 _mm256_min_epu8, _mm256_setzero_si256())
#undef TOOLKIT_AVX2
#define TOOLKIT_PNG_AVX2 1
#endif
#undef TOOLKIT_PNG_ROWS
#endif

using SwapRow = void (*)(const unsigned char*, std::size_t, unsigned char*);
using PaethRow = void (*)(const unsigned char*, const unsigned char*, std::size_t, std::size_t,
                          unsigned char*);

void rgbFromBgrPlain(const unsigned char* s, std::size_t row, unsigned char* d) {
    swapBytesFrom(s, 0, row, d);
}

void paethRowPlain(const unsigned char* cur, const unsigned char* up, std::size_t row,
                   std::size_t bpp, unsigned char* out) {
    paethFrom(cur, up, 0, row, bpp, out);
}
}  // namespace

std::unique_ptr<unsigned char[]> paethFilteredRows(const cv::Mat& image, std::size_t* size,
                                                   FilterSteps steps) {
    SwapRow swapRow = rgbFromBgrPlain;
    PaethRow paethRow = paethRowPlain;
#ifdef __SSE2__
    if (steps != FilterSteps::plain) {
        swapRow = rgbFromBgr16;
        paethRow = paethRow16;
    }
#endif
#ifdef TOOLKIT_PNG_AVX2
    if (steps == FilterSteps::widest && __builtin_cpu_supports("avx2")) {
        swapRow = rgbFromBgr32;
        paethRow = paethRow32;
    }
#endif
    const std::size_t bpp = static_cast<std::size_t>(image.channels());
    const std::size_t row = static_cast<std::size_t>(image.cols) * bpp;
    *size = (row + 1) * image.rows;
    // not value-initialised: every byte is written below
    std::unique_ptr<unsigned char[]> raw(new unsigned char[*size]);
    // RGB rows: this one and the one above; grey rows are the image's own.
    std::unique_ptr<unsigned char[]> rows(new unsigned char[bpp == 3 ? 2 * row : 1]);
    std::unique_ptr<unsigned char[]> zeros(new unsigned char[row]());
    const unsigned char* up = zeros.get();
    for (int y = 0; y < image.rows; ++y) {
        const unsigned char* cur = image.ptr(y);
        if (bpp == 3) {
            unsigned char* rgb = rows.get() + (y % 2) * row;
            swapRow(cur, row, rgb);
            cur = rgb;
        }
        unsigned char* r = raw.get() + (row + 1) * y;
        r[0] = kPaethFilter;
        paethRow(cur, up, row, bpp, r + 1);
        up = cur;
    }
    return raw;
}
