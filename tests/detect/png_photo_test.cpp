// PNG images read as the series reads them: plain ones decoded directly, everything else by
// OpenCV's codecs loaded on first use, and either way the pixels cv::imread gives.
#include "png_photo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "image_bytes.h"
#include "image_codecs.h"
#include "png_file.h"
#include "run_state.h"
#include "test_support.h"

namespace {
cv::Mat imageLike(int rows, int cols) {
    cv::Mat image(rows, cols, CV_8UC3);
    cv::randu(image, 0, 256);
    cv::rectangle(image, cv::Rect(cols / 4, rows / 4, cols / 3, rows / 3), cv::Scalar(0, 30, 250),
                  cv::FILLED);
    return image;
}

std::vector<unsigned char> png(const cv::Mat& image, const std::vector<int>& params = {}) {
    std::vector<unsigned char> bytes;
    cv::imencode(".png", image, bytes, params);
    return bytes;
}
}  // namespace

TEST(PngPhoto, SeriesPixelsAreImreadsPixels) {
    TempDir dir;
    const cv::Mat colour = imageLike(61, 97);
    cv::Mat grey, withAlpha, deep;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(colour, withAlpha, cv::COLOR_BGR2BGRA);
    cv::randu(withAlpha, 0, 256);  // alpha of every value: dropped, never blended
    colour.convertTo(deep, CV_16UC3, 257.0);
    ASSERT_TRUE(writeFastPng(dir.file("own.png"), colour));
    const std::string ownText = readFile(dir.file("own.png"));
    const std::vector<unsigned char> own(ownText.begin(), ownText.end());
    const std::vector<unsigned char> plain = png(colour);
    std::vector<unsigned char> corrupted = plain;
    corrupted[corrupted.size() / 2] ^= 0x5A;  // a checksum that no longer holds
    std::vector<unsigned char> jpeg;
    cv::imencode(".jpg", colour, jpeg);
    const struct {
        const char* name;
        std::vector<unsigned char> bytes;
        bool direct;  // decoded without OpenCV's codecs
    } cases[] = {
        {"colour", plain, true},
        {"colour, strongest compression", png(colour, {cv::IMWRITE_PNG_COMPRESSION, 9}), true},
        {"the run's own encoder", own, true},
        {"grey", png(grey), true},
        {"colour with alpha", png(withAlpha), true},
        {"16 bits a sample", png(deep), false},
        {"corrupted", corrupted, false},
        {"truncated", std::vector<unsigned char>(plain.begin(), plain.begin() + plain.size() / 2),
         false},
        {"JPEG", jpeg, false},
        {"empty file", {}, false},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("image.png");
        writeBytes(path, c.bytes);
        cv::Mat direct;
        EXPECT_EQ(decodePngPhoto(path, &direct) == 0, c.direct) << c.name;
        const cv::Mat expected = cv::imread(path, cv::IMREAD_COLOR);
        EXPECT_EQ(differingBytes(loadSeriesImage(path), expected), 0) << c.name;
        EXPECT_EQ(differingBytes(readImageWithOpenCv(path), expected), 0) << c.name;
        if (c.direct) {
            EXPECT_EQ(differingBytes(direct, expected), 0) << c.name;
        }
    }
    cv::Mat none;
    EXPECT_EQ(decodePngPhoto(dir.file("absent.png"), &none), -1);
    EXPECT_TRUE(loadSeriesImage(dir.file("absent.png")).empty());
}

TEST(ImageCodecs, WritesWhatOpenCvReadsBack) {
    TempDir dir;
    const cv::Mat image = imageLike(20, 30);
    ASSERT_TRUE(writeImageWithOpenCv(dir.file("image.bmp"), image));
    EXPECT_EQ(differingBytes(cv::imread(dir.file("image.bmp"), cv::IMREAD_COLOR), image), 0);
    EXPECT_FALSE(writeImageWithOpenCv(dir.file("image.unknown-format"), image));
    EXPECT_FALSE(writeImageWithOpenCv(dir.file("absent/image.bmp"), image));
}
