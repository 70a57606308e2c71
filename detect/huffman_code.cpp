#include "huffman_code.h"

#include <algorithm>
#include <utility>

namespace {
constexpr int kMaxSymbols = 288;

// Huffman's lengths in place (Moffat and Katajainen's method): a holds n ≥ 2 weights in
// ascending order and ends with their depths, the first the deepest.
void huffmanDepths(std::uint32_t* a, int n) {
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = next;
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = next;
        } else {
            a[next] += a[leaf++];
        }
    }
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
    int available = 1, used = 0, depth = 0, root2 = n - 2, next = n - 1;
    while (available > 0) {
        while (root2 >= 0 && a[root2] == static_cast<std::uint32_t>(depth)) {
            ++used;
            --root2;
        }
        while (available > used) {
            a[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}
}  // namespace

void limitedCodeLengths(const std::uint32_t* counts, int symbols, int maxBits,
                        std::uint8_t* lengths) {
    std::pair<std::uint32_t, int> order[kMaxSymbols];
    int n = 0;
    for (int s = 0; s < symbols; ++s)
        if (counts[s] > 0) order[n++] = {counts[s], s};
    for (int s = 0; n < 2 && s < symbols; ++s)
        if (counts[s] == 0) order[n++] = {1, s};
    for (int s = 0; s < symbols; ++s) lengths[s] = 0;
    if (n == 1) {  // one symbol in all
        lengths[order[0].second] = 1;
        return;
    }
    std::sort(order, order + n);
    std::uint32_t depth[kMaxSymbols] = {0};
    for (int i = 0; i < n; ++i) depth[i] = order[i].first;
    huffmanDepths(depth, n);
    // Deeper codes are cut to maxBits; the code space that overflows is won back by moving
    // the deepest short codes one level down (each move frees one slot at maxBits).
    int perLength[33] = {0};
    for (int i = 0; i < n; ++i) ++perLength[std::min<std::uint32_t>(depth[i], maxBits)];
    std::uint64_t space = 0;
    for (int bits = 1; bits <= maxBits; ++bits)
        space += static_cast<std::uint64_t>(perLength[bits]) << (maxBits - bits);
    for (; space > (std::uint64_t{1} << maxBits); --space) {
        --perLength[maxBits];
        int bits = maxBits - 1;
        while (perLength[bits] == 0) --bits;
        --perLength[bits];
        perLength[bits + 1] += 2;
    }
    // The most frequent symbols take the shortest lengths.
    int i = n - 1;
    for (int bits = 1; bits <= maxBits; ++bits)
        for (int k = 0; k < perLength[bits]; ++k) lengths[order[i--].second] = bits;
}

void canonicalCodes(const std::uint8_t* lengths, int symbols, std::uint32_t* codes) {
    int perLength[16] = {0};
    for (int s = 0; s < symbols; ++s) ++perLength[lengths[s]];
    perLength[0] = 0;
    std::uint32_t next[16] = {0};
    std::uint32_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + perLength[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < symbols; ++s) {
        const int len = lengths[s];
        std::uint32_t c = len > 0 ? next[len]++ : 0, reversed = 0;
        for (int b = 0; b < len; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
        codes[s] = reversed;
    }
}
