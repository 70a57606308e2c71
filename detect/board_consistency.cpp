#include "board_consistency.h"

#include <algorithm>
#include <array>
#include <opencv2/calib3d.hpp>

#include "local_mapping.h"

namespace {
constexpr int kNeighbours = 12;  // markers around the checked one that give its local mapping
constexpr double kSharedErrorFactor = 3.0;  // tolerance over the median disagreement
constexpr int kMinNeighbours = 4;           // a homography needs four
// Rounds of lens and consensus: each lets in markers the bending kept out; they settle fast.
constexpr int kTrustRounds = 3;
constexpr double kTrustedShareOfSide = 0.25;  // centre off the undistorted board mapping
// The consensus: a global homography tolerates lens distortion up to half a marker side,
// far less than the place of another id; RANSAC's draws and confidence for it.
constexpr double kConsensusShareOfSide = 0.5;
constexpr int kConsensusIterations = 2000;
constexpr double kConsensusConfidence = 0.999;

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

// The board as the trusted markers place it: corners paired with the reference corners and
// undistorted by the lens, and the markers' centres in both frames.
struct BoardFit {
    std::vector<std::array<cv::Point2d, 4>> aligned;
    std::vector<cv::Point2d> refCentres, imageCentres;
    std::vector<bool> trusted;
    RadialLens lens;
    double side = 0;  // median marker side in the photo, px
};

// The markers whose mapping predicts marker i: of those flagged in neighbours (i left out),
// its kNeighbours nearest on the board, nearest first; empty when fewer than kMinNeighbours.
std::vector<std::size_t> nearestNeighbours(const BoardFit& fit, const std::vector<bool>& neighbours,
                                           std::size_t i) {
    const std::vector<cv::Point2d>& refCentres = fit.refCentres;
    std::vector<std::size_t> others;
    for (std::size_t j = 0; j < neighbours.size(); ++j)
        if (j != i && neighbours[j]) others.push_back(j);
    if (others.size() < static_cast<std::size_t>(kMinNeighbours)) return {};
    const std::size_t k = std::min<std::size_t>(kNeighbours, others.size());
    std::partial_sort(others.begin(), others.begin() + k, others.end(),
                      [&](std::size_t a, std::size_t b) {
                          return cv::norm(refCentres[a] - refCentres[i]) <
                                 cv::norm(refCentres[b] - refCentres[i]);
                      });
    others.resize(k);
    return others;
}

// Error of marker i under the mapping of the markers near (nearestNeighbours); negative when
// they give no mapping. Points are undistorted by the fit's lens; the error is measured in
// the photo.
double localError(const std::vector<MarkerPlacement>& markers, const BoardFit& fit,
                  const std::vector<std::size_t>& near, std::size_t i) {
    if (near.empty()) return -1;
    const std::vector<std::array<cv::Point2d, 4>>& aligned = fit.aligned;
    const std::vector<cv::Point2d>& refCentres = fit.refCentres;
    const std::vector<cv::Point2d>& imageCentres = fit.imageCentres;
    const RadialLens& lens = fit.lens;
    std::vector<cv::Point2d> from, to;
    for (const std::size_t j : near) {
        from.push_back(refCentres[j]);
        to.push_back(imageCentres[j]);
        for (int p = 0; p < 4; ++p) {
            from.push_back(markers[j].reference[p]);
            to.push_back(aligned[j][p]);
        }
    }
    LocalMapping mapping;
    if (fitLocalMapping(from, to, imageCentres[i], &mapping) != 0) return -1;
    double worst =
        cv::norm(lens.distort(mapLocally(mapping, refCentres[i])) - lens.distort(imageCentres[i]));
    for (int p = 0; p < 4; ++p)
        worst =
            std::max(worst, cv::norm(lens.distort(mapLocally(mapping, markers[i].reference[p])) -
                                     lens.distort(aligned[i][p])));
    return worst;
}

// Every marker's localError, fitted again only where its neighbours changed: the same
// neighbours in the same order give the same mapping, and a drop changes the neighbours of
// few markers.
struct LocalErrors {
    std::vector<std::vector<std::size_t>> near;
    std::vector<double> error;
    std::vector<bool> known;
};

void updateLocalErrors(const std::vector<MarkerPlacement>& markers, const BoardFit& fit,
                       const std::vector<bool>& neighbours, const std::vector<bool>& wanted,
                       LocalErrors* e) {
    const std::size_t n = markers.size();
    e->near.resize(n);
    e->error.resize(n);
    e->known.resize(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        if (!wanted[i]) continue;
        std::vector<std::size_t> near = nearestNeighbours(fit, neighbours, i);
        if (e->known[i] && near == e->near[i]) continue;
        e->error[i] = localError(markers, fit, near, i);
        e->near[i] = std::move(near);
        e->known[i] = true;
    }
}

// The lens from the consensus; then the consensus again without the lens's bending, which
// lets in the markers that distortion kept out of the first; and again, so that the lens is
// fitted out to the board's edges. -1 when too few markers stay trusted.
int settleLensAndTrust(const std::vector<MarkerPlacement>& markers, cv::Size photo, BoardFit* fit) {
    const std::size_t n = markers.size();
    std::vector<bool>& trusted = fit->trusted;
    const std::vector<std::array<cv::Point2d, 4>> distorted = fit->aligned;
    for (int round = 0; round < kTrustRounds; ++round) {
        std::vector<cv::Point2d> fitRef, fitImage;
        for (std::size_t i = 0; i < n; ++i) {
            if (!trusted[i]) continue;
            for (int p = 0; p < 4; ++p) {  // corners only: a distorted quad's diagonals miss
                fitRef.push_back(markers[i].reference[p]);  // the centre
                fitImage.push_back(distorted[i][p]);
            }
        }
        // Refused (corners on a line), the lens stays neutral: the check goes on without it.
        fitRadialLens(fitRef, fitImage, photo, &fit->lens);
        for (std::size_t i = 0; i < n; ++i) {
            for (int p = 0; p < 4; ++p) fit->aligned[i][p] = fit->lens.undistort(distorted[i][p]);
            fit->imageCentres[i] = diagonalCrossing(fit->aligned[i].data());
        }
        std::vector<cv::Point2d> trustedRef, trustedImage;
        for (std::size_t i = 0; i < n; ++i)
            if (trusted[i]) {
                trustedRef.push_back(fit->refCentres[i]);
                trustedImage.push_back(fit->imageCentres[i]);
            }
        const cv::Mat flat = cv::findHomography(trustedRef, trustedImage, 0);
        if (flat.empty()) break;
        std::vector<cv::Point2d> predicted;
        cv::perspectiveTransform(fit->refCentres, predicted, flat);
        std::vector<bool> next(n);
        for (std::size_t i = 0; i < n; ++i)
            next[i] =
                cv::norm(predicted[i] - fit->imageCentres[i]) < kTrustedShareOfSide * fit->side;
        if (std::count(next.begin(), next.end(), true) < kMinMarkersForBoardCheck) return -1;
        if (next == trusted) break;
        trusted = next;
    }
    return 0;
}

// The consensus of the markers' centres, their corners aligned to it, and the lens and the
// trusted markers settled. -1 when there are too few markers for a robust fit.
int fitBoard(const std::vector<MarkerPlacement>& markers, cv::Size photo, BoardFit* fit) {
    const std::size_t n = markers.size();
    if (n < static_cast<std::size_t>(kMinMarkersForBoardCheck)) return -1;
    for (const MarkerPlacement& m : markers) {
        fit->refCentres.push_back(diagonalCrossing(m.reference));
        fit->imageCentres.push_back(diagonalCrossing(m.image));
    }
    fit->side = medianSide(markers);
    std::vector<unsigned char> inlier;
    const cv::Mat global = cv::findHomography(fit->refCentres, fit->imageCentres, cv::RANSAC,
                                              kConsensusShareOfSide * fit->side, inlier,
                                              kConsensusIterations, kConsensusConfidence);
    if (global.empty()) return -1;
    fit->aligned.resize(n);
    for (std::size_t i = 0; i < n; ++i) alignCorners(markers[i], global, fit->aligned[i].data());
    fit->trusted.resize(n);
    for (std::size_t i = 0; i < n; ++i) fit->trusted[i] = inlier[i] != 0;
    if (std::count(fit->trusted.begin(), fit->trusted.end(), true) < kMinMarkersForBoardCheck)
        return -1;
    return settleLensAndTrust(markers, photo, fit);
}

// A disagreement shared by most markers (lens distortion the neighbourhoods do not follow,
// a board measured wrong) is not a wrong marker: the tolerance grows with it. errors: every
// marker's localError with the trusted markers as neighbours.
double sharedTolerance(const std::vector<double>& localErrors, const BoardFit& fit,
                       double tolerancePx) {
    std::vector<double> errors;
    for (const double e : localErrors)
        if (e >= 0) errors.push_back(e);
    double tolerance = std::max(tolerancePx, kBoardToleranceShareOfSide * fit.side);
    if (!errors.empty()) {
        std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
        tolerance = std::max(tolerance, kSharedErrorFactor * errors[errors.size() / 2]);
    }
    return tolerance;
}
}  // namespace

std::vector<DroppedMarker> findInconsistentMarkers(const std::vector<MarkerPlacement>& markers,
                                                   double tolerancePx, cv::Size photo,
                                                   bool* checked, RadialLens* fitted) {
    *checked = false;
    std::vector<DroppedMarker> dropped;
    BoardFit fit;
    if (fitBoard(markers, photo, &fit) != 0) return dropped;
    *checked = true;
    if (fitted) *fitted = fit.lens;
    const std::size_t n = markers.size();
    std::vector<bool> kept(n, true);
    LocalErrors errors;
    updateLocalErrors(markers, fit, fit.trusted, kept, &errors);
    const double tolerance = sharedTolerance(errors.error, fit, tolerancePx);
    // Each marker against its neighbours; the worst offender goes first so that a wrong
    // marker does not make its neighbours look wrong.
    for (;;) {
        std::vector<bool> neighbours(n);
        for (std::size_t j = 0; j < n; ++j) neighbours[j] = kept[j] && fit.trusted[j];
        updateLocalErrors(markers, fit, neighbours, kept, &errors);
        std::size_t worst = n;
        double worstError = tolerance;
        for (std::size_t i = 0; i < n; ++i)
            if (kept[i] && errors.error[i] > worstError) {
                worst = i;
                worstError = errors.error[i];
            }
        if (worst == n) break;
        kept[worst] = false;
        dropped.push_back({static_cast<int>(worst), worstError, tolerance});
    }
    return dropped;
}

int fitBoardLens(const std::vector<MarkerPlacement>& markers, cv::Size photo, RadialLens* lens) {
    BoardFit fit;
    if (fitBoard(markers, photo, &fit) != 0) return -1;
    *lens = fit.lens;
    return 0;
}
