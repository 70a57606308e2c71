#include "image_writer.h"

#include "png_file.h"

namespace {
constexpr std::size_t kMaxQueued = 3;  // bounds the memory held by large photos
constexpr int kWriters = 2;
}  // namespace

ImageWriter::ImageWriter() {
    for (int i = 0; i < kWriters; ++i) threads_.emplace_back([this] { run(); });
}

ImageWriter::~ImageWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void ImageWriter::write(const std::string& path, const cv::Mat& image) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    queue_.emplace_back(path, image.clone());
    changed_.notify_all();
}

std::vector<std::string> ImageWriter::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
    std::vector<std::string> failed;
    failed.swap(failed_);
    return failed;
}

void ImageWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left
        auto [path, image] = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
        changed_.notify_all();
        lock.unlock();
        const bool ok = writePng(path, image);
        lock.lock();
        if (!ok) failed_.push_back(path);
        --busy_;
        changed_.notify_all();
    }
}
