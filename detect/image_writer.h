// Writes the run's images on threads of their own: encoding a PNG of a photo takes longer
// than searching it, and nothing in the run reads the images back. What is drawn onto an
// image (the id labels of a marked image) is drawn there too, off the photos' path.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <thread>
#include <vector>

#include "png_file.h"

// Draws onto an image just before it is encoded, on a writer thread.
using ImageDrawing = std::function<void(cv::Mat* image)>;

class ImageWriter {
  public:
    explicit ImageWriter(int threads = 2);
    ~ImageWriter();  // waits for what is queued
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    // Queues image for path (waits while a few images are queued already). The writer
    // takes the pixels over without copying them: whoever queues an image writes no more
    // into it. draw, when given, draws onto it on the writer thread before it is encoded.
    // Images queued with the same non-empty sameAs have the same pixels once drawn (the
    // run's detection images of photos with the same markers): the last one encoded is
    // written again, byte for byte, instead of drawing and encoding it anew.
    void write(const std::string& path, const cv::Mat& image, ImageDrawing draw = {},
               std::string sameAs = {});

    // Waits until everything queued is written; returns the paths that could not be.
    std::vector<std::string> finish();

  private:
    struct Job {
        std::string path;
        cv::Mat image;
        ImageDrawing draw;
        std::string sameAs;
    };
    void run();
    bool writeOnce(Job* job);
    bool writeAgain(Job* job);
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::vector<std::string> failed_;
    int busy_ = 0;  // images being written
    bool stopping_ = false;
    std::string encodedKey_;  // sameAs of the image in encoded_
    std::shared_ptr<const PngBytes> encoded_;
    std::vector<std::thread> threads_;
};
