// Identification end to end: markers rendered through known perspectives.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <opencv2/imgproc.hpp>

#include "detect_markers.h"
#include "engine_context.h"
#include "engine_test_support.h"
#include "identify_marker.h"
#include "marker_picture.h"
#include "pattern_library.h"
#include "render.h"
#include "test_support.h"

namespace {
// Engine corners lie on the centres of the outermost dark pixels: at the mid-grey
// threshold a pixel is dark when at least half of it is covered, so a corner lies 0 to 1
// pixel inside the drawn edge on each axis.
constexpr double kCornerTolerancePx = 1.0;
constexpr double kMinGoodConfidence = 0.8;
constexpr int kThreshold = 128;
constexpr int kLibraryPictures = 6;

struct View {
    double cx, cy, side;        // marker centre and side in pixels
    double turnDeg;             // clockwise on screen
    double tiltXDeg, tiltYDeg;  // out-of-plane tilts
};

// Image corners of the marker plane's corners (0,0), (1,0), (1,1), (0,1) for a view.
std::vector<cv::Point2d> viewCorners(const View& v) {
    const double f = 800;  // focal length of the pinhole that applies the tilt
    const double t = v.turnDeg * CV_PI / 180, a = v.tiltXDeg * CV_PI / 180,
                 b = v.tiltYDeg * CV_PI / 180;
    std::vector<cv::Point2d> out;
    for (const auto& uv :
         {cv::Point2d(0, 0), cv::Point2d(1, 0), cv::Point2d(1, 1), cv::Point2d(0, 1)}) {
        double x = (uv.x - 0.5) * v.side, y = (uv.y - 0.5) * v.side, z = 0;
        // tilt about x, then y, then the in-plane turn
        double y1 = y * std::cos(a), z1 = y * std::sin(a);
        double x2 = x * std::cos(b) + z1 * std::sin(b), z2 = -x * std::sin(b) + z1 * std::cos(b);
        double x3 = x2 * std::cos(t) - y1 * std::sin(t), y3 = x2 * std::sin(t) + y1 * std::cos(t);
        z = f + z2;
        out.emplace_back(v.cx + f * x3 / z, v.cy + f * y3 / z);
    }
    return out;
}

cv::Mat renderMarker(const MarkerPicture& picture, const View& view, cv::Size size) {
    const std::vector<cv::Point2d> img = viewCorners(view);
    const std::vector<cv::Point2f> plane = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    std::vector<cv::Point2f> imgF(img.begin(), img.end());
    const cv::Mat h = cv::getPerspectiveTransform(imgF, plane);  // image -> plane
    double hm[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) hm[r][c] = h.at<double>(r, c);
    return renderSupersampled(size, 4, [&](double x, double y, float bgr[3]) {
        double u, v;
        applyHomography(hm, x, y, &u, &v);
        std::uint8_t c[3];
        markerColour(picture, u, v, c);
        for (int k = 0; k < 3; ++k) bgr[k] = c[k];
    });
}

std::vector<MarkerInfo> detect(const cv::Mat& image) {
    const PackedImage packed = packedFromMat(image);
    installIdentityCamera(packed.width, packed.height);
    MarkerInfo* markers = nullptr;
    int count = -1;
    EXPECT_EQ(detectMarkers(packed.bytes.data(), kThreshold, &markers, &count), 0);
    return std::vector<MarkerInfo>(markers, markers + count);
}

class Identification : public testing::Test {
  protected:
    void SetUp() override {
        double worst = 0;
        ASSERT_TRUE(designPictures(kLibraryPictures + 1, 2024, 0.5, &pictures, &worst));
        clearPatternLibrary();
        for (int i = 0; i < kLibraryPictures; ++i) {
            const std::string path = dir.file("pat." + std::to_string(i));
            ASSERT_TRUE(writePatternFile(path, pictures[i]));
            ASSERT_EQ(loadPattern(path.c_str()), i);
        }
    }
    TempDir dir;
    std::vector<MarkerPicture> pictures;  // the last one is not in the library
};
}  // namespace

TEST_F(Identification, RotatedAndTiltedMarkersGiveIdDirectionAndCorners) {
    const cv::Size size(240, 200);
    int winding = 0;  // the sense the vertices go round in: one for every marker
    for (int id = 0; id < kLibraryPictures; ++id) {
        for (int turn = 0; turn < 4; ++turn) {
            for (const auto& [small, tiltX, tiltY] :
                 {std::tuple{0.0, 0.0, 0.0}, std::tuple{12.0, 20.0, 0.0},
                  std::tuple{-9.0, 0.0, -25.0}}) {
                const View view{121.3, 98.7, 90.0 + 7 * id, turn * 90 + small, tiltX, tiltY};
                SCOPED_TRACE(testing::Message()
                             << "id " << id << " turn " << turn << " small " << small);
                const std::vector<MarkerInfo> found =
                    detect(renderMarker(pictures[id], view, size));
                ASSERT_EQ(found.size(), 1u);
                const MarkerInfo& m = found[0];
                EXPECT_EQ(m.id, id);
                // The engine samples from the outline corner farthest from its top-left
                // start pixel. The picture corner found there gives the direction: its
                // bottom-right for 0, top-right for 1, top-left for 2, bottom-left for 3.
                const std::vector<cv::Point2d> truth = viewCorners(view);  // TL, TR, BR, BL
                const int pictureCornerOfDirection[4] = {2, 1, 0, 3};
                int nearest = 0;
                for (int k = 1; k < 4; ++k)
                    if (std::hypot(truth[k].x - m.vertex[0][0], truth[k].y - m.vertex[0][1]) <
                        std::hypot(truth[nearest].x - m.vertex[0][0],
                                   truth[nearest].y - m.vertex[0][1]))
                        nearest = k;
                ASSERT_GE(m.direction, 0);
                EXPECT_EQ(pictureCornerOfDirection[m.direction], nearest);
                // Turned clockwise from upright, the top-left pixel stays on the picture
                // corner of the turn, so the direction is the turn itself.
                if (small >= 0) {
                    EXPECT_EQ(m.direction, turn);
                }
                EXPECT_GT(m.cf, kMinGoodConfidence);
                for (const cv::Point2d& t : truth) {
                    double best = 1e9;
                    for (const auto& v : m.vertex)
                        best =
                            std::min(best, std::max(std::fabs(v[0] - t.x), std::fabs(v[1] - t.y)));
                    EXPECT_LT(best, kCornerTolerancePx) << t;
                }
                double area2 = 0;
                for (int k = 0; k < 4; ++k) {
                    const auto& a = m.vertex[k];
                    const auto& b = m.vertex[(k + 1) % 4];
                    area2 += a[0] * b[1] - b[0] * a[1];
                }
                const int sense = area2 > 0 ? 1 : -1;
                if (winding == 0) winding = sense;
                EXPECT_EQ(sense, winding) << "vertices in the other order";
            }
        }
    }
}

TEST_F(Identification, NegativeImagesIdentifyNothing) {
    const cv::Size size(200, 200);
    cv::Mat blank(size, CV_8UC3, cv::Scalar(255, 255, 255));
    EXPECT_TRUE(detect(blank).empty());

    cv::Mat shapes = blank.clone();
    cv::circle(shapes, cv::Point(60, 60), 35, cv::Scalar(0, 0, 0), cv::FILLED);
    cv::fillPoly(shapes, std::vector<std::vector<cv::Point>>{{{110, 180}, {190, 180}, {150, 110}}},
                 cv::Scalar(0, 0, 0));
    EXPECT_TRUE(detect(shapes).empty());

    // A marker whose picture is not in the library: found, but not identified.
    const View view{100, 100, 100, 5, 0, 0};
    const std::vector<MarkerInfo> unknown =
        detect(renderMarker(pictures[kLibraryPictures], view, size));
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].id, -1);
    EXPECT_LT(unknown[0].cf, 0.5);
}

TEST_F(Identification, FlatSampleAndEmptyLibrary) {
    std::uint8_t flat[kPatternValues];
    std::fill(flat, flat + kPatternValues, 128);
    PatternMatch match{};
    EXPECT_EQ(matchPattern(flat, patternLibrary(), &match), -1);
    EXPECT_EQ(match.id, 0);
    EXPECT_EQ(match.direction, 0);
    EXPECT_EQ(match.cf, -1.0);

    const std::vector<int> t = orientationTemplate(pictures[2], 3);
    std::uint8_t sample[kPatternValues];
    for (int k = 0; k < kPatternValues; ++k) sample[k] = static_cast<std::uint8_t>(t[k]);
    ASSERT_EQ(matchPattern(sample, patternLibrary(), &match), 0);
    EXPECT_EQ(match.id, 2);
    EXPECT_EQ(match.direction, 3);
    EXPECT_DOUBLE_EQ(match.cf, 1.0);

    const auto empty = std::make_unique<PatternLibrary>();  // too large for the stack
    ASSERT_EQ(matchPattern(sample, *empty, &match), 0);
    EXPECT_EQ(match.id, -1);
    EXPECT_EQ(match.direction, -1);
    EXPECT_EQ(match.cf, 0.0);
}

TEST_F(Identification, DuplicatePatternReportsTheLowerId) {
    const std::string path = dir.file("pat.0");
    ASSERT_EQ(loadPattern(path.c_str()), kLibraryPictures);  // same picture as id 0
    const std::vector<MarkerInfo> found =
        detect(renderMarker(pictures[0], View{100, 100, 100, 0, 0, 0}, cv::Size(200, 200)));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, 0);
}

TEST(ExtractPattern, UniformInsideAndDarkerWhereSamplesFallOutside) {
    std::vector<unsigned char> image(64 * 64 * 4, 200);
    for (const int side : {30, 40, 50}) {  // 16, 32 and 64 samples per axis
        SCOPED_TRACE(side);
        const int corner[4][2] = {
            {10 + side, 10 + side}, {10, 10 + side}, {10, 10}, {10 + side, 10}};
        std::uint8_t sample[kPatternValues];
        ASSERT_EQ(extractPattern(image.data(), 64, 64, corner, sample), 0);
        for (int k = 0; k < kPatternValues; ++k) ASSERT_EQ(sample[k], 200);
    }
    // Partly outside the image: the affected cells are darker (fewer samples, same divisor).
    const int corner[4][2] = {{90, 90}, {20, 90}, {20, 20}, {90, 20}};
    std::uint8_t sample[kPatternValues];
    ASSERT_EQ(extractPattern(image.data(), 64, 64, corner, sample), 0);
    EXPECT_EQ(sample[0], 0) << "row 0, column 0 lie near corner 0, outside the image";
    EXPECT_EQ(sample[(15 * 16 + 15) * 3], 200) << "near corner 2, inside";
}

// Contexts are independent: a run's own engine identifies with its own patterns and camera
// parameters, whatever the default engine (the classic operations) holds.
TEST_F(Identification, EngineContextsDoNotShareState) {
    const cv::Size size(240, 200);
    const View view{121.3, 98.7, 110.0, 10.0, 0.0, 0.0};
    const PackedImage packed = packedFromMat(renderMarker(pictures[2], view, size));
    auto own = std::make_unique<EngineContext>();
    own->camera = identityCameraParams(packed.width, packed.height);
    MarkerInfo* markers = nullptr;
    int count = 0;
    ASSERT_EQ(detectMarkersIn(own.get(), packed.bytes.data(), kThreshold, &markers, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(markers[0].id, -1) << "no pattern loaded in this context";

    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(loadPatternInto(&own->patterns, dir.file("pat." + std::to_string(i)).c_str()), i);
    ASSERT_EQ(detectMarkersIn(own.get(), packed.bytes.data(), kThreshold, &markers, &count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(markers[0].id, 2);
    EXPECT_EQ(patternLibrary().count, kLibraryPictures) << "the default library is untouched";

    clearPatternLibrary();
    ASSERT_EQ(detectMarkersIn(own.get(), packed.bytes.data(), kThreshold, &markers, &count), 0);
    EXPECT_EQ(markers[0].id, 2) << "clearing the default library leaves this one";
}
