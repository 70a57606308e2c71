// The report's parts: round ticks, the OpenGL projection, the plain result files, and
// standard deviations that match the scatter of real fits.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>

#include "calib_fixture.h"
#include "gl_projection.h"
#include "result_tree.h"
#include "svg_plot.h"
#include "test_support.h"

TEST(ReportParts, TicksAreRoundAndLabelledWithTheirOwnDigits) {
    struct Case {
        double top;
        int count;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {0.03386, 5, {"0.00", "0.01", "0.02", "0.03", "0.04"}},
        {0.025, 5, {"0.000", "0.005", "0.010", "0.015", "0.020", "0.025"}},
        {2.5, 5, {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5"}},
        {37, 4, {"0", "10", "20", "30", "40"}},
        {0.1025, 2, {"0.0", "0.1", "0.2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.top);
        const std::vector<double> ticks = niceTicks(c.top, c.count);
        std::vector<std::string> labels;
        for (double t : ticks) labels.push_back(tickLabel(t, ticks[1] - ticks[0]));
        EXPECT_EQ(labels, c.labels);
    }
}

// A point in front of the device lands on the pixel cv::projectPoints gives it.
TEST(ReportParts, OpenGlProjectionMatchesThePinholeModel) {
    const cv::Mat k = (cv::Mat_<double>(3, 3) << 1400, 0, 655.3, 0, 1398, 470.8, 0, 0, 1);
    const cv::Size size(1280, 960);
    const cv::Matx44d p = glProjection(k, size, 10, 5000);
    for (const cv::Point3d& x :
         {cv::Point3d(0, 0, 800), cv::Point3d(-200, 150, 1200), cv::Point3d(310, -90, 400)}) {
        std::vector<cv::Point2d> pixel;
        cv::projectPoints(std::vector<cv::Point3d>{x}, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), k,
                          cv::noArray(), pixel);
        const cv::Vec4d clip = p * cv::Vec4d(x.x, -x.y, -x.z, 1);  // OpenGL eye coordinates
        const double ndcX = clip[0] / clip[3], ndcY = clip[1] / clip[3], ndcZ = clip[2] / clip[3];
        const double windowX = (ndcX + 1) / 2 * size.width, windowY = (ndcY + 1) / 2 * size.height;
        EXPECT_NEAR(windowX - 0.5, pixel[0].x, 1e-9);
        EXPECT_NEAR(size.height - windowY - 0.5, pixel[0].y, 1e-9);
        EXPECT_GT(ndcZ, -1);
        EXPECT_LT(ndcZ, 1);
    }
    // The clipping planes map to -1 and +1.
    for (const auto& [z, ndc] : {std::pair{10.0, -1.0}, std::pair{5000.0, 1.0}}) {
        const cv::Vec4d clip = p * cv::Vec4d(0, 0, -z, 1);
        EXPECT_NEAR(clip[2] / clip[3], ndc, 1e-12);
    }
}

TEST(ReportParts, PlainFilesKeepEveryDigit) {
    TreeNode root;
    root.add("name", textNode("a \"quoted\" text"));
    root.add("value", numberNode(0.1 + 0.2));
    root.add("matrix", matrixNode((cv::Mat_<double>(2, 2) << 1, -0.0, 1e-300, 2.5)));
    TreeNode& list = root.add("views", TreeNode());
    list.kind = TreeNode::kList;
    TreeNode view;
    view.add("n", numberNode(3));
    view.add("rvec", listNode(std::vector<double>{1, 2}));
    list.items.push_back(view);
    EXPECT_EQ(toJson(root),
              "{\n  \"name\": \"a \\\"quoted\\\" text\",\n  \"value\": 0.30000000000000004,\n"
              "  \"matrix\": [\n    [1, 0],\n    [1e-300, 2.5]\n  ],\n"
              "  \"views\": [\n    {\n      \"n\": 3,\n      \"rvec\": [1, 2]\n    }\n  ]\n}\n");
    EXPECT_EQ(toPlainYaml(root),
              "# plain YAML (no tags): the same values as calibration.json\n"
              "name: \"a \\\"quoted\\\" text\"\nvalue: 0.30000000000000004\nmatrix:\n"
              "  - [1, 0]\n  - [1e-300, 2.5]\nviews:\n  - n: 3\n"
              "    rvec: [1, 2]\n");
}

// lensrig's standard deviations against the scatter of fx over noise draws of one scene.
TEST(ReportParts, ReportedUncertaintyMatchesTheScatterOfFits) {
    const SyntheticCamera cam =
        testCamera((cv::Mat_<double>(1, 5) << -0.12, 0.09, 0.0008, -0.0006, -0.02));
    const SyntheticViews v = makeViews(cam, 8, 5);
    constexpr int kDraws = 16;
    std::vector<double> fx, sigma;
    for (int draw = 0; draw < kDraws; ++draw) {
        TempDir dir;
        std::vector<int> numbers;
        for (int i = 0; i < 8; ++i) numbers.push_back(i);
        writeCameraRun(dir.path(), "cam", numbers, projectViews(cam, v, 0.3, 100 + draw), v.board,
                       cam.size);
        const ProgramResult run =
            runProgram(programPath("lensrig"),
                       {"--size", "640x480", "--results", "r.yaml", "-", "cam/cam2D%03d.txt",
                        "cam/cam3D%03d.txt", "cam/cam_true_num.txt", "2", ".", "."},
                       dir.path());
        ASSERT_EQ(run.status, 0) << run.err;
        cv::FileStorage f(dir.file("r.yaml"), cv::FileStorage::READ);
        cv::Mat k, s;
        f["camera_matrix"] >> k;
        f["std_deviations"] >> s;
        ASSERT_EQ(s.total(), 9u);
        fx.push_back(k.at<double>(0, 0));
        sigma.push_back(s.at<double>(0));
    }
    double mean = 0, spread = 0, reported = 0;
    for (int i = 0; i < kDraws; ++i) mean += fx[i] / kDraws;
    for (int i = 0; i < kDraws; ++i) {
        spread += (fx[i] - mean) * (fx[i] - mean) / (kDraws - 1);
        reported += sigma[i] / kDraws;
    }
    spread = std::sqrt(spread);
    std::cout << "fx: reported sigma " << reported << ", scatter over " << kDraws << " draws "
              << spread << "\n";
    EXPECT_GT(reported, spread / 2);
    EXPECT_LT(reported, spread * 2);
}
