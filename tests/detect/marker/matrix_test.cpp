// Matrix routines on the paths the engine uses.
#include "matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <random>

namespace {
Matrix* makeMatrix(int rows, int cols, std::initializer_list<double> values) {
    Matrix* m = createMatrix(rows, cols);
    int i = 0;
    for (double v : values) m->data[i++] = v;
    return m;
}
}  // namespace

TEST(InvertMatrix, PermutationMatrixAndSingularCases) {
    Matrix* swap = makeMatrix(2, 2, {0, 1, 1, 0});
    ASSERT_EQ(invertMatrixInPlace(swap), 0);
    EXPECT_EQ(swap->at(0, 0), 0);
    EXPECT_EQ(swap->at(0, 1), 1);
    EXPECT_EQ(swap->at(1, 0), 1);
    EXPECT_EQ(swap->at(1, 1), 0);
    destroyMatrix(swap);

    Matrix* singular = makeMatrix(2, 2, {1, 2, 2, 4});
    EXPECT_EQ(invertMatrixInPlace(singular), -1);
    destroyMatrix(singular);

    Matrix* one = makeMatrix(1, 1, {4});
    ASSERT_EQ(invertMatrixInPlace(one), 0);
    EXPECT_EQ(one->data[0], 0.25);
    destroyMatrix(one);

    Matrix* empty = createMatrix(0, 0);
    EXPECT_EQ(invertMatrixInPlace(empty), -1);
    destroyMatrix(empty);
}

TEST(InvertMatrix, RandomEightByEightTimesItsInverseIsTheIdentity) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-10, 10);
    for (int trial = 0; trial < 20; ++trial) {
        Matrix* a = createMatrix(8, 8);
        for (int i = 0; i < 64; ++i) a->data[i] = value(rng);
        Matrix* inv = duplicateMatrix(a);
        ASSERT_EQ(invertMatrixInPlace(inv), 0);
        Matrix* product = createMatrix(8, 8);
        ASSERT_EQ(multiplyMatrix(product, a, inv), 0);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) EXPECT_NEAR(product->at(r, c), r == c ? 1 : 0, 1e-9);
        destroyMatrix(a);
        destroyMatrix(inv);
        destroyMatrix(product);
    }
}

TEST(MatrixShapes, MismatchesFail) {
    Matrix* a = createMatrix(2, 3);
    Matrix* b = createMatrix(2, 3);
    Matrix* c = createMatrix(3, 2);
    Vector* v2 = createVector(2);
    EXPECT_EQ(multiplyMatrix(c, a, b), -1);
    EXPECT_EQ(copyMatrix(c, a), -1);
    EXPECT_EQ(columnMeans(a, v2), -1);
    EXPECT_EQ(subtractRowVector(a, v2), -1);
    destroyMatrix(a);
    destroyMatrix(b);
    destroyMatrix(c);
    destroyVector(v2);
}

TEST(PrincipalAxes, PointsOnALine) {
    Matrix* points = makeMatrix(3, 2, {0, 0, 2, 0, 4, 0});
    Matrix* evec = createMatrix(2, 2);
    Vector* eval = createVector(2);
    Vector* mean = createVector(2);
    ASSERT_EQ(principalAxes(points, evec, eval, mean), 0);
    EXPECT_EQ(mean->data[0], 2);
    EXPECT_EQ(mean->data[1], 0);
    EXPECT_EQ(std::fabs(evec->at(0, 0)), 1);
    EXPECT_EQ(evec->at(0, 1), 0);
    EXPECT_EQ(evec->at(1, 0), 0);
    EXPECT_EQ(evec->at(1, 1), 0);
    EXPECT_EQ(eval->data[0], 1);
    EXPECT_EQ(eval->data[1], 0);
    // the input is left unchanged
    EXPECT_EQ(points->at(2, 0), 4);

    Matrix* single = makeMatrix(1, 2, {1, 1});
    Matrix* evec1 = createMatrix(1, 2);
    Vector* eval1 = createVector(1);
    EXPECT_EQ(principalAxes(single, evec1, eval1, mean), -1);
    for (Matrix* m : {points, evec, single, evec1}) destroyMatrix(m);
    for (Vector* v : {eval, mean, eval1}) destroyVector(v);
}

TEST(PrincipalAxes, TiltedLineDirection) {
    // points along direction (3, 4) / 5 with a small symmetric spread
    Matrix* points = makeMatrix(4, 2, {0, 0, 3, 4, 6, 8, 9, 12});
    Matrix* evec = createMatrix(2, 2);
    Vector* eval = createVector(2);
    Vector* mean = createVector(2);
    ASSERT_EQ(principalAxes(points, evec, eval, mean), 0);
    EXPECT_NEAR(std::fabs(evec->at(0, 0)), 0.6, 1e-9);
    EXPECT_NEAR(std::fabs(evec->at(0, 1)), 0.8, 1e-9);
    EXPECT_NEAR(mean->data[0], 4.5, 1e-12);
    destroyMatrix(points);
    destroyMatrix(evec);
    destroyVector(eval);
    destroyVector(mean);
}

TEST(SymmetricEigen, DiagonalAndGeneralCases) {
    Matrix* diag = makeMatrix(2, 2, {2, 0, 0, 3});
    Vector* d2 = createVector(2);
    ASSERT_EQ(symmetricEigen(diag, d2), 0);
    EXPECT_EQ(d2->data[0], 3);
    EXPECT_EQ(d2->data[1], 2);
    EXPECT_EQ(diag->at(0, 0), 0);
    EXPECT_EQ(diag->at(0, 1), 1);
    EXPECT_EQ(diag->at(1, 0), 1);
    EXPECT_EQ(diag->at(1, 1), 0);

    // [[2 1 0] [1 3 1] [0 1 4]] has eigenvalues 3 + sqrt(3), 3, 3 - sqrt(3)
    Matrix* sym = makeMatrix(3, 3, {2, 1, 0, 1, 3, 1, 0, 1, 4});
    Matrix* original = duplicateMatrix(sym);
    Vector* d3 = createVector(3);
    ASSERT_EQ(symmetricEigen(sym, d3), 0);
    const double expected[3] = {3 + std::sqrt(3.0), 3, 3 - std::sqrt(3.0)};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(d3->data[k], expected[k], 1e-5);
        // A v = lambda v for the row eigenvector
        for (int i = 0; i < 3; ++i) {
            double av = 0;
            for (int j = 0; j < 3; ++j) av += original->at(i, j) * sym->at(k, j);
            EXPECT_NEAR(av, d3->data[k] * sym->at(k, i), 1e-4);
        }
    }
    Matrix* notSquare = createMatrix(2, 3);
    EXPECT_EQ(symmetricEigen(notSquare, d2), -1);
    for (Matrix* m : {diag, sym, original, notSquare}) destroyMatrix(m);
    destroyVector(d2);
    destroyVector(d3);
}
