// Photos read as the series reads them: plain colour JPEGs decoded directly, everything else
// by cv::imread, and either way the pixels cv::imread gives.
#include "jpeg_photo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "image_bytes.h"
#include "run_state.h"
#include "test_support.h"

namespace {
cv::Mat photoLike(int rows, int cols) {
    cv::Mat image(rows, cols, CV_8UC3);
    cv::randu(image, 0, 256);
    cv::Mat smooth;
    cv::blur(image, smooth, cv::Size(5, 5));
    cv::rectangle(smooth, cv::Rect(cols / 4, rows / 4, cols / 3, rows / 3), cv::Scalar(0, 30, 250),
                  cv::FILLED);
    return smooth;
}

std::vector<unsigned char> encoded(const cv::Mat& image, const std::vector<int>& params) {
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", image, bytes, params);
    return bytes;
}

// The JPEG with an EXIF block after its start marker saying "rotate by 90 degrees".
std::vector<unsigned char> withExifOrientation(std::vector<unsigned char> jpeg) {
    const unsigned char exif[] = {
        0xFF, 0xE1, 0x00, 0x22, 'E',  'x',  'i',  'f',  0, 0,  // APP1, length 34
        'I',  'I',  0x2A, 0x00, 0x08, 0x00, 0x00, 0x00,        // TIFF header, IFD at 8
        0x01, 0x00,                                            // one entry
        0x12, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00,        // orientation, short, 1 value
        0x06, 0x00, 0x00, 0x00,                                // 6: rotated
        0x00, 0x00, 0x00, 0x00};                               // no next IFD
    jpeg.insert(jpeg.begin() + 2, std::begin(exif), std::end(exif));
    return jpeg;
}
}  // namespace

TEST(JpegPhoto, SeriesPixelsAreImreadsPixels) {
    TempDir dir;
    const cv::Mat photo = photoLike(61, 97);  // odd sizes: partial blocks at both edges
    cv::Mat grey;
    cv::cvtColor(photo, grey, cv::COLOR_BGR2GRAY);
    const std::vector<unsigned char> plain = encoded(photo, {cv::IMWRITE_JPEG_QUALITY, 90});
    std::vector<unsigned char> png;
    cv::imencode(".png", photo, png);
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        bool direct;  // decoded without cv::imread
    } cases[] = {
        {"baseline, 4:2:0", plain, true},
        {"progressive", encoded(photo, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}), true},
        {"quality 30, optimised codes",
         encoded(photo, {cv::IMWRITE_JPEG_QUALITY, 30, cv::IMWRITE_JPEG_OPTIMIZE, 1}), true},
        {"grey", encoded(grey, {}), false},
        {"EXIF orientation", withExifOrientation(plain), false},
        {"truncated", std::vector<unsigned char>(plain.begin(), plain.begin() + plain.size() / 2),
         false},
        {"PNG", png, false},
        {"empty file", {}, false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("photo.jpg");
        writeBytes(path, c.bytes);
        cv::Mat direct;
        EXPECT_EQ(decodeJpegPhoto(path, &direct) == 0, c.direct) << c.name;
        const cv::Mat expected = cv::imread(path, cv::IMREAD_COLOR);
        EXPECT_EQ(differingBytes(loadSeriesImage(path), expected), 0) << c.name;
        if (c.direct) {
            EXPECT_EQ(differingBytes(direct, expected), 0) << c.name;
        }
        if (std::string(c.name) == "EXIF orientation") {  // cv::imread turned the photo
            EXPECT_EQ(expected.size(), cv::Size(photo.rows, photo.cols)) << c.name;
        }
    }
    cv::Mat none;
    EXPECT_EQ(decodeJpegPhoto(dir.file("absent.jpg"), &none), -1);
    EXPECT_TRUE(loadSeriesImage(dir.file("absent.jpg")).empty());
}
