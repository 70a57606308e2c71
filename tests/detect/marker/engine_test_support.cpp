#include "engine_test_support.h"

#include "camera_param.h"

PackedImage packedFromDrawing(const std::vector<std::string>& rows) {
    PackedImage img;
    img.height = static_cast<int>(rows.size());
    img.width = static_cast<int>(rows[0].size());
    img.bytes.assign(static_cast<std::size_t>(img.width) * img.height * 4, 255);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (rows[y][x] == '#')
                for (int ch = 0; ch < 3; ++ch) img.bytes[(y * img.width + x) * 4 + ch] = 0;
    return img;
}

PackedImage packedFromMat(const cv::Mat& bgr) {
    PackedImage img;
    img.width = bgr.cols;
    img.height = bgr.rows;
    img.bytes.resize(static_cast<std::size_t>(img.width) * img.height * 4);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
            unsigned char* out = &img.bytes[(static_cast<std::size_t>(y) * img.width + x) * 4];
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            out[3] = 255;
        }
    return img;
}

void installIdentityCamera(int width, int height) {
    setCameraParams(identityCameraParams(width, height));
}
