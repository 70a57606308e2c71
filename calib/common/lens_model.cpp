#include "lens_model.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <opencv2/calib3d.hpp>
#include <sstream>

namespace {
constexpr double kRelativeSlack = 0.01;  // of the fitted error
constexpr double kAbsoluteSlackPx = 0.01;
constexpr double kMinDenominator = 0.2;
constexpr double kMaxCancellation = 10;      // sum of |terms| over |sum of terms|
constexpr double kSharedRootDistance = 0.1;  // relative to the roots' size
constexpr double kRootReach = 10;            // roots beyond 10 x the image's r^2 are harmless
constexpr int kRadiusSteps = 2000;
constexpr int kMaxRadiusSteps = 20 * kRadiusSteps;

double coefficient(const cv::Mat& d, int i) {
    return i < static_cast<int>(d.total()) ? d.reshape(1, 1).at<double>(i) : 0.0;
}

// Numerator and denominator of the radial factor as polynomials in s = r^2, lowest first.
struct RadialFactor {
    double num[4], den[4];
    double at(const double* c, double s) const { return c[0] + s * (c[1] + s * (c[2] + s * c[3])); }
    static double spread(const double* c, double s) {
        return std::abs(c[0]) + s * (std::abs(c[1]) + s * (std::abs(c[2]) + s * std::abs(c[3])));
    }
};

RadialFactor radialFactor(const cv::Mat& d) {
    return {{1, coefficient(d, 0), coefficient(d, 1), coefficient(d, 4)},
            {1, coefficient(d, 5), coefficient(d, 6), coefficient(d, 7)}};
}

// Complex roots of c[0] + c[1] s + c[2] s^2 + c[3] s^3 (negligible top terms dropped).
std::vector<std::complex<double>> roots(const double* c) {
    int degree = 3;
    while (degree > 0 && std::abs(c[degree]) < 1e-12 * (std::abs(c[0]) + std::abs(c[1]))) --degree;
    std::vector<std::complex<double>> out;
    if (degree == 0) return out;
    cv::Mat coeffs(1, degree + 1, CV_64F), found;
    for (int i = 0; i <= degree; ++i) coeffs.at<double>(i) = c[i];
    cv::solvePoly(coeffs, found);
    for (int i = 0; i < found.rows * found.cols; ++i) {
        const cv::Vec2d z = found.at<cv::Vec2d>(i);
        out.emplace_back(z[0], z[1]);
    }
    return out;
}

std::string number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}
}  // namespace

double reprojectionRms(const std::vector<std::vector<cv::Point3f>>& board,
                       const std::vector<std::vector<cv::Point2f>>& image,
                       const std::vector<cv::Mat>& rvecs, const std::vector<cv::Mat>& tvecs,
                       const cv::Mat& cameraMatrix, const cv::Mat& distortion) {
    double squares = 0;
    std::size_t count = 0;
    for (std::size_t v = 0; v < board.size(); ++v) {
        if (board[v].empty()) continue;
        std::vector<cv::Point2f> projected;
        cv::projectPoints(board[v], rvecs[v], tvecs[v], cameraMatrix, distortion, projected);
        for (std::size_t i = 0; i < projected.size(); ++i) {
            const double dx = projected[i].x - image[v][i].x, dy = projected[i].y - image[v][i].y;
            squares += dx * dx + dy * dy;
        }
        count += projected.size();
    }
    return count ? std::sqrt(squares / count) : 0.0;
}

bool reproducesFit(double rereadRms, double fittedRms) {
    return std::isfinite(rereadRms) &&
           rereadRms <= fittedRms * (1 + kRelativeSlack) + kAbsoluteSlackPx;
}

LensCondition lensCondition(const cv::Mat& k, const cv::Mat& distortion, cv::Size size,
                            double margin, double dataRadius, double dataMargin) {
    const double fx = k.at<double>(0, 0), fy = k.at<double>(1, 1);
    const double cx = k.at<double>(0, 2), cy = k.at<double>(1, 2);
    double cornerRadius = 0;  // distorted, normalised
    for (const cv::Point2d c : {cv::Point2d(0, 0), cv::Point2d(size.width, 0),
                                cv::Point2d(0, size.height), cv::Point2d(size.width, size.height)})
        cornerRadius = std::max(cornerRadius, std::hypot((c.x - cx) / fx, (c.y - cy) / fy));
    const double reach = cornerRadius * (1 + margin);
    // Faults within this distorted radius refuse the model; beyond it they bound its validity.
    const double required = dataRadius > 0 ? std::min(reach, dataRadius * (1 + dataMargin)) : reach;
    const RadialFactor f = radialFactor(distortion);
    LensCondition out;
    out.dataRadius = dataRadius;
    const std::string where =
        dataRadius > 0 ? ", inside the observed points" : ", inside the image";
    auto fault = [&](double mapped, const std::string& what) {
        if (mapped < required) {
            out.ok = false;
            out.reason = what + where;
            if (what.find("folds") != std::string::npos)
                out.reason += ": points beyond it have two undistorted places";
        }
        out.wholeImage = false;
        out.validRadius = mapped;
        out.limit = what;
        return out;
    };

    // Walk outward in undistorted radius until the mapping has covered the image corners.
    const double step = reach / kRadiusSteps;
    double previous = 0, largestS = 0;
    for (int i = 1;; ++i) {
        if (i > kMaxRadiusSteps)
            return fault(previous,
                         "the radial mapping does not reach the image corners (normalised radius " +
                             number(reach) + ")");
        const double r = i * step, s = r * r;
        const double num = f.at(f.num, s), den = f.at(f.den, s);
        if (RadialFactor::spread(f.num, s) > kMaxCancellation * std::abs(num) ||
            RadialFactor::spread(f.den, s) > kMaxCancellation * std::abs(den))
            return fault(previous, "the radial terms cancel each other at normalised radius " +
                                       number(r) + " (numerator " + number(num) + ", denominator " +
                                       number(den) + ")");
        if (den < kMinDenominator)
            return fault(previous, "the denominator of the radial factor falls to " + number(den) +
                                       " at normalised radius " + number(r));
        const double mapped = r * num / den;
        if (!(mapped > previous))
            return fault(previous, "the radial mapping folds at normalised radius " + number(r));
        previous = mapped;
        largestS = s;
        if (mapped >= reach) break;
    }
    out.validRadius = previous;
    for (const std::complex<double>& a : roots(f.num))
        for (const std::complex<double>& b : roots(f.den)) {
            const double size = std::max(std::abs(a), std::abs(b));
            if (std::abs(a - b) <= kSharedRootDistance * size &&
                std::min(std::abs(a), std::abs(b)) <= kRootReach * largestS) {
                out.ok = false;
                out.reason =
                    "numerator and denominator of the radial factor share a root near "
                    "r^2 = " +
                    number(a.real()) + ": large coefficients that only cancel each other";
                return out;
            }
        }
    return out;
}

double normalisedReach(const std::vector<cv::Point2f>& points, const cv::Mat& k) {
    const double fx = k.at<double>(0, 0), fy = k.at<double>(1, 1);
    const double cx = k.at<double>(0, 2), cy = k.at<double>(1, 2);
    double reach = 0;
    for (const cv::Point2f& p : points)
        reach = std::max(reach, std::hypot((p.x - cx) / fx, (p.y - cy) / fy));
    return reach;
}

cv::Point2d distortNormalised(cv::Point2d p, const cv::Mat& distortion) {
    const std::vector<cv::Point3d> ray{{p.x, p.y, 1.0}};
    std::vector<cv::Point2d> out;
    cv::projectPoints(ray, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), cv::Matx33d::eye(), distortion,
                      out);
    return out[0];
}

double distortionJacobian(cv::Point2d p, const cv::Mat& distortion) {
    const double h = 1e-6 * std::max(1.0, std::hypot(p.x, p.y));
    const std::vector<cv::Point3d> rays{
        {p.x + h, p.y, 1.0}, {p.x - h, p.y, 1.0}, {p.x, p.y + h, 1.0}, {p.x, p.y - h, 1.0}};
    std::vector<cv::Point2d> q;
    cv::projectPoints(rays, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), cv::Matx33d::eye(), distortion,
                      q);
    const cv::Point2d dx = (q[0] - q[1]) / (2 * h), dy = (q[2] - q[3]) / (2 * h);
    return dx.x * dy.y - dx.y * dy.x;
}
