// Length-limited prefix codes as deflate (RFC 1951) describes them: lengths from symbol
// counts, canonical codes from lengths.
#pragma once

#include <cstdint>

// Lengths of a length-limited prefix code: lengths[s] (1 … maxBits) for every symbol s with
// counts[s] > 0 and 0 for the others, the sum of counts[s] * lengths[s] least where the
// limit allows it (Huffman's lengths when none exceeds maxBits). The code is complete, so at
// least two symbols get a length: with fewer used, the lowest unused ones are added (a
// single-symbol code is not accepted by every decoder). symbols ≤ 288, 2^maxBits ≥ symbols,
// maxBits ≤ 15.
void limitedCodeLengths(const std::uint32_t* counts, int symbols, int maxBits,
                        std::uint8_t* lengths);

// The canonical codes of the lengths (RFC 1951 3.2.2), bit-reversed for deflate's
// least-significant-first order; 0 for symbols of length 0.
void canonicalCodes(const std::uint8_t* lengths, int symbols, std::uint32_t* codes);
