// A whole tagharvest --subpixel run per photo (decode, sweep, adaptive pass, refinement,
// all outputs; a series of kPhotos, its set-up shared) against one OpenCV ArUco detection
// with sub-pixel corner refinement on the same scene: generated JPEG photos of the board
// at 1.2, 3 and 12 MP, and their twins with ArUco markers pasted onto the same places
// (timed with and without decoding the photo). Prints the ratios at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene.h"
#include "tagharvest_run.h"

namespace fs = std::filesystem;

namespace {
struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{1280, 960}, {2048, 1536}, {4000, 3000}};
constexpr int kPhotos = 3;

std::string sceneDir(int width, int height) {
    return (fs::temp_directory_path() /
            ("photo_bench_" + std::to_string(width) + "x" + std::to_string(height)))
        .string();
}

// The generated scene (made once per size) and its ArUco twin.
const std::string& scene(int width, int height) {
    static std::map<int, std::string> made;
    auto found = made.find(width);
    if (found != made.end()) return found->second;
    SceneOptions o;
    o.outDir = sceneDir(width, height);
    o.views = kPhotos;
    o.seed = 31;
    o.cameraWidth = width;
    o.cameraHeight = height;
    o.jpegQuality = 90;
    o.supersampling = width > 2048 ? 2 : 4;
    std::string error;
    if (!fs::exists(o.outDir + "/images/cam000.jpg") && generateScene(o, &error) != 0)
        throw std::runtime_error(error);

    // ArUco markers of the same size at the same places, blurred and noisy alike.
    cv::Mat photo = cv::imread(o.outDir + "/images/cam000.jpg");
    cv::FileStorage truth(o.outDir + "/truth.yaml", cv::FileStorage::READ);
    cv::Mat corners;
    truth["view"][0]["corners"] >> corners;
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_5X5_100);
    cv::Mat pasted = photo.clone();
    for (int id = 0; id < corners.rows; ++id) {
        cv::Mat marker, colour;
        cv::aruco::drawMarker(dictionary, id, 280, marker, 1);
        cv::cvtColor(marker, colour, cv::COLOR_GRAY2BGR);
        // Corner order of the truth: bottom right, bottom left, top left, top right.
        const std::vector<cv::Point2f> from = {{280, 280}, {0, 280}, {0, 0}, {280, 0}};
        std::vector<cv::Point2f> to;
        for (int p = 0; p < 4; ++p)
            to.emplace_back(static_cast<float>(corners.at<double>(id, 1 + 2 * p) + 0.5),
                            static_cast<float>(corners.at<double>(id, 2 + 2 * p) + 0.5));
        const cv::Mat h = cv::getPerspectiveTransform(from, to);
        cv::Mat warped, mask;
        cv::warpPerspective(colour, warped, h, photo.size(), cv::INTER_AREA);
        cv::warpPerspective(cv::Mat(280, 280, CV_8U, cv::Scalar(255)), mask, h, photo.size());
        warped.copyTo(pasted, mask);
    }
    cv::GaussianBlur(pasted, pasted, cv::Size(0, 0), 0.6);
    cv::Mat noise(pasted.size(), CV_16SC3);
    cv::randn(noise, 0, 2);
    pasted.convertTo(pasted, CV_16SC3);
    pasted += noise;
    pasted.convertTo(pasted, CV_8UC3);
    cv::imwrite(o.outDir + "/images/aruco000.jpg", pasted, {cv::IMWRITE_JPEG_QUALITY, 90});
    return made[width] = o.outDir;
}

// Runs tagharvest in dir with its console silenced.
int runQuietly(const std::string& dir, std::vector<std::string> args) {
    const fs::path before = fs::current_path();
    fs::current_path(dir);
    std::fflush(stdout);
    const int saved = dup(1), savedErr = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int status = runTagharvest(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    dup2(saved, 1);
    dup2(savedErr, 2);
    close(null);
    close(saved);
    close(savedErr);
    fs::current_path(before);
    return status;
}

void tagharvestSubpixel(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const std::string dir = scene(s.width, s.height);
    int found = 0;
    for (auto _ : state) {
        const int status = runQuietly(dir, {"tagharvest",
                                            "--subpixel",
                                            "projection.png",
                                            "images/cam%03d.jpg",
                                            "0",
                                            std::to_string(kPhotos),
                                            "50",
                                            "80",
                                            "1",
                                            "10",
                                            "5",
                                            "63",
                                            "30",
                                            "10",
                                            "10",
                                            "0",
                                            "0",
                                            "0",
                                            "10",
                                            "points",
                                            "test/marked%03d.png"});
        if (status != 0) state.SkipWithError("tagharvest failed");
        std::FILE* f = std::fopen((dir + "/points/cam2D000.txt").c_str(), "r");
        found = 0;
        for (int c; f && (c = std::fgetc(f)) != EOF;) found += c == '\n';
        if (f) std::fclose(f);
    }
    state.counters["markers"] = found / 4;
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height) + ", " +
                   std::to_string(kPhotos) + " photos");
}

void aruco(benchmark::State& state, bool decode) {
    const Size s = kSizes[state.range(0)];
    const std::string path = scene(s.width, s.height) + "/images/aruco000.jpg";
    cv::Mat photo = cv::imread(path);
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_5X5_100);
    const cv::Ptr<cv::aruco::DetectorParameters> parameters =
        cv::aruco::DetectorParameters::create();
    parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    for (auto _ : state) {
        if (decode) photo = cv::imread(path);
        cv::aruco::detectMarkers(photo, dictionary, corners, ids, parameters);
        benchmark::DoNotOptimize(corners.data());
    }
    state.counters["markers"] = static_cast<double>(ids.size());
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height));
}

void arucoSubpixel(benchmark::State& state) {
    aruco(state, false);
}
void arucoDecodeAndSubpixel(benchmark::State& state) {
    aruco(state, true);
}

// Keeps the times of both benchmarks to print their ratio per size at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                seconds_[run.run_name.function_name + "/" + run.run_name.args] =
                    run.GetAdjustedRealTime() * 1e-3;  // ms units
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (int i = 0; i < 3; ++i) {
            const std::string arg = "/" + std::to_string(i);
            const auto t = seconds_.find("tagharvestSubpixel" + arg);
            const auto a = seconds_.find("arucoSubpixel" + arg);
            const auto d = seconds_.find("arucoDecodeAndSubpixel" + arg);
            if (t == seconds_.end() || a == seconds_.end() || d == seconds_.end()) continue;
            const double perPhoto = t->second / kPhotos;
            std::printf(
                "%dx%d: tagharvest --subpixel %.3f s per photo; ArUco %.3f s (%.1f x), "
                "with decoding %.3f s (%.1f x)\n",
                kSizes[i].width, kSizes[i].height, perPhoto, a->second, perPhoto / a->second,
                d->second, perPhoto / d->second);
        }
    }

  private:
    std::map<std::string, double> seconds_;
};
}  // namespace

BENCHMARK(tagharvestSubpixel)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(arucoSubpixel)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

BENCHMARK(arucoDecodeAndSubpixel)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
