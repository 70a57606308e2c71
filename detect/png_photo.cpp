#include "png_photo.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr png_uint_32 kMaxSide = 1u << 15;  // larger images go to cv::imread and its limits

struct Decoding {
    bool warned = false;
};

void onError(png_structp png, png_const_charp) {
    std::longjmp(png_jmpbuf(png), 1);
}
void onWarning(png_structp png, png_const_charp) {
    static_cast<Decoding*>(png_get_error_ptr(png))->warned = true;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

bool plainKind(png_structp png, png_infop info) {
    const int type = png_get_color_type(png, info);
    const bool knownType = type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_RGB ||
                           type == PNG_COLOR_TYPE_RGB_ALPHA;
    return knownType && png_get_bit_depth(png, info) == 8 &&
           png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
           !png_get_valid(png, info, PNG_INFO_tRNS) && !png_get_valid(png, info, PNG_INFO_eXIf) &&
           png_get_image_width(png, info) < kMaxSide && png_get_image_height(png, info) < kMaxSide;
}

// Everything that may be skipped by longjmp lives in the caller, which owns it.
int decodeRows(png_structp png, png_infop info, FILE* file, Decoding* decoding, cv::Mat* bgr,
               std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return -1;
    png_init_io(png, file);
    png_read_info(png, info);
    if (!plainKind(png, info)) return -1;
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(png);
    if (type == PNG_COLOR_TYPE_RGB_ALPHA) png_set_strip_alpha(png);
    png_set_bgr(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != 3 * png_get_image_width(png, info)) return -1;
    bgr->create(static_cast<int>(png_get_image_height(png, info)),
                static_cast<int>(png_get_image_width(png, info)), CV_8UC3);
    rows->resize(static_cast<std::size_t>(bgr->rows));
    for (int y = 0; y < bgr->rows; ++y) (*rows)[static_cast<std::size_t>(y)] = bgr->ptr(y);
    png_read_image(png, rows->data());
    png_read_end(png, info);
    if (png_get_valid(png, info, PNG_INFO_eXIf)) return -1;  // an EXIF chunk after the pixels
    return decoding->warned ? -1 : 0;
}

}  // namespace

int decodePngPhoto(const std::string& name, cv::Mat* bgr) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
    if (!file) return -1;
    unsigned char signature[8];
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return -1;
    Decoding decoding;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoding, onError, onWarning);
    if (!png) return -1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return -1;
    }
    png_set_sig_bytes(png, 8);
    std::vector<png_bytep> rows;
    const int status = decodeRows(png, info, file.get(), &decoding, bgr, &rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return status;
}
