// Degenerate and repeated views are named before a fit can assert on them.
#include "view_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {
using Image = std::vector<cv::Point2f>;
using Board = std::vector<cv::Point3f>;

// A 4 x 3 grid of board points (z = 0) and a slightly tilted image of it.
Board grid(float z = 0) {
    Board b;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) b.emplace_back(30.f * c, 30.f * r, z);
    return b;
}
Image seen(const Board& b) {
    Image i;
    for (const cv::Point3f& p : b) i.emplace_back(100 + 2.1f * p.x + 0.2f * p.y, 80 + 1.9f * p.y);
    return i;
}
}  // namespace

TEST(UnusableViewReason, NamesEveryDegenerateView) {
    const Board board = grid();
    const Image image = seen(board);
    Board tooFew(board.begin(), board.begin() + 9);
    Board tilted = board;  // on a plane, but not one of constant z
    for (cv::Point3f& p : tilted) p.z = 0.5f * p.x;
    Board bent = board;  // off any plane
    bent[5].z = 20;
    Board line;
    Image imageLine, spot(12, cv::Point2f(5, 5));
    for (int i = 0; i < 12; ++i) {
        line.emplace_back(10.f * i, 5.f * i, 0.f);
        imageLine.emplace_back(3.f * i, 7.f * i + 1e-5f * (i % 2));
    }
    Image notFinite = image;
    notFinite[3].x = std::numeric_limits<float>::quiet_NaN();
    Board infBoard = board;
    infBoard[0].y = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        Image image;
        Board board;
        const char* reason;  // "" when usable
    };
    const Case cases[] = {
        {"plain grid", image, board, ""},
        {"board at z = 7", image, grid(7), "do not all have z = 0"},
        {"nine points", seen(tooFew), tooFew, "only 9 points (at least 10"},
        {"sizes differ", image, tooFew, "12 image points but 9 board points"},
        {"empty", {}, {}, "only 0 points"},
        {"image at one spot", spot, board, "image points all lie at one spot"},
        {"image on a line", imageLine, board, "image points lie on one line"},
        {"board at one spot", image, Board(12, cv::Point3f(1, 2, 0)),
         "board points all lie at one"},
        {"board on a line", image, line, "board points lie on one line"},
        {"board off a plane", image, bent, "not on one plane"},
        {"tilted board", image, tilted, "do not all have z = 0"},
        {"nan image point", notFinite, board, "not a finite number"},
        {"inf board point", image, infBoard, "board point is not a finite number"},
    };
    for (const Case& c : cases) {
        const std::string reason = unusableViewReason(c.image, c.board);
        if (*c.reason == '\0')
            EXPECT_EQ(reason, "") << c.name;
        else
            EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
    }
}

TEST(UnusableViewReason, TwoImageViewsCheckBothSides) {
    const Image image = seen(grid());
    Image line;
    for (int i = 0; i < 12; ++i) line.emplace_back(4.f * i, 100.f);
    EXPECT_EQ(unusableViewReason(image, image), "");
    EXPECT_NE(unusableViewReason(image, line).find("projector points lie on one line"),
              std::string::npos);
    EXPECT_NE(unusableViewReason(line, image).find("image points lie on one line"),
              std::string::npos);
    EXPECT_NE(unusableViewReason(image, Image(3)).find("12 image points but 3 projector points"),
              std::string::npos);
}

TEST(DuplicateViewReason, NamesTheFirstRepeatedViewAndItsCount) {
    EXPECT_EQ(duplicateViewReason({}), "");
    EXPECT_EQ(duplicateViewReason({0, 1, 2, 5}), "");
    EXPECT_EQ(duplicateViewReason({3, 3, 3, 3, 3, 3}), "view 3 is listed 6 times");
    EXPECT_EQ(duplicateViewReason({0, 4, 1, 4}), "view 4 is listed 2 times");
}

TEST(ImageSizeChecks, PointsMustFitTheSizeAndTheSizeThePoints) {
    const Image corners = {{0, 0}, {639, 0}, {0, 479}, {639.4f, 479.4f}};
    EXPECT_EQ(pointOutsideReason(corners, {640, 480}), "");
    EXPECT_EQ(pointOutsideReason({{640, 10}}, {640, 480}),
              "point 1 (640, 10) lies outside the 640 x 480 image");
    EXPECT_NE(pointOutsideReason({{5, 5}, {10, -1}}, {640, 480}).find("point 2 (10, -1)"),
              std::string::npos);
    EXPECT_EQ(pointOutsideReason({{-40, 500}}, {640, 480}, 0.1), "") << "within the margin";
    EXPECT_NE(pointOutsideReason({{-70, 10}}, {640, 480}, 0.1), "");

    const std::vector<Image> views = {{{100, 100}, {500, 380}}, {{120, 90}}};
    EXPECT_EQ(sizeFarLargerReason(views, {640, 480}), "");
    EXPECT_EQ(sizeFarLargerReason(views, {3200, 2400}), "") << "5 times: not refused";
    EXPECT_EQ(sizeFarLargerReason(views, {6400, 4800}),
              "the points of all views span only 400 x 290 px of the 6400 x 4800 image: it is not "
              "the size they were found at");
    EXPECT_EQ(sizeFarLargerReason(views, {6400, 480}), "") << "one direction fits";
    EXPECT_EQ(sizeFarLargerReason({}, {6400, 4800}), "");
}

TEST(ImageSizeChecks, FitsWithoutAPositiveFocalLengthAreNamed) {
    EXPECT_EQ(unusableFitReason(cv::Mat(cv::Matx33d(700, 0, 320, 0, 710, 240, 0, 0, 1))), "");
    EXPECT_NE(unusableFitReason(cv::Mat(cv::Matx33d(-700, 0, 320, 0, 710, 240, 0, 0, 1)))
                  .find("fx -700 and fy 710"),
              std::string::npos);
    EXPECT_NE(unusableFitReason(cv::Mat(cv::Matx33d(700, 0, 320, 0, NAN, 240, 0, 0, 1))), "");
}
