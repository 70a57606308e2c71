// The checksums of the PNG and zlib formats, from libdeflate where it is installed (it is
// several times faster) and from zlib otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (ISO 3309, as PNG chunks use it) of size bytes at data, continuing from crc (0 to
// start).
std::uint32_t crc32Of(std::uint32_t crc, const unsigned char* data, std::size_t size);

// Adler-32 (the zlib stream's checksum) of size bytes at data, continuing from adler (1 to
// start).
std::uint32_t adler32Of(std::uint32_t adler, const unsigned char* data, std::size_t size);
