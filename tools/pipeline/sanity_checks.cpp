#include "sanity_checks.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {
constexpr double kMinIdentified = 0.4;   // of the markers, median over views
constexpr double kMaxAspectError = 0.1;  // |fx / fy - 1|
constexpr double kOutlierFactor = 3.0;   // outlierLimit: 3 x the median, at least 0.05 px
// Projectors shift their image upward by their lens: the principal point may lie on or
// beyond the bottom edge.
constexpr double kProjectorCentreSlack = 0.5;  // of the image size, beyond each edge

std::string figure(double v) {
    std::ostringstream s;
    s.precision(4);
    s << v;
    return s.str();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}
}  // namespace

bool anyFailed(const std::vector<Finding>& findings) {
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.failed; });
}

double identifiedFraction(const std::vector<int>& markersPerView) {
    std::vector<double> fractions;
    for (int n : markersPerView) fractions.push_back(static_cast<double>(n) / kMarkersPerView);
    return median(fractions);
}

void checkDetection(const std::string& device, int viewsUsed, int viewsTried, double identified,
                    const RigflowConfig& c, std::vector<Finding>* findings) {
    if (viewsUsed < c.min_views)
        findings->push_back(
            {true,
             device + " views: " + std::to_string(viewsUsed) + " of " + std::to_string(viewsTried) +
                 " usable, min_views = " + std::to_string(c.min_views),
             "the dropped views are named above; take more photos of the board at different "
             "angles, or lower minimum_number when the markers are small"});
    if (device == "camera" && identified < kMinIdentified)
        findings->push_back(
            {true,
             "markers identified: " + figure(100 * identified) +
                 " % of the board's markers in a typical camera photo",
             "the pattern files data/pat.NN are not the ones the board was printed with "
             "(another set or --seed): write them again with tagforge patterns and the board's "
             "seed; or the board fills too little of the photos"});
}

void checkCalibration(const std::string& device, const DeviceResult& d, bool projector,
                      const RigflowConfig& c, std::vector<Finding>* findings) {
    if (!(d.rms <= c.max_rms))
        findings->push_back(
            {true,
             device + " RMS reprojection error " + figure(d.rms) +
                 " px, max_rms = " + figure(c.max_rms),
             projector ? "the projected pattern image is not the one that was projected "
                         "(projection_image), the projector photos do not match the camera "
                         "photos pose for pose, or the board moved between the two photos of "
                         "a pose"
                       : "mark_size, mark_space_x or mark_space_y differ from the printed board "
                         "(measure it; tagforge board prints the values), the board is not "
                         "flat, or the photos are blurred"});
    const double fx = d.cameraMatrix.at<double>(0, 0), fy = d.cameraMatrix.at<double>(1, 1);
    const double cx = d.cameraMatrix.at<double>(0, 2), cy = d.cameraMatrix.at<double>(1, 2);
    if (!(std::abs(fx / fy - 1) <= kMaxAspectError))
        findings->push_back(
            {true,
             device + " focal lengths fx " + figure(fx) + " and fy " + figure(fy) +
                 " px differ by more than " + figure(100 * kMaxAspectError) + " %",
             "the camera and projector series swapped (camera_images and projector_images), "
             "or too few views at different angles"});
    const double slack = projector ? kProjectorCentreSlack : 0.0;
    const double w = d.size.width, h = d.size.height;
    if (!(cx >= -slack * w && cx <= (1 + slack) * w && cy >= -slack * h && cy <= (1 + slack) * h))
        findings->push_back(
            {true,
             device + " principal point (" + figure(cx) + ", " + figure(cy) + ") lies outside " +
                 (projector ? "the region a projector lens can put it" : "the image"),
             "views that do not tilt the board enough, or the wrong " +
                 std::string(projector ? "projector_size" : "camera image size") + " (" +
                 std::to_string(d.size.width) + "x" + std::to_string(d.size.height) + ")"});
    const double typical = median(d.perViewRms), limit = outlierLimit(d.perViewRms);
    std::vector<int> outliers;
    for (std::size_t i = 0; i < d.perViewRms.size(); ++i)
        if (d.perViewRms[i] > limit) outliers.push_back(d.imageNumbers[i]);
    if (!outliers.empty()) {
        std::string numbers;
        for (int n : outliers) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
        findings->push_back(
            {false,
             device + " views with more than " + figure(kOutlierFactor) +
                 " times the median error (" + figure(typical) + " px): " + numbers,
             "look at these photos (blur, glare, a bent board, a moved board between the "
             "two photos of the pose); exclude = " +
                 numbers + " leaves them out"});
    }
}

std::vector<std::string> emptyRegions(cv::Size frame, const std::vector<cv::Point2d>& points) {
    static const char* const kNames[3][3] = {
        {"top-left corner", "top edge", "top-right corner"},
        {"left edge", "centre", "right edge"},
        {"bottom-left corner", "bottom edge", "bottom-right corner"}};
    bool hit[3][3] = {};
    for (const cv::Point2d& p : points) {
        const int c = static_cast<int>(std::floor(3 * p.x / frame.width));
        const int r = static_cast<int>(std::floor(3 * p.y / frame.height));
        if (c >= 0 && c < 3 && r >= 0 && r < 3) hit[r][c] = true;
    }
    std::vector<std::string> empty;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!hit[r][c]) empty.push_back(kNames[r][c]);
    return empty;
}

void checkRegions(const std::string& device, cv::Size frame, const std::vector<cv::Point2d>& points,
                  std::vector<Finding>* findings) {
    const std::vector<std::string> empty = emptyRegions(frame, points);
    if (empty.empty()) return;
    std::string where;
    for (std::size_t i = 0; i < empty.size(); ++i)
        where += (i == 0 ? "" : i + 1 == empty.size() ? " and the " : ", the ") + empty[i];
    findings->push_back({false,
                         "no views put the board in the " + where + " of the " + device +
                             " image: its lens model is extrapolated there",
                         "take views with the board there"});
}

std::string describeFindings(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& f : findings)
        text += std::string(f.failed ? "FAILED: " : "warning: ") + f.what +
                "\n  likely: " + f.causes + "\n";
    return text;
}
