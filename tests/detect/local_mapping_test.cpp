// The linear homography and the local mapping on known mappings: exact where the mapping is
// a homography, no worse than the homography alone where it is bent, refused when degenerate.
#include "local_mapping.h"

#include <gtest/gtest.h>

#include "linear_homography.h"

namespace {
const double kTruth[3][3] = {{2.1, 0.3, 410}, {-0.2, 1.8, 260}, {0.0009, -0.0004, 1}};

cv::Point2d throughTruth(cv::Point2d p) {
    const double w = kTruth[2][0] * p.x + kTruth[2][1] * p.y + kTruth[2][2];
    return {(kTruth[0][0] * p.x + kTruth[0][1] * p.y + kTruth[0][2]) / w,
            (kTruth[1][0] * p.x + kTruth[1][1] * p.y + kTruth[1][2]) / w};
}

// A smooth bend no homography follows: a quadratic sag growing away from (600, 400).
cv::Point2d bent(cv::Point2d p) {
    const cv::Point2d d = (p - cv::Point2d(600, 400)) / 500.0;
    return p + 4.0 * cv::Point2d(d.y * d.y, d.x * d.x);
}

// A 5 x 5 neighbourhood of reference points (mm) around (60, 40), without its middle.
std::vector<cv::Point2d> neighbourhood() {
    std::vector<cv::Point2d> ref;
    for (int i = -2; i <= 2; ++i)
        for (int j = -2; j <= 2; ++j)
            if (i != 0 || j != 0) ref.emplace_back(60 + 15.0 * i, 40 + 15.0 * j);
    return ref;
}

cv::Point2d throughMatrix(const cv::Mat& h, cv::Point2d p) {
    const double w = h.at<double>(2, 0) * p.x + h.at<double>(2, 1) * p.y + h.at<double>(2, 2);
    return {(h.at<double>(0, 0) * p.x + h.at<double>(0, 1) * p.y + h.at<double>(0, 2)) / w,
            (h.at<double>(1, 0) * p.x + h.at<double>(1, 1) * p.y + h.at<double>(1, 2)) / w};
}
}  // namespace

TEST(LinearHomography, RecoversAKnownHomography) {
    const std::vector<cv::Point2d> ref = neighbourhood();
    std::vector<cv::Point2d> image;
    for (const cv::Point2d& p : ref) image.push_back(throughTruth(p));
    cv::Mat h;
    ASSERT_EQ(fitLinearHomography(ref, image, &h), 0);
    for (const cv::Point2d p : {cv::Point2d(0, 0), cv::Point2d(60, 40), cv::Point2d(200, -100)})
        EXPECT_LT(cv::norm(throughMatrix(h, p) - throughTruth(p)), 1e-8) << p;
}

TEST(LinearHomography, RefusesDegeneratePairs) {
    const std::vector<cv::Point2d> square = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const std::vector<cv::Point2d> line = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    const std::vector<cv::Point2d> point(4, cv::Point2d(5, 5));
    struct Case {
        std::string name;
        std::vector<cv::Point2d> from, to;
    };
    const Case cases[] = {
        {"different counts", square, {{0, 0}, {1, 0}, {1, 1}}},
        {"three pairs", {{0, 0}, {1, 0}, {1, 1}}, {{0, 0}, {1, 0}, {1, 1}}},
        {"all from one point", point, square},
        {"all to one point", square, point},
        {"on a line", line, line},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat h;
        EXPECT_EQ(fitLinearHomography(c.from, c.to, &h), -1);
    }
}

// The correction is a least-squares fit of what the homography leaves: never worse than the
// homography alone at the points it is fitted to, and the same wherever its terms are centred.
TEST(LocalMapping, ExactForAHomographyAndNoWorseThanItWhereBent) {
    const std::vector<cv::Point2d> ref = neighbourhood();
    const cv::Point2d middle(60, 40);
    struct Case {
        std::string name;
        cv::Point2d (*photo)(cv::Point2d);
        double withinPx;
    };
    // The bend moves the points by up to 0.1 px from the best homography's places.
    const Case cases[] = {{"homography", throughTruth, 1e-8},
                          {"bent", [](cv::Point2d p) { return bent(throughTruth(p)); }, 0.05}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<cv::Point2d> image;
        for (const cv::Point2d& p : ref) image.push_back(c.photo(p));
        LocalMapping mapping, elsewhere;
        ASSERT_EQ(fitLocalMapping(ref, image, c.photo(middle), &mapping), 0);
        ASSERT_EQ(fitLocalMapping(ref, image, {0, 0}, &elsewhere), 0);
        EXPECT_LT(cv::norm(mapLocally(mapping, middle) - c.photo(middle)), c.withinPx);
        double corrected = 0, alone = 0;
        for (std::size_t i = 0; i < ref.size(); ++i) {
            const cv::Point2d p = mapLocally(mapping, ref[i]);
            EXPECT_LT(cv::norm(p - image[i]), 4 * c.withinPx);
            EXPECT_LT(cv::norm(p - mapLocally(elsewhere, ref[i])), 1e-9);
            corrected += (p - image[i]).dot(p - image[i]);
            const cv::Point2d h = throughMatrix(mapping.homography, ref[i]);
            alone += (h - image[i]).dot(h - image[i]);
        }
        EXPECT_LE(corrected, alone + 1e-12);
    }
}

TEST(LocalMapping, RefusesPairsWithoutAHomography) {
    const std::vector<cv::Point2d> line = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}};
    LocalMapping mapping;
    EXPECT_EQ(fitLocalMapping(line, line, {2, 2}, &mapping), -1);
    EXPECT_EQ(fitLocalMapping({{0, 0}, {1, 0}, {1, 1}}, {{0, 0}, {1, 0}, {1, 1}}, {0, 0}, &mapping),
              -1);
}
