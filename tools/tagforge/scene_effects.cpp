#include "scene_effects.h"

#include <cmath>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {
constexpr int kDefocusLevels = 6;  // blur levels blended for a blur that grows outwards
constexpr double kBloomSigma = 8.0;
constexpr int kQuadSamples = 16;  // per side when testing a quad against the occluders

bool insideBlob(const Blob& b, double x, double y) {
    const double dx = x - b.centre.x, dy = y - b.centre.y;
    const double u = dx * b.dir.x + dy * b.dir.y, v = -dx * b.dir.y + dy * b.dir.x;
    return (u * u) / (b.a * b.a) + (v * v) / (b.b * b.b) <= 1.0;
}

double quadArea(const std::vector<cv::Point2d>& q) {
    double a = 0;
    for (std::size_t i = 0; i < q.size(); ++i)
        a += q[i].x * q[(i + 1) % q.size()].y - q[(i + 1) % q.size()].x * q[i].y;
    return std::fabs(a) / 2;
}

bool insideQuad(const std::vector<cv::Point2d>& q, cv::Point2d p) {
    std::vector<cv::Point2f> poly(q.begin(), q.end());
    return cv::pointPolygonTest(poly, cv::Point2f(p), false) >= 0;
}

cv::Point2d rotate(cv::Point2d d, double angle) {
    return {d.x * std::cos(angle) - d.y * std::sin(angle),
            d.x * std::sin(angle) + d.y * std::cos(angle)};
}
}  // namespace

std::vector<Occluder> makeHands(int count, const std::vector<cv::Point2d>& quad,
                                std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const cv::Point2d centre = 0.25 * (quad[0] + quad[1] + quad[2] + quad[3]);
    std::vector<Occluder> hands;
    for (int h = 0; h < count; ++h) {
        const int edge = static_cast<int>(unit(rng) * 4) % 4;
        const cv::Point2d entry =
            quad[edge] + (0.2 + 0.6 * unit(rng)) * (quad[(edge + 1) % 4] - quad[edge]);
        cv::Point2d in = centre - entry;
        in /= cv::norm(in);
        // Palm and four fingers cover about 0.6 L^2 of the board when the palm sits on
        // its edge.
        const double share = 0.05 + 0.05 * unit(rng);
        const double l = std::sqrt(share * quadArea(quad) / 0.6);
        Occluder o;
        o.parts.push_back({entry, 0.5 * l, 0.4 * l, in});
        for (int f = 0; f < 4; ++f) {
            const cv::Point2d d = rotate(in, (-0.45 + 0.3 * f) + 0.1 * (unit(rng) - 0.5));
            o.parts.push_back({entry + 0.3 * l * in + 0.45 * l * d, 0.35 * l, 0.08 * l, d});
        }
        const float shade = static_cast<float>(0.8 + 0.4 * unit(rng));
        for (float& c : o.bgr) c *= shade;
        hands.push_back(o);
    }
    return hands;
}

bool occluderColour(const std::vector<Occluder>& hands, double x, double y, float bgr[3]) {
    for (const Occluder& o : hands)
        for (const Blob& b : o.parts)
            if (insideBlob(b, x, y)) {
                for (int k = 0; k < 3; ++k) bgr[k] = o.bgr[k];
                return true;
            }
    return false;
}

bool quadTouched(const std::vector<Occluder>& hands, const cv::Point2d quad[4], double margin) {
    const cv::Point2d c = 0.25 * (quad[0] + quad[1] + quad[2] + quad[3]);
    cv::Point2d grown[4];
    for (int p = 0; p < 4; ++p) grown[p] = c + (1 + margin) * (quad[p] - c);
    float bgr[3];
    for (int i = 0; i <= kQuadSamples; ++i)
        for (int j = 0; j <= kQuadSamples; ++j) {
            const double s = static_cast<double>(i) / kQuadSamples,
                         t = static_cast<double>(j) / kQuadSamples;
            const cv::Point2d top = grown[2] + s * (grown[3] - grown[2]);
            const cv::Point2d bottom = grown[1] + s * (grown[0] - grown[1]);
            const cv::Point2d p = top + t * (bottom - top);
            if (occluderColour(hands, p.x, p.y, bgr)) return true;
        }
    return false;
}

std::vector<StrayMarker> placeStrays(int count, int patternCount, double side, cv::Size image,
                                     const std::vector<cv::Point2d>& boardQuad, std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<StrayMarker> strays;
    for (int tries = 0; tries < 2000 && static_cast<int>(strays.size()) < count; ++tries) {
        StrayMarker s;
        s.id = static_cast<int>(unit(rng) * patternCount) % patternCount;
        s.side = side;
        s.angle = (unit(rng) - 0.5) * 0.5;
        s.centre = {side * 1.5 + unit(rng) * (image.width - 3 * side),
                    side * 1.5 + unit(rng) * (image.height - 3 * side)};
        bool clear = s.centre.x > side * 1.5 && s.centre.y > side * 1.5;
        // The sheet's corners and centre stay off the board and off the other sheets.
        for (int k = 0; k < 5 && clear; ++k) {
            const cv::Point2d corner =
                s.centre + (k == 4 ? cv::Point2d()
                                   : rotate({(k % 2 ? 1.0 : -1.0) * 1.2 * side,
                                             (k / 2 ? 1.0 : -1.0) * 1.2 * side},
                                            s.angle));
            clear = !insideQuad(boardQuad, corner);
        }
        for (const StrayMarker& o : strays)
            clear = clear && cv::norm(o.centre - s.centre) > 3 * side;
        if (clear) strays.push_back(s);
    }
    return strays;
}

bool strayColour(const std::vector<StrayMarker>& strays, const std::vector<MarkerPicture>& pictures,
                 double x, double y, float bgr[3]) {
    for (const StrayMarker& s : strays) {
        const cv::Point2d local = rotate(cv::Point2d(x, y) - s.centre, -s.angle);
        const double u = local.x / s.side + 0.5, v = local.y / s.side + 0.5;
        if (u < -0.5 || v < -0.5 || u >= 1.5 || v >= 1.5) continue;
        std::uint8_t c[3] = {255, 255, 255};
        if (u >= 0 && v >= 0 && u < 1 && v < 1) markerColour(pictures[s.id], u, v, c);
        for (int k = 0; k < 3; ++k) bgr[k] = c[k] * 0.92f + 8.0f;
        return true;
    }
    return false;
}

cv::Mat loadClutter(const std::string& path, cv::Size size, std::string* error) {
    std::error_code ec;
    const cv::Mat photo =
        std::filesystem::is_regular_file(path, ec) ? cv::imread(path, cv::IMREAD_COLOR) : cv::Mat();
    if (photo.empty()) {
        *error = "cannot read the clutter photo " + path;
        return {};
    }
    const double scale = std::max(static_cast<double>(size.width) / photo.cols,
                                  static_cast<double>(size.height) / photo.rows);
    cv::Mat scaled;
    cv::resize(photo, scaled,
               cv::Size(std::max(size.width, static_cast<int>(std::ceil(photo.cols * scale))),
                        std::max(size.height, static_cast<int>(std::ceil(photo.rows * scale)))),
               0, 0, cv::INTER_LINEAR);
    return scaled(cv::Rect((scaled.cols - size.width) / 2, (scaled.rows - size.height) / 2,
                           size.width, size.height))
        .clone();
}

void applyOptics(const PhotoLook& look, cv::Mat* f) {
    if (look.defocusEdge > 0 && look.defocusEdge != look.blur) {
        // Blend blur levels by the squared distance from the centre.
        std::vector<cv::Mat> levels(kDefocusLevels);
        for (int k = 0; k < kDefocusLevels; ++k) {
            const double sigma =
                look.blur + (look.defocusEdge - look.blur) * k / (kDefocusLevels - 1);
            if (sigma > 0)
                cv::GaussianBlur(*f, levels[k], cv::Size(0, 0), sigma);
            else
                levels[k] = f->clone();
        }
        const double cx = f->cols / 2.0, cy = f->rows / 2.0, r2 = cx * cx + cy * cy;
        for (int y = 0; y < f->rows; ++y) {
            cv::Vec3f* row = f->ptr<cv::Vec3f>(y);
            for (int x = 0; x < f->cols; ++x) {
                const double t =
                    ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r2 * (kDefocusLevels - 1);
                const int k = std::min(static_cast<int>(t), kDefocusLevels - 2);
                const float w = static_cast<float>(t - k);
                row[x] =
                    (1 - w) * levels[k].at<cv::Vec3f>(y, x) + w * levels[k + 1].at<cv::Vec3f>(y, x);
            }
        }
    } else if (look.blur > 0) {
        cv::GaussianBlur(*f, *f, cv::Size(0, 0), look.blur);
    }
    if (look.bloom > 0) {
        cv::Mat glow;
        cv::GaussianBlur(*f, glow, cv::Size(0, 0), kBloomSigma);
        *f += look.bloom * glow;
    }
}

void applyVignetting(double strength, cv::Mat* f) {
    if (strength <= 0) return;
    const double cx = f->cols / 2.0, cy = f->rows / 2.0, r2 = cx * cx + cy * cy;
    for (int y = 0; y < f->rows; ++y) {
        cv::Vec3f* row = f->ptr<cv::Vec3f>(y);
        for (int x = 0; x < f->cols; ++x)
            row[x] *= static_cast<float>(
                1.0 - strength * ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r2);
    }
}

cv::Mat applyCameraProcessing(const PhotoLook& look, const cv::Mat& photo) {
    cv::Mat out = photo;
    if (look.sharpen > 0) {
        cv::Mat soft;
        cv::GaussianBlur(photo, soft, cv::Size(0, 0), 1.0);
        cv::addWeighted(photo, 1.0 + look.sharpen, soft, -look.sharpen, 0, out);
    }
    return out;
}
