#include "label_image.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The labels are those of a pixel-by-pixel raster scan with a four-neighbour look-back
// (above, above-right, above-left, left) and an equivalence table whose representative
// is always the smallest provisional label of its class. This implementation works on
// runs of dark pixels and a union-find with the same smallest-label rule: a run's first
// pixel needs a new provisional label exactly when none of its three upper neighbours
// is dark, so the provisional count (and the overflow failure), the classes and the
// final numbering (raster order of each region's first pixel) are the same.

namespace {
struct Run {
    int start, end;  // inclusive x range
    int label;       // provisional label
};

struct ProvisionalStats {
    long long count, sumX, sumY;  // 64-bit: large regions must not overflow
    int minX, maxX, minY, maxY;
};

int findRoot(std::vector<int>& parent, int k) {
    int root = k;
    while (parent[root] != root) root = parent[root];
    while (parent[k] != root) {
        const int next = parent[k];
        parent[k] = root;
        k = next;
    }
    return root;
}

void unite(std::vector<int>& parent, int a, int b) {
    const int ra = findRoot(parent, a), rb = findRoot(parent, b);
    if (ra < rb)
        parent[rb] = ra;
    else if (rb < ra)
        parent[ra] = rb;
}

// Dark flags of one row, a bit per pixel (bit x % 64 of word x / 64), the two border
// pixels left bright. With SSE2, 16 pixels at a time: the channel sums by two pairwise
// multiply-adds, compared in 16 bits (the sums are at most 765).
void darkBits(const unsigned char* row, int width, int threshold3,
              std::vector<std::uint64_t>& bits) {
    std::fill(bits.begin(), bits.end(), 0);
    int x = 0;
#ifdef __SSE2__
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i limit = _mm_set1_epi16(static_cast<short>(threshold3 + 1));
    const __m128i zero = _mm_setzero_si128();
    auto sums = [&](const unsigned char* p) {  // of four pixels, as 32-bit lanes
        const __m128i v =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), colour);
        const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), ones);
        const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), ones);
        return _mm_madd_epi16(_mm_packs_epi32(low, high), ones);
    };
    for (; x + 16 <= width; x += 16) {
        const unsigned char* p = row + 4 * x;
        const __m128i first = _mm_packs_epi32(sums(p), sums(p + 16));
        const __m128i second = _mm_packs_epi32(sums(p + 32), sums(p + 48));
        const __m128i dark =
            _mm_packs_epi16(_mm_cmpgt_epi16(limit, first), _mm_cmpgt_epi16(limit, second));
        const std::uint64_t flags = static_cast<unsigned>(_mm_movemask_epi8(dark));
        bits[x >> 6] |= flags << (x & 63);
    }
#endif
    for (; x < width; ++x) {
        const unsigned char* p = row + 4 * x;
        if (p[0] + p[1] + p[2] <= threshold3) bits[x >> 6] |= std::uint64_t{1} << (x & 63);
    }
    bits[0] &= ~std::uint64_t{1};
    bits[(width - 1) >> 6] &= ~(std::uint64_t{1} << ((width - 1) & 63));
}

// Dark-pixel runs of one interior row (x in 1 .. width-2), found a word of flags at a time.
void findRuns(const unsigned char* row, int width, int threshold3, std::vector<std::uint64_t>& bits,
              std::vector<Run>& runs) {
    runs.clear();
    darkBits(row, width, threshold3, bits);
    const int words = static_cast<int>(bits.size());
    int x = 0;
    for (;;) {
        int w = x >> 6;
        if (w >= words) return;
        std::uint64_t dark = bits[w] & (~std::uint64_t{0} << (x & 63));
        while (dark == 0) {
            if (++w >= words) return;
            dark = bits[w];
        }
        const int start = (w << 6) + __builtin_ctzll(dark);
        // The last pixel is bright: the run ends inside the row.
        std::uint64_t bright = ~bits[w] & (~std::uint64_t{0} << (start & 63));
        while (bright == 0) bright = ~bits[++w];
        x = (w << 6) + __builtin_ctzll(bright);
        runs.push_back(Run{start, x - 1, 0});
    }
}
}  // namespace

int labelImage(const unsigned char* image, int width, int height, int threshold, LabelResult* out) {
    out->width = width;
    out->height = height;
    out->labels.assign(static_cast<std::size_t>(width) * height, 0);
    out->provisionalCount = 0;
    out->regionCount = 0;
    if (width < 3 || height < 3) {
        out->table.assign(1, 0);
        return 0;
    }
    // A sum of three channels lies in 0..765: thresholds beyond -1..255 change nothing and
    // are clamped before the multiplication can overflow.
    const int threshold3 = 3 * std::clamp(threshold, -1, 256);
    std::vector<int> parent(1, 0);
    std::vector<ProvisionalStats> stats(1);
    std::vector<std::uint64_t> bits((width + 63) / 64);
    std::vector<Run> previous, current;

    for (int y = 1; y < height - 1; ++y) {
        findRuns(image + static_cast<std::size_t>(y) * width * 4, width, threshold3, bits, current);
        std::size_t first = 0;  // first previous run that may still touch a current run
        for (Run& run : current) {
            while (first < previous.size() && previous[first].end < run.start - 1) ++first;
            int label = 0;
            bool upperNeighbourOfFirstPixel = false;
            for (std::size_t j = first; j < previous.size() && previous[j].start <= run.end + 1;
                 ++j) {
                if (previous[j].start <= run.start + 1) upperNeighbourOfFirstPixel = true;
                if (label == 0)
                    label = previous[j].label;
                else
                    unite(parent, label, previous[j].label);
            }
            if (!upperNeighbourOfFirstPixel) {
                // The first pixel opens a new provisional label.
                if (out->provisionalCount == kMaxProvisionalLabels) return -1;
                const int fresh = ++out->provisionalCount;
                parent.push_back(fresh);
                stats.push_back(ProvisionalStats{0, 0, 0, run.start, run.end, y, y});
                if (label != 0) unite(parent, fresh, label);
                label = fresh;
            }
            run.label = label;
            ProvisionalStats& s = stats[label];
            const long long length = run.end - run.start + 1;
            s.count += length;
            s.sumX += (static_cast<long long>(run.start) + run.end) * length / 2;
            s.sumY += static_cast<long long>(y) * length;
            s.minX = std::min(s.minX, run.start);
            s.maxX = std::max(s.maxX, run.end);
            s.minY = std::min(s.minY, y);
            s.maxY = std::max(s.maxY, y);
            std::int16_t* labelRow = out->labels.data() + static_cast<std::size_t>(y) * width;
            std::fill(labelRow + run.start, labelRow + run.end + 1,
                      static_cast<std::int16_t>(label));
        }
        std::swap(previous, current);
    }

    const int n = out->provisionalCount;
    out->table.assign(n + 1, 0);
    int f = 1;
    for (int k = 1; k <= n; ++k) {
        const int root = findRoot(parent, k);
        out->table[k] = root == k ? f++ : out->table[root];
    }
    const int regions = f - 1;
    out->regionCount = regions;
    out->area.assign(regions + 1, 0);
    out->centroid.assign(2 * (regions + 1), 0.0);
    out->box.assign(4 * (regions + 1), 0);
    std::vector<double> sumX(regions + 1, 0.0), sumY(regions + 1, 0.0);
    for (int r = 1; r <= regions; ++r) {
        out->box[4 * r] = width;
        out->box[4 * r + 2] = height;
    }
    for (int k = 1; k <= n; ++k) {
        const int r = out->table[k];
        const ProvisionalStats& s = stats[k];
        out->area[r] += static_cast<int>(s.count);
        sumX[r] += static_cast<double>(s.sumX);
        sumY[r] += static_cast<double>(s.sumY);
        int* box = &out->box[4 * r];
        box[0] = std::min(box[0], s.minX);
        box[1] = std::max(box[1], s.maxX);
        box[2] = std::min(box[2], s.minY);
        box[3] = std::max(box[3], s.maxY);
    }
    for (int r = 1; r <= regions; ++r) {
        out->centroid[2 * r] = sumX[r] / out->area[r];
        out->centroid[2 * r + 1] = sumY[r] / out->area[r];
    }
    return 0;
}
