// The photos decoded ahead of the work on them, and the images drawn and written on the
// writer threads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "image_writer.h"
#include "ordered_jobs.h"
#include "photo_reader.h"
#include "png_file.h"
#include "test_support.h"

namespace {
// Writes photos 0 .. count - 1 (each its own noise) as dir/pNNN.png; returns their names.
std::vector<std::string> writePhotos(const TempDir& dir, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        cv::Mat photo(24 + i, 32, CV_8UC3);
        cv::randu(photo, 0, 256);
        names.push_back(dir.file("p" + std::to_string(100 + i) + ".png"));
        cv::imwrite(names.back(), photo);
    }
    return names;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() &&
           (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0);
}
}  // namespace

TEST(PhotoReader, EveryPhotoDecodedOnceWhateverTakesIt) {
    TempDir dir;
    std::vector<std::string> names = writePhotos(dir, 7);
    names[2] = dir.file("missing.png");  // cannot be read: an empty photo, as imread gives
    names[4].clear();                    // not to be read
    const cv::Mat given(5, 5, CV_8UC3, cv::Scalar(1, 2, 3));
    for (int jobs : {1, 3}) {
        for (bool ahead : {true, false}) {
            SCOPED_TRACE(std::to_string(jobs) + " jobs, ahead " + std::to_string(ahead));
            PhotoReader reader(names, {given}, ahead);
            int compared = 0;
            runInOrder(
                static_cast<int>(names.size()), jobs,
                [&](int, int i) {
                    const cv::Mat photo = reader.take(i);
                    const cv::Mat expected = i == 0             ? given
                                             : names[i].empty() ? cv::Mat()
                                                                : cv::imread(names[i]);
                    EXPECT_TRUE(samePixels(photo, expected)) << "photo " << i;
                    EXPECT_TRUE(reader.take(i).empty()) << "photo " << i << " taken twice";
                },
                [&](int) { ++compared; });
            EXPECT_EQ(compared, 7);
        }
    }
}

TEST(PhotoReader, ReadsOnePhotoAheadAtMost) {
    TempDir dir;
    const std::vector<std::string> names = writePhotos(dir, 5);
    PhotoReader reader(names);
    // Time enough to read everything; a reader that keeps to its bound reads photo 0 only
    // (or nothing yet, when the machine is slow: then take reads it).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (std::size_t i = 1; i < names.size(); ++i) std::filesystem::remove(names[i]);
    EXPECT_EQ(reader.take(0).rows, 24);
    for (int i = 1; i < 5; ++i) EXPECT_TRUE(reader.take(i).empty()) << "photo " << i;
}

TEST(PhotoReader, StopsWithPhotosNotTaken) {
    TempDir dir;
    PhotoReader reader(writePhotos(dir, 4));
    EXPECT_FALSE(reader.take(0).empty());
}  // the destructor returns although photos 1 .. 3 are not taken

TEST(ImageWriter, DrawsBeforeEncodingAndReportsWhatFails) {
    TempDir dir;
    cv::Mat base(20, 30, CV_8UC3, cv::Scalar(9, 9, 9));
    std::vector<std::string> failed;
    {
        ImageWriter writer(1);
        writer.write(dir.file("drawn.png"), base,
                     [](cv::Mat* image) { (*image)(cv::Rect(2, 3, 4, 5)).setTo(200); });
        writer.write(dir.file("failed.png"), base,
                     [](cv::Mat*) { throw std::runtime_error("cannot draw"); });
        writer.write(dir.file("no/such/folder/x.png"), base);
        failed = writer.finish();
    }
    EXPECT_EQ(failed,
              (std::vector<std::string>{dir.file("failed.png"), dir.file("no/such/folder/x.png")}));
    cv::Mat expected(20, 30, CV_8UC3, cv::Scalar(9, 9, 9));
    expected(cv::Rect(2, 3, 4, 5)).setTo(200);
    EXPECT_TRUE(samePixels(cv::imread(dir.file("drawn.png")), expected));
    EXPECT_FALSE(std::filesystem::exists(dir.file("failed.png")));
}

TEST(ImageWriter, ImagesOfTheSameKeyAreEncodedOnce) {
    TempDir dir;
    cv::Mat base(40, 50, CV_8UC3);
    cv::randu(base, 0, 256);
    int draws = 0;  // one writer thread: counted without a lock
    auto drawRectangle = [&draws](cv::Rect r) {
        return [&draws, r](cv::Mat* image) {
            ++draws;
            *image = image->clone();
            cv::rectangle(*image, r, cv::Scalar(0, 0, 200), 3, cv::LINE_4);
        };
    };
    const cv::Rect first(3, 4, 20, 10), second(10, 12, 30, 20);
    std::vector<std::string> failed;
    {
        ImageWriter writer(1);
        writer.write(dir.file("a.png"), base, drawRectangle(first), "first");
        writer.write(dir.file("b.png"), base, drawRectangle(first), "first");
        writer.write(dir.file("c.png"), base, drawRectangle(second), "second");
        writer.write(dir.file("no/such/folder/d.png"), base, drawRectangle(second), "second");
        writer.write(dir.file("e.png"), base, drawRectangle(first), "first");
        failed = writer.finish();
    }
    EXPECT_EQ(draws, 3);  // a, c and e; b and d reuse the image before them
    EXPECT_EQ(failed, std::vector<std::string>{dir.file("no/such/folder/d.png")});
    cv::Mat expected = base.clone();
    cv::rectangle(expected, first, cv::Scalar(0, 0, 200), 3, cv::LINE_4);
    ASSERT_TRUE(writeFastPng(dir.file("expected.png"), expected));
    const std::string bytes = fileBytes(dir.file("expected.png"));
    for (const char* name : {"a.png", "b.png", "e.png"})
        EXPECT_EQ(fileBytes(dir.file(name)), bytes) << name;
    cv::rectangle(expected = base.clone(), second, cv::Scalar(0, 0, 200), 3, cv::LINE_4);
    EXPECT_TRUE(samePixels(cv::imread(dir.file("c.png")), expected));
}
