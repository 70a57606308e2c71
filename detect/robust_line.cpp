#include "robust_line.h"

#include <algorithm>
#include <cmath>

namespace {
// Huber's threshold (px): points closer than this count fully, further ones with weight
// threshold / distance. Edge points scatter by some hundredths of a pixel: only strays are
// weighed down.
constexpr double kHuberThresholdPx = 1.345;
// Tukey's biweight: no weight beyond this many robust standard deviations (the usual
// 95 %-efficiency constant), the deviation being 1.4826 times the median distance, but at
// least kMinScalePx (exact points would otherwise give every point but the line's no weight).
constexpr double kTukeyThreshold = 4.685;
constexpr double kMadToDeviation = 1.4826;
constexpr double kMinScalePx = 0.05;
// Rounds of reweighting per stage, ended early once no point of the fitted span moves by
// more than kSettledPx.
constexpr int kMaxRounds = 10;
constexpr double kSettledPx = 1e-6;

double distance(const cv::Vec4d& l, cv::Point2d p) {
    return std::fabs((p.x - l[2]) * l[1] - (p.y - l[3]) * l[0]);
}

// Largest move, over the points' span, of line b from line a: their distance at the two
// points furthest along a.
double lineMove(const cv::Vec4d& a, const cv::Vec4d& b, const std::vector<cv::Point2d>& points) {
    double low = 0, high = 0;
    for (const cv::Point2d& p : points) {
        const double t = (p.x - a[2]) * a[0] + (p.y - a[3]) * a[1];
        low = std::min(low, t);
        high = std::max(high, t);
    }
    double worst = 0;
    for (const double t : {low, high})
        worst = std::max(worst, distance(b, cv::Point2d(a[2] + t * a[0], a[3] + t * a[1])));
    return worst;
}

void huberWeights(const std::vector<cv::Point2d>& points, const cv::Vec4d& line,
                  std::vector<double>* weights) {
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = distance(line, points[i]);
        (*weights)[i] = d <= kHuberThresholdPx ? 1.0 : kHuberThresholdPx / d;
    }
}

void tukeyWeights(const std::vector<cv::Point2d>& points, const cv::Vec4d& line,
                  std::vector<double>* weights) {
    std::vector<double> d(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) d[i] = distance(line, points[i]);
    std::vector<double> sorted = d;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double scale = std::max(kMinScalePx, kMadToDeviation * sorted[sorted.size() / 2]);
    const double cut = kTukeyThreshold * scale;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double u = d[i] / cut;
        (*weights)[i] = u < 1 ? (1 - u * u) * (1 - u * u) : 0.0;
    }
}

// Reweights from *line until it settles; *line keeps the last line a reweighting gave.
void reweight(const std::vector<cv::Point2d>& points,
              void (*weigh)(const std::vector<cv::Point2d>&, const cv::Vec4d&,
                            std::vector<double>*),
              cv::Vec4d* line) {
    std::vector<double> weights(points.size());
    for (int round = 0; round < kMaxRounds; ++round) {
        weigh(points, *line, &weights);
        cv::Vec4d next;
        if (weightedLine(points, weights, &next) != 0) return;
        const double move = lineMove(*line, next, points);
        *line = next;
        if (move < kSettledPx) return;
    }
}
}  // namespace

int weightedLine(const std::vector<cv::Point2d>& points, const std::vector<double>& weights,
                 cv::Vec4d* line) {
    if (points.size() < 2 || (!weights.empty() && weights.size() != points.size())) return -1;
    double total = 0;
    cv::Point2d mean;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double w = weights.empty() ? 1.0 : weights[i];
        total += w;
        mean += w * points[i];
    }
    if (!(total > 0)) return -1;
    mean /= total;
    double sxx = 0, sxy = 0, syy = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double w = weights.empty() ? 1.0 : weights[i];
        const cv::Point2d d = points[i] - mean;
        sxx += w * d.x * d.x;
        sxy += w * d.x * d.y;
        syy += w * d.y * d.y;
    }
    // The major axis of the scatter: the direction of least squared distance across it.
    const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
    *line = cv::Vec4d(std::cos(angle), std::sin(angle), mean.x, mean.y);
    return 0;
}

int robustLine(const std::vector<cv::Point2d>& points, cv::Vec4d* line) {
    cv::Vec4d current;
    if (weightedLine(points, {}, &current) != 0) return -1;
    reweight(points, huberWeights, &current);
    reweight(points, tukeyWeights, &current);
    *line = current;
    return 0;
}
