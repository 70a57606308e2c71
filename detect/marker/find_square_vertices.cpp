#include "square_candidates.h"

namespace {
constexpr int kMaxSplitCorners = 5;

long long squaredDistance(const int* x, const int* y, int a, int b) {
    const long long dx = x[a] - x[b], dy = y[a] - y[b];
    return dx * dx + dy * dy;
}

// Two more splits of one half that held more than one corner: each part must give exactly one.
int splitHalfInTwo(const int* x, const int* y, int st, int mid, int ed, double threshold,
                   int* first, int* second) {
    int a[kMaxSplitCorners + 1], b[kMaxSplitCorners + 1];
    int na = 0, nb = 0;
    if (splitAtFarthestPoint(x, y, st, mid, threshold, a, &na) < 0) return -1;
    if (splitAtFarthestPoint(x, y, mid, ed, threshold, b, &nb) < 0) return -1;
    if (na != 1 || nb != 1) return -1;
    *first = a[0];
    *second = b[0];
    return 0;
}
}  // namespace

int splitAtFarthestPoint(const int* x, const int* y, int st, int ed, double threshold,
                         int* vertices, int* count) {
    const long long a = y[ed] - y[st];
    const long long b = x[st] - x[ed];
    const long long c =
        static_cast<long long>(x[ed]) * y[st] - static_cast<long long>(y[ed]) * x[st];
    double best = 0.0;
    int bestIndex = -1;
    for (int i = st + 1; i <= ed - 1; ++i) {
        const double e = static_cast<double>(a * x[i] + b * y[i] + c);
        if (e * e > best) {
            best = e * e;
            bestIndex = i;
        }
    }
    if (bestIndex >= 0 && best / static_cast<double>(a * a + b * b) > threshold) {
        if (splitAtFarthestPoint(x, y, st, bestIndex, threshold, vertices, count) < 0) return -1;
        if (*count > kMaxSplitCorners) return -1;
        vertices[(*count)++] = bestIndex;
        if (splitAtFarthestPoint(x, y, bestIndex, ed, threshold, vertices, count) < 0) return -1;
    }
    return 0;
}

int findSquareVertices(MarkerCandidate* c, int area, double factor) {
    const int* x = c->x.data();
    const int* y = c->y.data();
    const int n = c->pointCount;
    const double threshold = area / 0.75 * 0.01 * factor;

    int m = 1;
    long long best = -1;
    for (int i = 1; i <= n - 2; ++i) {
        const long long d2 = squaredDistance(x, y, 0, i);
        if (d2 > best) {
            best = d2;
            m = i;
        }
    }
    int a[kMaxSplitCorners + 1], b[kMaxSplitCorners + 1];
    int na = 0, nb = 0;
    if (splitAtFarthestPoint(x, y, 0, m, threshold, a, &na) < 0) return -1;
    if (splitAtFarthestPoint(x, y, m, n - 1, threshold, b, &nb) < 0) return -1;

    int* v = c->vertexIndex;
    if (na == 1 && nb == 1) {
        v[1] = a[0];
        v[2] = m;
        v[3] = b[0];
    } else if (na > 1 && nb == 0) {
        if (splitHalfInTwo(x, y, 0, m / 2, m, threshold, &v[1], &v[2]) < 0) return -1;
        v[3] = m;
    } else if (na == 0 && nb > 1) {
        v[1] = m;
        if (splitHalfInTwo(x, y, m, (m + n - 1) / 2, n - 1, threshold, &v[2], &v[3]) < 0) return -1;
    } else {
        return -1;
    }
    v[0] = 0;
    v[4] = n - 1;
    return 0;
}
