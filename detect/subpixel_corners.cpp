#include "subpixel_corners.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "board_consistency.h"
#include "robust_line.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
constexpr double kMaxHalfWindow = 4.0;  // px across the edge, each side
constexpr double kProfileStep = 0.25;   // px between profile samples
constexpr double kLevelLength = 0.75;   // px at each end of a window that give its grey levels
constexpr int kAreaPasses = 2;
constexpr double kEdgeMargin = 0.12;    // fraction of the edge left out at each corner
constexpr double kEdgeSpacing = 0.5;    // px between edge points along the edge
constexpr double kMinContrast = 20.0;   // grey levels between the border and the surround
constexpr double kMinEdgeLength = 8.0;  // px
constexpr int kMinEdgePoints = 6;
constexpr int kMaxEdgePoints = 40;     // enough for a line; long edges are sampled sparser
constexpr int kUnbendSteps = 3;        // Newton steps placing a point on a bent edge
constexpr double kUnbendDelta = 1e-4;  // share of the edge for their derivative

// Longest profile: a window of 2 kMaxHalfWindow sampled every kProfileStep.
constexpr int kMaxProfile = static_cast<int>(2 * kMaxHalfWindow / kProfileStep) + 1;
struct Profile {
    double value[kMaxProfile];
    int size = 0;
    double operator[](int k) const { return value[k]; }
};

// Bilinear grey value; false outside the image. The range test comes first so that the
// truncation is the floor (and no library floor is needed, this runs some hundred
// thousand times per photo).
bool sample(const cv::Mat& grey, double x, double y, double* value) {
    if (!(x >= 0 && y >= 0 && x < grey.cols - 1 && y < grey.rows - 1)) return false;
    const int i = static_cast<int>(x), j = static_cast<int>(y);
    const double fx = x - i, fy = y - j;
    const uchar* r0 = grey.data + grey.step[0] * j;
    const uchar* r1 = r0 + grey.step[0];
    *value =
        (1 - fy) * ((1 - fx) * r0[i] + fx * r0[i + 1]) + fy * ((1 - fx) * r1[i] + fx * r1[i + 1]);
    return true;
}

// Grey values along p + s n for s in [from, from + (count - 1) * kProfileStep].
bool profileAlong(const cv::Mat& grey, cv::Point2d p, cv::Point2d n, double from, int count,
                  Profile* profile) {
    profile->size = count;
#ifdef __SSE2__
    // The sample points run monotonically along the line (every rounding step keeps the
    // order), so both ends inside the image put all inside; then two at a time, with the
    // operations of sample() in its order (the same values).
    double unused = 0;
    const double lastS = from + (count - 1) * kProfileStep;
    if (count >= 2 && sample(grey, p.x + from * n.x, p.y + from * n.y, &unused) &&
        sample(grey, p.x + lastS * n.x, p.y + lastS * n.y, &unused)) {
        const __m128d px = _mm_set1_pd(p.x), py = _mm_set1_pd(p.y);
        const __m128d nx = _mm_set1_pd(n.x), ny = _mm_set1_pd(n.y);
        const __m128d start = _mm_set1_pd(from), step = _mm_set1_pd(kProfileStep);
        const __m128d one = _mm_set1_pd(1.0);
        const std::size_t rowStep = grey.step[0];
        int k = 0;
        for (; k + 2 <= count; k += 2) {
            const __m128d ks = _mm_set_pd(k + 1, k);
            const __m128d s = _mm_add_pd(start, _mm_mul_pd(ks, step));
            const __m128d x = _mm_add_pd(px, _mm_mul_pd(s, nx));
            const __m128d y = _mm_add_pd(py, _mm_mul_pd(s, ny));
            const __m128i xi = _mm_cvttpd_epi32(x), yi = _mm_cvttpd_epi32(y);
            const __m128d fx = _mm_sub_pd(x, _mm_cvtepi32_pd(xi));
            const __m128d fy = _mm_sub_pd(y, _mm_cvtepi32_pd(yi));
            const int i0 = _mm_cvtsi128_si32(xi), i1 = _mm_cvtsi128_si32(_mm_srli_si128(xi, 4));
            const int j0 = _mm_cvtsi128_si32(yi), j1 = _mm_cvtsi128_si32(_mm_srli_si128(yi, 4));
            const uchar* a0 = grey.data + rowStep * j0 + i0;
            const uchar* a1 = grey.data + rowStep * j1 + i1;
            const __m128d topLeft = _mm_set_pd(a1[0], a0[0]);
            const __m128d topRight = _mm_set_pd(a1[1], a0[1]);
            const __m128d bottomLeft = _mm_set_pd(a1[rowStep], a0[rowStep]);
            const __m128d bottomRight = _mm_set_pd(a1[rowStep + 1], a0[rowStep + 1]);
            const __m128d gx = _mm_sub_pd(one, fx), gy = _mm_sub_pd(one, fy);
            const __m128d top = _mm_add_pd(_mm_mul_pd(gx, topLeft), _mm_mul_pd(fx, topRight));
            const __m128d bottom =
                _mm_add_pd(_mm_mul_pd(gx, bottomLeft), _mm_mul_pd(fx, bottomRight));
            _mm_storeu_pd(&profile->value[k],
                          _mm_add_pd(_mm_mul_pd(gy, top), _mm_mul_pd(fy, bottom)));
        }
        for (; k < count; ++k) {
            const double s = from + k * kProfileStep;
            sample(grey, p.x + s * n.x, p.y + s * n.y, &profile->value[k]);
        }
        return true;
    }
#endif
    for (int k = 0; k < count; ++k) {
        const double s = from + k * kProfileStep;
        if (!sample(grey, p.x + s * n.x, p.y + s * n.y, &profile->value[k])) return false;
    }
    return true;
}

// Mean grey level of the first (or last) kLevelLength of a profile.
double plateau(const Profile& profile, bool atStart) {
    const int n = static_cast<int>(kLevelLength / kProfileStep);
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += atStart ? profile[k] : profile[profile.size - 1 - k];
    return sum / n;
}

// Where the profile through p along the outward normal n steps from the dark border
// (inside) to the bright surround (outside), as an offset along n. A first estimate is
// the crossing of the mid level; then the edge is placed by the area under the
// normalised profile in a window centred on the estimate (exact for a step blurred by
// any symmetric kernel, and for pixels that average their area), re-centred until it
// settles. False when the edge has too little contrast or lies off the image.
bool edgeOffset(const cv::Mat& grey, cv::Point2d p, cv::Point2d n, double halfWindow,
                double* offset) {
    const int count = static_cast<int>(std::lround(2 * halfWindow / kProfileStep)) + 1;
    Profile profile;
    if (count > kMaxProfile || !profileAlong(grey, p, n, -halfWindow, count, &profile))
        return false;
    double dark = plateau(profile, true), bright = plateau(profile, false);
    if (bright - dark < kMinContrast) return false;
    const double mid = 0.5 * (dark + bright);
    int steepest = 0;
    for (int k = 1; k + 1 < count; ++k)
        if (profile[k + 1] - profile[k] > profile[steepest + 1] - profile[steepest]) steepest = k;
    double edge = 0;
    bool crossed = false;
    for (int radius = 0; radius < count && !crossed; ++radius)
        for (const int k : {steepest - radius, steepest + radius}) {
            if (crossed || k < 0 || k + 1 >= count || !(profile[k] <= mid && profile[k + 1] > mid))
                continue;
            edge = -halfWindow +
                   (k + (mid - profile[k]) / (profile[k + 1] - profile[k])) * kProfileStep;
            crossed = true;
        }
    if (!crossed) return false;
    double start = 0;  // of the last profile
    for (int pass = 0; pass < kAreaPasses; ++pass) {
        start = edge - halfWindow;
        if (!profileAlong(grey, p, n, start, count, &profile)) return false;
        dark = plateau(profile, true);
        bright = plateau(profile, false);
        if (bright - dark < kMinContrast) return false;
        double area = 0;  // trapezoid rule over the window: the dark part's length
        for (int k = 0; k + 1 < count; ++k)
            area += 0.5 * ((bright - profile[k]) + (bright - profile[k + 1])) / (bright - dark) *
                    kProfileStep;
        const double next = edge - halfWindow + area;
        if (std::fabs(next - edge) > halfWindow) return false;
        edge = next;
    }
    // The area is the centroid of the profile's slope over the whole window. Sharpening
    // adds slopes of the other sign on both sides (halos), and clipping at black or white
    // makes them unequal; the centroid of the main rising lobe alone is immune to both.
    // (The last window is centred within a fraction of a pixel: its profile will do.)
    int peak = count / 2;
    for (int k = 0; k + 1 < count; ++k)
        if (profile[k + 1] - profile[k] > profile[peak + 1] - profile[peak]) peak = k;
    int from = peak, to = peak;
    while (from > 0 && profile[from] - profile[from - 1] > 0) --from;
    while (to + 2 < count && profile[to + 2] - profile[to + 1] > 0) ++to;
    double moment = 0, mass = 0;
    for (int k = from; k <= to; ++k) {
        const double slope = profile[k + 1] - profile[k];
        moment += slope * (k + 0.5);
        mass += slope;
    }
    if (mass <= 0) return false;
    *offset = start + moment / mass * kProfileStep;
    return true;
}

// Edge points located on an edge of this length (px).
int edgePointCount(double length) {
    return std::clamp(static_cast<int>(length * (1 - 2 * kEdgeMargin) / kEdgeSpacing),
                      kMinEdgePoints, kMaxEdgePoints);
}

// Where edge point k of count lies along its edge, as a share of the edge from its start.
double edgePointShare(int k, int count) {
    return kEdgeMargin + (1 - 2 * kEdgeMargin) * (k + 0.5) / count;
}

// Line (vx, vy, x0, y0) through the located edge points between corners a and b.
Refinement fitEdge(const cv::Mat& grey, cv::Point2d a, cv::Point2d b, cv::Point2d centre,
                   double halfWindow, cv::Vec4d* line) {
    const double length = cv::norm(b - a);
    if (length < kMinEdgeLength) return Refinement::kTooSmall;
    const cv::Point2d d = (b - a) / length;
    cv::Point2d n(-d.y, d.x);
    if ((0.5 * (a + b) - centre).dot(n) < 0) n = -n;  // outward, towards the bright surround
    std::vector<cv::Point2d> points;
    const int count = edgePointCount(length);
    for (int k = 0; k < count; ++k) {
        const double t = length * edgePointShare(k, count);
        const cv::Point2d p = a + t * d;
        double offset = 0.0;
        if (edgeOffset(grey, p, n, halfWindow, &offset)) points.push_back(p + offset * n);
    }
    if (static_cast<int>(points.size()) < kMinEdgePoints) return Refinement::kDamaged;
    if (robustLine(points, line) != 0) return Refinement::kDamaged;
    int broken = count - static_cast<int>(points.size());
    const cv::Vec4d& l = *line;
    for (const cv::Point2d& q : points)
        if (std::fabs((q.x - l[2]) * l[1] - (q.y - l[3]) * l[0]) > kMaxEdgeResidualPx) ++broken;
    return broken > kMaxBrokenEdgeShare * count ? Refinement::kDamaged : Refinement::kRefined;
}

bool intersect(const cv::Vec4d& l1, const cv::Vec4d& l2, cv::Point2d* p) {
    const double det = l1[0] * l2[1] - l1[1] * l2[0];
    if (std::fabs(det) < 1e-9) return false;
    const double t = ((l2[2] - l1[2]) * l2[1] - (l2[3] - l1[3]) * l2[0]) / det;
    *p = cv::Point2d(l1[2] + t * l1[0], l1[3] + t * l1[1]);
    return true;
}
}  // namespace

namespace {
Refinement refineOnce(const cv::Mat& grey, const cv::Point2d in[4], cv::Point2d out[4]) {
    const cv::Point2d centre = 0.25 * (in[0] + in[1] + in[2] + in[3]);
    // The window across an edge stays inside the black border (a quarter of the side)
    // and clear of the neighbouring markers.
    double shortest = cv::norm(in[1] - in[0]);
    for (int i = 1; i < 4; ++i) shortest = std::min(shortest, cv::norm(in[(i + 1) % 4] - in[i]));
    const double halfWindow = std::min(kMaxHalfWindow, 0.25 * shortest - 1.0);
    if (halfWindow < 2.0) return Refinement::kTooSmall;
    cv::Vec4d lines[4];  // edge i runs from corner i to corner i + 1
    for (int i = 0; i < 4; ++i) {
        const Refinement r = fitEdge(grey, in[i], in[(i + 1) % 4], centre, halfWindow, &lines[i]);
        if (r != Refinement::kRefined) return r;
    }
    // Detected corners of low-contrast markers (projected ones) can sit a few pixels
    // inside or outside; a larger move means the refinement locked onto something else.
    const double maxShift = std::max(kMaxCornerShiftPx, kMaxCornerShiftShare * shortest);
    cv::Point2d refined[4];
    for (int i = 0; i < 4; ++i) {
        if (!intersect(lines[(i + 3) % 4], lines[i], &refined[i])) return Refinement::kDamaged;
        if (cv::norm(refined[i] - in[i]) > maxShift) return Refinement::kDamaged;
    }
    for (int i = 0; i < 4; ++i) out[i] = refined[i];
    return Refinement::kRefined;
}
}  // namespace

Refinement refineMarkerCornersChecked(const cv::Mat& grey, const cv::Point2d in[4],
                                      cv::Point2d out[4]) {
    cv::Point2d first[4];
    const Refinement r = refineOnce(grey, in, first);
    if (r != Refinement::kRefined) return r;
    double moved = 0;
    for (int i = 0; i < 4; ++i) moved = std::max(moved, cv::norm(first[i] - in[i]));
    // Far from the start the edge windows were off centre: once more from the result.
    cv::Point2d second[4];
    if (moved > kRecentreShiftPx && refineOnce(grey, first, second) == Refinement::kRefined)
        std::copy(second, second + 4, first);
    std::copy(first, first + 4, out);
    return Refinement::kRefined;
}

bool refineMarkerCorners(const cv::Mat& grey, const cv::Point2d in[4], cv::Point2d out[4]) {
    return refineMarkerCornersChecked(grey, in, out) == Refinement::kRefined;
}

void unbendCorners(const RadialLens& lens, cv::Point2d corners[4]) {
    cv::Point2d straight[4];  // undistorted: the edges between them are straight
    for (int i = 0; i < 4; ++i) straight[i] = lens.undistort(corners[i]);
    // The lines the refinement fits to the bent edges: it steps along the chord between the
    // corners and locates the edge across it.
    cv::Vec4d lines[4];
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d a = corners[i], b = corners[(i + 1) % 4];
        const cv::Point2d ua = straight[i], ub = straight[(i + 1) % 4];
        const double length = cv::norm(b - a);
        if (length <= 0) return;
        const cv::Point2d d = (b - a) / length;
        const int count = edgePointCount(length);
        std::vector<cv::Point2d> points;
        for (int k = 0; k < count; ++k) {
            const double t = length * edgePointShare(k, count);
            // The bent edge's point level with a + t d: where its projection on d is t.
            double share = t / length;
            cv::Point2d p = lens.distort(ua + share * (ub - ua));
            for (int step = 0; step < kUnbendSteps; ++step) {
                const cv::Point2d q = lens.distort(ua + (share + kUnbendDelta) * (ub - ua));
                const double along = (q - p).dot(d) / kUnbendDelta;
                if (along <= 0) return;
                share -= ((p - a).dot(d) - t) / along;
                p = lens.distort(ua + share * (ub - ua));
            }
            points.push_back(p);
        }
        if (weightedLine(points, {}, &lines[i]) != 0) return;
    }
    cv::Point2d shift[4];
    for (int i = 0; i < 4; ++i) {
        cv::Point2d fitted;
        if (!intersect(lines[(i + 3) % 4], lines[i], &fitted)) return;
        shift[i] = lens.distort(straight[i]) - fitted;
    }
    for (int i = 0; i < 4; ++i) corners[i] += shift[i];
}
