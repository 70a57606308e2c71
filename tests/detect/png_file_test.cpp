// The run's PNG images hold exactly the pixels they were given.
#include "png_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "test_support.h"

namespace {
// A smooth gradient with a little noise, as a rendered and decoded photo has.
cv::Mat photoLike(int rows, int cols, int type) {
    cv::Mat image(rows, cols, type);
    cv::Mat noise(rows, cols, type);
    cv::randn(noise, 0, 3);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols * image.channels(); ++x)
            image.ptr(y)[x] = static_cast<unsigned char>((x / image.channels() + 2 * y) / 8 +
                                                         40 * (x % image.channels()));
    return image + noise;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

TEST(PngFile, PixelsReadBackExactly) {
    TempDir dir;
    cv::Mat noisy(480, 640, CV_8UC3);
    cv::randu(noisy, 0, 256);
    cv::Mat greyNoise(301, 257, CV_8UC1);
    cv::randu(greyNoise, 0, 256);
    cv::Mat drawn(37, 53, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::circle(drawn, cv::Point(20, 18), 9, cv::Scalar(0, 0, 255), 2, cv::LINE_AA);
    cv::Mat grey(5, 7, CV_8UC1);
    cv::randu(grey, 0, 256);
    const cv::Mat roi = noisy(cv::Rect(3, 5, 101, 77));  // rows with gaps between them
    // Over 4 MiB of filtered rows: two deflate blocks, the border inside a row.
    const cv::Mat large = photoLike(1100, 1301, CV_8UC3);
    cv::Mat largeFlat(1100, 1301, CV_8UC3, cv::Scalar(9, 200, 77));
    cv::rectangle(largeFlat, cv::Rect(600, 540, 80, 90), cv::Scalar(0, 0, 0), cv::FILLED);
    const struct {
        const char* name;
        cv::Mat image;
    } cases[] = {{"noise", noisy},
                 {"grey noise (incompressible), odd width", greyNoise},
                 {"drawing", drawn},
                 {"grey", grey},
                 {"one pixel", cv::Mat(1, 1, CV_8UC3, cv::Scalar(1, 2, 3))},
                 {"one grey pixel", cv::Mat(1, 1, CV_8UC1, cv::Scalar(200))},
                 {"one row", photoLike(1, 999, CV_8UC3)},
                 {"one column", photoLike(999, 1, CV_8UC3)},
                 {"odd widths", photoLike(9, 17, CV_8UC3)},
                 {"a width of 33 pixels (the vector steps' edge)", photoLike(4, 33, CV_8UC3)},
                 {"grey, odd width", photoLike(40, 63, CV_8UC1)},
                 {"constant (a single byte value)", cv::Mat(64, 64, CV_8UC1, cv::Scalar(0))},
                 {"constant colour", cv::Mat(50, 71, CV_8UC3, cv::Scalar(255, 255, 255))},
                 {"photo-like gradient", photoLike(480, 640, CV_8UC3)},
                 {"photo-like, several blocks", large},
                 {"flat, several blocks", largeFlat},
                 {"part of an image", roi}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".png");
        ASSERT_TRUE(writePng(path, c.image));
        // our encoder's zlib header (OpenCV's says another level), right after IHDR
        EXPECT_EQ(fileBytes(path).substr(41, 2), std::string("\x78\x01", 2));
        const cv::Mat back = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(back.size(), c.image.size());
        ASSERT_EQ(back.type(), c.image.type());
        EXPECT_EQ(cv::norm(back, c.image, cv::NORM_INF), 0.0);
    }
}

TEST(PngFile, FlatImagesAreSmallAndNoiseHardlyGrows) {
    TempDir dir;
    const cv::Mat flat(960, 1280, CV_8UC3, cv::Scalar(40, 80, 120));
    ASSERT_TRUE(writePng(dir.file("flat.png"), flat));
    EXPECT_LT(fileBytes(dir.file("flat.png")).size(), 20000u);  // raw: 3.7 MB
    cv::Mat noise(480, 640, CV_8UC3);
    cv::randu(noise, 0, 256);
    ASSERT_TRUE(writePng(dir.file("noise.png"), noise));
    EXPECT_LT(fileBytes(dir.file("noise.png")).size(), noise.total() * 3 * 101 / 100);
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
