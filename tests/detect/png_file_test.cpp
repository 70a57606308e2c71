// The run's PNG images hold exactly the pixels they were given.
#include "png_file.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "test_support.h"

TEST(PngFile, PixelsReadBackExactly) {
    TempDir dir;
    cv::Mat noisy(480, 640, CV_8UC3);
    cv::randu(noisy, 0, 256);
    cv::Mat drawn(37, 53, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::circle(drawn, cv::Point(20, 18), 9, cv::Scalar(0, 0, 255), 2, cv::LINE_AA);
    cv::Mat grey(5, 7, CV_8UC1);
    cv::randu(grey, 0, 256);
    const cv::Mat roi = noisy(cv::Rect(3, 5, 101, 77));  // rows with gaps between them
    const struct {
        const char* name;
        cv::Mat image;
    } cases[] = {{"noise", noisy},
                 {"drawing", drawn},
                 {"grey", grey},
                 {"one pixel", cv::Mat(1, 1, CV_8UC3, cv::Scalar(1, 2, 3))},
                 {"part of an image", roi}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".png");
        ASSERT_TRUE(writePng(path, c.image));
        const cv::Mat back = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(back.size(), c.image.size());
        ASSERT_EQ(back.type(), c.image.type());
        EXPECT_EQ(cv::norm(back, c.image, cv::NORM_INF), 0.0);
    }
}

TEST(PngFile, OtherKindsAndUnwritablePathsAreHandled) {
    TempDir dir;
    // Other extensions and depths go to OpenCV's encoders.
    const cv::Mat deep(4, 4, CV_16UC1, cv::Scalar(1000));
    ASSERT_TRUE(writePng(dir.file("deep.png"), deep));
    EXPECT_EQ(cv::norm(cv::imread(dir.file("deep.png"), cv::IMREAD_UNCHANGED), deep, cv::NORM_INF),
              0.0);
    EXPECT_TRUE(writePng(dir.file("photo.jpg"), cv::Mat(8, 8, CV_8UC3, cv::Scalar(9, 9, 9))));
    EXPECT_FALSE(writeFastPng(dir.file("deep2.png"), deep));
    EXPECT_FALSE(fileExists(dir.file("deep2.png")));
    EXPECT_FALSE(writePng(dir.file("missing/folder/x.png"), cv::Mat(2, 2, CV_8UC3)));
    EXPECT_FALSE(writePng(dir.path(), cv::Mat(2, 2, CV_8UC3)));  // a folder
}
