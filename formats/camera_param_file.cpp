#include "camera_param_file.h"

#include <cstdio>

#include "byte_order.h"

namespace {
void encodeRecord(const CameraParam& p, unsigned char* out) {
    putBigEndian32(p.width, out);
    putBigEndian32(p.height, out + 4);
    unsigned char* d = out + 8;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c, d += 8) putBigEndianDouble(p.projection[r][c], d);
    for (int i = 0; i < 4; ++i, d += 8) putBigEndianDouble(p.distortion[i], d);
}

void decodeRecord(const unsigned char* in, CameraParam* p) {
    p->width = getBigEndian32(in);
    p->height = getBigEndian32(in + 4);
    const unsigned char* d = in + 8;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c, d += 8) p->projection[r][c] = getBigEndianDouble(d);
    for (int i = 0; i < 4; ++i, d += 8) p->distortion[i] = getBigEndianDouble(d);
}
}  // namespace

int loadCameraParams(const char* path, int n, CameraParam* params) {
    if (n < 1) return -1;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return -1;
    for (int i = 0; i < n; ++i) {
        unsigned char record[kCameraParamRecordBytes];
        if (std::fread(record, 1, sizeof record, file) != sizeof record) {
            std::fclose(file);
            return -1;
        }
        decodeRecord(record, &params[i]);
    }
    std::fclose(file);
    return 0;
}

int saveCameraParams(const char* path, int n, const CameraParam* params) {
    if (n < 1) return -1;
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return -1;
    for (int i = 0; i < n; ++i) {
        unsigned char record[kCameraParamRecordBytes];
        encodeRecord(params[i], record);
        if (std::fwrite(record, 1, sizeof record, file) != sizeof record) {
            std::fclose(file);
            return -1;
        }
    }
    return std::fclose(file) == 0 ? 0 : -1;
}

CameraParam scaleCameraParams(const CameraParam& source, int newWidth, int newHeight) {
    const double k = static_cast<double>(newWidth) / source.width;
    CameraParam p = source;
    p.width = newWidth;
    p.height = newHeight;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) p.projection[r][c] = source.projection[r][c] * k;
    p.distortion[0] = source.distortion[0] * k;
    p.distortion[1] = source.distortion[1] * k;
    p.distortion[2] = source.distortion[2] / (k * k);
    return p;
}

CameraParam identityCameraParams(int width, int height) {
    CameraParam p{};
    p.width = width;
    p.height = height;
    for (auto& row : p.projection) {
        row[0] = row[1] = row[2] = 1.0;
        row[3] = 0.0;
    }
    p.distortion[0] = width;
    p.distortion[1] = height;
    p.distortion[2] = 0.0;
    p.distortion[3] = 1.0;
    return p;
}
