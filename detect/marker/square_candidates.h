// Square outlines among the dark regions: contour tracing and corner splitting.
//
// Outline conventions: neighbour direction d (0..7) is clockwise on screen starting
// upward, (dx, dy) = (0,-1) (1,-1) (1,0) (1,1) (0,1) (-1,1) (-1,0) (-1,-1); y grows
// downward. An outline runs clockwise with the region on its right and starts at the
// point farthest from the region's top-left start pixel; corners are numbered in outline
// order, so corner 0 of an upright square is its bottom-right pixel, then bottom-left,
// top-left, top-right.
#pragma once

#include <vector>

#include "label_image.h"

constexpr int kMaxCandidates = 150;
constexpr int kMaxContourPoints = 10000;  // capacity of an outline, closing point included
constexpr int kMinCandidateArea = 70;
constexpr int kMaxCandidateArea = 100000;

struct MarkerCandidate {
    int area = 0;                 // region pixel count (0 marks a candidate for removal)
    double centroid[2] = {0, 0};  // region centroid x, y
    int pointCount = 0;           // outline points stored, closing point included
    std::vector<int> x, y;  // outline coordinates (grown while traced, kMaxContourPoints at most)
    int vertexIndex[5] = {0, 0, 0, 0, 0};  // outline indices of corners 0..3 and the closing point
};

// Fills candidates (reused storage, resized to kMaxCandidates) with the accepted square
// outlines of the labeled image and returns their count (at most kMaxCandidates), after
// near-concentric candidates have been reduced to the larger one.
int findSquareCandidates(const LabelResult& labels, std::vector<MarkerCandidate>* candidates);

// Traces the outline of final region r whose box is box[0..3] (x min, x max, y min, y max).
// Returns 0, or -1 after printing "??? 1", "??? 2" or "??? 3".
int traceContour(const LabelResult& labels, int region, const int box[4], MarkerCandidate* c);

// Splits the outline into four corners (threshold area / 75 * factor in squared pixels).
// Returns 0 with vertexIndex filled, or -1 when the outline is not a quadrilateral.
int findSquareVertices(MarkerCandidate* c, int area, double factor);

// Appends to vertices (size *count, at most 5 kept before failing) the outline points
// between st and ed farther than sqrt(threshold) from their chord, recursively.
int splitAtFarthestPoint(const int* x, const int* y, int st, int ed, double threshold,
                         int* vertices, int* count);
