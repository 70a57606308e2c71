// The generator: patterns that identify themselves, consistent ground truth, board scale,
// and its command line.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "board_layout.h"
#include "camera_param.h"
#include "detect_markers.h"
#include "forge_outputs.h"
#include "marker_picture.h"
#include "pattern_library.h"
#include "render.h"
#include "scene.h"
#include "test_support.h"

namespace {
constexpr int kThreshold = 100;
constexpr double kMinGoodConfidence = 0.8;
constexpr double kMaxWrongConfidence = 0.5;

std::vector<unsigned char> packed(const cv::Mat& bgr) {
    cv::Mat bgra;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    return std::vector<unsigned char>(bgra.data, bgra.data + bgra.total() * 4);
}

std::vector<MarkerInfo> detect(const cv::Mat& bgr) {
    CameraParam p{};
    p.width = bgr.cols;
    p.height = bgr.rows;
    p.distortion[3] = 1.0;
    setCameraParams(p);
    const std::vector<unsigned char> buffer = packed(bgr);
    MarkerInfo* markers = nullptr;
    int count = 0;
    EXPECT_EQ(detectMarkers(buffer.data(), kThreshold, &markers, &count), 0);
    return std::vector<MarkerInfo>(markers, markers + count);
}

double bilinear(const cv::Mat& grey, double x, double y) {
    const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
    const double fx = x - i, fy = y - j;
    auto at = [&](int a, int b) { return static_cast<double>(grey.at<uchar>(b, a)); };
    return (1 - fy) * ((1 - fx) * at(i, j) + fx * at(i + 1, j)) +
           fy * ((1 - fx) * at(i, j + 1) + fx * at(i + 1, j + 1));
}
}  // namespace

TEST(TagforgePatterns, EveryPatternIdentifiesItselfInEveryOrientation) {
    TempDir dir;
    std::vector<MarkerPicture> pictures;
    double worst = 0;
    std::string error;
    ASSERT_TRUE(writePatternSet(dir.path(), kBoardMarkers, 1, &pictures, &worst, &error)) << error;
    EXPECT_LE(worst, kMaxPatternScore);
    clearPatternLibrary();
    for (int i = 0; i < kBoardMarkers; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/pat.%02d", i);
        ASSERT_EQ(loadPattern((dir.path() + name).c_str()), i);
    }
    int checked = 0;
    for (int id = 0; id < kBoardMarkers; ++id) {
        for (int turn = 0; turn < 4; ++turn) {
            // Marker of 70 px turned by turn * 90 + 8 degrees and foreshortened along x.
            const double a = (turn * 90 + 8) * CV_PI / 180;
            double h[3][3] = {{70 * std::cos(a) * 0.85, -70 * std::sin(a), 0},
                              {70 * std::sin(a) * 0.85, 70 * std::cos(a), 0},
                              {0.0006, 0, 1}};
            // centre the marker: plane (0.5, 0.5) to pixel (60, 60)
            double cx, cy;
            applyHomography(h, 0.5, 0.5, &cx, &cy);
            h[0][2] = 60 - cx;
            h[1][2] = 60 - cy;
            double inv[3][3];
            ASSERT_TRUE(invert3x3(h, inv));
            const cv::Mat img =
                renderSupersampled(cv::Size(120, 120), 3, [&](double x, double y, float bgr[3]) {
                    double u, v;
                    applyHomography(inv, x, y, &u, &v);
                    std::uint8_t c[3];
                    markerColour(pictures[id], u, v, c);
                    for (int k = 0; k < 3; ++k) bgr[k] = c[k];
                });
            SCOPED_TRACE(testing::Message() << "id " << id << " turn " << turn);
            int right = 0;
            for (const MarkerInfo& m : detect(img)) {
                if (m.id == id) {
                    EXPECT_GT(m.cf, kMinGoodConfidence);
                    ++right;
                } else {
                    EXPECT_LE(m.cf, kMaxWrongConfidence) << "wrong id " << m.id;
                }
            }
            EXPECT_EQ(right, 1);
            ++checked;
        }
    }
    EXPECT_EQ(checked, kBoardMarkers * 4);
}

TEST(TagforgeScene, GroundTruthMatchesProjectionAndTheRenderedEdges) {
    TempDir dir;
    SceneOptions o;
    o.outDir = dir.file("scene");
    o.views = 2;
    o.cameraWidth = 640;
    o.cameraHeight = 480;
    o.noise = 0;
    o.blur = 0;
    o.gradient = 0;
    std::string error;
    ASSERT_EQ(generateScene(o, &error), 0) << error;
    for (const char* f : {"camparam.dat", "projection.png", "data/pat.00", "data/pat.62",
                          "images/cam001.png", "images/proj001.png", "truth.yaml"})
        EXPECT_TRUE(fileExists(dir.file("scene/") + f)) << f;

    cv::FileStorage fs(dir.file("scene/truth.yaml"), cv::FileStorage::READ);
    ASSERT_TRUE(fs.isOpened());
    cv::Mat k, dist;
    fs["camera_matrix"] >> k;
    fs["distortion_coefficients"] >> dist;
    const double size = static_cast<double>(fs["MARK_SIZE"]),
                 sx = static_cast<double>(fs["MARK_SPACE_X"]);
    const double sy = static_cast<double>(fs["MARK_SPACE_Y"]);
    int edgesChecked = 0;
    int v = 0;
    for (const cv::FileNode& view : fs["view"]) {
        cv::Mat rvec, tvec, corners;
        view["rvec"] >> rvec;
        view["tvec"] >> tvec;
        view["corners"] >> corners;
        ASSERT_EQ(corners.rows, kBoardMarkers);
        const MarkerLayout layout{size, sx, sy, false, kBoardMarkers};
        std::vector<cv::Point3d> board;
        for (int id = 0; id < kBoardMarkers; ++id) {
            double x0, y0;
            markerOrigin(layout, id / kMarkRows, id % kMarkRows, &x0, &y0);
            board.push_back({x0 + size, y0 + size, 0});
            board.push_back({x0, y0 + size, 0});
            board.push_back({x0, y0, 0});
            board.push_back({x0 + size, y0, 0});
        }
        std::vector<cv::Point2d> projected;
        cv::projectPoints(board, rvec, tvec, k, dist, projected);
        for (int id = 0; id < kBoardMarkers; ++id)
            for (int p = 0; p < 4; ++p) {
                ASSERT_NEAR(corners.at<double>(id, 1 + 2 * p), projected[4 * id + p].x, 1e-9);
                ASSERT_NEAR(corners.at<double>(id, 2 + 2 * p), projected[4 * id + p].y, 1e-9);
            }
        // The top edge (corner 2 to corner 3) of every marker lies where the truth says:
        // half-way between the dark border and the white board.
        char name[64];
        std::snprintf(name, sizeof name, "scene/images/cam%03d.png", v++);
        cv::Mat grey;
        cv::cvtColor(cv::imread(dir.file(name)), grey, cv::COLOR_BGR2GRAY);
        for (int id = 0; id < kBoardMarkers; ++id) {
            const cv::Point2d c2(corners.at<double>(id, 5), corners.at<double>(id, 6));
            const cv::Point2d c3(corners.at<double>(id, 7), corners.at<double>(id, 8));
            const cv::Point2d mid = 0.5 * (c2 + c3), along = (c3 - c2) / cv::norm(c3 - c2);
            const cv::Point2d inward(-along.y, along.x);  // towards the marker (y down)
            const double dark = bilinear(grey, mid.x + 2.0 * inward.x, mid.y + 2.0 * inward.y);
            const double bright = bilinear(grey, mid.x - 2.0 * inward.x, mid.y - 2.0 * inward.y);
            const double atEdge = bilinear(grey, mid.x, mid.y);
            EXPECT_LT(dark, 60) << id;
            EXPECT_GT(bright, 180) << id;
            EXPECT_NEAR(atEdge, 0.5 * (dark + bright), 0.2 * (bright - dark)) << id;
            ++edgesChecked;
        }
    }
    EXPECT_EQ(edgesChecked, 2 * kBoardMarkers);
}

TEST(TagforgeLayouts, ProjectedMarkersFitTheWhitePatch) {
    for (const auto& [w, h] : {std::pair{1024, 768}, std::pair{1280, 800}, std::pair{1920, 1080}}) {
        SCOPED_TRACE(w);
        MarkerLayout l;
        double ox, oy;
        ASSERT_TRUE(projectionLayout(w, h, kBoardMarkers, &l, &ox, &oy));
        EXPECT_LE(l.markSize, 90);
        EXPECT_GE(l.markSize + l.spaceX, 101) << "the next column starts beyond the patch";
        EXPECT_GE(l.markSize + l.spaceY, 101) << "the next row starts beyond the patch";
        EXPECT_GE(ox, 8);
        EXPECT_LE(ox + layoutWidth(l), w - 8);
    }
    MarkerLayout l;
    double ox, oy;
    // Seven rows need six pitches of more than 100 pixels.
    EXPECT_FALSE(projectionLayout(800, 600, kBoardMarkers, &l, &ox, &oy));
}

TEST(TagforgeBoard, MarkerSpacingMatchesTheMillimetres) {
    std::vector<MarkerPicture> pictures;
    double worst = 0;
    ASSERT_TRUE(designPictures(kBoardMarkers, 1, kMaxPatternScore, &pictures, &worst));
    const double dpi = 100;
    const MarkerLayout mm{30, 10, 5, false, kBoardMarkers};
    const cv::Mat board = renderBoardImage(pictures, mm, dpi);
    // Find the outer corners of markers by their dark frames: the top-left pixel of
    // marker (0,0), (1,0) and (0,1) in scan order of dark pixels of each frame.
    auto topLeftDark = [&](double xMm, double yMm) {
        const double px = dpi / 25.4;
        const int x0 = static_cast<int>((xMm + 20 - 2) * px),
                  y0 = static_cast<int>((yMm + 20 - 2) * px);
        for (int y = y0; y < y0 + 6 * px; ++y)
            for (int x = x0; x < x0 + 6 * px; ++x)
                if (board.at<cv::Vec3b>(y, x)[0] < 128 && board.at<cv::Vec3b>(y, x)[1] < 128)
                    return cv::Point(x, y);
        return cv::Point(-1, -1);
    };
    const cv::Point a = topLeftDark(0, 0), b = topLeftDark(40, 0), c = topLeftDark(0, 35);
    EXPECT_NEAR(b.x - a.x, 40 * dpi / 25.4, 1.0);
    EXPECT_NEAR(c.y - a.y, 35 * dpi / 25.4, 1.0);
    EXPECT_EQ(b.y, a.y);
}

TEST(TagforgeCli, BadInputIsRefused) {
    TempDir dir;
    const std::string tagforge = programPath("tagforge");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string errPart;
    };
    const Case cases[] = {
        {{}, 1, ""},
        {{"paint"}, 1, "unknown command paint"},
        {{"patterns", "--out", "."}, 0, ""},
        {{"patterns", "--out", ".", "--count", "151"}, 1, "bad value for --count: 151"},
        {{"patterns", "--out", "pat.00/sub"}, 2, "cannot create the folder pat.00/sub"},
        {{"patterns", "--bogus", "1"}, 1, "unknown option --bogus"},
        {{"patterns"}, 1, "--out is required"},
        {{"projection", "--out", "p.png", "--size", "300x200"},
         2,
         "do not fit 300x200; the smallest resolution that holds them is 848x644"},
        {{"projection", "--out", "p.png", "--size", "12"}, 1, "bad value for --size"},
        {{"board", "--out", "b.png", "--mark-size", "-3"}, 1, "bad value for --mark-size"},
        {{"board", "--out", "b.svg", "--paper", "A4", "--mark-size", "30"},
         2,
         "30 mm markers needs a sheet of at least 380 x 312 mm; A4 holds markers of 18.5 mm"},
        {{"board", "--out", "b.svg", "--paper", "B5"}, 2, "--paper takes A4, A3, letter or WxHmm"},
        {{"board", "--out", "b.jpg"}, 2, "names a .svg or .png file"},
        {{"scene", "--out", "s", "--views", "0"}, 1, "bad value for --views"},
        {{"scene", "--out", "s", "--tilt", "50:40"}, 1, "bad value for --tilt: 50:40"},
        {{"scene", "--out", "s", "--jpeg", "0"}, 1, "bad value for --jpeg"},
        {{"scene", "--out", "s", "--clutter", "missing.jpg"},
         2,
         "cannot read the clutter photo missing.jpg"},
        {{"camparam", "--size", "640x480"}, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ProgramResult r = runProgram(tagforge, c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(dir.file("camparam.dat")).size(), 136u);
    EXPECT_TRUE(fileExists(dir.file("pat.62")));
    EXPECT_FALSE(fileExists(dir.file("b.svg")));
    EXPECT_FALSE(fileExists(dir.file("p.png")));
    EXPECT_FALSE(fileExists(dir.file("s"))) << "a scene that cannot be made leaves nothing";
    EXPECT_EQ(runProgram(tagforge, {"scene", "--help"}, dir.path()).status, 0);
}

// Attribute name="number" of the first element that has it after position from.
double svgNumber(const std::string& svg, const std::string& name, std::size_t from) {
    const std::size_t at = svg.find(" " + name + "=\"", from);
    return at == std::string::npos ? -1 : std::stod(svg.substr(at + name.size() + 3));
}

// Printed at 100 %, the SVG is the sheet, and what it says to type into rigflow.cfg is
// what it draws.
TEST(TagforgeBoard, PaperBoardIsTrueSizeAndSaysItsSizes) {
    TempDir dir;
    struct Case {
        std::string paper, sheet, markSize, gap;
    };
    const Case cases[] = {{"A4", "width=\"297mm\" height=\"210mm\"", "18.5", "6.2"},
                          {"A3", "width=\"420mm\" height=\"297mm\"", "28", "9.3"},
                          {"300x500mm", "width=\"500mm\" height=\"300mm\"", "28.5", "9.5"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paper);
        const ProgramResult r = runProgram(
            programPath("tagforge"), {"board", "--out", "b.svg", "--paper", c.paper}, dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("  mark_size = " + c.markSize + "\n  mark_space_x = " + c.gap +
                             "\n  mark_space_y = " + c.gap + "\n"),
                  std::string::npos)
            << r.out;
        const std::string svg = readFile(dir.file("b.svg"));
        EXPECT_NE(svg.find(c.sheet), std::string::npos);
        // Marker 0 at column 0, row 0; marker 7 one column to the right; marker 1 one row down.
        const std::size_t m0 = svg.find("id=\"marker0\""), m7 = svg.find("id=\"marker7\""),
                          m1 = svg.find("id=\"marker1\"");
        ASSERT_NE(m7, std::string::npos);
        EXPECT_DOUBLE_EQ(svgNumber(svg, "width", m0), std::stod(c.markSize));
        EXPECT_NEAR(svgNumber(svg, "x", m7) - svgNumber(svg, "x", m0),
                    std::stod(c.markSize) + std::stod(c.gap), 1e-9);
        EXPECT_NEAR(svgNumber(svg, "y", m1) - svgNumber(svg, "y", m0),
                    std::stod(c.markSize) + std::stod(c.gap), 1e-9);
        EXPECT_NE(svg.find(">X</text>"), std::string::npos) << "the axes are drawn";
        EXPECT_NE(svg.find(">Y</text>"), std::string::npos);
    }
    // The PNG of the same sheet at 100 dpi: the paper in pixels.
    ASSERT_EQ(runProgram(programPath("tagforge"),
                         {"board", "--out", "b.png", "--paper", "A4", "--dpi", "100"}, dir.path())
                  .status,
              0);
    const cv::Mat png = cv::imread(dir.file("b.png"));
    EXPECT_EQ(png.cols, 1169);  // 297 mm
    EXPECT_EQ(png.rows, 827);   // 210 mm
}
