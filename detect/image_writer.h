// Writes the run's images on threads of their own: encoding a PNG of a photo takes longer
// than searching it, and nothing in the run reads the images back.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <thread>
#include <vector>

class ImageWriter {
  public:
    ImageWriter();
    ~ImageWriter();  // waits for what is queued
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    // Queues a copy of image for path (waits while a few images are queued already).
    void write(const std::string& path, const cv::Mat& image);

    // Waits until everything queued is written; returns the paths that could not be.
    std::vector<std::string> finish();

  private:
    void run();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::string, cv::Mat>> queue_;
    std::vector<std::string> failed_;
    int busy_ = 0;  // images being written
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
