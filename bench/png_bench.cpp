// The run's PNG encoder against OpenCV's on a 1280 x 960 photo-like image: the bytes written
// and the time, the pixels checked once before timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "png_file.h"

namespace {
// A lit board on a gradient, with a few dark squares and sensor noise.
cv::Mat photoLike() {
    cv::Mat image(960, 1280, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(60 + x / 16, 70 + y / 16, 80 + (x + y) / 32);
    cv::rectangle(image, cv::Rect(200, 150, 880, 660), cv::Scalar(230, 230, 230), cv::FILLED);
    for (int k = 0; k < 40; ++k)
        cv::rectangle(image, cv::Rect(240 + (k % 8) * 105, 190 + (k / 8) * 120, 70, 70),
                      cv::Scalar(20, 20, 20), cv::FILLED);
    cv::Mat noise(image.size(), image.type());
    cv::randn(noise, 0, 2);
    return image + noise;
}

std::string tempPng() {
    return "/tmp/png_bench_" + std::to_string(getpid()) + ".png";
}

long fileSize(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return -1;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fclose(f);
    return size;
}

template <bool Own>
void BM_WritePng(benchmark::State& state) {
    const cv::Mat image = photoLike();
    const std::string path = tempPng();
    const auto write = [&] { return Own ? writeFastPng(path, image) : cv::imwrite(path, image); };
    if (!write() || cv::norm(cv::imread(path, cv::IMREAD_UNCHANGED), image, cv::NORM_INF) != 0) {
        state.SkipWithError("the file does not hold the image's pixels");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(write());
    state.counters["bytes"] = static_cast<double>(fileSize(path));
    std::remove(path.c_str());
}
}  // namespace

BENCHMARK_TEMPLATE(BM_WritePng, true)->Name("ownEncoder")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WritePng, false)->Name("openCvImwrite")->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
