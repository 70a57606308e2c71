#include "deflate_huffman.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "checksums.h"
#include "huffman_code.h"

namespace {
constexpr int kLitLenSymbols = 286;  // bytes, end of block, 29 match lengths
constexpr int kEndOfBlock = 256;
constexpr int kDistanceCodes = 2;  // only distance 1 is used; two codes of one bit are complete
// Codes of at most 13 bits make two of them fit 26 bits, and two such pairs the bit
// buffer; 12 bits made the run's images 1 to 3 % larger, 11 bits 4 to 5 %.
constexpr int kLitLenMaxBits = 13;
constexpr int kLengthShift = 27;
constexpr std::uint32_t kCodeMask = (1u << kLengthShift) - 1;
constexpr int kCodeLengthMaxBits = 7;
// Each block gets codes of its own: larger blocks share the cost of the pair table (65536
// entries), smaller ones follow the image's changes.
constexpr std::size_t kBlockBytes = std::size_t{1} << 22;
// The codes come from every fourth piece of a block; the rest costs as much to count as
// to code, and changes the lengths little.
constexpr std::size_t kSamplePiece = 256, kSampleStride = 4 * kSamplePiece;
// Zero runs shorter than this stay literals (a match costs about as much).
constexpr std::size_t kMinRun = 8;
constexpr std::size_t kMaxMatch = 258, kMinMatch = 3;
// A block header: 17 + 19 * 3 bits and at most 288 length codes of 7 + 7 bits.
constexpr std::size_t kHeaderBytesMax = 600;
constexpr std::size_t kBitWriterSlack = 8;

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

int lengthSymbolIndex(std::size_t length) {
    int k = 28;
    while (kLengthBase[k] > length) --k;
    return k;
}

// Bits go out least significant first; a flush stores 8 bytes and keeps the odd bits.
struct BitWriter {
    unsigned char* out = nullptr;
    std::uint64_t bits = 0;
    unsigned count = 0;  // bits held, < 32 between calls
};

inline void flushBits(BitWriter* w) {
    std::memcpy(w->out, &w->bits, 8);
    w->out += w->count >> 3;
    w->bits >>= w->count & ~7u;
    w->count &= 7;
}

inline void putBits(BitWriter* w, std::uint32_t value, unsigned n) {
    w->bits |= static_cast<std::uint64_t>(value) << w->count;
    w->count += n;
    if (w->count >= 32) flushBits(w);
}

// Packed codes: the bits in the low 27, their number in the top 5.
// A block's codes: per byte pair (the first byte in the low 8 bits of the index) both
// literal codes, the first in the low bits, and their total length; per byte and per
// match length (with its extra bits and the distance code) the packed code.
struct BlockCode {
    std::uint8_t lengths[kLitLenSymbols];
    std::uint32_t codes[kLitLenSymbols];
    std::uint32_t literals[256];
    std::uint32_t matches[kMaxMatch + 1];
    std::unique_ptr<std::uint32_t[]> pairCodes{new std::uint32_t[1 << 16]};
    std::unique_ptr<std::uint8_t[]> pairLengths{new std::uint8_t[1 << 16]};
};

std::size_t zeroRunFrom(const unsigned char* data, std::size_t i, std::size_t end) {
    const std::size_t start = i;
    for (std::uint64_t eight; i + 8 <= end; i += 8) {
        std::memcpy(&eight, data + i, 8);
        if (eight != 0) return i - start + __builtin_ctzll(eight) / 8;
    }
    while (i < end && data[i] == 0) ++i;
    return i - start;
}

// Where four bytes at a step are zero and the zeros go on for kMinRun in all, the run
// length (from the step), else 0. Counting and coding split the block alike: such a run
// is a zero literal and matches at distance 1 for the rest, anything else literals.
inline std::size_t zeroRunAt(const unsigned char* data, std::size_t i, std::size_t to,
                             std::uint32_t four) {
    if (four != 0) return 0;
    const std::size_t run = zeroRunFrom(data, i + 4, to) + 4;
    return run >= kMinRun ? run : 0;
}

// The next match of a run with left bytes to cover (≥ 3): never leaves 1 or 2 behind.
inline std::size_t nextMatch(std::size_t left) {
    const std::size_t length = std::min(left, kMaxMatch);
    return left - length < kMinMatch && left != length ? left - kMinMatch : length;
}

// Counts the tokens that start before to (a run may go on to end); returns where the last
// one ends.
std::size_t countTokens(const unsigned char* data, std::size_t from, std::size_t to,
                        std::size_t end, std::uint32_t* counts) {
    std::size_t i = from;
    while (i + 4 <= to) {
        std::uint32_t four;
        std::memcpy(&four, data + i, 4);
        if (const std::size_t run = zeroRunAt(data, i, end, four)) {
            ++counts[0];
            for (std::size_t left = run - 1, length; left >= kMinMatch; left -= length) {
                length = nextMatch(left);
                ++counts[257 + lengthSymbolIndex(length)];
            }
            i += run;
            continue;
        }
        ++counts[four & 0xff];
        ++counts[(four >> 8) & 0xff];
        ++counts[(four >> 16) & 0xff];
        ++counts[four >> 24];
        i += 4;
    }
    for (; i < to; ++i) ++counts[data[i]];
    return i;
}

// Every symbol gets a code (counted once more than sampled): the sample may miss bytes and
// lengths that the block has.
void buildBlockCode(const unsigned char* data, std::size_t size, BlockCode* code) {
    std::uint32_t counts[kLitLenSymbols];
    std::fill(counts, counts + kLitLenSymbols, 1u);
    for (std::size_t from = 0; from < size;) {
        const std::size_t next = from + kSampleStride;
        from = std::max(next,
                        countTokens(data, from, std::min(from + kSamplePiece, size), size, counts));
    }
    limitedCodeLengths(counts, kLitLenSymbols, kLitLenMaxBits, code->lengths);
    canonicalCodes(code->lengths, kLitLenSymbols, code->codes);
    for (int b = 0; b < 256; ++b)
        code->literals[b] = code->codes[b] | static_cast<std::uint32_t>(code->lengths[b])
                                                 << kLengthShift;
    for (std::size_t length = kMinMatch; length <= kMaxMatch; ++length) {
        const int k = lengthSymbolIndex(length), s = 257 + k;
        // then distance code 0 (one 0 bit)
        code->matches[length] = (code->codes[s] | (length - kLengthBase[k]) << code->lengths[s]) |
                                static_cast<std::uint32_t>(code->lengths[s] + kLengthExtra[k] + 1)
                                    << kLengthShift;
    }
    std::uint32_t* pairCode = code->pairCodes.get();
    std::uint8_t* pairLength = code->pairLengths.get();
    for (int second = 0; second < 256; ++second) {
        const std::uint32_t high = code->codes[second];
        const std::uint8_t length = code->lengths[second];
        for (int first = 0; first < 256; ++first) {
            *pairCode++ = code->codes[first] | (high << code->lengths[first]);
            *pairLength++ = static_cast<std::uint8_t>(code->lengths[first] + length);
        }
    }
}

// The dynamic block header (RFC 1951 3.2.7): the code lengths, run-length coded with the
// code-length code.
void putBlockHeader(BitWriter* w, bool last, const std::uint8_t* litLenLengths) {
    constexpr int kTotal = kLitLenSymbols + kDistanceCodes;
    std::uint8_t all[kTotal];
    std::memcpy(all, litLenLengths, kLitLenSymbols);
    std::fill(all + kLitLenSymbols, all + kTotal, std::uint8_t{1});
    // (symbol, extra bits value) of the code-length alphabet: 0 … 15 lengths, 16 three to six
    // repeats of the previous length, 17 and 18 runs of 3 … 10 and 11 … 138 zeros.
    std::pair<int, int> items[kTotal];
    int itemCount = 0;
    for (int i = 0; i < kTotal;) {
        int run = 1;
        while (i + run < kTotal && all[i + run] == all[i]) ++run;
        if (all[i] == 0 && run >= 3) {
            run = std::min(run, 138);
            items[itemCount++] =
                run >= 11 ? std::make_pair(18, run - 11) : std::make_pair(17, run - 3);
            i += run;
            continue;
        }
        items[itemCount++] = {all[i], 0};
        int left = run - 1;  // repeats of it
        for (; left >= 3; left -= std::min(left, 6))
            items[itemCount++] = {16, std::min(left, 6) - 3};
        i += run - left;  // fewer than three left: they start the next round
    }
    std::uint32_t counts[19] = {0};
    for (int k = 0; k < itemCount; ++k) ++counts[items[k].first];
    std::uint8_t clLengths[19];
    std::uint32_t clCodes[19];
    limitedCodeLengths(counts, 19, kCodeLengthMaxBits, clLengths);
    canonicalCodes(clLengths, 19, clCodes);
    static const int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};
    int sent = 19;
    while (sent > 4 && clLengths[kOrder[sent - 1]] == 0) --sent;
    putBits(w, last ? 1 : 0, 1);
    putBits(w, 2, 2);  // dynamic Huffman codes
    putBits(w, kLitLenSymbols - 257, 5);
    putBits(w, kDistanceCodes - 1, 5);
    putBits(w, sent - 4, 4);
    for (int k = 0; k < sent; ++k) putBits(w, clLengths[kOrder[k]], 3);
    static const unsigned kExtraBits[3] = {2, 3, 7};
    for (int k = 0; k < itemCount; ++k) {
        const int s = items[k].first;
        putBits(w, clCodes[s], clLengths[s]);
        if (s >= 16) putBits(w, items[k].second, kExtraBits[s - 16]);
    }
}
// The block's tokens as countTokens splits them, the bit buffer in locals (stores through
// the output pointer could alias it in memory). Each token leaves at most 7 bits held; two
// pairs of at most 26 bits fit on top.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
// Shifts by a register without the moves into cl where the processor has BMI2.
__attribute__((target_clones("bmi2", "default")))
#endif
void putTokens(BitWriter* w, const unsigned char* data, std::size_t size, const BlockCode& code) {
    std::uint64_t bits = w->bits;
    unsigned count = w->count;
    unsigned char* out = w->out;
    const std::uint32_t* pairCodes = code.pairCodes.get();
    const std::uint8_t* pairLengths = code.pairLengths.get();
    const auto put = [&](std::uint32_t packed) {
        bits |= static_cast<std::uint64_t>(packed & kCodeMask) << count;
        count += packed >> kLengthShift;
    };
    const auto flush = [&] {
        std::memcpy(out, &bits, 8);
        out += count >> 3;
        bits >>= count & ~7u;
        count &= 7;
    };
    std::size_t i = 0;
    while (i + 4 <= size) {
        std::uint32_t four;
        std::memcpy(&four, data + i, 4);
        if (const std::size_t run = zeroRunAt(data, i, size, four)) {
            put(code.literals[0]);
            flush();
            for (std::size_t left = run - 1, length; left >= kMinMatch; left -= length) {
                length = nextMatch(left);
                put(code.matches[length]);
                flush();
            }
            i += run;
            continue;
        }
        const std::uint32_t low = four & 0xffff, high = four >> 16;
        bits |= static_cast<std::uint64_t>(pairCodes[low]) << count;
        count += pairLengths[low];
        bits |= static_cast<std::uint64_t>(pairCodes[high]) << count;
        count += pairLengths[high];
        flush();
        i += 4;
    }
    for (; i < size; ++i) {
        put(code.literals[data[i]]);
        flush();
    }
    w->bits = bits;
    w->count = count;
    w->out = out;
}

}  // namespace

std::size_t zlibStreamBound(std::size_t size) {
    const std::size_t blocks = std::max<std::size_t>(1, (size + kBlockBytes - 1) / kBlockBytes);
    // At most 13 bits a byte (a match codes more bytes than its bits).
    return 2 + size + (size * 5 + 7) / 8 + blocks * kHeaderBytesMax + 4 + kBitWriterSlack;
}

std::size_t writeZlibStream(const unsigned char* data, std::size_t size, unsigned char* out) {
    const std::size_t blocks = std::max<std::size_t>(1, (size + kBlockBytes - 1) / kBlockBytes);
    out[0] = 0x78;  // deflate, 32 KiB window
    out[1] = 0x01;  // the fastest level; (0x78 * 256 + 0x01) % 31 == 0
    BitWriter w;
    w.out = out + 2;
    BlockCode code;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t from = b * kBlockBytes, n = std::min(kBlockBytes, size - from);
        buildBlockCode(data + from, n, &code);
        putBlockHeader(&w, b + 1 == blocks, code.lengths);
        flushBits(&w);
        // a block's first run starts with a literal: matches do not reach into the last block
        putTokens(&w, data + from, n, code);
        putBits(&w, code.codes[kEndOfBlock], code.lengths[kEndOfBlock]);
    }
    flushBits(&w);
    if (w.count > 0) ++w.out;  // the last byte's unused high bits are zero
    const std::uint32_t adler = adler32Of(1, data, size);
    for (int shift = 24; shift >= 0; shift -= 8)
        *w.out++ = static_cast<unsigned char>(adler >> shift);
    return static_cast<std::size_t>(w.out - out);
}
