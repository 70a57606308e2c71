// Lens conditioning, fold detection and the reproduction rule.
#include "lens_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
const cv::Matx33d kCamera(1400, 0, 640, 0, 1400, 480, 0, 0, 1);
const cv::Size kImage(1280, 960);

cv::Mat lens(std::vector<double> coefficients) {
    return cv::Mat(coefficients, true).reshape(1, 1);
}
}  // namespace

TEST(LensCondition, PlainLensesPassAndCancellingOrFoldingOnesAreNamed) {
    struct Case {
        const char* name;
        cv::Mat distortion;
        const char* reason;  // nullptr: well-conditioned
    };
    const Case cases[] = {
        {"no lens", lens({0, 0, 0, 0, 0}), nullptr},
        {"plain barrel", lens({-0.12, 0.09, 0.0008, -0.0006, -0.018}), nullptr},
        {"mild rational", lens({-0.2, 0.1, 0.001, -0.0015, 0.02, 0.05, -0.02, 0.01}), nullptr},
        // A plain lens (k1 -0.12) fitted as a rational one: a pole cancelled by a zero.
        {"shared root", lens({11.56, 3.2, 0.0008, -0.0006, 0.1, 11.68, 4.7, 0.6}), "share a root"},
        // Real photos fitted with the rational model: numerator and denominator both vanish
        // inside the image.
        {"terms cancel",
         lens({-24.2033, 147.203, 0.0018, -0.0003, -8.95841, -23.9292, 140.58, 31.0518}), "cancel"},
        {"folds", lens({-1.0, 0, 0, 0, 0}), "folds"},
        {"denominator", lens({-4.5, 0, 0, 0, 0, -5.0, 0, 0}), "denominator"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LensCondition got = lensCondition(cv::Mat(kCamera), c.distortion, kImage);
        EXPECT_EQ(got.ok, c.reason == nullptr) << got.reason;
        if (c.reason) {
            EXPECT_NE(got.reason.find(c.reason), std::string::npos) << got.reason;
        }
    }
}

TEST(LensCondition, TheMarginReachesBeyondTheImageCorners) {
    // k1 = -1 folds at normalised radius 1/sqrt(3), where the mapped radius is 0.385: an
    // image whose corners map to 0.36 only passes without the margin.
    const double f = 1000, halfDiagonal = 0.36 * f;
    const cv::Size size(static_cast<int>(2 * halfDiagonal / std::sqrt(2.0)),
                        static_cast<int>(2 * halfDiagonal / std::sqrt(2.0)));
    const cv::Matx33d k(f, 0, size.width / 2.0, 0, f, size.height / 2.0, 0, 0, 1);
    EXPECT_TRUE(lensCondition(cv::Mat(k), lens({-1.0, 0, 0, 0}), size, 0.0).ok);
    EXPECT_FALSE(lensCondition(cv::Mat(k), lens({-1.0, 0, 0, 0}), size, 0.1).ok);
}

TEST(LensModel, JacobianTurnsAtTheFold) {
    const cv::Mat d = lens({-1.0, 0, 0, 0});
    EXPECT_GT(distortionJacobian({0.3, 0.2}, d), 0);
    EXPECT_LT(distortionJacobian({0.6, 0.3}, d), 0);
    const cv::Point2d p = distortNormalised({0.5, 0}, d);
    EXPECT_NEAR(p.x, 0.5 * (1 - 0.25), 1e-12);
}

TEST(LensModel, ReproductionAllowsOnePercentAndAHundredthOfAPixel) {
    EXPECT_TRUE(reproducesFit(0.40, 0.40));
    EXPECT_TRUE(reproducesFit(0.414, 0.40));  // 0.40 * 1.01 + 0.01 = 0.414
    EXPECT_FALSE(reproducesFit(0.4145, 0.40));
    EXPECT_TRUE(reproducesFit(0.0099, 0.0));
    EXPECT_FALSE(reproducesFit(0.64, 0.40));
    EXPECT_FALSE(reproducesFit(std::nan(""), 0.40));
}

TEST(LensCondition, AFoldBeyondTheObservedPointsOnlyBoundsTheValidRegion) {
    // k1 = -1 folds at undistorted radius 1/sqrt(3), where the mapped (observed) radius is
    // 2 / (3 sqrt(3)) = 0.385, well inside this image (corners at normalised radius 0.57).
    const double foldMapped = 2.0 / (3.0 * std::sqrt(3.0));
    struct Case {
        const char* name;
        double dataRadius;  // normalised, 0: the whole image must hold
        bool ok;
        const char* reason;
    };
    const Case cases[] = {
        {"whole image", 0, false, "inside the image"},
        {"data well inside the fold", 0.30, true, nullptr},
        {"data within the margin of the fold", 0.37, false, "inside the observed points"},
        {"data beyond the fold", 0.45, false, "inside the observed points"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LensCondition got =
            lensCondition(cv::Mat(kCamera), lens({-1.0, 0, 0, 0, 0}), kImage, 0.1, c.dataRadius);
        EXPECT_EQ(got.ok, c.ok) << got.reason;
        EXPECT_FALSE(got.wholeImage);
        EXPECT_NEAR(got.validRadius, foldMapped, 1e-3);
        EXPECT_NE(got.limit.find("folds at normalised radius 0.577"), std::string::npos)
            << got.limit;
        if (c.reason) {
            EXPECT_NE(got.reason.find(c.reason), std::string::npos) << got.reason;
        }
    }
    // A plain lens holds over the whole image whatever the data reach.
    const LensCondition plain = lensCondition(
        cv::Mat(kCamera), lens({-0.12, 0.09, 0.0008, -0.0006, -0.018}), kImage, 0.1, 0.3);
    EXPECT_TRUE(plain.ok);
    EXPECT_TRUE(plain.wholeImage);
    EXPECT_GT(plain.validRadius, 0.57);
}
