// The result checks on made-up results: what fails, what only warns, and what passes.
#include "sanity_checks.h"

#include <gtest/gtest.h>

namespace {
DeviceResult device(double fx, double fy, double cx, double cy, double rms,
                    std::vector<double> perView) {
    DeviceResult d;
    d.size = cv::Size(1000, 800);
    d.cameraMatrix = (cv::Mat_<double>(3, 3) << fx, 0, cx, 0, fy, cy, 0, 0, 1);
    d.rms = rms;
    d.perViewRms = perView;
    for (std::size_t i = 0; i < perView.size(); ++i) d.imageNumbers.push_back(10 + i);
    return d;
}
}  // namespace

TEST(SanityChecks, FailuresWarningsAndPasses) {
    const std::vector<double> even = {0.1, 0.11, 0.09, 0.1, 0.12, 0.1};
    struct Case {
        std::string name;
        DeviceResult d;
        bool projector;
        bool failed;
        std::string said;  // "" when nothing may be said
    };
    const Case cases[] = {
        {"sound camera", device(1200, 1201, 500, 400, 0.1, even), false, false, ""},
        {"error above max_rms", device(1200, 1201, 500, 400, 2.5, even), false, true,
         "camera RMS reprojection error 2.5 px, max_rms = 1"},
        {"focal lengths apart", device(6400, 32000, 500, 400, 0.1, even), false, true,
         "focal lengths fx 6400 and fy 3.2e+04 px differ by more than 10 %"},
        {"camera centre outside", device(1200, 1200, 1100, 400, 0.1, even), false, true,
         "principal point (1100, 400) lies outside the image"},
        {"projector centre below the image", device(1800, 1800, 500, 900, 0.1, even), true, false,
         ""},
        {"projector centre far away", device(1800, 1800, 500, 1300, 0.1, even), true, true,
         "lies outside the region a projector lens can put it"},
        {"one outlier view", device(1200, 1200, 500, 400, 0.2, {0.1, 0.1, 0.1, 0.5, 0.1, 0.1}),
         false, false, "more than 3 times the median error (0.1 px): 13"},
        {"tiny errors are no outliers",
         device(1200, 1200, 500, 400, 0.01, {0.01, 0.01, 0.01, 0.04, 0.01, 0.01}), false, false,
         ""},
    };
    RigflowConfig c;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<Finding> findings;
        checkCalibration(k.projector ? "projector" : "camera", k.d, k.projector, c, &findings);
        EXPECT_EQ(anyFailed(findings), k.failed);
        const std::string text = describeFindings(findings);
        if (k.said.empty())
            EXPECT_EQ(text, "");
        else
            EXPECT_NE(text.find(k.said), std::string::npos) << text;
    }
}

TEST(SanityChecks, DetectionNeedsViewsAndIdentifiedMarkers) {
    RigflowConfig c;
    std::vector<Finding> findings;
    checkDetection("camera", 6, 8, identifiedFraction({63, 60, 30, 62, 63, 50}), c, &findings);
    EXPECT_TRUE(findings.empty()) << describeFindings(findings);
    checkDetection("camera", 5, 8, 1.0, c, &findings);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_NE(findings[0].what.find("camera views: 5 of 8 usable, min_views = 6"),
              std::string::npos);
    findings.clear();
    checkDetection("camera", 8, 8, identifiedFraction({20, 22, 19, 25, 21, 63, 63, 20}), c,
                   &findings);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_NE(findings[0].causes.find("another set or --seed"), std::string::npos);
}

TEST(SanityChecks, ImageRegionsWithoutDataAreNamed) {
    const cv::Size frame(900, 600);
    std::vector<cv::Point2d> everywhere;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) everywhere.emplace_back(150 + 300 * c, 100 + 200 * r);
    struct Case {
        const char* name;
        std::vector<cv::Point2d> points;
        std::vector<std::string> empty;
    };
    std::vector<cv::Point2d> noCorner(everywhere.begin() + 1, everywhere.end());
    std::vector<cv::Point2d> middleRow(everywhere.begin() + 3, everywhere.begin() + 6);
    const Case cases[] = {
        {"everywhere", everywhere, {}},
        {"no top-left", noCorner, {"top-left corner"}},
        {"a band across the middle",
         middleRow,
         {"top-left corner", "top edge", "top-right corner", "bottom-left corner", "bottom edge",
          "bottom-right corner"}},
        // The last pixel column and row belong to the last region, not beyond it.
        {"on the far edges",
         {{899.5, 599.5}},
         {"top-left corner", "top edge", "top-right corner", "left edge", "centre", "right edge",
          "bottom-left corner", "bottom edge"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(emptyRegions(frame, c.points), c.empty);
    }
    std::vector<Finding> findings;
    checkRegions("camera", frame, noCorner, &findings);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_FALSE(findings[0].failed);
    EXPECT_EQ(findings[0].what,
              "no views put the board in the top-left corner of the camera image: its lens model "
              "is extrapolated there");
    EXPECT_EQ(findings[0].causes, "take views with the board there");
    findings.clear();
    checkRegions("projector", frame, everywhere, &findings);
    EXPECT_TRUE(findings.empty());
}
