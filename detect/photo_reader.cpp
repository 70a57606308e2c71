#include "photo_reader.h"

#include <utility>

#include "run_state.h"

PhotoReader::PhotoReader(std::vector<std::string> names, std::vector<cv::Mat> decoded, bool ahead)
    : names_(std::move(names)), state_(names_.size(), State::kWaiting), photos_(names_.size()) {
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i].empty()) {
            state_[i] = State::kReady;  // nothing to decode: an empty photo
        } else if (i < decoded.size() && !decoded[i].empty()) {
            photos_[i] = std::move(decoded[i]);
            state_[i] = State::kReady;
            ++ready_;
        }
    }
    if (ahead) thread_ = std::thread([this] { run(); });
}

PhotoReader::~PhotoReader() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

cv::Mat PhotoReader::take(int i) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return state_[i] != State::kDecoding; });
    if (state_[i] == State::kWaiting) {
        // The reader is behind (or failed on it): decode here rather than wait for it.
        state_[i] = State::kTaken;
        lock.unlock();
        return loadSeriesImage(names_[i]);
    }
    cv::Mat photo = std::move(photos_[i]);
    if (!names_[i].empty() && state_[i] == State::kReady) --ready_;
    state_[i] = State::kTaken;
    changed_.notify_all();
    return photo;
}

void PhotoReader::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || ready_ == 0; });
        while (next_ < static_cast<int>(state_.size()) && state_[next_] != State::kWaiting) ++next_;
        if (stopping_ || next_ == static_cast<int>(state_.size())) return;
        const int i = next_++;
        state_[i] = State::kDecoding;
        ++ready_;
        lock.unlock();
        cv::Mat photo;
        try {
            photo = loadSeriesImage(names_[i]);
        } catch (...) {
            // Out of memory, say: take decodes it again and meets the failure there.
            lock.lock();
            state_[i] = State::kWaiting;
            --ready_;
            changed_.notify_all();
            return;
        }
        lock.lock();
        photos_[i] = std::move(photo);
        state_[i] = State::kReady;
        changed_.notify_all();
    }
}
