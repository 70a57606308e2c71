#include "view_warp.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
// Sampling positions in 1/32 pixel; bilinear weights w = (32 - f) or f per axis, so a sample
// is (sum v * wx * wy + 512) >> 10, which equals the library's 15-bit fixed point exactly
// (its weights are these times 32, with no rounding at 1/32 steps).
constexpr int kTabBits = 5;
constexpr int kTab = 1 << kTabBits;

// The library maps the destination in blocks of 64 x 16 pixels (narrower images: wider
// blocks of fewer rows) and starts every row of a block from its first column; the same
// starting points give the same doubles and so the same rounded positions.
int blockWidth(cv::Size size) {
    constexpr int kBlock = 32;
    int rows = std::min(kBlock / 2, size.height);
    return std::min(kBlock * kBlock / rows, size.width);
}

int saturateShort(int v) {
    return std::min(SHRT_MAX, std::max(SHRT_MIN, v));
}

int roundToInt(double v) {
#if defined(__SSE2__)
    return _mm_cvtsd_si32(_mm_set_sd(v));
#else
    return static_cast<int>(std::lrint(v));
#endif
}

// The positions of dst row y in 1/32 pixel (xs, ys).
void mapRow(const double* m, int y, int width, int block, int* xs, int* ys) {
    constexpr double kMin = INT_MIN, kMax = INT_MAX;
    for (int x = 0; x < width; x += block) {
        const int bw = std::min(block, width - x);
        const double x0 = m[0] * x + m[1] * y + m[2];
        const double y0 = m[3] * x + m[4] * y + m[5];
        const double w0 = m[6] * x + m[7] * y + m[8];
        int x1 = 0;
#if defined(__SSE2__)
        const __m128d vm0 = _mm_set1_pd(m[0]), vm3 = _mm_set1_pd(m[3]), vm6 = _mm_set1_pd(m[6]);
        const __m128d vx0 = _mm_set1_pd(x0), vy0 = _mm_set1_pd(y0), vw0 = _mm_set1_pd(w0);
        const __m128d tab = _mm_set1_pd(kTab), zero = _mm_setzero_pd();
        const __m128d lo = _mm_set1_pd(kMin), hi = _mm_set1_pd(kMax), two = _mm_set1_pd(2);
        __m128d vx1 = _mm_set_pd(1, 0);
        for (; x1 + 2 <= bw; x1 += 2, vx1 = _mm_add_pd(vx1, two)) {
            __m128d w = _mm_add_pd(_mm_mul_pd(vm6, vx1), vw0);
            w = _mm_andnot_pd(_mm_cmpeq_pd(w, zero), _mm_div_pd(tab, w));
            const __m128d fx = _mm_max_pd(
                lo, _mm_min_pd(hi, _mm_mul_pd(_mm_add_pd(vx0, _mm_mul_pd(vm0, vx1)), w)));
            const __m128d fy = _mm_max_pd(
                lo, _mm_min_pd(hi, _mm_mul_pd(_mm_add_pd(vy0, _mm_mul_pd(vm3, vx1)), w)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(xs + x + x1), _mm_cvtpd_epi32(fx));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(ys + x + x1), _mm_cvtpd_epi32(fy));
        }
#endif
        for (; x1 < bw; ++x1) {
            double w = w0 + m[6] * x1;
            w = w != 0 ? kTab / w : 0;
            xs[x + x1] = roundToInt(std::max(kMin, std::min(kMax, (x0 + m[0] * x1) * w)));
            ys[x + x1] = roundToInt(std::max(kMin, std::min(kMax, (y0 + m[3] * x1) * w)));
        }
    }
}

// A sample whose taps may leave the image (the whole pixel saturated to 16 bits like the
// library's maps): the taps outside count as black.
void sampleAtBorder(const cv::Mat& src, int x32, int y32, std::uint8_t* d) {
    const int px = saturateShort(x32 >> kTabBits), py = saturateShort(y32 >> kTabBits);
    if (px < -1 || py < -1 || px >= src.cols || py >= src.rows) {
        d[0] = d[1] = d[2] = 0;  // every tap outside
        return;
    }
    const int fx = x32 & (kTab - 1), fy = y32 & (kTab - 1);
    const int weight[4] = {(kTab - fx) * (kTab - fy), fx * (kTab - fy), (kTab - fx) * fy, fx * fy};
    int sum[3] = {512, 512, 512};
    for (int k = 0; k < 4; ++k) {
        const int x = px + (k & 1), y = py + (k >> 1);
        if (x < 0 || y < 0 || x >= src.cols || y >= src.rows) continue;
        const std::uint8_t* s = src.ptr<std::uint8_t>(y) + 3 * x;
        for (int c = 0; c < 3; ++c) sum[c] += s[c] * weight[k];
    }
    for (int c = 0; c < 3; ++c) d[c] = static_cast<std::uint8_t>(sum[c] >> 10);
}

void sampleRow(const cv::Mat& src, const int* xs, const int* ys, int width, std::uint8_t* d) {
    int x = 0;
#if defined(__SSE2__)
    // Weight vectors per fraction: (32 - f, f) for the rows, pairs of them for the columns.
    struct Weights {
        __m128i top[kTab], bottom[kTab], pair[kTab];
        Weights() {
            for (int f = 0; f < kTab; ++f) {
                top[f] = _mm_set1_epi16(static_cast<short>(kTab - f));
                bottom[f] = _mm_set1_epi16(static_cast<short>(f));
                pair[f] = _mm_set1_epi32((f << 16) | (kTab - f));
            }
        }
    };
    static const Weights weights;
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(512);
    const std::uint8_t* base = src.ptr<std::uint8_t>();
    const std::size_t step = src.step;
    // 8 bytes are read from a sample's first pixel: its row must hold 3 pixels from there.
    const unsigned lastX = static_cast<unsigned>(std::max(src.cols - 2, 0));
    const unsigned lastY = static_cast<unsigned>(std::max(src.rows - 1, 0));
    for (; x < width; ++x, d += 3) {
        const int px = xs[x] >> kTabBits, py = ys[x] >> kTabBits;
        if (static_cast<unsigned>(px) >= lastX || static_cast<unsigned>(py) >= lastY) {
            sampleAtBorder(src, xs[x], ys[x], d);
            continue;
        }
        const std::uint8_t* s = base + static_cast<std::size_t>(py) * step + 3 * px;
        std::int64_t top, bottom;
        std::memcpy(&top, s, 8);
        std::memcpy(&bottom, s + step, 8);
        const int fy = ys[x] & (kTab - 1);
        // One row blend in 16 bits (at most 255 * 32), then the columns as pairs in 32.
        const __m128i t = _mm_add_epi16(
            _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi64_si128(top), zero), weights.top[fy]),
            _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi64_si128(bottom), zero),
                            weights.bottom[fy]));
        __m128i sum = _mm_madd_epi16(_mm_unpacklo_epi16(t, _mm_srli_si128(t, 6)),
                                     weights.pair[xs[x] & (kTab - 1)]);
        sum = _mm_srai_epi32(_mm_add_epi32(sum, half), 10);
        const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(sum, sum), zero);
        const std::uint32_t v = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
        std::memcpy(d, &v, 3);
    }
#endif
    for (; x < width; ++x, d += 3) sampleAtBorder(src, xs[x], ys[x], d);
}
}  // namespace

void warpLinear(const cv::Mat& src, const cv::Mat& srcToView, cv::Size size, cv::Mat* view) {
    // The library refuses sources of 32767 pixels or more a side (its 16-bit positions).
    const bool within = std::max(src.cols, src.rows) < SHRT_MAX;
    if (src.type() != CV_8UC3 || src.empty() || size.area() == 0 || !within) {
        cv::warpPerspective(src, *view, srcToView, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar::all(0));
        return;
    }
    // The inverse as the library takes it: converted to double, then LU.
    cv::Mat inverse;
    srcToView.convertTo(inverse, CV_64F);
    cv::invert(inverse, inverse, cv::DECOMP_LU);
    const double* m = inverse.ptr<double>();
    view->create(size, CV_8UC3);
    std::vector<int> xs(static_cast<std::size_t>(size.width)), ys(xs.size());
    const int block = blockWidth(size);
    for (int y = 0; y < size.height; ++y) {
        mapRow(m, y, size.width, block, xs.data(), ys.data());
        sampleRow(src, xs.data(), ys.data(), size.width, view->ptr<std::uint8_t>(y));
    }
}
