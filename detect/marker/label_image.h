// Binarization and 8-connected labeling of the dark regions of a packed image.
#pragma once

#include <cstdint>
#include <vector>

// Provisional labels are positive 16-bit values; a 32768th one makes labeling fail.
constexpr int kMaxProvisionalLabels = 32767;

struct LabelResult {
    int width = 0;
    int height = 0;
    // Provisional label per pixel (row-major), 0 for bright pixels and the one-pixel
    // image border. Pixel (x, y) belongs to final region table[labels[y*width+x]].
    std::vector<std::int16_t> labels;
    std::vector<int> table;  // provisional label -> final label 1..regionCount (index 0 unused)
    int provisionalCount = 0;
    int regionCount = 0;           // L; final labels run 1..L in raster order of first pixels
    std::vector<int> area;         // [r]: pixel count of final region r (index 0 unused)
    std::vector<double> centroid;  // [2r], [2r+1]: centroid x, y
    std::vector<int> box;          // [4r..4r+3]: x min, x max, y min, y max (exact)
};

// Labels the dark pixels (byte0 + byte1 + byte2 <= 3 * threshold) of a width x height
// image of 4 bytes per pixel. Returns 0, or -1 when more than kMaxProvisionalLabels
// provisional labels would be needed (the result is then unusable). Buffers of out are
// reused between calls.
int labelImage(const unsigned char* image, int width, int height, int threshold, LabelResult* out);
