#include "run_state.h"

#include <iostream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

cv::Mat loadSeriesImage(const std::string& name) {
    try {
        return cv::imread(name, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        return cv::Mat();
    }
}

void reportUnwritten(RunState* state, const std::string& path) {
    std::cerr << "cannot write " << path << std::endl;
    state->unwritten.push_back(path);
}

void saveImage(RunState* state, const std::string& path, const cv::Mat& image) {
    bool ok = false;
    try {
        ok = cv::imwrite(path, image);
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok) reportUnwritten(state, path);
}

void toPackedBGRA(const cv::Mat& bgr, std::vector<unsigned char>* buffer) {
    cv::Mat bgra;
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
    buffer->resize(static_cast<std::size_t>(bgr.cols) * bgr.rows * 4);
    if (bgra.isContinuous()) {
        std::copy(bgra.data, bgra.data + buffer->size(), buffer->begin());
        return;
    }
    for (int y = 0; y < bgra.rows; ++y)
        std::copy(bgra.ptr(y), bgra.ptr(y) + bgra.cols * 4,
                  buffer->begin() + static_cast<std::ptrdiff_t>(y) * bgra.cols * 4);
}
