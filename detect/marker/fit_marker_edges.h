// Sub-pixel edge lines and corners of a square outline, in ideal (undistorted)
// image coordinates.
#pragma once

// Fits a line (a, b, c), a x + b y + c = 0 with (a, b) a unit normal, to each edge i of
// the outline between corner indices vertexIndex[i] and vertexIndex[i+1] (about 5 % left
// out at each end, points undistorted first), and intersects neighbouring lines:
// vertex[i] = edgeLine[(i+3)%4] x edgeLine[i]. Returns 0, or -1 when an edge keeps fewer
// than 2 points or two neighbouring lines do not intersect.
int fitMarkerEdges(const int* x, const int* y, int pointCount, const int vertexIndex[5],
                   const double distortion[4], double edgeLine[4][3], double vertex[4][2]);
