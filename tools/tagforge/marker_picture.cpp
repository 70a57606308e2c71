#include "marker_picture.h"

#include <cmath>
#include <fstream>
#include <random>

#include "pattern_file.h"

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

namespace {
constexpr int kBlocks = kPictureBlocks * kPictureBlocks;
constexpr int kBlockValues = kBlocks * 3;
constexpr int kBinaryChecked = 63;  // pictures held to the binarized-view rules (a board's worth)
constexpr double kMinBinarySelfScore = 0.7;
constexpr int kMinBrightBlocks = 5, kMaxBrightBlocks = 11;

// Palette: three dark colours (black, blue, red) and three bright ones (white, yellow,
// cyan), in blue, green, red order, far apart in grey level so that a marker binarized
// by its own Otsu threshold keeps the picture's dark/bright layout.
constexpr std::uint8_t kPalette[6][3] = {{0, 0, 0},       {255, 0, 0},   {0, 0, 255},
                                         {255, 255, 255}, {0, 255, 255}, {255, 255, 0}};
constexpr int kFirstBright = 3;

// A template at block level (every block is 4 x 4 equal cells), inverted, mean-free and
// normalised: the dot product of two is the matcher's score (up to the integer mean).
using BlockVector = std::vector<double>;

BlockVector blockVector(const std::vector<int>& cells) {
    BlockVector v(kBlockValues);
    for (int b = 0; b < kBlocks; ++b)
        for (int ch = 0; ch < 3; ++ch) {
            const int cell = (b / kPictureBlocks) * kCellsPerBlock * kSide +
                             (b % kPictureBlocks) * kCellsPerBlock;
            v[b * 3 + ch] = 255.0 - cells[cell * 3 + ch];
        }
    double mean = 0;
    for (double x : v) mean += x;
    mean /= kBlockValues;
    double norm = 0;
    for (double& x : v) {
        x -= mean;
        norm += x * x;
    }
    norm = std::sqrt(norm);
    for (double& x : v) x = norm > 0 ? x / norm : 0.0;
    return v;
}

double dot(const BlockVector& a, const BlockVector& b) {
    double s = 0;
    for (int k = 0; k < kBlockValues; ++k) s += a[k] * b[k];
    return s;
}

// The picture as a marker binarized by its own threshold shows it: dark colours black,
// bright ones white.
MarkerPicture binarized(const MarkerPicture& p) {
    MarkerPicture b = p;
    for (auto& row : b.block)
        for (auto& block : row) {
            const double grey = 0.114 * block[0] + 0.587 * block[1] + 0.299 * block[2];
            const std::uint8_t v = grey > 127 ? 255 : 0;
            block[0] = block[1] = block[2] = v;
        }
    return b;
}

struct Orientations {
    BlockVector colour[4], binary[4];
};

Orientations orientationsOf(const MarkerPicture& p) {
    Orientations o;
    const MarkerPicture bin = binarized(p);
    for (int k = 0; k < 4; ++k) {
        o.colour[k] = blockVector(orientationTemplate(p, k));
        o.binary[k] = blockVector(orientationTemplate(bin, k));
    }
    return o;
}

// Worst score of a new picture against itself turned, and against an accepted one; one
// orientation of the new picture against all four of the other covers every pair.
double worstAgainstSelf(const Orientations& a, bool binaryRules) {
    double worst = -1.0;
    for (int k = 1; k < 4; ++k) {
        worst = std::max(worst, dot(a.colour[0], a.colour[k]));
        if (binaryRules) worst = std::max(worst, dot(a.binary[0], a.colour[k]));
    }
    return worst;
}

double worstAgainst(const Orientations& a, const Orientations& b, bool binaryRules) {
    double worst = -1.0;
    for (int k = 0; k < 4; ++k) {
        worst = std::max(worst, dot(a.colour[0], b.colour[k]));
        if (binaryRules) {
            worst = std::max(worst, dot(a.binary[0], b.colour[k]));
            worst = std::max(worst, dot(a.colour[0], b.binary[k]));
        }
    }
    return worst;
}
}  // namespace

bool designPictures(int count, std::uint32_t seed, double maxScore,
                    std::vector<MarkerPicture>* pictures, double* worst) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> colour(0, 5);
    pictures->clear();
    std::vector<Orientations> accepted;
    for (int attempt = 0; attempt < kMaxAttempts && static_cast<int>(pictures->size()) < count;
         ++attempt) {
        MarkerPicture p{};
        int bright = 0;
        for (auto& row : p.block)
            for (auto& block : row) {
                const int c = colour(rng);
                bright += c >= kFirstBright;
                for (int ch = 0; ch < 3; ++ch) block[ch] = kPalette[c][ch];
            }
        const int index = static_cast<int>(pictures->size());
        const bool binaryRules = index < kBinaryChecked;
        if (binaryRules && (bright < kMinBrightBlocks || bright > kMaxBrightBlocks)) continue;
        const Orientations o = orientationsOf(p);
        if (binaryRules && dot(o.binary[0], o.colour[0]) < kMinBinarySelfScore) continue;
        double candidateWorst = worstAgainstSelf(o, binaryRules);
        for (std::size_t k = 0; k < accepted.size() && candidateWorst <= maxScore; ++k)
            candidateWorst = std::max(candidateWorst, worstAgainst(o, accepted[k], binaryRules));
        if (candidateWorst > maxScore) continue;
        pictures->push_back(p);
        accepted.push_back(o);
    }
    if (static_cast<int>(pictures->size()) != count) return false;
    // The worst score as the engine's matcher computes it (integer means).
    *worst = -1.0;
    std::vector<std::vector<int>> templates;
    for (const MarkerPicture& p : *pictures)
        for (int k = 0; k < 4; ++k) templates.push_back(orientationTemplate(p, k));
    for (std::size_t a = 0; a < pictures->size(); ++a)
        for (std::size_t b = 0; b < templates.size(); ++b)
            if (b != 4 * a)
                *worst = std::max(*worst, templateScore(templates[4 * a], templates[b]));
    return true;
}

bool writePatternFile(const std::string& path, const MarkerPicture& picture) {
    std::vector<int> values;
    for (int o = 0; o < 4; ++o) {
        const std::vector<int> t = orientationTemplate(picture, o);
        for (int ch = 0; ch < 3; ++ch)
            for (int r = 0; r < kSide; ++r)
                for (int c = 0; c < kSide; ++c) values.push_back(t[(r * kSide + c) * 3 + ch]);
    }
    return ::writePatternFile(path, values.data());
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
