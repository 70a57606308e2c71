// A whole tagharvest --subpixel run per photo (decode, sweep, adaptive pass, refinement,
// all outputs; a series of kPhotos, its set-up shared), with one job and with every core,
// against one OpenCV ArUco detection with sub-pixel corner refinement on the same scene:
// generated JPEG photos of the board at 1.2, 3 and 12 MP, and their twins with ArUco
// markers pasted onto the same places (timed with and without decoding the photo, with
// OpenCV's default threads and, with decoding, in one thread as well). At
// 1.2 MP also the default mode (one job) and a single detection without files (the
// engine at one threshold and the refinement: what a live preview would run). Every
// benchmark runs three times, all in random order; prints the ratios of the medians at the
// end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <opencv2/aruco.hpp>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "camera_param_file.h"
#include "correspondence_folder.h"
#include "detect_image.h"
#include "engine_context.h"
#include "harvest_command.h"
#include "ordered_jobs.h"
#include "pattern_file.h"
#include "run_state.h"
#include "scene.h"
#include "subpixel_corners.h"
#include "tagharvest_run.h"

namespace fs = std::filesystem;

namespace {
struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{1280, 960}, {2048, 1536}, {4000, 3000}};
constexpr int kPhotos = 8;

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
    if (!fs::exists(o.outDir + "/images/cam00" + std::to_string(kPhotos - 1) + ".jpg") &&
        generateScene(o, &error) != 0)
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

// CPU seconds of every thread of the process so far (the image writers and the jobs too):
// on a loaded machine the wall time grows with the load, this hardly.
double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// Per photo, as a counter: the process CPU time of the timed loop over its photos.
void countCpuPerPhoto(benchmark::State& state, double startCpu, int photos) {
    const double runs = static_cast<double>(state.iterations()) * photos;
    if (runs > 0) state.counters["cpu_ms"] = (processCpuSeconds() - startCpu) * 1e3 / runs;
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

// A series of kPhotos; options before the 19 arguments.
void tagharvestSeries(benchmark::State& state, int size, const std::vector<std::string>& options) {
    const Size s = kSizes[size];
    const std::string dir = scene(s.width, s.height);
    std::vector<std::string> args = {"tagharvest"};
    args.insert(args.end(), options.begin(), options.end());
    HarvestCommand command;
    command.projection = "projection.png";
    command.cameraImages = "images/cam%03d.jpg";
    command.count = kPhotos;
    const std::vector<std::string> positional = harvestCommandLine(command);
    args.insert(args.end(), positional.begin(), positional.end());
    int found = 0;
    const double startCpu = processCpuSeconds();
    for (auto _ : state) {
        if (runQuietly(dir, args) != 0) state.SkipWithError("tagharvest failed");
        std::FILE* f =
            std::fopen(pointFile(dir + "/points", PointFile::kCameraImage, 0).c_str(), "r");
        found = 0;
        for (int c; f && (c = std::fgetc(f)) != EOF;) found += c == '\n';
        if (f) std::fclose(f);
    }
    countCpuPerPhoto(state, startCpu, kPhotos);
    state.counters["markers"] = found / 4;
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height) + ", " +
                   std::to_string(kPhotos) + " photos");
}

// Arguments: size, jobs.
void tagharvestSubpixel(benchmark::State& state) {
    tagharvestSeries(state, static_cast<int>(state.range(0)),
                     {"--subpixel", "--jobs", std::to_string(state.range(1))});
}

void tagharvestDefaultMode(benchmark::State& state) {
    tagharvestSeries(state, static_cast<int>(state.range(0)), {"--jobs", "1"});
}

// One detection of a decoded 1.2 MP photo (each time the next of the series): the engine at one
// threshold, the corner order and the sub-pixel refinement of every marker; no board check, no
// files.
void singleDetection(benchmark::State& state) {
    const Size s = kSizes[state.range(0)];
    const std::string dir = scene(s.width, s.height);
    // A photo after another, as a preview would see them (the engine remembers what it
    // identified on the last image only).
    std::vector<cv::Mat> photos;
    for (int i = 0; i < kPhotos; ++i)
        photos.push_back(cv::imread(dir + "/images/cam00" + std::to_string(i) + ".jpg"));
    const cv::Mat& photo = photos[0];
    RunState run;
    run.cameraRecord = identityCameraParams(photo.cols, photo.rows);
    for (int i = 0; i < kBoardMarkers; ++i)
        if (loadPatternInto(&run.engine->patterns, patternFileName(dir + "/data", i).c_str()) != i)
            state.SkipWithError("cannot load the pattern files");
    DetectionSlot slot;
    int refined = 0;
    const double startCpu = processCpuSeconds();
    int next = 0;
    for (auto _ : state) {
        const cv::Mat& shown = photos[next];
        next = (next + 1) % kPhotos;
        detectImage(&run, shown, &slot, 80, 0.5, "the benchmark photo");
        orderCorners(&slot);
        cv::Mat grey;
        cv::cvtColor(shown, grey, cv::COLOR_BGR2GRAY);
        refined = 0;
        for (int j = 0; j < slot.confidentCount; ++j) {
            cv::Point2d in[4], out[4];
            for (int p = 0; p < 4; ++p)
                in[p] = cv::Point2d(slot.entries[j].vertex[p][0], slot.entries[j].vertex[p][1]);
            refined += refineMarkerCornersChecked(grey, in, out) == Refinement::kRefined;
        }
    }
    countCpuPerPhoto(state, startCpu, 1);
    state.counters["markers"] = refined;
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height));
}

// Arguments: size, OpenCV threads (0: OpenCV's default, every core).
void aruco(benchmark::State& state, bool decode) {
    const Size s = kSizes[state.range(0)];
    const int threads = static_cast<int>(state.range(1));
    const std::string path = scene(s.width, s.height) + "/images/aruco000.jpg";
    cv::Mat photo = cv::imread(path);
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_5X5_100);
    const cv::Ptr<cv::aruco::DetectorParameters> parameters =
        cv::aruco::DetectorParameters::create();
    parameters->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    const int before = cv::getNumThreads();
    if (threads > 0) cv::setNumThreads(threads);
    const double startCpu = processCpuSeconds();
    for (auto _ : state) {
        if (decode) photo = cv::imread(path);
        cv::aruco::detectMarkers(photo, dictionary, corners, ids, parameters);
        benchmark::DoNotOptimize(corners.data());
    }
    countCpuPerPhoto(state, startCpu, 1);
    cv::setNumThreads(before);
    state.counters["markers"] = static_cast<double>(ids.size());
    state.SetLabel(std::to_string(s.width) + "x" + std::to_string(s.height) +
                   (threads == 1 ? ", one thread" : ", every core"));
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
            if (run.run_type == Run::RT_Iteration) {
                const std::string name = run.run_name.function_name + "/" + run.run_name.args;
                seconds_[name].push_back(run.GetAdjustedRealTime() * 1e-3);  // ms units
                const auto cpu = run.counters.find("cpu_ms");
                if (cpu != run.counters.end())
                    cpuSeconds_[name].push_back(cpu->second.value * 1e-3);
            }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("Medians of the repetitions:\n");
        const std::string all = "/" + std::to_string(machineCores());
        for (int i = 0; i < 3; ++i) {
            const std::string arg = "/" + std::to_string(i);
            const double one = find("tagharvestSubpixel" + arg + "/1") / kPhotos;
            const double every = find("tagharvestSubpixel" + arg + all) / kPhotos;
            const double a = find("arucoSubpixel" + arg + "/0");
            const double d = find("arucoDecodeAndSubpixel" + arg + "/0");
            const double d1 = find("arucoDecodeAndSubpixel" + arg + "/1");
            if (!(one > 0 && every > 0 && a > 0 && d > 0 && d1 > 0)) continue;
            std::printf(
                "%dx%d, per photo: ArUco %.3f s, with decoding %.3f s (one thread %.3f s); "
                "tagharvest --subpixel one job %.3f s (%.2f x ArUco with decoding, %.2f x its "
                "one thread), %d jobs %.3f s (%.2f x ArUco with decoding in one thread)\n",
                kSizes[i].width, kSizes[i].height, a, d, d1, one, one / d, one / d1, machineCores(),
                every, every / d1);
            const double cpuOne = find("tagharvestSubpixel" + arg + "/1", cpuSeconds_);
            const double cpuA = find("arucoDecodeAndSubpixel" + arg + "/0", cpuSeconds_);
            if (cpuOne > 0 && cpuA > 0)
                std::printf(
                    "  CPU of all threads per photo: ArUco with decoding %.3f s, tagharvest "
                    "--subpixel %.3f s (%.2f x)\n",
                    cpuA, cpuOne, cpuOne / cpuA);
        }
        const double defaultMode = find("tagharvestDefaultMode/0") / kPhotos;
        if (defaultMode > 0)
            std::printf(
                "1280x960: tagharvest (default mode, one job) %.3f s per photo (CPU %.3f s)\n",
                defaultMode, find("tagharvestDefaultMode/0", cpuSeconds_));
        const double single = find("singleDetection/0");
        if (single > 0)
            std::printf(
                "1280x960: one detection (engine + refinement, no files) %.1f ms (CPU %.1f ms)\n",
                single * 1e3, find("singleDetection/0", cpuSeconds_) * 1e3);
    }

  private:
    using Times = std::map<std::string, std::vector<double>>;
    double find(const std::string& name) const { return find(name, seconds_); }
    // The median of the repetitions (run in random order, so that a slow spell of the
    // machine falls on every benchmark alike rather than on the ones it happened to meet).
    static double find(const std::string& name, const Times& from) {
        const auto t = from.find(name);
        if (t == from.end() || t->second.empty()) return 0.0;
        std::vector<double> v = t->second;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    }
    Times seconds_;
    Times cpuSeconds_;  // per photo, every thread of the process
};
}  // namespace

void oneAndEveryJob(benchmark::internal::Benchmark* b) {
    for (int size = 0; size < 3; ++size) {
        b->Args({size, 1});
        if (machineCores() > 1) b->Args({size, machineCores()});
    }
}

BENCHMARK(tagharvestSubpixel)
    ->Apply(oneAndEveryJob)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(tagharvestDefaultMode)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);
BENCHMARK(singleDetection)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
// ArUco as OpenCV runs it (its default threads) and in one thread, the peer of one job.
void defaultAndOneThread(benchmark::internal::Benchmark* b) {
    for (int size = 0; size < 3; ++size) {
        b->Args({size, 0});
        b->Args({size, 1});
    }
}

BENCHMARK(arucoSubpixel)
    ->ArgsProduct({{0, 1, 2}, {0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

BENCHMARK(arucoDecodeAndSubpixel)
    ->Apply(defaultAndOneThread)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

int main(int argc, char** argv) {
    // Three repetitions of every benchmark in random order unless the command line says
    // otherwise; the ratios are those of the medians.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    std::string interleaving = "--benchmark_enable_random_interleaving=true";
    bool given = false;
    for (int i = 1; i < argc; ++i)
        given = given || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!given) {
        args.insert(args.begin() + 1, {repetitions.data(), interleaving.data()});
        argc = static_cast<int>(args.size());
    }
    args.push_back(nullptr);
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
