#include "marker_picture.h"

#include <cmath>
#include <fstream>
#include <random>

namespace {
constexpr int kSide = 16;  // template cells per side
constexpr int kCellsPerBlock = kSide / kPictureBlocks;
constexpr int kTemplateValues = kSide * kSide * 3;
constexpr int kMaxAttempts = 2000000;

// Picture cell (row r, column c) of the 16 x 16 grid after turning the picture
// clockwise by quarterTurns.
const std::uint8_t* turnedCell(const MarkerPicture& p, int quarterTurns, int r, int c) {
    for (int t = 0; t < quarterTurns; ++t) {
        // Clockwise turn: cell (r, c) of the turned picture comes from (15 - c, r).
        const int oldR = kSide - 1 - c, oldC = r;
        r = oldR;
        c = oldC;
    }
    return p.block[r / kCellsPerBlock][c / kCellsPerBlock];
}
}  // namespace

std::vector<int> orientationTemplate(const MarkerPicture& picture, int orientation) {
    std::vector<int> t(kTemplateValues);
    for (int j = 0; j < kSide; ++j)
        for (int i = 0; i < kSide; ++i) {
            // Sample row j runs up from the bottom edge, column i leftward from the right edge.
            const std::uint8_t* bgr =
                turnedCell(picture, orientation, kSide - 1 - j, kSide - 1 - i);
            for (int ch = 0; ch < 3; ++ch) t[(j * kSide + i) * 3 + ch] = bgr[ch];
        }
    return t;
}

double templateScore(const std::vector<int>& a, const std::vector<int>& b) {
    auto prepare = [](const std::vector<int>& t, std::vector<int>* v) {
        long long sum = 0;
        for (int x : t) sum += 255 - x;
        const int mean = static_cast<int>(sum / kTemplateValues);
        v->resize(t.size());
        double norm = 0;
        for (std::size_t k = 0; k < t.size(); ++k) {
            (*v)[k] = 255 - t[k] - mean;
            norm += static_cast<double>((*v)[k]) * (*v)[k];
        }
        return std::sqrt(norm);
    };
    std::vector<int> va, vb;
    const double na = prepare(a, &va), nb = prepare(b, &vb);
    if (na == 0 || nb == 0) return 0.0;
    long long dot = 0;
    for (std::size_t k = 0; k < va.size(); ++k) dot += static_cast<long long>(va[k]) * vb[k];
    return static_cast<double>(dot) / na / nb;
}

double worstScore(const MarkerPicture& a, const MarkerPicture& b) {
    const bool same = &a == &b;
    double worst = -1.0;
    const std::vector<int> a0 = orientationTemplate(a, 0);
    for (int p = same ? 1 : 0; p < 4; ++p) {
        const std::vector<int> bp = orientationTemplate(b, p);
        worst = std::max(worst, templateScore(a0, bp));
        if (same) continue;
        for (int o = 1; o < 4; ++o)
            worst = std::max(worst, templateScore(orientationTemplate(a, o), bp));
    }
    return worst;
}

bool designPictures(int count, std::uint32_t seed, double maxScore,
                    std::vector<MarkerPicture>* pictures, double* worst) {
    static const std::uint8_t kPalette[8][3] = {{0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                                {0, 0, 255},   {255, 255, 0},  {255, 0, 255},
                                                {0, 255, 255}, {255, 255, 255}};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> colour(0, 7);
    pictures->clear();
    // All four orientations of every accepted picture, for the comparisons.
    std::vector<std::vector<int>> accepted;
    *worst = -1.0;
    for (int attempt = 0; attempt < kMaxAttempts && static_cast<int>(pictures->size()) < count;
         ++attempt) {
        MarkerPicture p{};
        for (auto& row : p.block)
            for (auto& block : row) {
                const std::uint8_t* c = kPalette[colour(rng)];
                for (int ch = 0; ch < 3; ++ch) block[ch] = c[ch];
            }
        std::vector<int> own[4];
        for (int o = 0; o < 4; ++o) own[o] = orientationTemplate(p, o);
        double candidateWorst = -1.0;
        for (int o = 1; o < 4 && candidateWorst <= maxScore; ++o)
            candidateWorst = std::max(candidateWorst, templateScore(own[0], own[o]));
        // One orientation of the new picture against all four of each accepted one covers
        // every pair: turning both by the same angle leaves the score unchanged.
        for (std::size_t k = 0; k < accepted.size() && candidateWorst <= maxScore; ++k)
            candidateWorst = std::max(candidateWorst, templateScore(own[0], accepted[k]));
        if (candidateWorst > maxScore) continue;
        pictures->push_back(p);
        for (int o = 0; o < 4; ++o) accepted.push_back(own[o]);
        *worst = std::max(*worst, candidateWorst);
    }
    return static_cast<int>(pictures->size()) == count;
}

bool writePatternFile(const std::string& path, const MarkerPicture& picture) {
    std::ofstream out(path);
    if (!out) return false;
    for (int o = 0; o < 4; ++o) {
        const std::vector<int> t = orientationTemplate(picture, o);
        for (int ch = 0; ch < 3; ++ch)
            for (int r = 0; r < kSide; ++r) {
                for (int c = 0; c < kSide; ++c)
                    out << (c ? " " : "") << t[(r * kSide + c) * 3 + ch];
                out << '\n';
            }
        out << '\n';
    }
    out.close();
    return static_cast<bool>(out);
}

void markerColour(const MarkerPicture& picture, double u, double v, std::uint8_t bgr[3]) {
    if (u < 0.0 || u >= 1.0 || v < 0.0 || v >= 1.0) {
        bgr[0] = bgr[1] = bgr[2] = 255;
        return;
    }
    const double inner = 1.0 - 2.0 * kBorderFraction;
    const double pu = (u - kBorderFraction) / inner, pv = (v - kBorderFraction) / inner;
    if (pu < 0.0 || pu >= 1.0 || pv < 0.0 || pv >= 1.0) {
        bgr[0] = bgr[1] = bgr[2] = 0;
        return;
    }
    const std::uint8_t* c =
        picture.block[static_cast<int>(pv * kPictureBlocks)][static_cast<int>(pu * kPictureBlocks)];
    for (int ch = 0; ch < 3; ++ch) bgr[ch] = c[ch];
}
