#include "run_state.h"

#include <iostream>
#include <opencv2/imgproc.hpp>
#include <utility>

#include "image_codecs.h"
#include "jpeg_photo.h"
#include "png_photo.h"

cv::Mat loadSeriesImage(const std::string& name) {
    cv::Mat photo;
    if (decodeJpegPhoto(name, &photo) == 0 || decodePngPhoto(name, &photo) == 0) return photo;
    return readImageWithOpenCv(name);
}

void appendMarker(const ImageResult& from, std::size_t j, ImageResult* to) {
    to->ids.push_back(from.ids[j]);
    to->confidences.push_back(from.confidences[j]);
    if (j < from.reportedConfidences.size())
        to->reportedConfidences.push_back(from.reportedConfidences[j]);
    for (int p = 0; p < 4; ++p) to->points2d.push_back(from.points2d[4 * j + p]);
}

void reportUnusablePhoto(std::ostream& err, const std::string& name, int n, cv::Size size,
                         cv::Size series) {
    if (size.empty())
        err << "cannot read image " << name;
    else
        err << "image " << name << " is " << size.width << " x " << size.height << ", not "
            << series.width << " x " << series.height << " like the series";
    err << " (image " << n << " counts as unusable)" << std::endl;
}

void reportUnwritten(RunState* state, const std::string& path) {
    std::cerr << "cannot write " << path << std::endl;
    state->unwritten.push_back(path);
}

void saveImage(RunState* state, const std::string& path, const cv::Mat& image, ImageDrawing draw,
               std::string sameAs) {
    if (!state->writer) state->writer = std::make_shared<ImageWriter>();
    state->writer->write(path, image, std::move(draw), std::move(sameAs));
}

void finishImages(RunState* state) {
    if (!state->writer) return;
    for (const std::string& path : state->writer->finish()) reportUnwritten(state, path);
}

void toPackedBGRA(const cv::Mat& bgr, std::vector<unsigned char>* buffer) {
    buffer->resize(static_cast<std::size_t>(bgr.cols) * bgr.rows * 4);
    cv::Mat packed(bgr.rows, bgr.cols, CV_8UC4, buffer->data());  // rows without gaps
    cv::cvtColor(bgr, packed, bgr.channels() == 1 ? cv::COLOR_GRAY2BGRA : cv::COLOR_BGR2BGRA);
}
