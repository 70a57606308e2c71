// Marker layouts: the printed board (millimetres) and the projected pattern (pixels).
//
// Markers stand in 9 columns (r, along X, to the right) and 7 rows (c, along Y, down).
// Column r, row c holds marker id r*7 + c, or count-1 - (r*7 + c) when the board is
// turned (rotation flag). The first marker's outer corner is the layout origin.
#pragma once

#include "marker_board.h"

struct MarkerLayout {
    double markSize;   // side of one marker
    double spaceX;     // gap between columns
    double spaceY;     // gap between rows
    bool rotation;     // ids run in reverse order
    int patternCount;  // number of pattern ids (for the reversed numbering)
};

// Width and height covered by the markers.
double layoutWidth(const MarkerLayout& layout);
double layoutHeight(const MarkerLayout& layout);

int markerIdAt(const MarkerLayout& layout, int column, int row);

// Top-left (smallest X, Y) outer corner of the marker in column, row.
void markerOrigin(const MarkerLayout& layout, int column, int row, double* x, double* y);

// The marker under layout point (x, y): its id and marker-plane position (u, v) in
// [0, 1)^2, or false between and outside the markers.
bool markerAt(const MarkerLayout& layout, double x, double y, int* id, double* u, double* v);

// Projected-pattern layout for a projector resolution: the largest markers of at most
// 90 pixels whose 100 x 100 white patch, placed at a marker's top-left corner, covers it
// and touches no other marker; centred in the image with a margin. False when no such
// layout fits. *offsetX, *offsetY receive the pixel position of the layout origin.
bool projectionLayout(int width, int height, int patternCount, MarkerLayout* layout,
                      double* offsetX, double* offsetY);

// The smallest projector resolution that holds the projected layout.
void smallestProjectionSize(int patternCount, int* width, int* height);
