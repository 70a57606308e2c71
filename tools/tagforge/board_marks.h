// What the sheet shows besides the markers: the X and Y axes at the origin, the scale bar
// and the print note, in millimetres on the sheet. The PNG and the SVG draw the same list.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "board_page.h"

struct PageMark {
    enum Kind { kLine, kFilled, kText } kind;
    std::vector<cv::Point2d> points;  // line ends, polygon corners, or the text's start
    std::string text;
    double sizeMm;  // line width or text height
};

std::vector<PageMark> boardMarks(const MarkerLayout& layout, const BoardPage& page);
