#include "checksums.h"

#include <algorithm>

#ifdef TOOLKIT_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

#ifndef TOOLKIT_HAVE_LIBDEFLATE
namespace {
// zlib takes lengths as unsigned int.
constexpr std::size_t kZlibPiece = std::size_t{1} << 30;
}  // namespace
#endif

std::uint32_t crc32Of(std::uint32_t crc, const unsigned char* data, std::size_t size) {
#ifdef TOOLKIT_HAVE_LIBDEFLATE
    return libdeflate_crc32(crc, data, size);
#else
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(size - done, kZlibPiece);
        crc = static_cast<std::uint32_t>(::crc32(crc, data + done, static_cast<uInt>(piece)));
        done += piece;
    }
    return crc;
#endif
}

std::uint32_t adler32Of(std::uint32_t adler, const unsigned char* data, std::size_t size) {
#ifdef TOOLKIT_HAVE_LIBDEFLATE
    return libdeflate_adler32(adler, data, size);
#else
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(size - done, kZlibPiece);
        adler = static_cast<std::uint32_t>(::adler32(adler, data + done, static_cast<uInt>(piece)));
        done += piece;
    }
    return adler;
#endif
}
