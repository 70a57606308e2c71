#include <algorithm>
#include <cstdio>

#include "square_candidates.h"

namespace {
constexpr int kDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int kDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
}  // namespace

int traceContour(const LabelResult& labels, int region, const int box[4], MarkerCandidate* c) {
    const int width = labels.width;
    const std::int16_t* image = labels.labels.data();
    std::vector<int>& xs = c->x;
    std::vector<int>& ys = c->y;
    // Grown with the outline (to kMaxContourPoints at most): storage for the longest outline
    // of every candidate slot would be touched, and copied with the engine, for nothing.
    auto room = [&xs, &ys](int n) {
        if (static_cast<int>(xs.size()) > n) return;
        const std::size_t size =
            std::min<std::size_t>(kMaxContourPoints, std::max<std::size_t>(256, 2 * xs.size()));
        xs.resize(size);
        ys.resize(size);
    };
    room(0);

    int startX = -1;
    const int top = box[2];
    for (int x = box[0]; x <= box[1]; ++x) {
        const int label = image[top * width + x];
        if (label > 0 && labels.table[label] == region) {
            startX = x;
            break;
        }
    }
    if (startX < 0) {
        std::printf("??? 1\n");
        return -1;
    }
    xs[0] = startX;
    ys[0] = top;
    int n = 1;
    int d = 5;
    for (;;) {
        d = (d + 5) % 8;
        const int cx = xs[n - 1], cy = ys[n - 1];
        int tries = 0;
        for (; tries < 8; ++tries, d = (d + 1) % 8)
            if (image[(cy + kDy[d]) * width + cx + kDx[d]] > 0) break;
        if (tries == 8) {
            std::printf("??? 2\n");
            return -1;
        }
        room(n);
        xs[n] = cx + kDx[d];
        ys[n] = cy + kDy[d];
        if (xs[n] == xs[0] && ys[n] == ys[0]) break;
        if (++n == kMaxContourPoints - 1) {
            std::printf("??? 3\n");
            return -1;
        }
    }

    // Restart the outline at the point farthest from the start pixel.
    int farthest = 1;
    long long best = -1;
    for (int i = 1; i < n; ++i) {
        const long long dx = xs[i] - xs[0], dy = ys[i] - ys[0];
        const long long d2 = dx * dx + dy * dy;
        if (d2 > best) {
            best = d2;
            farthest = i;
        }
    }
    // Start at the farthest point: the first n points turned left by farthest.
    std::rotate(xs.begin(), xs.begin() + farthest, xs.begin() + n);
    std::rotate(ys.begin(), ys.begin() + farthest, ys.begin() + n);
    xs[n] = xs[0];
    ys[n] = ys[0];
    c->pointCount = n + 1;
    return 0;
}
