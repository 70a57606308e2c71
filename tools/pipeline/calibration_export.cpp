#include "calibration_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "svg_plot.h"

namespace {
constexpr int kChartWidth = 900, kChartHeight = 420;
constexpr int kMarginLeft = 70, kMarginRight = 20, kMarginTop = 50, kMarginBottom = 60;

// FileStorage does not report a write that failed half-way: the YAML is made in memory and
// written with a checked stream.
cv::FileStorage yamlInMemory() {
    return cv::FileStorage(".yaml", cv::FileStorage::WRITE | cv::FileStorage::MEMORY);
}

bool saveWhole(const std::string& path, cv::FileStorage* fs) {
    const std::string text = fs->releaseAndGetString();
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    return !out.fail();
}
}  // namespace

bool writeDeviceYaml(const std::string& path, const DeviceResult& d) {
    try {
        cv::FileStorage fs = yamlInMemory();
        if (!fs.isOpened()) return false;
        fs << "image_width" << d.size.width << "image_height" << d.size.height;
        fs << "camera_matrix" << d.cameraMatrix << "distortion_coefficients" << d.distortion;
        fs << "avg_reprojection_error" << d.rms;
        fs << "per_view_reprojection_errors" << cv::Mat(d.perViewRms, true);
        fs << "image_numbers" << cv::Mat(d.imageNumbers, true);
        fs << "lens_model" << d.model << "lens_model_reason" << d.modelReason;
        for (const auto& [model, error] : d.heldOutRms) fs << "held_out_error_" + model << error;
        if (d.dataRadius > 0) {
            fs << "data_radius_normalised" << d.dataRadius;
            fs << "valid_radius_normalised" << d.validRadius << "valid_over_whole_image"
               << static_cast<int>(d.wholeImage);
            if (!d.wholeImage) fs << "valid_radius_limit" << d.validityLimit;
        }
        fs << "checks" << d.checks;
        if (!d.stdDeviations.empty()) fs << "std_deviations" << d.stdDeviations;
        fs << "opengl_projection" << cv::Mat(d.glProjection);
        return saveWhole(path, &fs);
    } catch (const cv::Exception&) {
        return false;
    }
}

bool writeStereoYaml(const std::string& path, const StereoResult& s) {
    try {
        cv::FileStorage fs = yamlInMemory();
        if (!fs.isOpened()) return false;
        fs << "R" << s.r << "T" << s.t << "E" << s.e << "F" << s.f << "rms" << s.rms;
        fs << "camera_model" << s.cameraModel << "checks" << s.checks;
        if (!s.tSigma.empty())
            fs << "T_std_deviation" << s.tSigma << "baseline_std_deviation" << s.baselineSigma
               << "rotation_std_deviation_deg" << s.rotationSigmaDeg;
        return saveWhole(path, &fs);
    } catch (const cv::Exception&) {
        return false;
    }
}

double outlierLimit(const std::vector<double>& perViewRms) {
    std::vector<double> v = perViewRms;
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return std::max(3 * v[v.size() / 2], 0.05);
}

bool writeErrorChart(const std::string& path, const std::string& title,
                     const std::vector<int>& numbers, const std::vector<double>& perView,
                     double rms) {
    cv::Mat chart(kChartHeight, kChartWidth, CV_8UC3, cv::Scalar(255, 255, 255));
    double top = rms;
    for (double v : perView) top = std::max(top, v);
    const std::vector<double> ticks = niceTicks(top, 5);
    const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
    const int plotW = kChartWidth - kMarginLeft - kMarginRight,
              plotH = kChartHeight - kMarginTop - kMarginBottom;
    const int baseY = kMarginTop + plotH;
    auto yOf = [&](double v) {
        return baseY - static_cast<int>(std::lround(v / ticks.back() * plotH));
    };
    const cv::Scalar black(0, 0, 0), blue(200, 120, 40), red(40, 40, 220), green(0, 160, 0);
    cv::putText(chart, title, cv::Point(kMarginLeft, 30), cv::FONT_HERSHEY_SIMPLEX, 0.7, black, 2,
                cv::LINE_AA);
    for (double v : ticks) {
        cv::line(chart, cv::Point(kMarginLeft, yOf(v)), cv::Point(kMarginLeft + plotW, yOf(v)),
                 cv::Scalar(220, 220, 220));
        cv::putText(chart, tickLabel(v, step), cv::Point(8, yOf(v) + 5), cv::FONT_HERSHEY_SIMPLEX,
                    0.45, black, 1, cv::LINE_AA);
    }
    const int n = static_cast<int>(perView.size());
    const double slot = static_cast<double>(plotW) / std::max(1, n);
    const double limit = outlierLimit(perView);
    for (int i = 0; i < n; ++i) {
        const int x0 = kMarginLeft + static_cast<int>(i * slot + slot * 0.15);
        const int x1 = kMarginLeft + static_cast<int>((i + 1) * slot - slot * 0.15);
        cv::rectangle(chart, cv::Point(x0, yOf(perView[i])), cv::Point(x1, baseY),
                      perView[i] > limit ? red : blue, cv::FILLED);
        cv::putText(chart, std::to_string(numbers[i]), cv::Point(x0, baseY + 20),
                    cv::FONT_HERSHEY_SIMPLEX, 0.4, black, 1, cv::LINE_AA);
    }
    cv::line(chart, cv::Point(kMarginLeft, yOf(rms)), cv::Point(kMarginLeft + plotW, yOf(rms)),
             green, 2, cv::LINE_AA);
    // Legend.
    const int ly = kChartHeight - 15;
    cv::rectangle(chart, cv::Point(kMarginLeft, ly - 10), cv::Point(kMarginLeft + 10, ly), blue,
                  cv::FILLED);
    cv::putText(chart, "RMS error per view (px), by image number", cv::Point(kMarginLeft + 16, ly),
                cv::FONT_HERSHEY_SIMPLEX, 0.42, black, 1, cv::LINE_AA);
    cv::line(chart, cv::Point(kMarginLeft + 330, ly - 5), cv::Point(kMarginLeft + 350, ly - 5),
             green, 2, cv::LINE_AA);
    char all[64];
    std::snprintf(all, sizeof all, "all views %.4g px", rms);
    cv::putText(chart, all, cv::Point(kMarginLeft + 356, ly), cv::FONT_HERSHEY_SIMPLEX, 0.42, black,
                1, cv::LINE_AA);
    cv::rectangle(chart, cv::Point(kMarginLeft + 510, ly - 10), cv::Point(kMarginLeft + 520, ly),
                  red, cv::FILLED);
    cv::putText(chart, "over 3 x the median: look at it", cv::Point(kMarginLeft + 526, ly),
                cv::FONT_HERSHEY_SIMPLEX, 0.42, black, 1, cv::LINE_AA);
    try {
        return cv::imwrite(path, chart);
    } catch (const cv::Exception&) {
        return false;
    }
}
