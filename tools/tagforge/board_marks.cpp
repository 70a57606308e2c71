#include "board_marks.h"

#include <algorithm>

namespace {
constexpr double kAxisOffsetMm = 5.0;  // clear of the markers, so detection never sees them
constexpr double kAxisLengthMm = 30.0;
constexpr double kLineMm = 0.4;
constexpr double kLabelMm = 3.5;
constexpr double kNoteMm = 3.0;

PageMark arrow(cv::Point2d from, cv::Point2d to) {
    const cv::Point2d d = (to - from) / cv::norm(to - from), n(-d.y, d.x);
    return {PageMark::kFilled, {to, to - 2.5 * d + 1.0 * n, to - 2.5 * d - 1.0 * n}, "", 0};
}
}  // namespace

std::vector<PageMark> boardMarks(const MarkerLayout& l, const BoardPage& page) {
    const cv::Point2d o(page.originXMm, page.originYMm);
    const double a = kAxisOffsetMm;
    const cv::Point2d xFrom = o + cv::Point2d(0, -a), xTo = xFrom + cv::Point2d(kAxisLengthMm, 0);
    const cv::Point2d yFrom = o + cv::Point2d(-a, 0), yTo = yFrom + cv::Point2d(0, kAxisLengthMm);
    std::vector<PageMark> marks = {
        {PageMark::kLine, {xFrom, xTo}, "", kLineMm},
        arrow(xFrom, xTo),
        {PageMark::kText, {xTo + cv::Point2d(1.5, 1.2)}, "X", kLabelMm},
        {PageMark::kLine, {yFrom, yTo}, "", kLineMm},
        arrow(yFrom, yTo),
        {PageMark::kText, {yTo + cv::Point2d(-1.2, 5)}, "Y", kLabelMm},
        // Ticks that point at the origin corner from the two axes.
        {PageMark::kLine, {xFrom, xFrom + cv::Point2d(0, a - 3)}, "", kLineMm / 2},
        {PageMark::kLine, {yFrom, yFrom + cv::Point2d(a - 3, 0)}, "", kLineMm / 2},
        {PageMark::kText, {o + cv::Point2d(-a - 7, -a - 1.5)}, "(0, 0)", kNoteMm},
    };
    const double bar = scaleBarMm(l);
    const double barY = o.y + layoutHeight(l) + 6;
    marks.push_back({PageMark::kFilled,
                     {{o.x, barY}, {o.x + bar, barY}, {o.x + bar, barY + 1}, {o.x, barY + 1}},
                     "",
                     0});
    // The note keeps to the sheet: at most 0.6 of its height per character.
    const std::vector<std::string> note = boardNote(l, page);
    std::size_t longest = 1;
    for (const std::string& line : note) longest = std::max(longest, line.size());
    const double height = std::min(kNoteMm, (page.widthMm - o.x - 5) / (0.6 * longest));
    double y = barY + 1;
    for (const std::string& line : note) {
        y += 1.6 * height;
        marks.push_back({PageMark::kText, {{o.x, y}}, line, height});
    }
    return marks;
}
