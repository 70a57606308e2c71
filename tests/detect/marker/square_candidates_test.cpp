// Square candidates and edge fitting on drawn shapes.
#include "square_candidates.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "engine_test_support.h"
#include "fit_marker_edges.h"
#include "label_image.h"

namespace {
const double kIdentityDistortion[4] = {0, 0, 0, 1};

cv::Mat whiteImage(int w, int h) {
    return cv::Mat(h, w, CV_8UC3, cv::Scalar(255, 255, 255));
}

// Filled axis-aligned rectangle covering pixels x0..x1, y0..y1.
void fillRect(cv::Mat& img, int x0, int y0, int x1, int y1) {
    cv::rectangle(img, cv::Point(x0, y0), cv::Point(x1, y1), cv::Scalar(0, 0, 0), cv::FILLED);
}

struct Found {
    int count;
    std::vector<MarkerCandidate> list;
};

Found findIn(const cv::Mat& img) {
    const PackedImage packed = packedFromMat(img);
    LabelResult labels;
    EXPECT_EQ(labelImage(packed.bytes.data(), packed.width, packed.height, 100, &labels), 0);
    Found f;
    f.count = findSquareCandidates(labels, &f.list);
    return f;
}

cv::Point corner(const MarkerCandidate& c, int k) {
    return cv::Point(c.x[c.vertexIndex[k]], c.y[c.vertexIndex[k]]);
}
}  // namespace

TEST(SquareCandidates, UprightSquareCornersInOutlineOrder) {
    cv::Mat img = whiteImage(100, 100);
    fillRect(img, 30, 30, 49, 49);
    const Found f = findIn(img);
    ASSERT_EQ(f.count, 1);
    const MarkerCandidate& c = f.list[0];
    EXPECT_EQ(c.area, 400);
    EXPECT_EQ(corner(c, 0), cv::Point(49, 49));
    EXPECT_EQ(corner(c, 1), cv::Point(30, 49));
    EXPECT_EQ(corner(c, 2), cv::Point(30, 30));
    EXPECT_EQ(corner(c, 3), cv::Point(49, 30));
    EXPECT_EQ(c.vertexIndex[0], 0);
    EXPECT_EQ(c.vertexIndex[4], c.pointCount - 1);
    EXPECT_EQ(c.x[c.pointCount - 1], c.x[0]);
    EXPECT_EQ(c.pointCount, 4 * 19 + 1);
}

TEST(SquareCandidates, AreaLimitsAndBorderFrame) {
    struct Case {
        const char* name;
        int w, h;
        int x0, y0, x1, y1;
        bool bump;  // one extra pixel on the top edge
        int expected;
    };
    const Case cases[] = {
        {"area 70", 60, 60, 20, 20, 26, 29, false, 1},
        {"area 69", 60, 60, 20, 20, 22, 42, false, 0},
        {"area 100000", 420, 270, 10, 10, 409, 259, false, 1},
        {"area 100001", 420, 270, 10, 10, 409, 259, true, 0},
        {"touches left frame", 60, 60, 1, 20, 20, 39, false, 0},
        {"one pixel off the frame", 60, 60, 2, 20, 21, 39, false, 1},
        {"touches bottom frame", 60, 60, 20, 20, 39, 58, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat img = whiteImage(c.w, c.h);
        fillRect(img, c.x0, c.y0, c.x1, c.y1);
        if (c.bump) img.at<cv::Vec3b>(c.y0 - 1, (c.x0 + c.x1) / 2) = cv::Vec3b(0, 0, 0);
        EXPECT_EQ(findIn(img).count, c.expected);
    }
}

TEST(SquareCandidates, TrianglesAndPentagonsAreRejected) {
    cv::Mat img = whiteImage(300, 150);
    const std::vector<cv::Point> triangle = {{20, 120}, {120, 120}, {70, 20}};
    std::vector<cv::Point> pentagon;
    for (int k = 0; k < 5; ++k)
        pentagon.emplace_back(210 + 50 * std::sin(k * 2 * CV_PI / 5),
                              75 - 50 * std::cos(k * 2 * CV_PI / 5));
    cv::fillPoly(img, std::vector<std::vector<cv::Point>>{triangle, pentagon}, cv::Scalar(0, 0, 0));
    EXPECT_EQ(findIn(img).count, 0);
}

TEST(SquareCandidates, NearConcentricCandidatesKeepTheLargest) {
    // Frame 100 x 100, 10 wide: area 3600, so a second candidate within sqrt(900) = 30
    // pixels of its centroid is removed.
    auto frameWithInner = [](int dx, int dy) {
        cv::Mat img = whiteImage(160, 160);
        fillRect(img, 30, 30, 129, 129);
        cv::rectangle(img, cv::Point(40, 40), cv::Point(119, 119), cv::Scalar(255, 255, 255),
                      cv::FILLED);
        const int cx = 79 + dx, cy = 79 + dy;
        fillRect(img, cx - 4, cy - 4, cx + 4, cy + 4);  // 9 x 9 = 81 pixels
        return img;
    };
    const Found centred = findIn(frameWithInner(0, 0));
    ASSERT_EQ(centred.count, 1);
    EXPECT_EQ(centred.list[0].area, 3600);
    EXPECT_EQ(findIn(frameWithInner(28, 28)).count, 2);

    cv::Mat three = whiteImage(160, 160);
    fillRect(three, 30, 30, 129, 129);
    cv::rectangle(three, cv::Point(40, 40), cv::Point(119, 119), cv::Scalar(255, 255, 255),
                  cv::FILLED);
    fillRect(three, 50, 50, 109, 109);
    cv::rectangle(three, cv::Point(58, 58), cv::Point(101, 101), cv::Scalar(255, 255, 255),
                  cv::FILLED);
    fillRect(three, 75, 75, 84, 84);
    const Found f = findIn(three);
    ASSERT_EQ(f.count, 1);
    EXPECT_EQ(f.list[0].area, 3600);
}

TEST(SquareCandidates, AtMost150InRegionOrder) {
    cv::Mat img = whiteImage(20 * 20 + 10, 10 * 20 + 10);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 20; ++c)
            fillRect(img, 10 + 20 * c, 10 + 20 * r, 19 + 20 * c, 19 + 20 * r);
    const Found f = findIn(img);
    ASSERT_EQ(f.count, kMaxCandidates);
    // Regions are numbered in raster order: the 150th is row 7, column 9.
    EXPECT_EQ(corner(f.list[149], 2), cv::Point(10 + 20 * 9, 10 + 20 * 7));
}

// Outline storage grows while tracing: outlines across its growth steps keep every point,
// and one that reaches kMaxContourPoints is refused.
TEST(SquareCandidates, OutlinesOfEveryLengthUpToTheLimit) {
    struct Case {
        int side;        // square of side x side pixels
        int pointCount;  // 4 (side - 1) points and the closing one
    };
    const Case cases[] = {{20, 77}, {65, 257}, {129, 513}, {300, 1197}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.side);
        cv::Mat img = whiteImage(c.side + 40, c.side + 40);
        fillRect(img, 20, 20, 19 + c.side, 19 + c.side);
        const Found f = findIn(img);
        ASSERT_EQ(f.count, 1);
        EXPECT_EQ(f.list[0].pointCount, c.pointCount);
        EXPECT_EQ(corner(f.list[0], 0), cv::Point(19 + c.side, 19 + c.side));
        EXPECT_EQ(f.list[0].x[c.pointCount - 1], f.list[0].x[0]);
    }
    // A comb of one region whose outline is longer than the storage allows.
    cv::Mat comb = whiteImage(2600, 60);
    fillRect(comb, 10, 10, 2589, 12);
    for (int x = 10; x < 2590; x += 2) fillRect(comb, x, 13, x, 40);
    const PackedImage packed = packedFromMat(comb);
    LabelResult labels;
    ASSERT_EQ(labelImage(packed.bytes.data(), packed.width, packed.height, 100, &labels), 0);
    ASSERT_EQ(labels.regionCount, 1);
    MarkerCandidate candidate;
    testing::internal::CaptureStdout();
    EXPECT_EQ(traceContour(labels, 1, &labels.box[4], &candidate), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "??? 3\n");
}

TEST(FitMarkerEdges, UprightSquareCornersAtPixelCentres) {
    cv::Mat img = whiteImage(100, 100);
    fillRect(img, 30, 30, 49, 49);
    const Found f = findIn(img);
    ASSERT_EQ(f.count, 1);
    const MarkerCandidate& c = f.list[0];
    double lines[4][3], vertex[4][2];
    ASSERT_EQ(fitMarkerEdges(c.x.data(), c.y.data(), c.pointCount, c.vertexIndex,
                             kIdentityDistortion, lines, vertex),
              0);
    const double expected[4][2] = {{49, 49}, {30, 49}, {30, 30}, {49, 30}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(vertex[i][0], expected[i][0], 1e-9) << i;
        EXPECT_NEAR(vertex[i][1], expected[i][1], 1e-9) << i;
    }
    // Edge 0 runs along the bottom row y = 49: (0, +-1, -+49).
    EXPECT_NEAR(std::fabs(lines[0][0]), 0, 1e-12);
    EXPECT_NEAR(std::fabs(lines[0][1]), 1, 1e-12);
    EXPECT_NEAR(lines[0][2] / lines[0][1], -49, 1e-9);
    // Edge 1 runs along the left column x = 30.
    EXPECT_NEAR(std::fabs(lines[1][0]), 1, 1e-12);
    EXPECT_NEAR(lines[1][2] / lines[1][0], -30, 1e-9);
}

TEST(FitMarkerEdges, TooShortEdgeFails) {
    int x[6] = {10, 11, 11, 10, 10, 10};
    int y[6] = {10, 10, 11, 11, 10, 10};
    const int corners[5] = {0, 1, 2, 3, 4};  // every edge has two points: m = 1
    double lines[4][3], vertex[4][2];
    EXPECT_EQ(fitMarkerEdges(x, y, 5, corners, kIdentityDistortion, lines, vertex), -1);
}
