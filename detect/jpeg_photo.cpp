#include "jpeg_photo.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {
constexpr unsigned kApp1 = JPEG_APP0 + 1;  // the EXIF block's marker
constexpr long kMaxPixels = 1L << 26;      // larger photos go to cv::imread and its limits

struct ErrorExit {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void leave(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1);
}
void quiet(j_common_ptr) {}  // cv::imread says what it says when the file goes to it

bool startsLikeJpeg(std::FILE* file) {
    unsigned char head[3] = {0, 0, 0};
    const bool jpeg =
        std::fread(head, 1, 3, file) == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    std::rewind(file);
    return jpeg;
}

bool hasExif(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next)
        if (m->marker == kApp1 && m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0)
            return true;
    return false;
}

// Only plain objects live here: the library's errors leave through longjmp.
int decode(std::FILE* file, cv::Mat* bgr) {
    jpeg_decompress_struct info;
    ErrorExit error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = leave;
    error.manager.output_message = quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, kApp1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr || hasExif(info) ||
        static_cast<long>(info.image_width) * info.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        return -1;
    }
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    bgr->create(static_cast<int>(info.output_height), static_cast<int>(info.output_width), CV_8UC3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = bgr->ptr(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    const bool warned = error.manager.num_warnings > 0;  // damaged data: as cv::imread does
    jpeg_destroy_decompress(&info);
    return warned ? -1 : 0;
}
}  // namespace

int decodeJpegPhoto(const std::string& name, cv::Mat* bgr) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return -1;
    const int status = startsLikeJpeg(file) ? decode(file, bgr) : -1;
    std::fclose(file);
    return status;
}
