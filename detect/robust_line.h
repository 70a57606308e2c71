// Straight lines through located edge points: the ordinary total least-squares line, and a
// robust one that a few stray points (a speck, a neighbour's edge, the rim of an occluder) do
// not pull.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Line (vx, vy, x0, y0), unit direction, through the weighted mean of points: the direction
// minimises the weighted sum of squared distances. weights: one per point (or empty for all
// 1). Returns 0, or -1 when there are fewer than two points or no positive weight.
int weightedLine(const std::vector<cv::Point2d>& points, const std::vector<double>& weights,
                 cv::Vec4d* line);

// A line that strays do not pull, by iteratively reweighted least squares from the ordinary
// fit: first Huber's weights with a fixed threshold (convex: it settles near the inliers'
// line whatever the strays), then Tukey's biweight scaled by the median distance (strays get
// no weight at all; the inliers nearly full weight, so the fit stays as exact as the
// ordinary one on clean edges). Deterministic: the same points give the same line.
// Returns 0, or -1 as weightedLine.
int robustLine(const std::vector<cv::Point2d>& points, cv::Vec4d* line);
