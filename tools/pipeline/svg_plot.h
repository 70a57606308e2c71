// Small SVG charts for the report: bars per view, residual scatter, residual arrows over the
// image frame and corner coverage. Every chart is a self-contained <svg> element.
#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

// Round tick values from 0 (or the symmetric -top) to at least top: steps of 1, 2 or 5
// times a power of ten, about count of them.
std::vector<double> niceTicks(double top, int count);
// A tick value with as many decimals as its step needs.
std::string tickLabel(double value, double step);

struct Bar {
    std::string label;
    double value;
};

// Bars with round ticks, the mean as a line, and bars above flagAbove in red; the legend
// says so.
std::string svgBarChart(const std::string& title, const std::vector<Bar>& bars, double mean,
                        double flagAbove, const std::string& flagMeaning);

// Residual vectors (x, y) as points around the origin, with a circle of the RMS radius.
std::string svgResidualScatter(const std::string& title, const std::vector<cv::Point2d>& residuals);

// Each residual as an arrow at its corner, magnified so that the largest is a tenth of the
// frame; the magnification is stated.
std::string svgResidualArrows(const std::string& title, cv::Size frame,
                              const std::vector<cv::Point2d>& at,
                              const std::vector<cv::Point2d>& residuals);

// The corners over the image frame, with the cells of a cols x rows grid that no corner
// reached shaded.
std::string svgCoverage(const std::string& title, cv::Size frame,
                        const std::vector<cv::Point2d>& points, int cols, int rows);

// A grid of values over the image frame (row r, column c at the pixel (c / (cols - 1) x
// (width - 1), ...)) as cells shaded from white (0) to red (the largest), each titled with its
// value and unit.
std::string svgHeatMap(const std::string& title, cv::Size frame, const cv::Mat& values,
                       const std::string& unit);

// The share of the grid cells that no point reached.
double uncoveredShare(cv::Size frame, const std::vector<cv::Point2d>& points, int cols, int rows);

// Text with &, <, > and quotes escaped for HTML and SVG.
std::string escapeXml(const std::string& text);
