#include "board_consistency.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <opencv2/calib3d.hpp>

namespace {
constexpr int kNeighbours = 8;  // markers around the checked one that give its local mapping
constexpr double kSharedErrorFactor = 3.0;  // tolerance over the median disagreement

double medianSide(const std::vector<MarkerPlacement>& markers) {
    std::vector<double> sides;
    for (const MarkerPlacement& m : markers)
        for (int p = 0; p < 4; ++p) sides.push_back(cv::norm(m.image[p] - m.image[(p + 1) % 4]));
    std::nth_element(sides.begin(), sides.begin() + sides.size() / 2, sides.end());
    return sides[sides.size() / 2];
}

// The photo's corners of a marker reordered so that corner p pairs with reference corner
// p: of the four turns in either direction, the one closest to the rough mapping h. The
// photo's corner order need not follow the board's (a board turned over, the pattern
// image's own order).
void alignCorners(const MarkerPlacement& m, const cv::Mat& h, cv::Point2d aligned[4]) {
    std::vector<cv::Point2d> ref(m.reference, m.reference + 4), mapped;
    cv::perspectiveTransform(ref, mapped, h);
    double best = 1e300;
    for (int dir : {1, -1})
        for (int shift = 0; shift < 4; ++shift) {
            double sum = 0;
            for (int p = 0; p < 4; ++p)
                sum += cv::norm(m.image[((shift + dir * p) % 4 + 4) % 4] - mapped[p]);
            if (sum >= best) continue;
            best = sum;
            for (int p = 0; p < 4; ++p) aligned[p] = m.image[((shift + dir * p) % 4 + 4) % 4];
        }
}

// Corrects a homography's predictions with a quadratic in the photo's coordinates fitted
// to the residuals of the neighbours: lens distortion bends the board's image over a few
// markers more than a homography follows.
class LocalMapping {
  public:
    bool fit(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
             cv::Point2d origin) {
        h_ = cv::findHomography(ref, image, 0);
        if (h_.empty()) return false;
        std::vector<cv::Point2d> mapped;
        cv::perspectiveTransform(ref, mapped, h_);
        origin_ = origin;
        scale_ = 1e-9;
        for (const cv::Point2d& q : mapped) scale_ = std::max(scale_, cv::norm(q - origin_));
        cv::Mat a(static_cast<int>(ref.size()), 6, CV_64F),
            b(static_cast<int>(ref.size()), 2, CV_64F);
        for (int k = 0; k < a.rows; ++k) {
            terms(mapped[k], a.ptr<double>(k));
            b.at<double>(k, 0) = image[k].x - mapped[k].x;
            b.at<double>(k, 1) = image[k].y - mapped[k].y;
        }
        return cv::solve(a, b, correction_, cv::DECOMP_SVD);
    }
    cv::Point2d map(cv::Point2d ref) const {
        std::vector<cv::Point2d> in{ref}, out;
        cv::perspectiveTransform(in, out, h_);
        double t[6];
        terms(out[0], t);
        cv::Point2d d;
        for (int k = 0; k < 6; ++k) {
            d.x += t[k] * correction_.at<double>(k, 0);
            d.y += t[k] * correction_.at<double>(k, 1);
        }
        return out[0] + d;
    }

  private:
    void terms(cv::Point2d q, double t[6]) const {
        const double u = (q.x - origin_.x) / scale_, v = (q.y - origin_.y) / scale_;
        t[0] = 1;
        t[1] = u;
        t[2] = v;
        t[3] = u * u;
        t[4] = u * v;
        t[5] = v * v;
    }
    cv::Mat h_, correction_;
    cv::Point2d origin_;
    double scale_ = 1;
};

// Error of marker i under the mapping of its nearest trusted neighbours; negative when
// the neighbours give no mapping.
double localError(const std::vector<MarkerPlacement>& markers,
                  const std::vector<std::array<cv::Point2d, 4>>& aligned,
                  const std::vector<cv::Point2d>& refCentres,
                  const std::vector<cv::Point2d>& imageCentres, const std::vector<bool>& trusted,
                  std::size_t i) {
    std::vector<std::size_t> others;
    for (std::size_t j = 0; j < markers.size(); ++j)
        if (j != i && trusted[j]) others.push_back(j);
    if (others.size() < 4) return -1;
    const std::size_t k = std::min<std::size_t>(kNeighbours, others.size());
    std::partial_sort(others.begin(), others.begin() + k, others.end(),
                      [&](std::size_t a, std::size_t b) {
                          return cv::norm(refCentres[a] - refCentres[i]) <
                                 cv::norm(refCentres[b] - refCentres[i]);
                      });
    std::vector<cv::Point2d> from, to;
    for (std::size_t n = 0; n < k; ++n) {
        const std::size_t j = others[n];
        from.push_back(refCentres[j]);
        to.push_back(imageCentres[j]);
        for (int p = 0; p < 4; ++p) {
            from.push_back(markers[j].reference[p]);
            to.push_back(aligned[j][p]);
        }
    }
    LocalMapping mapping;
    if (!mapping.fit(from, to, imageCentres[i])) return -1;
    double worst = cv::norm(mapping.map(refCentres[i]) - imageCentres[i]);
    for (int p = 0; p < 4; ++p)
        worst = std::max(worst, cv::norm(mapping.map(markers[i].reference[p]) - aligned[i][p]));
    return worst;
}
}  // namespace

cv::Point2d diagonalCrossing(const cv::Point2d c[4]) {
    const cv::Point2d d1 = c[2] - c[0], d2 = c[3] - c[1], w = c[1] - c[0];
    const double det = d1.x * d2.y - d1.y * d2.x;
    const cv::Point2d mean = 0.25 * (c[0] + c[1] + c[2] + c[3]);
    if (std::fabs(det) < 1e-12) return mean;
    const double s = (w.x * d2.y - w.y * d2.x) / det;  // along the diagonal 0 -> 2
    const double t = (w.x * d1.y - w.y * d1.x) / det;  // along the diagonal 1 -> 3
    if (s <= 0 || s >= 1 || t <= 0 || t >= 1) return mean;
    return c[0] + s * d1;
}

std::vector<DroppedMarker> findInconsistentMarkers(const std::vector<MarkerPlacement>& markers,
                                                   double tolerancePx, bool* checked) {
    *checked = false;
    std::vector<DroppedMarker> dropped;
    const std::size_t n = markers.size();
    if (n < static_cast<std::size_t>(kMinMarkersForBoardCheck)) return dropped;
    std::vector<cv::Point2d> refCentres, imageCentres;
    for (const MarkerPlacement& m : markers) {
        refCentres.push_back(diagonalCrossing(m.reference));
        imageCentres.push_back(diagonalCrossing(m.image));
    }
    const double side = medianSide(markers);
    // The consensus: a global homography tolerates lens distortion up to half a marker
    // side, far less than the place of another id.
    std::vector<unsigned char> inlier;
    const cv::Mat global =
        cv::findHomography(refCentres, imageCentres, cv::RANSAC, 0.5 * side, inlier, 2000, 0.999);
    if (global.empty()) return dropped;
    std::vector<std::array<cv::Point2d, 4>> aligned(n);
    for (std::size_t i = 0; i < n; ++i) alignCorners(markers[i], global, aligned[i].data());
    std::vector<bool> trusted(n);
    for (std::size_t i = 0; i < n; ++i) trusted[i] = inlier[i] != 0;
    if (std::count(trusted.begin(), trusted.end(), true) < kMinMarkersForBoardCheck) return dropped;
    *checked = true;
    // A disagreement shared by most markers (lens distortion the neighbourhoods do not
    // follow, a board measured wrong) is not a wrong marker: the tolerance grows with it.
    std::vector<double> errors;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = localError(markers, aligned, refCentres, imageCentres, trusted, i);
        if (e >= 0) errors.push_back(e);
    }
    double tolerance = std::max(tolerancePx, kBoardToleranceShareOfSide * side);
    if (!errors.empty()) {
        std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
        tolerance = std::max(tolerance, kSharedErrorFactor * errors[errors.size() / 2]);
    }
    // Each marker against its neighbours; the worst offender goes first so that a wrong
    // marker does not make its neighbours look wrong.
    std::vector<bool> kept(n, true);
    for (;;) {
        std::size_t worst = n;
        double worstError = tolerance;
        for (std::size_t i = 0; i < n; ++i) {
            if (!kept[i]) continue;
            std::vector<bool> neighbours(n);
            for (std::size_t j = 0; j < n; ++j) neighbours[j] = kept[j] && trusted[j];
            const double e = localError(markers, aligned, refCentres, imageCentres, neighbours, i);
            if (e > worstError) {
                worst = i;
                worstError = e;
            }
        }
        if (worst == n) break;
        kept[worst] = false;
        dropped.push_back({static_cast<int>(worst), worstError, tolerance});
    }
    return dropped;
}
