#include "matrix.h"

#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>

Matrix* createMatrix(int rows, int cols) {
    if (rows < 0 || cols < 0) return nullptr;
    Matrix* m = new (std::nothrow) Matrix{rows, cols, nullptr};
    if (m == nullptr) return nullptr;
    m->data = new (std::nothrow) double[static_cast<std::size_t>(rows) * cols + 1];
    if (m->data == nullptr) {
        delete m;
        return nullptr;
    }
    return m;
}

Vector* createVector(int length) {
    if (length < 0) return nullptr;
    Vector* v = new (std::nothrow) Vector{length, nullptr};
    if (v == nullptr) return nullptr;
    v->data = new (std::nothrow) double[static_cast<std::size_t>(length) + 1];
    if (v->data == nullptr) {
        delete v;
        return nullptr;
    }
    return v;
}

int destroyMatrix(Matrix* m) {
    if (m != nullptr) {
        delete[] m->data;
        delete m;
    }
    return 0;
}

int destroyVector(Vector* v) {
    if (v != nullptr) {
        delete[] v->data;
        delete v;
    }
    return 0;
}

int copyMatrix(Matrix* dest, const Matrix* source) {
    if (dest->rows != source->rows || dest->cols != source->cols) return -1;
    for (int i = 0; i < source->rows * source->cols; ++i) dest->data[i] = source->data[i];
    return 0;
}

Matrix* duplicateMatrix(const Matrix* source) {
    Matrix* m = createMatrix(source->rows, source->cols);
    if (m == nullptr) return nullptr;
    if (copyMatrix(m, source) != 0) {
        destroyMatrix(m);
        return nullptr;
    }
    return m;
}

int multiplyMatrix(Matrix* dest, const Matrix* a, const Matrix* b) {
    if (a->cols != b->rows || dest->rows != a->rows || dest->cols != b->cols) return -1;
    for (int r = 0; r < dest->rows; ++r) {
        for (int c = 0; c < dest->cols; ++c) {
            double sum = 0.0;
            for (int k = 0; k < a->cols; ++k) sum += a->at(r, k) * b->at(k, c);
            dest->at(r, c) = sum;
        }
    }
    return 0;
}

int invertMatrixInPlace(Matrix* m) {
    const int n = m->rows;
    if (n != m->cols || n == 0) return -1;
    if (n == 1) {
        m->data[0] = 1.0 / m->data[0];
        return 0;
    }
    int* perm = new (std::nothrow) int[n];
    if (perm == nullptr) return -1;
    for (int i = 0; i < n; ++i) perm[i] = i;
    double* a = m->data;
    for (int k = 0; k < n; ++k) {
        // Each step shifts the rows one column left, so the pivot column is always 0.
        int p = k;
        double best = 0.0;
        for (int i = k; i < n; ++i) {
            const double v = std::fabs(a[i * n]);
            if (v > best) {
                best = v;
                p = i;
            }
        }
        if (best <= 1.0e-10) {
            delete[] perm;
            return -1;
        }
        std::swap(perm[k], perm[p]);
        for (int j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
        double* rowK = a + k * n;
        const double q = rowK[0];
        for (int j = 0; j < n - 1; ++j) rowK[j] = rowK[j + 1] / q;
        rowK[n - 1] = 1.0 / q;
        for (int i = 0; i < n; ++i) {
            if (i == k) continue;
            double* row = a + i * n;
            const double f = row[0];
            for (int j = 0; j < n - 1; ++j) row[j] = row[j + 1] - f * rowK[j];
            row[n - 1] = -f * rowK[n - 1];
        }
    }
    for (int k = 0; k < n; ++k) {
        int i = k;
        while (i < n && perm[i] != k) ++i;
        perm[i] = perm[k];
        for (int r = 0; r < n; ++r) std::swap(a[r * n + k], a[r * n + i]);
    }
    delete[] perm;
    return 0;
}

int columnMeans(const Matrix* m, Vector* means) {
    if (m->rows < 1 || m->cols < 1 || means->length != m->cols) return -1;
    for (int c = 0; c < m->cols; ++c) {
        double sum = 0.0;
        for (int r = 0; r < m->rows; ++r) sum += m->at(r, c);
        means->data[c] = sum / m->rows;
    }
    return 0;
}

int subtractRowVector(Matrix* m, const Vector* v) {
    if (v->length != m->cols) return -1;
    for (int r = 0; r < m->rows; ++r)
        for (int c = 0; c < m->cols; ++c) m->at(r, c) -= v->data[c];
    return 0;
}

double innerProduct(VectorView a, VectorView b) {
    if (a.length != b.length) std::exit(0);
    double sum = 0.0;
    for (int i = 0; i < a.length; ++i) sum += a.data[i] * b.data[i];
    return sum;
}

double householderVector(VectorView x) {
    double norm = std::sqrt(innerProduct(x, x));
    if (norm == 0.0) return 0.0;
    if (x.data[0] < 0.0) norm = -norm;
    x.data[0] += norm;
    const double scale = 1.0 / std::sqrt(std::fabs(norm) * std::fabs(x.data[0]));
    for (int i = 0; i < x.length; ++i) x.data[i] *= scale;
    return -norm;
}

namespace {
// Householder reduction of a symmetric matrix to tridiagonal form. On return d holds
// the diagonal, e[1..n-1] the sub-diagonal (e[0] = 0) and the rows of a the basis.
int tridiagonalize(Matrix* a, double* d, double* e) {
    const int n = a->rows;
    if (n == 2) {
        d[0] = a->at(0, 0);
        d[1] = a->at(1, 1);
        e[0] = 0.0;
        e[1] = a->at(0, 1);
        a->at(0, 0) = 1.0;
        a->at(0, 1) = 0.0;
        a->at(1, 0) = 0.0;
        a->at(1, 1) = 1.0;
        return 0;
    }
    // General case: A = Q T Q^T with Q accumulated from reflections H_k = I - v v^T
    // acting on rows/columns k+1..n-1 (householderVector scales v so that |v|^2 = 2).
    Matrix* q = createMatrix(n, n);
    double* p = new (std::nothrow) double[n];
    if (q == nullptr || p == nullptr) {
        destroyMatrix(q);
        delete[] p;
        return -1;
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) q->at(i, j) = i == j ? 1.0 : 0.0;
    e[0] = 0.0;
    for (int k = 0; k < n - 2; ++k) {
        const int len = n - k - 1;
        double* v = &a->at(k, k + 1);  // row k, columns k+1..n-1 (symmetric with the column)
        d[k] = a->at(k, k);
        e[k + 1] = householderVector(VectorView{v, len});
        // B = H A' H on the trailing block, with A' the block rows/columns k+1..n-1.
        for (int i = 0; i < len; ++i) {
            double s = 0.0;
            for (int j = 0; j < len; ++j) s += a->at(k + 1 + i, k + 1 + j) * v[j];
            p[i] = s;
        }
        const double vp = innerProduct(VectorView{v, len}, VectorView{p, len});
        for (int i = 0; i < len; ++i) p[i] -= 0.5 * vp * v[i];
        for (int i = 0; i < len; ++i)
            for (int j = 0; j < len; ++j) a->at(k + 1 + i, k + 1 + j) -= v[i] * p[j] + p[i] * v[j];
        // Accumulate the basis: rows of Q become H applied to them.
        for (int r = 0; r < n; ++r) {
            double s = 0.0;
            for (int j = 0; j < len; ++j) s += q->at(r, k + 1 + j) * v[j];
            for (int j = 0; j < len; ++j) q->at(r, k + 1 + j) -= s * v[j];
        }
    }
    d[n - 2] = a->at(n - 2, n - 2);
    d[n - 1] = a->at(n - 1, n - 1);
    e[n - 1] = a->at(n - 2, n - 1);
    // Rows of a: the basis vectors (columns of Q).
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) a->at(i, j) = q->at(j, i);
    destroyMatrix(q);
    delete[] p;
    return 0;
}
}  // namespace

int symmetricEigen(Matrix* a, Vector* eval) {
    const int n = a->rows;
    if (n != a->cols || n < 2 || eval->length != n) return -1;
    double* e = new (std::nothrow) double[n];
    if (e == nullptr) return -1;
    double* d = eval->data;
    if (tridiagonalize(a, d, e) != 0) {
        delete[] e;
        return -1;
    }
    for (int h = n - 1; h > 0; --h) {
        int j = h;
        while (j > 0 && std::fabs(e[j]) > 1.0e-6 * (std::fabs(d[j - 1]) + std::fabs(d[j]))) --j;
        if (j == h) continue;
        for (int sweep = 0; sweep < 100; ++sweep) {
            if (std::fabs(e[h]) <= 1.0e-6 * (std::fabs(d[h - 1]) + std::fabs(d[h]))) break;
            const double t = e[h] * e[h];
            const double w = (d[h - 1] - d[h]) / 2.0;
            double r = std::sqrt(w * w + t);
            if (w < 0.0) r = -r;
            double x = d[j] - d[h] + t / (w + r);
            double y = e[j + 1];
            for (int k = j; k < h; ++k) {
                double c, s;
                if (std::fabs(x) >= std::fabs(y)) {
                    if (std::fabs(x) > 1.0e-16) {
                        c = 1.0 / std::sqrt(1.0 + (y / x) * (y / x));
                        s = -c * y / x;
                    } else {
                        c = 1.0;
                        s = 0.0;
                    }
                } else {
                    s = 1.0 / std::sqrt(1.0 + (x / y) * (x / y));
                    c = -s * x / y;
                }
                const double g = d[k] - d[k + 1];
                const double u = (2.0 * c * e[k + 1] + s * g) * s;
                d[k] -= u;
                d[k + 1] += u;
                if (k > j) e[k] = c * e[k] - s * y;
                e[k + 1] += s * (c * g - 2.0 * s * e[k + 1]);
                for (int i = 0; i < n; ++i) {
                    const double ak = a->at(k, i), ak1 = a->at(k + 1, i);
                    a->at(k, i) = c * ak - s * ak1;
                    a->at(k + 1, i) = s * ak + c * ak1;
                }
                if (k < h - 1) {
                    x = e[k + 1];
                    y = -s * e[k + 2];
                    e[k + 2] = c * e[k + 2];
                }
            }
        }
    }
    for (int k = 0; k < n - 1; ++k) {
        int best = k;
        for (int i = k + 1; i < n; ++i)
            if (d[i] > d[best]) best = i;
        std::swap(d[k], d[best]);
        for (int c = 0; c < n; ++c) std::swap(a->at(k, c), a->at(best, c));
    }
    delete[] e;
    return 0;
}

int principalAxes(const Matrix* input, Matrix* evec, Vector* eval, Vector* mean) {
    const int r = input->rows, c = input->cols;
    const int k = r < c ? r : c;
    if (r < 2 || c < 2 || evec->rows != k || evec->cols != c || eval->length != k ||
        mean->length != c)
        return -1;
    if (r < c) return -1;  // the engine always gives at least as many rows as columns
    Matrix* work = duplicateMatrix(input);
    Matrix* cov = createMatrix(c, c);
    int status = -1;
    if (work != nullptr && cov != nullptr && columnMeans(work, mean) == 0 &&
        subtractRowVector(work, mean) == 0) {
        const double root = std::sqrt(static_cast<double>(r));
        for (int i = 0; i < r * c; ++i) work->data[i] /= root;
        for (int i = 0; i < c; ++i) {
            for (int j = i; j < c; ++j) {
                double sum = 0.0;
                for (int row = 0; row < r; ++row) sum += work->at(row, i) * work->at(row, j);
                cov->at(i, j) = sum;
                cov->at(j, i) = sum;
            }
        }
        if (symmetricEigen(cov, eval) == 0) {
            int i = 0;
            for (; i < k && eval->data[i] >= 1.0e-16; ++i)
                for (int j = 0; j < c; ++j) evec->at(i, j) = cov->at(i, j);
            for (; i < k; ++i) {
                eval->data[i] = 0.0;
                for (int j = 0; j < c; ++j) evec->at(i, j) = 0.0;
            }
            double total = 0.0;
            for (int j = 0; j < k; ++j) total += eval->data[j];
            for (int j = 0; j < k; ++j) eval->data[j] /= total;
            status = 0;
        }
    }
    destroyMatrix(work);
    destroyMatrix(cov);
    return status;
}
