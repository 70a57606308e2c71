// The true-number and point-file readers, both forms. The input is split at its first
// NUL byte: the true-number file, then the text every point file gets.
#include <algorithm>
#include <stdexcept>

#include "fuzz_support.h"
#include "point_files.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* split = std::find(data, data + size, 0);
    const std::string trueNum = inputFile(data, split - data, 0);
    const std::uint8_t* rest = split == data + size ? split : split + 1;
    const std::string points = inputFile(rest, data + size - rest, 1);
    try {
        std::vector<int> list;
        readTrueNum(trueNum, &list);
        if (list.size() > 64) list.resize(64);
        std::vector<PointList2> p2;
        std::vector<PointList3> p3;
        read2dPoints(points, list, &p2);  // no conversion in the name: every view reads it
        read3dPoints(points, list, &p3);
        read2dProjPoints(points, list, &p2);
    } catch (const std::exception&) {
    }
    try {
        Correspondences c;
        loadCorrespondences(trueNum, points, points, &c);
    } catch (const std::exception&) {
    }
    return 0;
}
