// The robust line fit on made-up edge points: exact on a line, unmoved by strays that pull the
// ordinary fit (as little as OpenCV's Huber fit with its random restarts), and refused when
// undetermined.
#include "robust_line.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kNoisePx = 0.05;  // scatter of the points about the true line
// The robust line stays this close to the true one along the points; the ordinary fit with
// the same strays is further off.
constexpr double kRobustTolerancePx = 0.03;
constexpr double kPulledPx = 0.1;

// Distance from line l of the point of the true line at position t.
double offAt(const cv::Vec4d& l, cv::Point2d origin, cv::Point2d dir, double t) {
    const cv::Point2d p = origin + t * dir;
    return std::fabs((p.x - l[2]) * l[1] - (p.y - l[3]) * l[0]);
}

// 40 points along a 20 px edge at the angle (degrees), with a fixed scatter across it and
// strays of the given offset (px) at every eighth point when stray is not 0.
std::vector<cv::Point2d> edgePoints(double degrees, double stray, cv::Point2d* origin,
                                    cv::Point2d* dir) {
    *origin = cv::Point2d(300.3, 200.7);
    *dir = cv::Point2d(std::cos(degrees * kPi / 180), std::sin(degrees * kPi / 180));
    const cv::Point2d normal(-dir->y, dir->x);
    std::vector<cv::Point2d> points;
    for (int k = 0; k < 40; ++k) {
        const double across = (k % 8 == 3 && stray != 0) ? stray : kNoisePx * std::sin(2.7 * k);
        points.push_back(*origin + (-10 + 0.5 * k) * *dir + across * normal);
    }
    return points;
}
}  // namespace

TEST(RobustLine, FollowsTheEdgeWhateverItsDirectionAndIgnoresStrays) {
    struct Case {
        double degrees, stray;
    };
    const Case cases[] = {{0, 0}, {30, 0}, {90, 0}, {135, 0}, {0, 3}, {60, -2.5}, {90, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.degrees << " degrees, strays " << c.stray << " px");
        cv::Point2d origin, dir;
        const std::vector<cv::Point2d> points = edgePoints(c.degrees, c.stray, &origin, &dir);
        cv::Vec4d robust, plain;
        ASSERT_EQ(robustLine(points, &robust), 0);
        ASSERT_EQ(weightedLine(points, {}, &plain), 0);
        EXPECT_NEAR(std::hypot(robust[0], robust[1]), 1.0, 1e-12);
        for (const double t : {-10.0, 10.0}) {
            EXPECT_LT(offAt(robust, origin, dir, t), kRobustTolerancePx);
            if (c.stray != 0) {
                EXPECT_GT(offAt(plain, origin, dir, t), kPulledPx) << "the strays pull nothing";
            }
        }
        // No further off than OpenCV's Huber fit, which the refinement used before.
        std::vector<cv::Point2f> asFloat(points.begin(), points.end());
        cv::Vec4f reference;
        cv::fitLine(asFloat, reference, cv::DIST_HUBER, 0, 0.01, 0.01);
        const cv::Vec4d ref(reference[0], reference[1], reference[2], reference[3]);
        for (const double t : {-10.0, 10.0})
            EXPECT_LT(offAt(robust, origin, dir, t), offAt(ref, origin, dir, t) + 0.01);
    }
}

TEST(RobustLine, DeterministicExactAndRefusedWhenUndetermined) {
    cv::Point2d origin, dir;
    std::vector<cv::Point2d> points = edgePoints(20, 3, &origin, &dir);
    cv::Vec4d first, again;
    ASSERT_EQ(robustLine(points, &first), 0);
    ASSERT_EQ(robustLine(points, &again), 0);
    EXPECT_EQ(first, again);

    const std::vector<cv::Point2d> exact = {{1, 2}, {3, 5}, {5, 8}, {7, 11}};
    cv::Vec4d line;
    ASSERT_EQ(robustLine(exact, &line), 0);
    for (const cv::Point2d& p : exact)
        EXPECT_LT(std::fabs((p.x - line[2]) * line[1] - (p.y - line[3]) * line[0]), 1e-12);

    EXPECT_EQ(robustLine({}, &line), -1);
    EXPECT_EQ(robustLine({{1, 1}}, &line), -1);
    EXPECT_EQ(weightedLine(exact, {0, 0, 0, 0}, &line), -1);
    EXPECT_EQ(weightedLine(exact, {1, 1}, &line), -1) << "a weight per point";
}
