// Region labeling: hand-drawn cases, a literal reference of the raster-scan table
// algorithm, and OpenCV's connected components on random images.
#include "label_image.h"

#include <gtest/gtest.h>

#include <map>
#include <opencv2/imgproc.hpp>
#include <random>

#include "engine_test_support.h"

namespace {
// The table algorithm pixel by pixel, as documented: seven look-back cases, merges that
// sweep the table, then resolution to final labels. Returns -1 on label overflow.
struct ReferenceLabels {
    int provisional = 0, regions = 0;
    std::vector<int> finalLabel;  // per pixel, 0 for bright/border
    std::vector<int> area;
    std::vector<double> cx, cy;
    std::vector<int> box;
};

int referenceLabel(const PackedImage& img, int threshold, ReferenceLabels* out) {
    const int w = img.width, h = img.height;
    std::vector<int> label(w * h, 0);
    std::vector<int> table(1, 0);
    struct Stat {
        long long n, sx, sy;
        int x0, x1, y0, y1;
    };
    std::vector<Stat> st(1);
    auto dark = [&](int x, int y) {
        const unsigned char* p = &img.bytes[(y * w + x) * 4];
        return p[0] + p[1] + p[2] <= 3 * threshold;
    };
    int count = 0;
    auto merge = [&](int p, int q) {
        const int m = table[p], n = table[q];
        if (m > n) {
            for (int k = 1; k <= count; ++k)
                if (table[k] == m) table[k] = n;
            return n;
        }
        if (m < n) {
            for (int k = 1; k <= count; ++k)
                if (table[k] == n) table[k] = m;
        }
        return m;
    };
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            if (!dark(x, y)) continue;
            const int up = label[(y - 1) * w + x], ur = label[(y - 1) * w + x + 1];
            const int ul = label[(y - 1) * w + x - 1], left = label[y * w + x - 1];
            int l;
            if (up > 0) {
                l = up;
                st[l].y1 = y;
            } else if (ur > 0 && ul > 0) {
                l = merge(ur, ul);
                st[l].y1 = y;
            } else if (ur > 0 && left > 0) {
                l = merge(ur, left);
            } else if (ur > 0) {
                l = ur;
                st[l].x0 = std::min(st[l].x0, x);
                st[l].y1 = y;
            } else if (ul > 0) {
                l = ul;
                st[l].x1 = std::max(st[l].x1, x);
                st[l].y1 = y;
            } else if (left > 0) {
                l = left;
                st[l].x1 = std::max(st[l].x1, x);
            } else {
                if (count == 32767) return -1;
                l = ++count;
                table.push_back(l);
                st.push_back(Stat{0, 0, 0, x, x, y, y});
            }
            label[y * w + x] = l;
            st[l].n += 1;
            st[l].sx += x;
            st[l].sy += y;
        }
    int f = 1;
    for (int k = 1; k <= count; ++k) table[k] = table[k] == k ? f++ : table[table[k]];
    out->provisional = count;
    out->regions = f - 1;
    const int L = f - 1;
    out->area.assign(L + 1, 0);
    out->cx.assign(L + 1, 0);
    out->cy.assign(L + 1, 0);
    out->box.assign(4 * (L + 1), 0);
    for (int r = 1; r <= L; ++r) {
        out->box[4 * r] = w;
        out->box[4 * r + 2] = h;
    }
    for (int k = 1; k <= count; ++k) {
        const int r = table[k];
        out->area[r] += st[k].n;
        out->cx[r] += st[k].sx;
        out->cy[r] += st[k].sy;
        out->box[4 * r] = std::min(out->box[4 * r], st[k].x0);
        out->box[4 * r + 1] = std::max(out->box[4 * r + 1], st[k].x1);
        out->box[4 * r + 2] = std::min(out->box[4 * r + 2], st[k].y0);
        out->box[4 * r + 3] = std::max(out->box[4 * r + 3], st[k].y1);
    }
    for (int r = 1; r <= L; ++r) {
        out->cx[r] /= out->area[r];
        out->cy[r] /= out->area[r];
    }
    out->finalLabel.assign(w * h, 0);
    for (int i = 0; i < w * h; ++i) out->finalLabel[i] = label[i] > 0 ? table[label[i]] : 0;
    return 0;
}

void expectSameAsReference(const PackedImage& img, int threshold) {
    ReferenceLabels ref;
    LabelResult got;
    const int refStatus = referenceLabel(img, threshold, &ref);
    ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, threshold, &got), refStatus);
    if (refStatus != 0) return;
    ASSERT_EQ(got.provisionalCount, ref.provisional);
    ASSERT_EQ(got.regionCount, ref.regions);
    for (int i = 0; i < img.width * img.height; ++i) {
        const int l = got.labels[i];
        ASSERT_EQ(l > 0 ? got.table[l] : 0, ref.finalLabel[i]) << "pixel " << i;
    }
    for (int r = 1; r <= ref.regions; ++r) {
        EXPECT_EQ(got.area[r], ref.area[r]);
        EXPECT_DOUBLE_EQ(got.centroid[2 * r], ref.cx[r]);
        EXPECT_DOUBLE_EQ(got.centroid[2 * r + 1], ref.cy[r]);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(got.box[4 * r + k], ref.box[4 * r + k]) << r;
    }
}

PackedImage randomImage(std::mt19937& rng, int w, int h, double density) {
    PackedImage img;
    img.width = w;
    img.height = h;
    img.bytes.assign(static_cast<std::size_t>(w) * h * 4, 255);
    std::bernoulli_distribution isDark(density);
    for (int i = 0; i < w * h; ++i)
        if (isDark(rng))
            for (int ch = 0; ch < 3; ++ch) img.bytes[i * 4 + ch] = 0;
    return img;
}
}  // namespace

TEST(LabelImage, HandDrawnShapes) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        int regions;
        std::vector<int> areas;  // per final label
    };
    const Case cases[] = {
        {"diagonal touch", {"......", ".#....", "..#...", "......"}, 1, {2}},
        {"anti-diagonal touch", {"......", "...#..", "..#...", "......"}, 1, {2}},
        {"U joined below", {".......", ".#...#.", ".#...#.", ".#####.", "......."}, 1, {9}},
        {"two blobs in raster order",
         {"........", "......#.", ".##.....", ".##.....", "........"},
         2,
         {1, 4}},
        {"border pixels never count", {"####", "####", "####"}, 1, {2}},
        {"W with late merges",
         {".........", ".#.#.#.#.", ".#.#.#.#.", ".#######.", "........."},
         1,
         {15}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PackedImage img = packedFromDrawing(c.rows);
        LabelResult got;
        ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, 100, &got), 0);
        ASSERT_EQ(got.regionCount, c.regions);
        for (int r = 1; r <= c.regions; ++r) EXPECT_EQ(got.area[r], c.areas[r - 1]) << r;
        expectSameAsReference(img, 100);
    }
}

TEST(LabelImage, UShapeStatistics) {
    const PackedImage img =
        packedFromDrawing({".......", ".#...#.", ".#...#.", ".#####.", "......."});
    LabelResult got;
    ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, 100, &got), 0);
    ASSERT_EQ(got.regionCount, 1);
    EXPECT_EQ(got.area[1], 9);
    // x: 1,5,1,5,1,2,3,4,5 = 27; y: 1,1,2,2,3*5 = 21
    EXPECT_DOUBLE_EQ(got.centroid[2], 27.0 / 9);
    EXPECT_DOUBLE_EQ(got.centroid[3], 21.0 / 9);
    EXPECT_EQ(got.box[4], 1);
    EXPECT_EQ(got.box[5], 5);
    EXPECT_EQ(got.box[6], 1);
    EXPECT_EQ(got.box[7], 3);
}

TEST(LabelImage, AllBrightAllDarkAndThresholdEdges) {
    PackedImage img;
    img.width = 40;
    img.height = 30;
    img.bytes.assign(40 * 30 * 4, 200);
    LabelResult got;
    ASSERT_EQ(labelImage(img.bytes.data(), 40, 30, 200, &got), 0);
    ASSERT_EQ(got.regionCount, 1) << "sum equal to 3T is dark";
    EXPECT_EQ(got.area[1], 38 * 28);
    EXPECT_EQ(got.box[4], 1);
    EXPECT_EQ(got.box[5], 38);
    EXPECT_EQ(got.box[6], 1);
    EXPECT_EQ(got.box[7], 28);
    ASSERT_EQ(labelImage(img.bytes.data(), 40, 30, 199, &got), 0);
    EXPECT_EQ(got.regionCount, 0);

    // T = 0: only pure black is dark; T = 255: everything is.
    img.bytes.assign(40 * 30 * 4, 1);
    for (int i = 0; i < 40 * 30; ++i) img.bytes[i * 4 + 2] = 0;
    img.bytes[(5 * 40 + 5) * 4 + 0] = 0;
    img.bytes[(5 * 40 + 5) * 4 + 1] = 0;
    ASSERT_EQ(labelImage(img.bytes.data(), 40, 30, 0, &got), 0);
    ASSERT_EQ(got.regionCount, 1);
    EXPECT_EQ(got.area[1], 1);
    img.bytes.assign(40 * 30 * 4, 255);
    ASSERT_EQ(labelImage(img.bytes.data(), 40, 30, 255, &got), 0);
    EXPECT_EQ(got.regionCount, 1);
}

TEST(LabelImage, MatchesTheReferenceOnRandomImages) {
    std::mt19937 rng(11);
    int merged = 0;  // provisional labels the reference merged: the images must need merging
    for (const double density : {0.05, 0.3, 0.45, 0.6, 0.9}) {
        for (int trial = 0; trial < 4; ++trial) {
            SCOPED_TRACE(density);
            const PackedImage img = randomImage(rng, 37 + trial * 13, 29 + trial * 7, density);
            ReferenceLabels ref;
            if (referenceLabel(img, 100, &ref) == 0) merged += ref.provisional - ref.regions;
            expectSameAsReference(img, 100);
        }
    }
    EXPECT_GT(merged, 20);
}

TEST(LabelImage, ProvisionalLabelOverflowFailsLikeTheReference) {
    // Isolated dark pixels on a grid of period 2 need one provisional label each:
    // 32767 of them fit, one more makes labeling fail.
    const int w = 2 * 183 + 1, h = 2 * 180 + 1;
    for (const int dots : {32767, 32768}) {
        SCOPED_TRACE(dots);
        PackedImage img;
        img.width = w;
        img.height = h;
        img.bytes.assign(static_cast<std::size_t>(w) * h * 4, 255);
        int placed = 0;
        for (int y = 1; y < h - 1 && placed < dots; y += 2)
            for (int x = 1; x < w - 1 && placed < dots; x += 2, ++placed)
                for (int ch = 0; ch < 3; ++ch) img.bytes[(y * w + x) * 4 + ch] = 0;
        ASSERT_EQ(placed, dots);
        LabelResult got;
        EXPECT_EQ(labelImage(img.bytes.data(), w, h, 100, &got), dots > 32767 ? -1 : 0);
        expectSameAsReference(img, 100);
    }
}

TEST(LabelImage, SameRegionsAsOpenCvConnectedComponents) {
    std::mt19937 rng(5);
    int regionsChecked = 0;
    for (int trial = 0; trial < 6; ++trial) {
        const PackedImage img =
            randomImage(rng, 120 + 17 * trial, 90 + 11 * trial, 0.35 + 0.04 * trial);
        LabelResult got;
        ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, 100, &got), 0);
        cv::Mat binary(img.height, img.width, CV_8U, cv::Scalar(0));
        for (int y = 1; y < img.height - 1; ++y)
            for (int x = 1; x < img.width - 1; ++x)
                binary.at<uchar>(y, x) = img.bytes[(y * img.width + x) * 4] == 0 ? 255 : 0;
        cv::Mat cvLabels, stats, centroids;
        const int n = cv::connectedComponentsWithStats(binary, cvLabels, stats, centroids, 8);
        ASSERT_EQ(got.regionCount, n - 1);
        // Map OpenCV's numbering to ours through the pixels; it must be one-to-one.
        std::map<int, int> ours;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const int c = cvLabels.at<int>(y, x);
                const int l = got.labels[y * img.width + x];
                const int mine = l > 0 ? got.table[l] : 0;
                if (c == 0) {
                    ASSERT_EQ(mine, 0);
                    continue;
                }
                auto [it, inserted] = ours.emplace(c, mine);
                ASSERT_EQ(it->second, mine) << "region split or merged differently";
            }
        for (const auto& [c, r] : ours) {
            EXPECT_EQ(got.area[r], stats.at<int>(c, cv::CC_STAT_AREA));
            EXPECT_EQ(got.box[4 * r], stats.at<int>(c, cv::CC_STAT_LEFT));
            EXPECT_EQ(got.box[4 * r + 1],
                      stats.at<int>(c, cv::CC_STAT_LEFT) + stats.at<int>(c, cv::CC_STAT_WIDTH) - 1);
            EXPECT_EQ(got.box[4 * r + 2], stats.at<int>(c, cv::CC_STAT_TOP));
            EXPECT_NEAR(got.centroid[2 * r], centroids.at<double>(c, 0), 1e-9);
            EXPECT_NEAR(got.centroid[2 * r + 1], centroids.at<double>(c, 1), 1e-9);
            ++regionsChecked;
        }
    }
    EXPECT_GT(regionsChecked, 100);
}

// Thresholds beyond any grey value: all dark or nothing dark, never an overflow.
TEST(LabelImage, ExtremeThresholdsAreAllOrNothing) {
    const PackedImage img = packedFromDrawing({".....", ".#.#.", ".....", "....."});
    LabelResult got;
    for (const int t : {2147483647, 256, 1000000})
        ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, t, &got), 0) << t;
    for (const int t : {-2147483647 - 1, -1}) {
        ASSERT_EQ(labelImage(img.bytes.data(), img.width, img.height, t, &got), 0) << t;
        EXPECT_EQ(got.regionCount, 0) << t;
    }
}
