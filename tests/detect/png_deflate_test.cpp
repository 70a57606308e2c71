// The PNG encoder's stages: the filter's vector steps against its plain loop, code lengths
// that are valid and least, and zlib streams that zlib's own decoder returns byte for byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <opencv2/core.hpp>
#include <random>
#include <string>
#include <vector>

#include "deflate_huffman.h"
#include "huffman_code.h"
#include "png_filter.h"

namespace {
// Kraft's sum of the lengths, in units of 2^-15 (a complete code sums to 2^15).
std::uint64_t kraftSum(const std::vector<std::uint8_t>& lengths) {
    std::uint64_t sum = 0;
    for (const std::uint8_t l : lengths)
        if (l > 0) sum += std::uint64_t{1} << (15 - l);
    return sum;
}

std::vector<unsigned char> inflated(const std::vector<unsigned char>& stream, std::size_t size) {
    std::vector<unsigned char> out(size + 1);
    uLongf length = static_cast<uLongf>(out.size());
    const int status = uncompress(out.data(), &length, stream.data(), stream.size());
    EXPECT_EQ(status, Z_OK);
    out.resize(status == Z_OK ? length : 0);
    return out;
}
}  // namespace

TEST(PngHuffmanCode, LengthsAreCompleteLimitedAndLeast) {
    std::vector<std::uint32_t> fibonacci = {1, 1};
    while (fibonacci.size() < 30) fibonacci.push_back(fibonacci.end()[-1] + fibonacci.end()[-2]);
    const struct {
        const char* name;
        std::vector<std::uint32_t> counts;
        int maxBits;
        std::vector<std::uint8_t> expected;  // empty: only complete and within the limit
    } cases[] = {
        {"textbook", {4, 2, 1, 1}, 15, {1, 2, 3, 3}},
        {"unused symbols stay without a code", {0, 5, 0, 5, 0}, 15, {0, 1, 0, 1, 0}},
        {"one symbol gets a partner", {0, 0, 7}, 15, {1, 0, 1}},
        {"no symbol at all", {0, 0, 0}, 15, {1, 1, 0}},
        {"equal counts", {3, 3, 3, 3, 3, 3, 3, 3}, 15, {3, 3, 3, 3, 3, 3, 3, 3}},
        // Huffman's lengths would go to 29 bits
        {"Fibonacci counts, deflate's limit", fibonacci, 15, {}},
        {"Fibonacci counts, the code-length code's limit",
         {1, 1, 2, 3, 5, 8, 13, 21, 34, 55},
         7,
         {}},
        {"Fibonacci counts, the literal limit", fibonacci, 13, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> lengths(c.counts.size(), 99);
        limitedCodeLengths(c.counts.data(), static_cast<int>(c.counts.size()), c.maxBits,
                           lengths.data());
        EXPECT_EQ(kraftSum(lengths), std::uint64_t{1} << 15);
        for (std::size_t s = 0; s < lengths.size(); ++s) {
            EXPECT_LE(lengths[s], c.maxBits);
            if (c.counts[s] > 0) {
                EXPECT_GT(lengths[s], 0) << "symbol " << s;
            }
            // a rarer symbol never has the shorter code
            for (std::size_t t = 0; t < lengths.size(); ++t) {
                if (c.counts[s] > c.counts[t] && c.counts[t] > 0) {
                    EXPECT_LE(lengths[s], lengths[t]);
                }
            }
        }
        if (!c.expected.empty()) {
            EXPECT_EQ(lengths, c.expected);
        }
    }
}

TEST(PngHuffmanCode, CanonicalCodesArePrefixFreeAndBitReversed) {
    // RFC 1951's example: lengths (3, 3, 3, 3, 3, 2, 4, 4) give F = 00, A = 010, ... H = 1111.
    const std::uint8_t lengths[8] = {3, 3, 3, 3, 3, 2, 4, 4};
    std::uint32_t codes[8];
    canonicalCodes(lengths, 8, codes);
    const std::uint32_t expected[8] = {0b010, 0b011, 0b100, 0b101, 0b110, 0b00, 0b1110, 0b1111};
    for (int s = 0; s < 8; ++s) {
        std::uint32_t reversed = 0;
        for (int b = 0; b < lengths[s]; ++b) reversed = (reversed << 1) | ((codes[s] >> b) & 1);
        EXPECT_EQ(reversed, expected[s]) << "symbol " << s;
    }
}

TEST(PngDeflate, ZlibInflatesTheStreamsToTheSameBytes) {
    std::mt19937 random(7);
    const auto noise = [&](std::size_t n) {
        std::vector<unsigned char> v(n);
        for (auto& b : v) b = static_cast<unsigned char>(random());
        return v;
    };
    // Filtered photos: small differences, mostly near 0, with flat stretches.
    std::vector<unsigned char> photo(3 << 20);
    std::geometric_distribution<int> magnitude(0.3);
    for (std::size_t i = 0; i < photo.size(); ++i)
        photo[i] =
            (i / 5000) % 4 == 0
                ? 0
                : static_cast<unsigned char>(random() % 2 ? magnitude(random) : -magnitude(random));
    std::vector<unsigned char> runs;  // zero runs of every length around the thresholds
    for (int length = 1; length < 600; ++length) {
        runs.insert(runs.end(), static_cast<std::size_t>(length), 0);
        runs.push_back(static_cast<unsigned char>(length));
    }
    const struct {
        const char* name;
        std::vector<unsigned char> data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {42}},
        {"three bytes (no step of four)", {0, 0, 0}},
        {"a zero run from the first byte", std::vector<unsigned char>(1000, 0)},
        {"one other byte only", std::vector<unsigned char>(1001, 0xa5)},
        {"noise (incompressible)", noise(100000)},
        {"zero runs of 1 … 599", runs},
        {"several blocks, a run across their border", std::vector<unsigned char>(9 << 20, 0)},
        {"photo-like differences over several blocks", photo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> stream(zlibStreamBound(c.data.size()));
        stream.resize(writeZlibStream(c.data.data(), c.data.size(), stream.data()));
        ASSERT_LE(stream.size(), zlibStreamBound(c.data.size()));
        EXPECT_TRUE(inflated(stream, c.data.size()) == c.data);
    }
}

TEST(PngDeflate, NoiseHardlyGrowsAndRunsShrink) {
    std::mt19937 random(3);
    std::vector<unsigned char> noise(1 << 20);
    for (auto& b : noise) b = static_cast<unsigned char>(random());
    std::vector<unsigned char> stream(zlibStreamBound(noise.size()));
    EXPECT_LT(writeZlibStream(noise.data(), noise.size(), stream.data()),
              noise.size() + noise.size() / 100);
    const std::vector<unsigned char> zeros(1 << 20, 0);
    // 258 bytes a match of a few bits
    EXPECT_LT(writeZlibStream(zeros.data(), zeros.size(), stream.data()), zeros.size() / 200);
}

TEST(PngFilter, EveryStepWidthGivesThePlainBytes) {
    int compared = 0;
    for (const int type : {CV_8UC1, CV_8UC3})
        for (const int cols :
             {1, 2, 5, 11, 16, 17, 31, 32, 33, 34, 35, 47, 48, 49, 50, 96, 97, 99, 100, 131, 200}) {
            SCOPED_TRACE("cols " + std::to_string(cols) + ", channels " +
                         std::to_string(CV_MAT_CN(type)));
            cv::Mat image(3, cols, type);
            cv::randu(image, 0, 256);
            // equal neighbours too: the predictor's ties
            image.row(1).colRange(0, (cols + 1) / 2).setTo(cv::Scalar(7, 7, 7));
            std::size_t plainSize = 0, size = 0;
            const auto plain = paethFilteredRows(image, &plainSize, FilterSteps::plain);
            ASSERT_EQ(plainSize, (image.elemSize() * cols + 1) * 3);
            for (const FilterSteps steps : {FilterSteps::sse2, FilterSteps::widest}) {
                const auto rows = paethFilteredRows(image, &size, steps);
                ASSERT_EQ(size, plainSize);
                EXPECT_TRUE(std::equal(rows.get(), rows.get() + size, plain.get()));
                ++compared;
            }
        }
    EXPECT_EQ(compared, 84);
}
