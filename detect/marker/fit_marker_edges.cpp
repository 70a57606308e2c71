#include "fit_marker_edges.h"

#include "camera_param.h"
#include "matrix.h"

namespace {
// Principal-axis line through the undistorted points first..last of the outline.
int fitEdgeLine(const int* x, const int* y, int first, int last, const double distortion[4],
                double line[3]) {
    const int m = last - first + 1;
    if (m < 2) return -1;
    Matrix* points = createMatrix(m, 2);
    Matrix* evec = createMatrix(2, 2);
    Vector* eval = createVector(2);
    Vector* mean = createVector(2);
    int status = -1;
    if (points != nullptr && evec != nullptr && eval != nullptr && mean != nullptr) {
        for (int k = 0; k < m; ++k)
            observedToIdeal(distortion, x[first + k], y[first + k], &points->at(k, 0),
                            &points->at(k, 1));
        if (principalAxes(points, evec, eval, mean) == 0) {
            line[0] = evec->at(0, 1);
            line[1] = -evec->at(0, 0);
            line[2] = -(line[0] * mean->data[0] + line[1] * mean->data[1]);
            status = 0;
        }
    }
    destroyMatrix(points);
    destroyMatrix(evec);
    destroyVector(eval);
    destroyVector(mean);
    return status;
}
}  // namespace

int fitMarkerEdges(const int* x, const int* y, int /*pointCount*/, const int vertexIndex[5],
                   const double distortion[4], double edgeLine[4][3], double vertex[4][2]) {
    for (int i = 0; i < 4; ++i) {
        const int st = vertexIndex[i], ed = vertexIndex[i + 1];
        // Leave out the rounded corner pixels: 5 % of the edge plus half a point each end.
        const double trim = (ed - st + 1) * 0.05 + 0.5;
        const int first = static_cast<int>(st + trim);
        const int last = static_cast<int>(ed - trim);
        if (fitEdgeLine(x, y, first, last, distortion, edgeLine[i]) < 0) return -1;
    }
    for (int i = 0; i < 4; ++i) {
        const double* li = edgeLine[i];
        const double* lp = edgeLine[(i + 3) % 4];
        const double d = li[1] * lp[0] - lp[1] * li[0];
        if (d == 0.0) return -1;
        vertex[i][0] = (lp[1] * li[2] - li[1] * lp[2]) / d;
        vertex[i][1] = (li[0] * lp[2] - lp[0] * li[2]) / d;
    }
    return 0;
}
