#include "image_writer.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace {
constexpr std::size_t kMaxQueued = 3;  // bounds the memory held by large photos
}  // namespace

ImageWriter::ImageWriter(int threads) {
    for (int i = 0; i < std::max(1, threads); ++i) threads_.emplace_back([this] { run(); });
}

ImageWriter::~ImageWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void ImageWriter::write(const std::string& path, const cv::Mat& image, ImageDrawing draw,
                        std::string sameAs) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    queue_.push_back(Job{path, image, std::move(draw), std::move(sameAs)});
    changed_.notify_all();
}

std::vector<std::string> ImageWriter::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
    std::vector<std::string> failed;
    failed.swap(failed_);
    return failed;
}

bool ImageWriter::writeOnce(Job* job) {
    try {
        if (job->draw) job->draw(&job->image);
    } catch (const std::exception&) {
        return false;  // reported like an image that could not be written
    }
    return writePng(job->path, job->image);
}

bool ImageWriter::writeAgain(Job* job) {
    std::shared_ptr<const PngBytes> png;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (encodedKey_ == job->sameAs) png = encoded_;
    }
    if (!png) {
        try {
            if (job->draw) job->draw(&job->image);
        } catch (const std::exception&) {
            return false;
        }
        if (!takesPath(job->path, job->image)) return writePng(job->path, job->image);
        png = std::make_shared<const PngBytes>(fastPngBytes(job->image));
        std::lock_guard<std::mutex> lock(mutex_);
        encodedKey_ = job->sameAs;
        encoded_ = png;
    }
    return writePngBytes(job->path, *png);
}

void ImageWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left
        Job job = std::move(queue_.front());
        queue_.pop_front();
        ++busy_;
        changed_.notify_all();
        lock.unlock();
        const bool ok = job.sameAs.empty() ? writeOnce(&job) : writeAgain(&job);
        job.image.release();  // the pixels go before the next image is waited for
        job.draw = nullptr;
        lock.lock();
        if (!ok) failed_.push_back(job.path);
        --busy_;
        changed_.notify_all();
    }
}
