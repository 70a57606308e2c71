// Small dense linear algebra of the engine: heap matrices and vectors of doubles.
// Every Matrix and Vector is created and destroyed by the same caller; creation
// returns null when storage cannot be obtained.
#pragma once

struct Matrix {
    int rows;
    int cols;
    double* data;  // rows x cols, row-major, owned
    double& at(int r, int c) { return data[r * cols + c]; }
    double at(int r, int c) const { return data[r * cols + c]; }
};

struct Vector {
    int length;
    double* data;  // owned
};

// Non-owning view of part of a matrix row or vector.
struct VectorView {
    double* data;
    int length;
};

Matrix* createMatrix(int rows, int cols);
Vector* createVector(int length);
int destroyMatrix(Matrix* m);  // releases the block and the record; returns 0
int destroyVector(Vector* v);
int copyMatrix(Matrix* dest, const Matrix* source);  // -1 when shapes differ
Matrix* duplicateMatrix(const Matrix* source);
// dest (r x c) = a (r x k) * b (k x c); -1 when the shapes do not fit.
int multiplyMatrix(Matrix* dest, const Matrix* a, const Matrix* b);
// Gauss-Jordan with row pivoting in place; -1 when size 0 or a pivot is <= 1e-10.
int invertMatrixInPlace(Matrix* m);
int columnMeans(const Matrix* m, Vector* means);
int subtractRowVector(Matrix* m, const Vector* v);
// Principal axes of the rows of input (r >= 2, c >= 2, r >= c): eigenvectors as rows of
// evec (min(r,c) x c) by decreasing eigenvalue, eigenvalues as fractions of the total
// variance, column means. Rows with an eigenvalue below 1e-16 are zeroed.
int principalAxes(const Matrix* input, Matrix* evec, Vector* eval, Vector* mean);
// Symmetric n x n eigenproblem (n >= 2): the matrix is replaced by its unit eigenvectors
// as rows, eval receives the eigenvalues, both sorted by decreasing eigenvalue.
int symmetricEigen(Matrix* a, Vector* eval);
// Dot product of two views; views of different lengths end the program.
double innerProduct(VectorView a, VectorView b);
// Scales the view into a Householder vector; returns minus its signed norm.
double householderVector(VectorView x);
