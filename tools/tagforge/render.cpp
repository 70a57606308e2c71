#include "render.h"

#include <cmath>
#include <cstdint>
#include <opencv2/core/utility.hpp>

namespace {
// splitmix64 finaliser: a deterministic, well-mixed hash of the sample's position.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
}  // namespace

cv::Mat renderSupersampled(cv::Size size, int samplesPerAxis, const ColourAt& colourAt) {
    cv::Mat image(size, CV_8UC3);
    const int n = samplesPerAxis;
    const double step = 1.0 / n;
    // Rows are independent: render them on all cores; the result does not depend on it.
    cv::parallel_for_(cv::Range(0, size.height), [&](const cv::Range& rows) {
        for (int j = rows.start; j < rows.end; ++j) {
            cv::Vec3b* row = image.ptr<cv::Vec3b>(j);
            for (int i = 0; i < size.width; ++i) {
                float sum[3] = {0, 0, 0};
                for (int sj = 0; sj < n; ++sj)
                    for (int si = 0; si < n; ++si) {
                        // One sample at a random place in each of the n x n cells: a
                        // regular grid would quantise every edge whose slope lines up
                        // with it to 1/n pixel, the same way in every pixel; jitter
                        // leaves an unbiased error that averages out along an edge.
                        const std::uint64_t h = mix((static_cast<std::uint64_t>(j) << 40) ^
                                                    (static_cast<std::uint64_t>(i) << 16) ^
                                                    static_cast<std::uint64_t>(sj * n + si));
                        const double jx = static_cast<double>(h & 0xFFFFFFFFu) / 4294967296.0;
                        const double jy = static_cast<double>(h >> 32) / 4294967296.0;
                        float bgr[3];
                        colourAt(i - 0.5 + (si + jx) * step, j - 0.5 + (sj + jy) * step, bgr);
                        for (int ch = 0; ch < 3; ++ch) sum[ch] += bgr[ch];
                    }
                for (int ch = 0; ch < 3; ++ch)
                    row[i][ch] = cv::saturate_cast<uchar>(sum[ch] / (n * n));
            }
        }
    });
    return image;
}

void applyHomography(const double h[3][3], double x, double y, double* u, double* v) {
    const double w = h[2][0] * x + h[2][1] * y + h[2][2];
    *u = (h[0][0] * x + h[0][1] * y + h[0][2]) / w;
    *v = (h[1][0] * x + h[1][1] * y + h[1][2]) / w;
}

bool invert3x3(const double m[3][3], double inv[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (det == 0.0 || !std::isfinite(det)) return false;
    inv[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    inv[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    inv[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    inv[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    inv[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    inv[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    inv[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    inv[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    inv[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return true;
}
