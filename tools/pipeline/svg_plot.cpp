#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace {
constexpr int kWidth = 640, kHeight = 300;
constexpr int kLeft = 60, kRight = 20, kTop = 36, kBottom = 52;
const char* const kBlue = "#3b78c2";
const char* const kRed = "#d33b3b";
const char* const kGreen = "#22a050";

std::string num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string text(double x, double y, const std::string& s, const std::string& extra = "") {
    return "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" font-size=\"12\"" + extra + ">" +
           escapeXml(s) + "</text>\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& style) {
    return "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" +
           num(y2) + "\" " + style + "/>\n";
}

std::string open(int width, int height, const std::string& title) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
           " " + std::to_string(height) + "\" font-family=\"sans-serif\">\n" +
           "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n" +
           text(kLeft, 22, title, " font-weight=\"bold\" font-size=\"14\"");
}

double stepOf(const std::vector<double>& ticks) {
    return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
}

// A square plot of a frame scaled into the chart, y down as in the image.
struct FramePlot {
    double scale, x0, y0;
    double x(double u) const { return x0 + u * scale; }
    double y(double v) const { return y0 + v * scale; }
};

FramePlot framePlot(cv::Size frame, int width, int height) {
    const double scale =
        std::min((width - 2.0 * 20) / frame.width, (height - kTop - 30.0) / frame.height);
    return {scale, (width - frame.width * scale) / 2, static_cast<double>(kTop)};
}

std::string frameRect(const FramePlot& p, cv::Size frame) {
    return "<rect x=\"" + num(p.x(0)) + "\" y=\"" + num(p.y(0)) + "\" width=\"" +
           num(frame.width * p.scale) + "\" height=\"" + num(frame.height * p.scale) +
           "\" fill=\"none\" stroke=\"#000000\"/>\n";
}
}  // namespace

std::vector<double> niceTicks(double top, int count) {
    if (!(top > 0) || !std::isfinite(top)) top = 1;
    const double raw = top / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw - 1e-12 * raw) {
            step = m * power;
            break;
        }
    std::vector<double> ticks;
    for (int i = 0; ticks.empty() || ticks.back() < top - 1e-9 * step; ++i)
        ticks.push_back(i * step);
    return ticks;
}

std::string tickLabel(double value, double step) {
    const int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    char label[32];
    std::snprintf(label, sizeof label, "%.*f", decimals, value);
    return label;
}

std::string escapeXml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string svgBarChart(const std::string& title, const std::vector<Bar>& bars, double mean,
                        double flagAbove, const std::string& flagMeaning) {
    double top = mean;
    for (const Bar& b : bars) top = std::max(top, b.value);
    const std::vector<double> ticks = niceTicks(top, 5);
    const double ceiling = ticks.back();
    const double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    auto y = [&](double v) { return kTop + plotH - v / ceiling * plotH; };
    std::ostringstream s;
    s << open(kWidth, kHeight, title);
    for (double t : ticks) {
        s << line(kLeft, y(t), kLeft + plotW, y(t), "stroke=\"#dddddd\"")
          << text(kLeft - 6, y(t) + 4, tickLabel(t, stepOf(ticks)), " text-anchor=\"end\"");
    }
    const double slot = plotW / std::max<std::size_t>(1, bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double x = kLeft + i * slot + slot * 0.15;
        const bool flagged = bars[i].value > flagAbove;
        s << "<rect x=\"" << num(x) << "\" y=\"" << num(y(bars[i].value)) << "\" width=\""
          << num(slot * 0.7) << "\" height=\"" << num(y(0) - y(bars[i].value)) << "\" fill=\""
          << (flagged ? kRed : kBlue) << "\"><title>" << escapeXml(bars[i].label) << ": "
          << bars[i].value << " px</title></rect>\n";
        s << text(x + slot * 0.35, y(0) + 15, bars[i].label, " text-anchor=\"middle\"");
    }
    s << line(kLeft, y(mean), kLeft + plotW, y(mean),
              std::string("stroke=\"") + kGreen + "\" stroke-width=\"2\"");
    s << line(kLeft, y(0), kLeft + plotW, y(0), "stroke=\"#000000\"");
    s << text(kLeft - 50, kTop + plotH / 2, "px",
              " transform=\"rotate(-90 " + num(kLeft - 46) + " " + num(kTop + plotH / 2) + ")\"");
    // Legend.
    const double ly = kHeight - 14;
    s << "<rect x=\"" << kLeft << "\" y=\"" << ly - 9 << "\" width=\"10\" height=\"10\" fill=\""
      << kBlue << "\"/>\n"
      << text(kLeft + 14, ly, "view RMS error (px), by image number");
    s << line(kLeft + 240, ly - 4, kLeft + 260, ly - 4,
              std::string("stroke=\"") + kGreen + "\" stroke-width=\"2\"")
      << text(kLeft + 264, ly, "all views " + tickLabel(mean, mean / 1000) + " px");
    s << "<rect x=\"" << kLeft + 400 << "\" y=\"" << ly - 9
      << "\" width=\"10\" height=\"10\" fill=\"" << kRed << "\"/>\n"
      << text(kLeft + 414, ly, flagMeaning);
    s << "</svg>\n";
    return s.str();
}

std::string svgResidualScatter(const std::string& title,
                               const std::vector<cv::Point2d>& residuals) {
    const int size = 300;
    double top = 0, sum = 0;
    for (const cv::Point2d& r : residuals) {
        top = std::max({top, std::abs(r.x), std::abs(r.y)});
        sum += r.dot(r);
    }
    const double rms = residuals.empty() ? 0 : std::sqrt(sum / residuals.size());
    const std::vector<double> ticks = niceTicks(top, 2);
    const double half = ticks.back();
    const double plot = size - kTop - 40, cx = 40 + plot / 2, cy = kTop + plot / 2;
    auto px = [&](double v) { return cx + v / half * plot / 2; };
    auto py = [&](double v) { return cy + v / half * plot / 2; };
    std::ostringstream s;
    s << open(size + 20, size, title);
    for (double t : ticks) {
        for (double v : {t, -t}) {
            s << line(px(v), kTop, px(v), kTop + plot, "stroke=\"#eeeeee\"")
              << line(40, py(v), 40 + plot, py(v), "stroke=\"#eeeeee\"");
        }
        s << text(px(t), kTop + plot + 14, tickLabel(t, stepOf(ticks)), " text-anchor=\"middle\"");
        if (t > 0)
            s << text(px(-t), kTop + plot + 14, tickLabel(-t, stepOf(ticks)),
                      " text-anchor=\"middle\"");
    }
    s << line(px(-half), cy, px(half), cy, "stroke=\"#000000\"")
      << line(cx, py(-half), cx, py(half), "stroke=\"#000000\"");
    for (const cv::Point2d& r : residuals)
        s << "<circle cx=\"" << num(px(r.x)) << "\" cy=\"" << num(py(r.y)) << "\" r=\"1.2\" fill=\""
          << kBlue << "\"/>\n";
    s << "<circle cx=\"" << num(cx) << "\" cy=\"" << num(cy) << "\" r=\""
      << num(rms / half * plot / 2) << "\" fill=\"none\" stroke=\"" << kGreen
      << "\" stroke-width=\"1.5\"/>\n";
    s << text(40, size - 6, "x, y residual (px); circle: RMS " + tickLabel(rms, rms / 1000));
    s << "</svg>\n";
    return s.str();
}

std::string svgResidualArrows(const std::string& title, cv::Size frame,
                              const std::vector<cv::Point2d>& at,
                              const std::vector<cv::Point2d>& residuals) {
    const FramePlot p = framePlot(frame, kWidth, 420);
    double longest = 0;
    for (const cv::Point2d& r : residuals) longest = std::max(longest, std::hypot(r.x, r.y));
    const double magnify = longest > 0 ? 0.1 * std::max(frame.width, frame.height) / longest : 1;
    std::ostringstream s;
    s << open(kWidth, 420, title) << frameRect(p, frame);
    for (std::size_t i = 0; i < at.size() && i < residuals.size(); ++i)
        s << line(p.x(at[i].x), p.y(at[i].y), p.x(at[i].x + magnify * residuals[i].x),
                  p.y(at[i].y + magnify * residuals[i].y),
                  std::string("stroke=\"") + kRed + "\" stroke-width=\"0.8\"");
    s << text(20, 420 - 8,
              "residual arrows magnified " + tickLabel(magnify, 1) + " times over the " +
                  std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                  " image (the longest is " + tickLabel(longest, longest / 1000) + " px)");
    s << "</svg>\n";
    return s.str();
}

double uncoveredShare(cv::Size frame, const std::vector<cv::Point2d>& points, int cols, int rows) {
    std::vector<bool> hit(static_cast<std::size_t>(cols * rows), false);
    for (const cv::Point2d& q : points) {
        const int c = static_cast<int>(q.x / frame.width * cols);
        const int r = static_cast<int>(q.y / frame.height * rows);
        if (c >= 0 && c < cols && r >= 0 && r < rows) hit[r * cols + c] = true;
    }
    return static_cast<double>(std::count(hit.begin(), hit.end(), false)) / hit.size();
}

std::string svgCoverage(const std::string& title, cv::Size frame,
                        const std::vector<cv::Point2d>& points, int cols, int rows) {
    const FramePlot p = framePlot(frame, kWidth, 420);
    std::vector<bool> hit(static_cast<std::size_t>(cols * rows), false);
    for (const cv::Point2d& q : points) {
        const int c = static_cast<int>(q.x / frame.width * cols);
        const int r = static_cast<int>(q.y / frame.height * rows);
        if (c >= 0 && c < cols && r >= 0 && r < rows) hit[r * cols + c] = true;
    }
    std::ostringstream s;
    s << open(kWidth, 420, title);
    const double cw = frame.width * p.scale / cols, ch = frame.height * p.scale / rows;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (!hit[r * cols + c])
                s << "<rect x=\"" << num(p.x(0) + c * cw) << "\" y=\"" << num(p.y(0) + r * ch)
                  << "\" width=\"" << num(cw) << "\" height=\"" << num(ch)
                  << "\" fill=\"#f6c8c8\"/>\n";
    for (const cv::Point2d& q : points)
        s << "<circle cx=\"" << num(p.x(q.x)) << "\" cy=\"" << num(p.y(q.y)) << "\" r=\"1\" fill=\""
          << kBlue << "\"/>\n";
    s << frameRect(p, frame);
    s << text(20, 420 - 8,
              "detected corners over the " + std::to_string(frame.width) + " x " +
                  std::to_string(frame.height) + " image; shaded: no corner in that cell (" +
                  tickLabel(100 * uncoveredShare(frame, points, cols, rows), 1) +
                  " % of the image)");
    s << "</svg>\n";
    return s.str();
}

std::string svgHeatMap(const std::string& title, cv::Size frame, const cv::Mat& values,
                       const std::string& unit) {
    const FramePlot p = framePlot(frame, kWidth, 420);
    double top = 0;
    for (int i = 0; i < static_cast<int>(values.total()); ++i)
        if (std::isfinite(values.at<double>(i))) top = std::max(top, values.at<double>(i));
    std::ostringstream s;
    s << open(kWidth, 420, title);
    // Cell centres sit on the grid positions, which run edge to edge.
    const int cols = values.cols, rows = values.rows;
    const double cw = frame.width * p.scale / std::max(1, cols - 1);
    const double ch = frame.height * p.scale / std::max(1, rows - 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const double v = values.at<double>(r, c);
            const double t = top > 0 && std::isfinite(v) ? v / top : 0;
            // White (0) to deep red (the largest value).
            const int g = static_cast<int>(std::lround(255 * (1 - 0.85 * t)));
            const double x0 = std::max(p.x(0), p.x(0) + (c - 0.5) * cw);
            const double y0 = std::max(p.y(0), p.y(0) + (r - 0.5) * ch);
            const double x1 = std::min(p.x(frame.width), p.x(0) + (c + 0.5) * cw);
            const double y1 = std::min(p.y(frame.height), p.y(0) + (r + 0.5) * ch);
            s << "<rect x=\"" << num(x0) << "\" y=\"" << num(y0) << "\" width=\"" << num(x1 - x0)
              << "\" height=\"" << num(y1 - y0) << "\" fill=\"rgb(255," << g << "," << g
              << ")\"><title>" << tickLabel(v, top / 100) << " " << escapeXml(unit)
              << "</title></rect>\n";
        }
    s << frameRect(p, frame);
    s << text(20, 420 - 8,
              "white 0, deepest red " + tickLabel(top, top / 100) + " " + unit + " over the " +
                  std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                  " image (hover a cell for its value)");
    s << "</svg>\n";
    return s.str();
}
