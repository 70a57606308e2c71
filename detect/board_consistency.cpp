#include "board_consistency.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <opencv2/calib3d.hpp>

namespace {
constexpr int kNeighbours = 12;  // markers around the checked one that give its local mapping
constexpr double kSharedErrorFactor = 3.0;  // tolerance over the median disagreement
constexpr int kLensRounds = 8;
constexpr int kTrustRounds = 3;
constexpr double kLensOutlierPx = 0.5;    // points this far off a first lens fit are left out
constexpr double kMaxCentreShift = 0.15;  // of the half diagonal
constexpr int kGaussNewtonSteps = 20;
constexpr double kSettledShare = 1e-4;        // a step that gains less ends the fit
constexpr double kTrustedShareOfSide = 0.25;  // centre off the undistorted board mapping

double medianSide(const std::vector<MarkerPlacement>& markers) {
    std::vector<double> sides;
    for (const MarkerPlacement& m : markers)
        for (int p = 0; p < 4; ++p) sides.push_back(cv::norm(m.image[p] - m.image[(p + 1) % 4]));
    std::nth_element(sides.begin(), sides.begin() + sides.size() / 2, sides.end());
    return sides[sides.size() / 2];
}

// Least-squares homography (h33 = 1) of many point pairs, on coordinates centred and
// scaled for conditioning; empty when degenerate. Plain linear algebra: it is fitted for
// every marker of every photo.
cv::Mat linearHomography(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to) {
    const int n = static_cast<int>(from.size());
    cv::Point2d cf, ct;
    for (int i = 0; i < n; ++i) {
        cf += from[i];
        ct += to[i];
    }
    cf /= n;
    ct /= n;
    double sf = 0, st = 0;
    for (int i = 0; i < n; ++i) {
        sf += cv::norm(from[i] - cf);
        st += cv::norm(to[i] - ct);
    }
    if (sf <= 0 || st <= 0) return cv::Mat();
    sf = n / sf;
    st = n / st;
    cv::Mat a(2 * n, 8, CV_64F), b(2 * n, 1, CV_64F), h;
    for (int i = 0; i < n; ++i) {
        const double x = (from[i].x - cf.x) * sf, y = (from[i].y - cf.y) * sf;
        const double u = (to[i].x - ct.x) * st, v = (to[i].y - ct.y) * st;
        double* r0 = a.ptr<double>(2 * i);
        double* r1 = a.ptr<double>(2 * i + 1);
        const double row0[8] = {x, y, 1, 0, 0, 0, -u * x, -u * y};
        const double row1[8] = {0, 0, 0, x, y, 1, -v * x, -v * y};
        std::copy(row0, row0 + 8, r0);
        std::copy(row1, row1 + 8, r1);
        b.at<double>(2 * i) = u;
        b.at<double>(2 * i + 1) = v;
    }
    if (!cv::solve(a, b, h, cv::DECOMP_QR)) return cv::Mat();
    const cv::Mat normalized =
        (cv::Mat_<double>(3, 3) << h.at<double>(0), h.at<double>(1), h.at<double>(2),
         h.at<double>(3), h.at<double>(4), h.at<double>(5), h.at<double>(6), h.at<double>(7), 1.0);
    const cv::Mat fromScale =
        (cv::Mat_<double>(3, 3) << sf, 0, -sf * cf.x, 0, sf, -sf * cf.y, 0, 0, 1);
    const cv::Mat toScaleInverse =
        (cv::Mat_<double>(3, 3) << 1 / st, 0, ct.x, 0, 1 / st, ct.y, 0, 0, 1);
    return toScaleInverse * normalized * fromScale;
}

// Predicted photo points of ref under homography h (8 values, h33 = 1) and lens.
void predict(const std::vector<cv::Point2d>& ref, const double h[8], const RadialLens& lens,
             std::vector<cv::Point2d>* out) {
    out->resize(ref.size());
    for (std::size_t i = 0; i < ref.size(); ++i) {
        const cv::Point2d r = ref[i];
        const double w = h[6] * r.x + h[7] * r.y + 1;
        (*out)[i] = lens.distort(cv::Point2d((h[0] * r.x + h[1] * r.y + h[2]) / w,
                                             (h[3] * r.x + h[4] * r.y + h[5]) / w));
    }
}

// Homography and distortion together by damped Gauss-Newton from the alternation's result
// (which approaches the joint optimum slowly).
RadialLens refineLens(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                      RadialLens lens) {
    std::vector<cv::Point2d> undistorted;
    for (const cv::Point2d& p : image) undistorted.push_back(lens.undistort(p));
    cv::Mat h0 = cv::findHomography(ref, undistorted, 0);
    if (h0.empty()) return lens;
    h0 /= h0.at<double>(2, 2);
    // Homography (8), k1, k2, k3 and the distortion centre: a real lens's centre is off
    // the image centre by a few percent, which matters at the edges.
    constexpr int kParams = 13;
    double x[kParams];
    for (int k = 0; k < 8; ++k) x[k] = h0.at<double>(k / 3, k % 3);
    x[8] = lens.k1;
    x[9] = lens.k2;
    x[10] = 0;
    x[11] = lens.centre.x;
    x[12] = lens.centre.y;
    const auto withParams = [&](const double* v) {
        RadialLens l = lens;
        l.k1 = v[8];
        l.k2 = v[9];
        l.k3 = v[10];
        l.centre = cv::Point2d(v[11], v[12]);
        return l;
    };
    const auto residuals = [&](const double* v, cv::Mat* r) {
        std::vector<cv::Point2d> p;
        predict(ref, v, withParams(v), &p);
        r->create(2 * static_cast<int>(ref.size()), 1, CV_64F);
        for (std::size_t i = 0; i < ref.size(); ++i) {
            r->at<double>(2 * static_cast<int>(i)) = p[i].x - image[i].x;
            r->at<double>(2 * static_cast<int>(i) + 1) = p[i].y - image[i].y;
        }
    };
    // Levenberg-Marquardt: a step is taken only when it lowers the squared error.
    cv::Mat r, j(2 * static_cast<int>(ref.size()), kParams, CV_64F);
    residuals(x, &r);
    double cost = r.dot(r), damping = 1e-3;
    bool settled = false;
    for (int iteration = 0; iteration < kGaussNewtonSteps && !settled; ++iteration) {
        for (int k = 0; k < kParams; ++k) {
            double moved[kParams];
            std::copy(x, x + kParams, moved);
            const double step = 1e-6 * std::max(1.0, std::fabs(x[k]));
            moved[k] += step;
            cv::Mat rk;
            residuals(moved, &rk);
            j.col(k) = (rk - r) / step;
        }
        const cv::Mat jtj = j.t() * j, jtr = j.t() * r;
        for (int attempt = 0; attempt < 8; ++attempt) {
            cv::Mat a = jtj.clone(), delta;
            for (int k = 0; k < kParams; ++k)
                a.at<double>(k, k) += damping * std::max(jtj.at<double>(k, k), 1e-12);
            if (!cv::solve(a, -jtr, delta, cv::DECOMP_SVD)) break;
            double next[kParams];
            for (int k = 0; k < kParams; ++k) next[k] = x[k] + delta.at<double>(k);
            cv::Mat rn;
            residuals(next, &rn);
            const double c = rn.dot(rn);
            if (std::isfinite(c) && c < cost) {
                std::copy(next, next + kParams, x);
                r = rn;
                settled = c > (1 - kSettledShare) * cost;
                cost = c;
                damping = std::max(damping / 10, 1e-9);
                break;
            }
            damping *= 10;
        }
    }
    // A board that covers little of the photo leaves the centre and the higher terms
    // loose: such a fit is not trusted, the simpler one stands.
    const cv::Point2d shift = cv::Point2d(x[11], x[12]) - lens.centre;
    for (int k = 8; k < kParams; ++k)
        if (!std::isfinite(x[k])) return lens;
    if (std::fabs(x[8]) > 2 || std::fabs(x[9]) > 2 || std::fabs(x[10]) > 2 ||
        cv::norm(shift) > kMaxCentreShift * lens.scale)
        return lens;
    return withParams(x);
}

// Alternates a homography of the undistorted points and the two distortion terms for that
// homography (linear in them) over the given point pairs.
RadialLens fitLensOnce(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                       cv::Size photo) {
    RadialLens lens;
    lens.centre = cv::Point2d(photo.width / 2.0, photo.height / 2.0);
    lens.scale = 0.5 * std::hypot(photo.width, photo.height);
    for (int round = 0; round < kLensRounds; ++round) {
        std::vector<cv::Point2d> undistorted, predicted;
        for (const cv::Point2d& p : image) undistorted.push_back(lens.undistort(p));
        const cv::Mat h = cv::findHomography(ref, undistorted, 0);
        if (h.empty()) return RadialLens{lens.centre, lens.scale, 0, 0, 0};
        cv::perspectiveTransform(ref, predicted, h);
        cv::Mat a(2 * static_cast<int>(ref.size()), 2, CV_64F), b(a.rows, 1, CV_64F), k;
        for (std::size_t i = 0; i < ref.size(); ++i) {
            const cv::Point2d d = predicted[i] - lens.centre;
            const double r2 = d.dot(d) / (lens.scale * lens.scale);
            const int row = 2 * static_cast<int>(i);
            a.at<double>(row, 0) = d.x * r2;
            a.at<double>(row, 1) = d.x * r2 * r2;
            a.at<double>(row + 1, 0) = d.y * r2;
            a.at<double>(row + 1, 1) = d.y * r2 * r2;
            b.at<double>(row) = image[i].x - predicted[i].x;
            b.at<double>(row + 1) = image[i].y - predicted[i].y;
        }
        if (!cv::solve(a, b, k, cv::DECOMP_SVD)) break;
        lens.k1 = k.at<double>(0);
        lens.k2 = k.at<double>(1);
        if (!std::isfinite(lens.k1) || !std::isfinite(lens.k2) || std::fabs(lens.k1) > 1 ||
            std::fabs(lens.k2) > 1)
            return RadialLens{lens.centre, lens.scale, 0, 0, 0};
    }
    return refineLens(ref, image, lens);
}

// The lens fitted twice: the second time without the points the first fit leaves far off
// (a few bad corners would bend it for all the others).
RadialLens fitLens(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
                   cv::Size photo) {
    const RadialLens first = fitLensOnce(ref, image, photo);
    std::vector<cv::Point2d> undistorted, mapped;
    for (const cv::Point2d& p : image) undistorted.push_back(first.undistort(p));
    const cv::Mat h = cv::findHomography(ref, undistorted, 0);
    if (h.empty()) return first;
    cv::perspectiveTransform(ref, mapped, h);
    std::vector<double> off;
    for (std::size_t i = 0; i < ref.size(); ++i)
        off.push_back(cv::norm(first.distort(mapped[i]) - image[i]));
    std::vector<double> sorted = off;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double limit = std::max(kLensOutlierPx, kSharedErrorFactor * sorted[sorted.size() / 2]);
    std::vector<cv::Point2d> keptRef, keptImage;
    for (std::size_t i = 0; i < ref.size(); ++i)
        if (off[i] <= limit) {
            keptRef.push_back(ref[i]);
            keptImage.push_back(image[i]);
        }
    if (keptRef.size() == ref.size() || keptRef.size() < ref.size() / 2) return first;
    return fitLensOnce(keptRef, keptImage, photo);
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

// Corrects a homography's predictions with an affine term in the photo's coordinates
// fitted to the residuals of the neighbours: what the radial lens fit leaves (tangential
// distortion, an uneven board) is smooth over a few markers. Higher orders would
// extrapolate noise at the board's edges.
class LocalMapping {
  public:
    bool fit(const std::vector<cv::Point2d>& ref, const std::vector<cv::Point2d>& image,
             cv::Point2d origin) {
        h_ = linearHomography(ref, image);
        if (h_.empty()) return false;
        std::vector<cv::Point2d> mapped;
        cv::perspectiveTransform(ref, mapped, h_);
        origin_ = origin;
        scale_ = 1e-9;
        for (const cv::Point2d& q : mapped) scale_ = std::max(scale_, cv::norm(q - origin_));
        cv::Mat a(static_cast<int>(ref.size()), kTerms, CV_64F),
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
        double t[kTerms];
        terms(out[0], t);
        cv::Point2d d;
        for (int k = 0; k < kTerms; ++k) {
            d.x += t[k] * correction_.at<double>(k, 0);
            d.y += t[k] * correction_.at<double>(k, 1);
        }
        return out[0] + d;
    }

  private:
    // Affine: the global lens takes the bulk of the bending.
    static constexpr int kTerms = 3;
    void terms(cv::Point2d q, double t[kTerms]) const {
        const double u = (q.x - origin_.x) / scale_, v = (q.y - origin_.y) / scale_;
        const double all[kTerms] = {1, u, v};
        std::copy(all, all + kTerms, t);
    }
    cv::Mat h_, correction_;
    cv::Point2d origin_;
    double scale_ = 1;
};

// Error of marker i under the mapping of its nearest trusted neighbours; negative when
// the neighbours give no mapping.
// Points are undistorted by lens; the error is measured in the photo.
double localError(const std::vector<MarkerPlacement>& markers,
                  const std::vector<std::array<cv::Point2d, 4>>& aligned,
                  const std::vector<cv::Point2d>& refCentres,
                  const std::vector<cv::Point2d>& imageCentres, const RadialLens& lens,
                  const std::vector<bool>& trusted, std::size_t i) {
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
    double worst =
        cv::norm(lens.distort(mapping.map(refCentres[i])) - lens.distort(imageCentres[i]));
    for (int p = 0; p < 4; ++p)
        worst = std::max(worst, cv::norm(lens.distort(mapping.map(markers[i].reference[p])) -
                                         lens.distort(aligned[i][p])));
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

cv::Point2d diagonalCrossing(const RadialLens& lens, const cv::Point2d c[4]) {
    cv::Point2d u[4];
    for (int p = 0; p < 4; ++p) u[p] = lens.undistort(c[p]);
    return lens.distort(diagonalCrossing(u));
}

std::vector<DroppedMarker> findInconsistentMarkers(const std::vector<MarkerPlacement>& markers,
                                                   double tolerancePx, cv::Size photo,
                                                   bool* checked, RadialLens* fitted) {
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
    // The lens from the consensus; then the consensus again without the lens's bending,
    // which lets in the markers that distortion kept out of the first; and again, so that
    // the lens is fitted out to the board's edges.
    const std::vector<std::array<cv::Point2d, 4>> distorted = aligned;
    RadialLens lens;
    for (int round = 0; round < kTrustRounds; ++round) {
        std::vector<cv::Point2d> fitRef, fitImage;
        for (std::size_t i = 0; i < n; ++i) {
            if (!trusted[i]) continue;
            for (int p = 0; p < 4; ++p) {  // corners only: a distorted quad's diagonals miss
                fitRef.push_back(markers[i].reference[p]);  // the centre
                fitImage.push_back(distorted[i][p]);
            }
        }
        lens = fitLens(fitRef, fitImage, photo);
        for (std::size_t i = 0; i < n; ++i) {
            for (int p = 0; p < 4; ++p) aligned[i][p] = lens.undistort(distorted[i][p]);
            imageCentres[i] = diagonalCrossing(aligned[i].data());
        }
        std::vector<cv::Point2d> trustedRef, trustedImage;
        for (std::size_t i = 0; i < n; ++i)
            if (trusted[i]) {
                trustedRef.push_back(refCentres[i]);
                trustedImage.push_back(imageCentres[i]);
            }
        const cv::Mat flat = cv::findHomography(trustedRef, trustedImage, 0);
        if (flat.empty()) break;
        std::vector<cv::Point2d> predicted;
        cv::perspectiveTransform(refCentres, predicted, flat);
        std::vector<bool> next(n);
        for (std::size_t i = 0; i < n; ++i)
            next[i] = cv::norm(predicted[i] - imageCentres[i]) < kTrustedShareOfSide * side;
        if (std::count(next.begin(), next.end(), true) < kMinMarkersForBoardCheck) return dropped;
        if (next == trusted) break;
        trusted = next;
    }
    *checked = true;
    if (fitted) *fitted = lens;
    // A disagreement shared by most markers (lens distortion the neighbourhoods do not
    // follow, a board measured wrong) is not a wrong marker: the tolerance grows with it.
    std::vector<double> errors;
    for (std::size_t i = 0; i < n; ++i) {
        const double e = localError(markers, aligned, refCentres, imageCentres, lens, trusted, i);
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
            const double e =
                localError(markers, aligned, refCentres, imageCentres, lens, neighbours, i);
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
