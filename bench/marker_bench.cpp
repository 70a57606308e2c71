// Engine speed on a photo-like 1280 x 960 board image (63 tilted, blurred, noisy markers)
// with 150 patterns loaded.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>

#include "camera_param.h"
#include "detect_markers.h"
#include "forge_outputs.h"
#include "identify_marker.h"
#include "label_image.h"
#include "pattern_library.h"
#include "scene.h"

namespace {
constexpr int kThreshold = 100;
constexpr int kMinMarkersWhileTimed = 60;

struct BoardPhoto {
    int width = 0, height = 0;
    std::vector<unsigned char> packed;
    cv::Mat binary;  // the same dark pixels as an 8-bit mask, for OpenCV's labeling
};

const BoardPhoto& photo() {
    static BoardPhoto p = [] {
        const std::string dir =
            (std::filesystem::temp_directory_path() / "marker_bench_scene").string();
        SceneOptions o;
        o.outDir = dir;
        o.views = 1;
        o.seed = 7;
        std::string error;
        if (generateScene(o, &error) != 0) throw std::runtime_error(error);
        std::vector<MarkerPicture> pictures;
        double worst = 0;
        std::filesystem::create_directories(dir + "/data150");
        if (!writePatternSet(dir + "/data150", 150, o.seed, &pictures, &worst, &error))
            throw std::runtime_error(error);
        for (int i = 0; i < 150; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/data150/pat.%02d", i);
            if (loadPattern((dir + name).c_str()) != i)
                throw std::runtime_error("pattern load failed");
        }
        const cv::Mat bgr = cv::imread(dir + "/images/cam000.png", cv::IMREAD_COLOR);
        BoardPhoto out;
        out.width = bgr.cols;
        out.height = bgr.rows;
        cv::Mat bgra;
        cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
        out.packed.assign(bgra.data, bgra.data + bgra.total() * 4);
        out.binary = cv::Mat(bgr.rows, bgr.cols, CV_8U, cv::Scalar(0));
        for (int y = 1; y < bgr.rows - 1; ++y)
            for (int x = 1; x < bgr.cols - 1; ++x) {
                const cv::Vec3b v = bgr.at<cv::Vec3b>(y, x);
                if (v[0] + v[1] + v[2] <= 3 * kThreshold) out.binary.at<uchar>(y, x) = 255;
            }
        CameraParam cp{};
        cp.width = out.width;
        cp.height = out.height;
        cp.distortion[0] = out.width;
        cp.distortion[1] = out.height;
        cp.distortion[3] = 1.0;
        setCameraParams(cp);
        return out;
    }();
    return p;
}

void BM_LabelImage(benchmark::State& state) {
    const BoardPhoto& p = photo();
    LabelResult labels;
    for (auto _ : state) {
        if (labelImage(p.packed.data(), p.width, p.height, kThreshold, &labels) != 0)
            throw std::runtime_error("labeling failed");
        benchmark::DoNotOptimize(labels.regionCount);
    }
    state.counters["regions"] = labels.regionCount;
}
BENCHMARK(BM_LabelImage)->Unit(benchmark::kMillisecond);

void BM_OpenCvConnectedComponents(benchmark::State& state) {
    const BoardPhoto& p = photo();
    cv::Mat labels, stats, centroids;
    int n = 0;
    for (auto _ : state) {
        n = cv::connectedComponentsWithStats(p.binary, labels, stats, centroids, 8, CV_32S);
        benchmark::DoNotOptimize(n);
    }
    state.counters["regions"] = n - 1;
}
BENCHMARK(BM_OpenCvConnectedComponents)->Unit(benchmark::kMillisecond);

void BM_DetectMarkers(benchmark::State& state) {
    const BoardPhoto& p = photo();
    int identified = 0;
    for (auto _ : state) {
        MarkerInfo* markers = nullptr;
        int count = 0;
        if (detectMarkers(p.packed.data(), kThreshold, &markers, &count) != 0)
            throw std::runtime_error("detection failed");
        identified = 0;
        for (int i = 0; i < count; ++i) identified += markers[i].id >= 0;
        if (identified < kMinMarkersWhileTimed)
            throw std::runtime_error("markers lost while timed");
    }
    state.counters["identified"] = identified;
}
BENCHMARK(BM_DetectMarkers)->Unit(benchmark::kMillisecond);

void BM_MatchPattern(benchmark::State& state) {
    photo();
    std::uint8_t sample[kPatternValues];
    for (int k = 0; k < kPatternValues; ++k) sample[k] = static_cast<std::uint8_t>((k * 37) % 256);
    PatternMatch match{};
    for (auto _ : state) {
        matchPattern(sample, patternLibrary(), &match);
        benchmark::DoNotOptimize(match);
    }
}
BENCHMARK(BM_MatchPattern)->Unit(benchmark::kMicrosecond);

// Median wall time of f over repetitions, in milliseconds.
template <typename F>
double medianMs(F f) {
    std::vector<double> t;
    for (int i = 0; i < 31; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        t.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const BoardPhoto& p = photo();
    LabelResult labels;
    cv::Mat l, s, c;
    const double ours =
        medianMs([&] { labelImage(p.packed.data(), p.width, p.height, kThreshold, &labels); });
    const double theirs =
        medianMs([&] { cv::connectedComponentsWithStats(p.binary, l, s, c, 8, CV_32S); });
    std::printf(
        "labelImage / cv::connectedComponentsWithStats time ratio: %.2f (%.3f ms vs %.3f ms)\n",
        ours / theirs, ours, theirs);
    benchmark::Shutdown();
    return 0;
}
