// The board check on made-up sightings: a 9 x 7 board seen through a perspective camera
// with barrel distortion, with one sighting changed at a time.
#include "board_consistency.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <opencv2/calib3d.hpp>

#include "real_photos.h"

namespace {
constexpr double kSide = 30, kPitch = 40;

// Board (mm) to image (px): a tilted view with radial distortion around the image centre.
cv::Point2d project(cv::Point2d b, double distortion) {
    const double x = b.x - 180, y = b.y - 140, w = 1.0 + 0.0012 * x + 0.0005 * y;
    cv::Point2d p(640 + 2.4 * (x + 0.2 * y) / w, 480 + 2.4 * (y - 0.1 * x) / w);
    const cv::Point2d d = (p - cv::Point2d(640, 480)) / 1000.0;
    const double r2 = d.dot(d);
    return cv::Point2d(640, 480) + (1 + distortion * r2) * (p - cv::Point2d(640, 480));
}

std::vector<MarkerPlacement> board(double distortion) {
    std::vector<MarkerPlacement> markers;
    for (int col = 0; col < 9; ++col)
        for (int row = 0; row < 7; ++row) {
            MarkerPlacement m;
            m.id = col * 7 + row;
            const double x0 = col * kPitch, y0 = row * kPitch, x1 = x0 + kSide, y1 = y0 + kSide;
            const cv::Point2d ref[4] = {{x1, y1}, {x0, y1}, {x0, y0}, {x1, y0}};
            for (int p = 0; p < 4; ++p) {
                m.reference[p] = ref[p];
                m.image[p] = project(ref[p], distortion);
            }
            markers.push_back(m);
        }
    return markers;
}

struct Case {
    std::string name;
    double distortion;
    std::function<void(std::vector<MarkerPlacement>*)> change;
    double tolerance;
    std::vector<int> dropped;  // ids
    bool checked = true;
};

void swapPlaces(std::vector<MarkerPlacement>* m, int a, int b) {
    std::swap((*m)[a].image, (*m)[b].image);
}
}  // namespace

TEST(BoardConsistency, DropsWhatDisagreesWithTheBoardAndNothingElse) {
    const std::vector<Case> cases = {
        {"clean", 0.0, [](auto*) {}, 1.0, {}},
        {"strong barrel distortion", -0.35, [](auto*) {}, 1.0, {}},
        {"two ids read the wrong way round",
         -0.2,
         [](auto* m) { swapPlaces(m, 10, 11); },
         1.0,
         {10, 11}},
        {"a stray printout far off",
         -0.2,
         [](auto* m) {
             for (cv::Point2d& p : (*m)[30].image) p += cv::Point2d(-560, 300);
         },
         5.0,
         {30}},
        {"one corner pulled by 3 px", 0.0, [](auto* m) { (*m)[40].image[2].x += 3; }, 1.0, {40}},
        {"two neighbours pulled (the first dropped changes the second's neighbours)",
         -0.2,
         [](auto* m) {
             (*m)[40].image[2].x += 3;
             (*m)[41].image[0].y -= 2.5;
         },
         1.0,
         {40, 41}},
        {"a pull within the tolerance", 0.0, [](auto* m) { (*m)[40].image[2].x += 3; }, 5.0, {}},
        {"corners listed from another corner",  // the board turned: still the same places
         -0.2,
         [](auto* m) {
             for (MarkerPlacement& k : *m) std::rotate(k.image, k.image + 2, k.image + 4);
         },
         1.0,
         {}},
        {"every marker shrunk alike (a board measured wrong)",
         0.0,
         [](auto* m) {
             for (MarkerPlacement& k : *m) {
                 const cv::Point2d c = 0.25 * (k.image[0] + k.image[1] + k.image[2] + k.image[3]);
                 for (cv::Point2d& p : k.image) p = c + 0.9 * (p - c);
             }
         },
         1.0,
         {}},
        {"too few to check",
         0.0,
         [](auto* m) {
             m->resize(5);
             swapPlaces(m, 0, 1);
         },
         1.0,
         {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MarkerPlacement> markers = board(c.distortion);
        c.change(&markers);
        bool checked = false;
        const std::vector<DroppedMarker> dropped =
            findInconsistentMarkers(markers, c.tolerance, cv::Size(1280, 960), &checked);
        EXPECT_EQ(checked, c.checked);
        std::vector<int> ids;
        for (const DroppedMarker& d : dropped) {
            ids.push_back(markers[d.index].id);
            EXPECT_GT(d.error, d.tolerance);
        }
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, c.dropped);
    }
}

TEST(BoardConsistency, LensWithoutTheCheckIsTheCheckedOne) {
    std::vector<MarkerPlacement> markers = board(-0.3);
    markers[30].image[1].x += 4;  // a drop does not change the fitted lens
    bool checked = false;
    RadialLens checkedLens, lens;
    EXPECT_EQ(
        findInconsistentMarkers(markers, 1.0, cv::Size(1280, 960), &checked, &checkedLens).size(),
        1u);
    ASSERT_TRUE(checked);
    ASSERT_EQ(fitBoardLens(markers, cv::Size(1280, 960), &lens), 0);
    EXPECT_NE(lens.k1, 0.0);
    EXPECT_EQ(lens.k1, checkedLens.k1);
    EXPECT_EQ(lens.k2, checkedLens.k2);
    EXPECT_EQ(lens.k3, checkedLens.k3);
    EXPECT_EQ(lens.centre, checkedLens.centre);
    markers.resize(kMinMarkersForBoardCheck - 1);
    EXPECT_EQ(fitBoardLens(markers, cv::Size(1280, 960), &lens), -1);
}

TEST(BoardConsistency, DiagonalsCrossAtTheProjectedCentre) {
    const cv::Point2d square[4] = {{10, 10}, {0, 10}, {0, 0}, {10, 0}};
    EXPECT_LT(cv::norm(diagonalCrossing(square) - cv::Point2d(5, 5)), 1e-12);
    // A trapezoid: the crossing is not the mean of the corners.
    const cv::Point2d trapezoid[4] = {{12, 10}, {-2, 10}, {2, 0}, {8, 0}};
    const cv::Point2d c = diagonalCrossing(trapezoid);
    EXPECT_NEAR(c.x, 5, 1e-12);
    EXPECT_NEAR(c.y, 10.0 * 6 / 20, 1e-12);  // the diagonals split 14 : 6 along y

    // Through a barrel lens the bent quad's own diagonals miss the image of the centre by
    // more than kMinLensMissPx; crossed without the lens, they meet it.
    constexpr double kMinLensMissPx = 0.3;
    RadialLens lens;
    lens.centre = {160, 120};
    lens.scale = 200;
    lens.k1 = -0.12;
    const cv::Point2d straight[4] = {{300, 230}, {240, 232}, {236, 176}, {298, 172}};
    cv::Point2d bent[4];
    for (int p = 0; p < 4; ++p) bent[p] = lens.distort(straight[p]);
    const cv::Point2d centre = lens.distort(diagonalCrossing(straight));
    EXPECT_GT(cv::norm(diagonalCrossing(bent) - centre), kMinLensMissPx);
    EXPECT_LT(cv::norm(diagonalCrossing(lens, bent) - centre), 1e-9);
}

// A real wide-angle lens: the squares of OpenCV's chessboard photos, their corners from the
// chessboard finder, taken as markers. Where OpenCV's own calibration of the series fits a
// photo's corners within a pixel, nothing is dropped; where it does not (two photos have
// corners several pixels off its lens model), clear drops are squares at such corners; two
// squares read the wrong way round always go.
TEST(BoardConsistency, RealLensPhotosDropOnlyWhatTheLensModelCannotExplain) {
    const RealPhotoSeries& series = leftChessboardSeries();
    ASSERT_FALSE(series.numbers.empty());
    const ReferenceCalibration reference = referenceCalibration(series, 30);
    int wellFitted = 0;
    for (std::size_t v = 0; v < series.numbers.size(); ++v) {
        SCOPED_TRACE("left" + std::to_string(series.numbers[v]) + ".jpg");
        cv::Mat rvec, tvec;
        cv::solvePnP(series.board, series.image[v], reference.k, reference.distortion, rvec, tvec);
        std::vector<cv::Point2f> projected;
        cv::projectPoints(series.board, rvec, tvec, reference.k, reference.distortion, projected);
        std::vector<double> off(projected.size());  // px from OpenCV's model, per corner
        double worst = 0;
        for (std::size_t i = 0; i < off.size(); ++i) {
            off[i] = cv::norm(projected[i] - series.image[v][i]);
            worst = std::max(worst, off[i]);
        }
        std::vector<MarkerPlacement> squares;
        std::vector<double> squareOff;
        for (int c = 0; c < 8; ++c)
            for (int r = 0; r < 5; ++r) {
                MarkerPlacement m;
                m.id = c * 5 + r;
                const int at[4] = {(r + 1) * 9 + c + 1, (r + 1) * 9 + c, r * 9 + c, r * 9 + c + 1};
                double most = 0;
                for (int p = 0; p < 4; ++p) {
                    m.image[p] = series.image[v][at[p]];
                    m.reference[p] = cv::Point2d(series.board[at[p]].x, series.board[at[p]].y);
                    most = std::max(most, off[at[p]]);
                }
                squares.push_back(m);
                squareOff.push_back(most);
            }
        bool checked = false;
        const std::vector<DroppedMarker> dropped =
            findInconsistentMarkers(squares, kBoardToleranceSubpixelPx, series.size, &checked);
        EXPECT_TRUE(checked);
        if (worst < 1.0) {
            ++wellFitted;
            EXPECT_TRUE(dropped.empty()) << dropped.size() << " squares dropped";
        }
        // In a photo with corners far off, a one-photo lens fit is less exact at the board's
        // far corners: a square just over the tolerance there may go too.
        for (const DroppedMarker& d : dropped) {
            if (worst >= 1.0 && d.error <= 1.5 * d.tolerance) continue;
            EXPECT_GT(squareOff[d.index], 0.5) << "square " << squares[d.index].id << " dropped ("
                                               << d.error << " px) though OpenCV's model fits it";
        }

        swapPlaces(&squares, 12, 13);
        std::vector<int> ids;
        for (const DroppedMarker& d :
             findInconsistentMarkers(squares, kBoardToleranceSubpixelPx, series.size, &checked))
            ids.push_back(squares[d.index].id);
        EXPECT_NE(std::find(ids.begin(), ids.end(), 12), ids.end());
        EXPECT_NE(std::find(ids.begin(), ids.end(), 13), ids.end());
        if (worst < 1.0) {
            EXPECT_EQ(ids.size(), 2u);
        }
    }
    EXPECT_GE(wellFitted, 9);
}
