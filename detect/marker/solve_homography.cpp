#include "identify_marker.h"
#include "matrix.h"

int solveHomography(const double reference[4][2], const double image[4][2], double h[3][3]) {
    Matrix* a = createMatrix(8, 8);
    Matrix* b = createMatrix(8, 1);
    Matrix* solution = createMatrix(8, 1);
    int status = -1;
    if (a != nullptr && b != nullptr && solution != nullptr) {
        for (int k = 0; k < 4; ++k) {
            const double X = reference[k][0], Y = reference[k][1];
            const double x = image[k][0], y = image[k][1];
            const double rowX[8] = {X, Y, 1, 0, 0, 0, -X * x, -Y * x};
            const double rowY[8] = {0, 0, 0, X, Y, 1, -X * y, -Y * y};
            for (int j = 0; j < 8; ++j) {
                a->at(2 * k, j) = rowX[j];
                a->at(2 * k + 1, j) = rowY[j];
            }
            b->at(2 * k, 0) = x;
            b->at(2 * k + 1, 0) = y;
        }
        if (invertMatrixInPlace(a) == 0 && multiplyMatrix(solution, a, b) == 0) {
            for (int j = 0; j < 8; ++j) h[j / 3][j % 3] = solution->at(j, 0);
            h[2][2] = 1.0;
            status = 0;
        }
    }
    destroyMatrix(a);
    destroyMatrix(b);
    destroyMatrix(solution);
    return status;
}
