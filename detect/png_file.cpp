#include "png_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <utility>

#include "checksums.h"
#include "deflate_huffman.h"
#include "image_codecs.h"
#include "png_filter.h"

namespace {
constexpr std::size_t kChunkFrame = 12;  // length, type, CRC
constexpr std::size_t kHeaderData = 13;

void putBigEndian(std::uint32_t v, unsigned char* at) {
    for (int shift = 24; shift >= 0; shift -= 8) *at++ = static_cast<unsigned char>(v >> shift);
}

// Frames the size data bytes at chunk + 8 as a chunk of the type; returns the bytes after it.
unsigned char* frameChunk(const char* type, std::size_t size, unsigned char* chunk) {
    putBigEndian(static_cast<std::uint32_t>(size), chunk);
    std::memcpy(chunk + 4, type, 4);
    putBigEndian(crc32Of(0, chunk + 4, size + 4), chunk + 8 + size);
    return chunk + kChunkFrame + size;
}

bool takes(const cv::Mat& image) {
    return image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3) &&
           !image.empty();
}
}  // namespace

PngBytes fastPngBytes(const cv::Mat& image) {
    PngBytes png;
    if (!takes(image)) return png;
    std::size_t rawSize = 0;
    const std::unique_ptr<unsigned char[]> raw = paethFilteredRows(image, &rawSize);
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const std::size_t most =
        sizeof kSignature + 3 * kChunkFrame + kHeaderData + zlibStreamBound(rawSize);
    // not value-initialised: only the bytes written go to the file
    std::unique_ptr<unsigned char[]> file(new unsigned char[most]);
    unsigned char* p = file.get();
    std::memcpy(p, kSignature, sizeof kSignature);
    p += sizeof kSignature;
    putBigEndian(static_cast<std::uint32_t>(image.cols), p + 8);
    putBigEndian(static_cast<std::uint32_t>(image.rows), p + 12);
    // 8 bits, grey (0) or RGB (2), deflate, adaptive filtering, no interlace.
    const unsigned char rest[5] = {8, static_cast<unsigned char>(image.channels() == 1 ? 0 : 2), 0,
                                   0, 0};
    std::memcpy(p + 16, rest, sizeof rest);
    p = frameChunk("IHDR", kHeaderData, p);
    p = frameChunk("IDAT", writeZlibStream(raw.get(), rawSize, p + 8), p);
    p = frameChunk("IEND", 0, p);
    png.size = static_cast<std::size_t>(p - file.get());
    png.data = std::move(file);
    return png;
}

bool writePngBytes(const std::string& path, const PngBytes& png) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data.get()),
              static_cast<std::streamsize>(png.size));
    out.close();
    return static_cast<bool>(out);
}

bool writeFastPng(const std::string& path, const cv::Mat& image) {
    const PngBytes png = fastPngBytes(image);
    return png.size > 0 && writePngBytes(path, png);
}

bool takesPath(const std::string& path, const cv::Mat& image) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0 && takes(image);
}

bool writePng(const std::string& path, const cv::Mat& image) {
    if (takesPath(path, image)) return writeFastPng(path, image);
    return writeImageWithOpenCv(path, image);
}
