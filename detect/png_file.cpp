#include "png_file.h"

#include <cstdint>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#ifdef TOOLKIT_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {
void putBigEndian(std::uint32_t v, std::vector<unsigned char>* out) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<unsigned char>(v >> shift));
}

#ifdef TOOLKIT_HAVE_LIBDEFLATE
constexpr int kLevel = 1;  // the fastest; noisy photos hardly compress better at higher ones

void putChunk(const char* type, const unsigned char* data, std::size_t size,
              std::vector<unsigned char>* out) {
    putBigEndian(static_cast<std::uint32_t>(size), out);
    const std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data, data + size);
    putBigEndian(static_cast<std::uint32_t>(libdeflate_crc32(0, out->data() + start, size + 4)),
                 out);
}

// Rows in RGB (or grey) order, each after its filter byte: "sub", the difference to the
// pixel on the left, cheap and good on photos.
std::vector<unsigned char> filteredRows(const cv::Mat& image) {
    const int channels = image.channels();
    const std::size_t row = static_cast<std::size_t>(image.cols) * channels;
    std::vector<unsigned char> raw((row + 1) * image.rows);
    for (int y = 0; y < image.rows; ++y) {
        unsigned char* r = &raw[(row + 1) * y];
        const unsigned char* s = image.ptr(y);
        *r++ = 1;
        // The differences in the image's channel order, 16 bytes at a time where SSE2 is
        // there, then each pixel's blue and red swapped (PNG stores red first).
        const std::size_t c = static_cast<std::size_t>(channels);
        std::size_t x = 0;
        for (; x < c; ++x) r[x] = s[x];
#ifdef __SSE2__
        for (; x + 16 <= row; x += 16) {
            const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
            const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x - c));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(r + x), _mm_sub_epi8(now, left));
        }
#endif
        for (; x < row; ++x) r[x] = static_cast<unsigned char>(s[x] - s[x - c]);
        if (channels == 3)
            for (std::size_t p = 0; p < row; p += 3) std::swap(r[p], r[p + 2]);
    }
    return raw;
}
#endif
}  // namespace

bool writeFastPng(const std::string& path, const cv::Mat& image) {
#ifdef TOOLKIT_HAVE_LIBDEFLATE
    if (image.depth() != CV_8U || (image.channels() != 1 && image.channels() != 3) || image.empty())
        return false;
    const std::vector<unsigned char> raw = filteredRows(image);
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLevel);
    if (compressor == nullptr) return false;
    std::vector<unsigned char> packed(libdeflate_zlib_compress_bound(compressor, raw.size()));
    packed.resize(
        libdeflate_zlib_compress(compressor, raw.data(), raw.size(), packed.data(), packed.size()));
    libdeflate_free_compressor(compressor);
    if (packed.empty()) return false;

    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<unsigned char> file(kSignature, kSignature + 8);
    std::vector<unsigned char> header;
    putBigEndian(static_cast<std::uint32_t>(image.cols), &header);
    putBigEndian(static_cast<std::uint32_t>(image.rows), &header);
    // 8 bits, grey (0) or RGB (2), deflate, adaptive filtering, no interlace.
    const unsigned char rest[5] = {8, static_cast<unsigned char>(image.channels() == 1 ? 0 : 2), 0,
                                   0, 0};
    header.insert(header.end(), rest, rest + 5);
    putChunk("IHDR", header.data(), header.size(), &file);
    putChunk("IDAT", packed.data(), packed.size(), &file);
    putChunk("IEND", nullptr, 0, &file);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    out.close();
    return static_cast<bool>(out);
#else
    (void)path;
    (void)image;
    return false;
#endif
}

bool writePng(const std::string& path, const cv::Mat& image) {
    const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
#ifdef TOOLKIT_HAVE_LIBDEFLATE
    if (png && image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3) &&
        !image.empty())
        return writeFastPng(path, image);
#else
    (void)png;
#endif
    try {
        return cv::imwrite(path, image);
    } catch (const cv::Exception&) {
        return false;
    }
}
