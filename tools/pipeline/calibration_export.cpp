#include "calibration_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr int kChartWidth = 900, kChartHeight = 420;
constexpr int kMarginLeft = 70, kMarginRight = 20, kMarginTop = 50, kMarginBottom = 60;
}  // namespace

bool writeDeviceYaml(const std::string& path, const DeviceResult& d) {
    try {
        cv::FileStorage fs(path, cv::FileStorage::WRITE);
        if (!fs.isOpened()) return false;
        fs << "image_width" << d.size.width << "image_height" << d.size.height;
        fs << "camera_matrix" << d.cameraMatrix << "distortion_coefficients" << d.distortion;
        fs << "avg_reprojection_error" << d.rms;
        fs << "per_view_reprojection_errors" << cv::Mat(d.perViewRms, true);
        fs << "image_numbers" << cv::Mat(d.imageNumbers, true);
        fs << "lens_model" << d.model << "lens_model_reason" << d.modelReason;
        for (const auto& [model, error] : d.heldOutRms) fs << "held_out_error_" + model << error;
        fs << "checks" << d.checks;
        return true;
    } catch (const cv::Exception&) {
        return false;
    }
}

bool writeStereoYaml(const std::string& path, const StereoResult& s) {
    try {
        cv::FileStorage fs(path, cv::FileStorage::WRITE);
        if (!fs.isOpened()) return false;
        fs << "R" << s.r << "T" << s.t << "E" << s.e << "F" << s.f << "rms" << s.rms;
        fs << "camera_model" << s.cameraModel << "checks" << s.checks;
        return true;
    } catch (const cv::Exception&) {
        return false;
    }
}

bool writeErrorChart(const std::string& path, const std::string& title, const DeviceResult& d) {
    cv::Mat chart(kChartHeight, kChartWidth, CV_8UC3, cv::Scalar(255, 255, 255));
    const double top =
        std::max(0.1, *std::max_element(d.perViewRms.begin(), d.perViewRms.end()) * 1.15);
    const int plotW = kChartWidth - kMarginLeft - kMarginRight,
              plotH = kChartHeight - kMarginTop - kMarginBottom;
    const int baseY = kMarginTop + plotH;
    auto yOf = [&](double v) { return baseY - static_cast<int>(std::lround(v / top * plotH)); };
    cv::putText(chart, title, cv::Point(kMarginLeft, 30), cv::FONT_HERSHEY_SIMPLEX, 0.7,
                cv::Scalar(0, 0, 0), 2, cv::LINE_AA);
    for (int i = 0; i <= 4; ++i) {
        const double v = top * i / 4;
        cv::line(chart, cv::Point(kMarginLeft, yOf(v)), cv::Point(kMarginLeft + plotW, yOf(v)),
                 cv::Scalar(220, 220, 220));
        char label[32];
        std::snprintf(label, sizeof label, "%.2f", v);
        cv::putText(chart, label, cv::Point(8, yOf(v) + 5), cv::FONT_HERSHEY_SIMPLEX, 0.45,
                    cv::Scalar(0, 0, 0), 1, cv::LINE_AA);
    }
    const int n = static_cast<int>(d.perViewRms.size());
    const double slot = static_cast<double>(plotW) / std::max(1, n);
    double mean = 0;
    for (double v : d.perViewRms) mean += v;
    mean /= std::max(1, n);
    for (int i = 0; i < n; ++i) {
        const int x0 = kMarginLeft + static_cast<int>(i * slot + slot * 0.15);
        const int x1 = kMarginLeft + static_cast<int>((i + 1) * slot - slot * 0.15);
        // Views well above the mean stand out in red.
        const cv::Scalar colour =
            d.perViewRms[i] > 2 * mean ? cv::Scalar(40, 40, 220) : cv::Scalar(200, 120, 40);
        cv::rectangle(chart, cv::Point(x0, yOf(d.perViewRms[i])), cv::Point(x1, baseY), colour,
                      cv::FILLED);
        cv::putText(chart, std::to_string(d.imageNumbers[i]), cv::Point(x0, baseY + 20),
                    cv::FONT_HERSHEY_SIMPLEX, 0.4, cv::Scalar(0, 0, 0), 1, cv::LINE_AA);
    }
    cv::line(chart, cv::Point(kMarginLeft, yOf(mean)), cv::Point(kMarginLeft + plotW, yOf(mean)),
             cv::Scalar(0, 160, 0), 1, cv::LINE_AA);
    cv::putText(chart, "image number (bars: RMS reprojection error in pixels, green: mean)",
                cv::Point(kMarginLeft, kChartHeight - 15), cv::FONT_HERSHEY_SIMPLEX, 0.45,
                cv::Scalar(0, 0, 0), 1, cv::LINE_AA);
    try {
        return cv::imwrite(path, chart);
    } catch (const cv::Exception&) {
        return false;
    }
}
