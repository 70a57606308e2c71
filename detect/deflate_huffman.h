// zlib streams (RFC 1950/1951) of Huffman-coded bytes and runs of zeros: the filtered rows
// of a photo hardly repeat beyond flat areas, and searching for repeats (LZ77) costs more
// than it gains there.
#pragma once

#include <cstddef>

// The most bytes writeZlibStream writes for size bytes of data.
std::size_t zlibStreamBound(std::size_t size);

// Writes to out (zlibStreamBound(size) bytes) the zlib stream (header, dynamic-Huffman
// deflate blocks, Adler-32) of the size bytes at data; returns its length. Runs of zero
// bytes become matches at distance 1; everything else is literals.
std::size_t writeZlibStream(const unsigned char* data, std::size_t size, unsigned char* out);
