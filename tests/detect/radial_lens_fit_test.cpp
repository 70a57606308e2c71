// The radial lens fit on a plane of points seen through known lenses: it must give back the
// lens's terms and centre, and refuse what cannot determine a lens.
#include "radial_lens_fit.h"

#include <gtest/gtest.h>

#include <opencv2/calib3d.hpp>
#include <random>

namespace {
const cv::Size kPhoto(1280, 960);

// A known lens whose centre is off the photo's by some tens of pixels, as real ones are.
RadialLens knownLens(double k1, double k2) {
    RadialLens lens = neutralLens(kPhoto);
    lens.centre += cv::Point2d(37, -22);
    lens.k1 = k1;
    lens.k2 = k2;
    return lens;
}

struct Sighting {
    std::vector<cv::Point2d> ref, image;
};

// A 17 x 13 grid of board points (mm) under a tilted view that fills most of the photo,
// bent by lens, with Gaussian noise of sigma px.
Sighting sighting(const RadialLens& lens, double sigma, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, sigma);
    Sighting s;
    for (int col = 0; col < 17; ++col)
        for (int row = 0; row < 13; ++row) {
            const double x = col * 20.0 - 160, y = row * 20.0 - 120,
                         w = 1 + 0.0008 * x - 0.0005 * y;
            const cv::Point2d straight(640 + 2.6 * (x + 0.15 * y) / w,
                                       480 + 2.6 * (y - 0.1 * x) / w);
            s.ref.emplace_back(x, y);
            s.image.push_back(lens.distort(straight) + cv::Point2d(noise(rng), noise(rng)));
        }
    return s;
}

// Largest distance between the points and the fitted lens with its best homography.
double worstFit(const Sighting& s, const RadialLens& lens) {
    std::vector<cv::Point2d> undistorted, mapped;
    for (const cv::Point2d& p : s.image) undistorted.push_back(lens.undistort(p));
    cv::perspectiveTransform(s.ref, mapped, cv::findHomography(s.ref, undistorted, 0));
    double worst = 0;
    for (std::size_t i = 0; i < mapped.size(); ++i)
        worst = std::max(worst, cv::norm(lens.distort(mapped[i]) - s.image[i]));
    return worst;
}
}  // namespace

TEST(RadialLensFit, RecoversKnownLenses) {
    struct Case {
        std::string name;
        double k1, k2, sigma;
        double termTolerance, centrePx, fitPx;
    };
    // A fit that left the centre at the photo's would be 43 px off; one that ignored k2 or
    // the refinement would miss the terms by more than the tolerances.
    const Case cases[] = {
        {"barrel", -0.2, 0.05, 0.0, 2e-3, 0.5, 0.01},
        {"pincushion", 0.15, -0.03, 0.0, 2e-3, 0.5, 0.01},
        {"barrel, detection noise", -0.2, 0.05, 0.3, 0.03, 6.0, 1.2},
        {"mild, detection noise", -0.05, 0.0, 0.3, 0.03, 8.0, 1.2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RadialLens truth = knownLens(c.k1, c.k2);
        const Sighting s = sighting(truth, c.sigma, 5);
        RadialLens fitted;
        ASSERT_EQ(fitRadialLens(s.ref, s.image, kPhoto, &fitted), 0);
        EXPECT_EQ(fitted.scale, truth.scale);
        EXPECT_NEAR(fitted.k1, truth.k1, c.termTolerance);
        EXPECT_NEAR(fitted.k2 + fitted.k3, truth.k2, 2 * c.termTolerance);
        EXPECT_LT(cv::norm(fitted.centre - truth.centre), c.centrePx);
        EXPECT_LT(worstFit(s, fitted), c.fitPx);
    }
}

TEST(RadialLensFit, PinholeGivesNoDistortion) {
    const Sighting s = sighting(knownLens(0, 0), 0.0, 5);
    RadialLens fitted;
    ASSERT_EQ(fitRadialLens(s.ref, s.image, kPhoto, &fitted), 0);
    EXPECT_NEAR(fitted.k1, 0, 1e-6);
    EXPECT_NEAR(fitted.k2, 0, 1e-6);
    EXPECT_NEAR(fitted.k3, 0, 1e-6);
}

// A few corners pulled far off (an occluder's edge) must not bend the lens for the others.
TEST(RadialLensFit, LeavesOutPointsFarOffTheFirstFit) {
    const RadialLens truth = knownLens(-0.2, 0.05);
    Sighting s = sighting(truth, 0.0, 5);
    for (int i : {3, 40, 41, 120, 200}) s.image[i] += cv::Point2d(6, -5);
    RadialLens fitted;
    ASSERT_EQ(fitRadialLens(s.ref, s.image, kPhoto, &fitted), 0);
    EXPECT_NEAR(fitted.k1, truth.k1, 2e-3);
    EXPECT_LT(cv::norm(fitted.centre - truth.centre), 1.0);
}

TEST(RadialLensFit, RefusesWhatCannotDetermineALens) {
    const Sighting good = sighting(knownLens(-0.2, 0.05), 0.0, 5);
    Sighting fewer = good, tooFew = good, line, samePoint;
    fewer.image.pop_back();
    tooFew.ref.resize(kMinLensPairs - 1);
    tooFew.image.resize(kMinLensPairs - 1);
    for (int i = 0; i < 20; ++i) {
        line.ref.emplace_back(i, 2 * i);
        line.image.emplace_back(100 + 10 * i, 50 + 20 * i);
        samePoint.ref.emplace_back(i, i % 3);
        samePoint.image.emplace_back(300, 200);
    }
    struct Case {
        std::string name;
        const Sighting& s;
        cv::Size photo;
    };
    const Case cases[] = {{"different counts", fewer, kPhoto},
                          {"too few pairs", tooFew, kPhoto},
                          {"points on a line", line, kPhoto},
                          {"photo points all at one place", samePoint, kPhoto},
                          {"empty photo", good, cv::Size(0, 0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RadialLens fitted = knownLens(0.3, 0.3);
        EXPECT_EQ(fitRadialLens(c.s.ref, c.s.image, c.photo, &fitted), -1);
        EXPECT_EQ(fitted.centre, neutralLens(c.photo).centre);
        EXPECT_EQ(fitted.k1, 0);
        EXPECT_EQ(fitted.k2, 0);
        EXPECT_EQ(fitted.k3, 0);
    }
}

TEST(RadialLens, UndistortInvertsDistort) {
    RadialLens lens = knownLens(-0.25, 0.08);
    lens.k3 = -0.01;
    for (const cv::Point2d p : {cv::Point2d(0, 0), cv::Point2d(1279, 959), cv::Point2d(677, 458),
                                cv::Point2d(100, 900), cv::Point2d(1200, 40)}) {
        SCOPED_TRACE(p);
        EXPECT_LT(cv::norm(lens.distort(lens.undistort(p)) - p), 1e-6);  // a micropixel
    }
    // The centre does not move; a point off it moves along its radius, inwards for barrel.
    EXPECT_EQ(lens.distort(lens.centre), lens.centre);
    const cv::Point2d out = lens.centre + cv::Point2d(300, 200);
    const cv::Point2d bent = lens.distort(out);
    EXPECT_LT(cv::norm(bent - lens.centre), cv::norm(out - lens.centre));
    EXPECT_NEAR((bent - lens.centre).cross(out - lens.centre), 0, 1e-9);
}
