#include "linear_homography.h"

#include <algorithm>

namespace {
constexpr int kMinPairs = 4;  // a homography has eight unknowns, two per pair
}  // namespace

int fitLinearHomography(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to,
                        cv::Mat* h) {
    if (from.size() != to.size() || from.size() < static_cast<std::size_t>(kMinPairs)) return -1;
    const int n = static_cast<int>(from.size());
    cv::Point2d cf, ct;
    for (int i = 0; i < n; ++i) {
        cf += from[i];
        ct += to[i];
    }
    cf /= n;
    ct /= n;
    double sf = 0, st = 0;
    for (int i = 0; i < n; ++i) {
        sf += cv::norm(from[i] - cf);
        st += cv::norm(to[i] - ct);
    }
    if (sf <= 0 || st <= 0) return -1;
    sf = n / sf;
    st = n / st;
    cv::Mat a(2 * n, 8, CV_64F), b(2 * n, 1, CV_64F), x;
    for (int i = 0; i < n; ++i) {
        const double fx = (from[i].x - cf.x) * sf, fy = (from[i].y - cf.y) * sf;
        const double u = (to[i].x - ct.x) * st, v = (to[i].y - ct.y) * st;
        const double row0[8] = {fx, fy, 1, 0, 0, 0, -u * fx, -u * fy};
        const double row1[8] = {0, 0, 0, fx, fy, 1, -v * fx, -v * fy};
        std::copy(row0, row0 + 8, a.ptr<double>(2 * i));
        std::copy(row1, row1 + 8, a.ptr<double>(2 * i + 1));
        b.at<double>(2 * i) = u;
        b.at<double>(2 * i + 1) = v;
    }
    if (!cv::solve(a, b, x, cv::DECOMP_QR)) return -1;
    const cv::Mat normalized =
        (cv::Mat_<double>(3, 3) << x.at<double>(0), x.at<double>(1), x.at<double>(2),
         x.at<double>(3), x.at<double>(4), x.at<double>(5), x.at<double>(6), x.at<double>(7), 1.0);
    const cv::Mat fromScale =
        (cv::Mat_<double>(3, 3) << sf, 0, -sf * cf.x, 0, sf, -sf * cf.y, 0, 0, 1);
    const cv::Mat toScaleInverse =
        (cv::Mat_<double>(3, 3) << 1 / st, 0, ct.x, 0, 1 / st, ct.y, 0, 0, 1);
    *h = toScaleInverse * normalized * fromScale;
    return 0;
}
