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
    state->writer->write(path, image);
}

void finishImages(RunState* state) {
    for (const std::string& path : state->writer->finish()) reportUnwritten(state, path);
}

void toPackedBGRA(const cv::Mat& bgr, std::vector<unsigned char>* buffer) {
    buffer->resize(static_cast<std::size_t>(bgr.cols) * bgr.rows * 4);
    cv::Mat packed(bgr.rows, bgr.cols, CV_8UC4, buffer->data());  // rows without gaps
    cv::cvtColor(bgr, packed, cv::COLOR_BGR2BGRA);
}
