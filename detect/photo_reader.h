// Decodes a series' photos ahead of the work on them, on a thread of its own: with one
// job the decoding of the next photo then overlaps the search of the current one.
#pragma once

#include <condition_variable>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <thread>
#include <vector>

class PhotoReader {
  public:
    // names[i]: the file of photo i, empty for one not to be read. decoded[i], when
    // there and not empty: photo i decoded already (the series' first photo, read for its
    // size). The reader holds at most one decoded photo that is not taken yet (a 12 MP
    // photo is 36 MB; one given counts), so the run holds at most one photo more than it
    // works on. ahead false: no thread, each photo is decoded by take.
    explicit PhotoReader(std::vector<std::string> names, std::vector<cv::Mat> decoded = {},
                         bool ahead = true);
    ~PhotoReader();  // stops the thread (photos not taken are dropped)
    PhotoReader(const PhotoReader&) = delete;
    PhotoReader& operator=(const PhotoReader&) = delete;

    // Photo i (loadSeriesImage: empty when it cannot be decoded or is not to be read),
    // decoded by the reader or, when the reader has not started on it, here. Each photo is
    // decoded once and taken once; any thread may call.
    cv::Mat take(int i);

  private:
    enum class State { kWaiting, kDecoding, kReady, kTaken };
    void run();
    std::vector<std::string> names_;
    std::vector<State> state_;
    std::vector<cv::Mat> photos_;
    int ready_ = 0;  // decoded (or being decoded by the reader) and not taken
    int next_ = 0;   // where the reader looks for the next photo to decode
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};
