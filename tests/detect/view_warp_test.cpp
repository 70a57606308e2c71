// The rectified view's warp gives the very bytes of cv::warpPerspective (bilinear, black
// border) for every kind of homography and image shape.
#include "view_warp.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <string>

#include "image_bytes.h"

namespace {
// Sharp-edged blocks over noise: every fraction of a sample position shows in the result.
cv::Mat blocks(int rows, int cols) {
    cv::Mat image(rows, cols, CV_8UC3);
    cv::RNG rng(rows * 7919 + cols);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    for (int i = 0; i < 12; ++i) {
        const cv::Point a(rng.uniform(0, cols), rng.uniform(0, rows));
        const cv::Point b(rng.uniform(0, cols), rng.uniform(0, rows));
        cv::rectangle(image, a, b, cv::Scalar(rng.uniform(0, 256), 255, 0), cv::FILLED);
    }
    return image;
}

cv::Mat matrix(double a, double b, double c, double d, double e, double f, double g, double h,
               int type = CV_64F) {
    cv::Mat m = (cv::Mat_<double>(3, 3) << a, b, c, d, e, f, g, h, 1);
    m.convertTo(m, type);
    return m;
}
}  // namespace

TEST(ViewWarp, SameBytesAsTheLibrarysWarp) {
    const cv::Mat photo = blocks(480, 640);
    const cv::Mat wide = blocks(200, 300);
    const struct {
        const char* name;
        cv::Mat src;
        cv::Mat h;
        cv::Size size;
    } cases[] = {
        {"identity", photo, matrix(1, 0, 0, 0, 1, 0, 0, 0), photo.size()},
        {"fractional shift", photo, matrix(1, 0, 0.37, 0, 1, -12.71, 0, 0), photo.size()},
        {"rotation and zoom (float matrix)", photo,
         matrix(1.3, 0.4, -90, -0.4, 1.3, 110, 0, 0, CV_32F), photo.size()},
        {"rectified-view tilt", photo, matrix(0.9, 0.05, 30, -0.03, 0.95, 20, 1e-4, -2e-4),
         photo.size()},
        {"horizon inside the view (positions saturate)", photo,
         matrix(1, 0.2, 0, 0.1, 1, 0, 2e-3, 3e-3), photo.size()},
        {"strong magnification", photo, matrix(9, 0, -2000, 0, 9, -1500, 0, 0), photo.size()},
        {"mapped far away: all black", photo, matrix(1, 0, 1e6, 0, 1, 1e6, 0, 0), photo.size()},
        {"singular matrix", photo, matrix(1, 1, 0, 1, 1, 0, 0, 0), photo.size()},
        {"view larger than the photo", wide, matrix(1.1, 0, 5, 0, 0.9, 3, 1e-4, 0),
         cv::Size(641, 333)},
        {"source rows with gaps", photo(cv::Rect(13, 7, 301, 203)),
         matrix(0.8, 0.1, 9, 0.05, 1.2, -4, 1e-4, 2e-4), cv::Size(320, 240)},
        {"view narrower than a block", photo, matrix(0.3, 0, 100, 0, 0.3, 50, 0, 1e-4),
         cv::Size(37, 11)},
        {"one-pixel view", photo, matrix(1, 0, 0.5, 0, 1, 0.5, 0, 0), cv::Size(1, 1)},
        {"one-pixel source", blocks(1, 1), matrix(0.1, 0, -0.2, 0, 0.1, -0.3, 0, 0),
         cv::Size(9, 7)},
        {"two-pixel source", blocks(1, 2), matrix(0.2, 0, -0.2, 0, 0.2, -0.3, 0, 0),
         cv::Size(17, 9)},
        {"view wider than 16-bit positions", photo, matrix(0.02, 0, 3, 0, 1, 2, 0, 0),
         cv::Size(33000, 2)},
    };
    for (const auto& c : cases) {
        cv::Mat expected, actual;
        cv::warpPerspective(c.src, expected, c.h, c.size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar::all(0));
        warpLinear(c.src, c.h, c.size, &actual);
        EXPECT_EQ(differingBytes(expected, actual), 0) << c.name;
    }
}

TEST(ViewWarp, RandomHomographiesMatchToo) {
    const cv::Mat photo = blocks(240, 320);
    cv::RNG rng(45);
    for (int i = 0; i < 30; ++i) {
        const cv::Mat h =
            matrix(rng.uniform(0.5, 1.5), rng.uniform(-0.3, 0.3), rng.uniform(-100.0, 100.0),
                   rng.uniform(-0.3, 0.3), rng.uniform(0.5, 1.5), rng.uniform(-100.0, 100.0),
                   rng.uniform(-2e-3, 2e-3), rng.uniform(-2e-3, 2e-3), i % 2 ? CV_32F : CV_64F);
        cv::Mat expected, actual;
        cv::warpPerspective(photo, expected, h, photo.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar::all(0));
        warpLinear(photo, h, photo.size(), &actual);
        EXPECT_EQ(differingBytes(expected, actual), 0) << "homography " << i << "\n" << h;
    }
}

TEST(ViewWarp, SourcesTooLargeForTheLibraryAreRefusedAsItRefusesThem) {
    const cv::Mat wide(2, 32767, CV_8UC3, cv::Scalar(1, 2, 3));
    const cv::Mat h = matrix(1, 0, 0, 0, 1, 0, 0, 0);
    cv::Mat view;
    EXPECT_THROW(warpLinear(wide, h, cv::Size(10, 2), &view), cv::Exception);
}

TEST(ViewWarp, OtherTypesGoToTheLibrary) {
    cv::Mat grey;
    cv::cvtColor(blocks(50, 60), grey, cv::COLOR_BGR2GRAY);
    const cv::Mat h = matrix(0.9, 0.1, 3, 0, 1.1, -2, 1e-3, 0);
    cv::Mat expected, actual;
    cv::warpPerspective(grey, expected, h, grey.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar::all(0));
    warpLinear(grey, h, grey.size(), &actual);
    EXPECT_EQ(differingBytes(expected, actual), 0);
}
