#include "camera_files.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "point_files.h"

namespace {
// Numbers of a file whose every line overwrites as many leading values as it holds; the
// result has as many values as the longest line gave.
std::vector<double> readOverwritingLines(const std::string& name) {
    std::ifstream in = openInputFile(name, false);
    std::vector<double> values;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        std::istringstream words(line);
        std::string word;
        std::size_t i = 0;
        while (words >> word) {
            char* end = nullptr;
            errno = 0;
            const double v = std::strtod(word.c_str(), &end);
            if (*end != '\0' || errno == ERANGE || !std::isfinite(v))
                throw PointFileError(name + " line " + std::to_string(lineNumber) +
                                     ": not a number: " + word);
            if (i < values.size())
                values[i] = v;
            else
                values.push_back(v);
            ++i;
        }
    }
    return values;
}

}  // namespace

cv::Mat readCameraMatrix(const std::string& name) {
    const std::vector<double> v = readOverwritingLines(name);
    if (v.size() != 9)
        throw PointFileError(name + ": a camera matrix needs nine numbers on one line, found " +
                             std::to_string(v.size()));
    return cv::Mat(3, 3, CV_64F, const_cast<double*>(v.data())).clone();
}

cv::Mat readDistortion(const std::string& name) {
    const std::vector<double> v = readOverwritingLines(name);
    const std::size_t n = v.size();
    if (n != 4 && n != 5 && n != 8 && n != 12 && n != 14)
        throw PointFileError(
            name + ": the distortion line must hold 4, 5, 8, 12 or 14 coefficients, found " +
            std::to_string(n));
    return cv::Mat(1, static_cast<int>(n), CV_64F, const_cast<double*>(v.data())).clone();
}

cv::Mat readVector3(const std::string& name) {
    std::ifstream in = openInputFile(name, true);
    std::vector<double> v;
    std::string word;
    while (in >> word) {
        char* end = nullptr;
        errno = 0;
        const double x = std::strtod(word.c_str(), &end);
        if (*end != '\0' || errno == ERANGE || !std::isfinite(x))
            throw PointFileError(name + ": not a number: " + word);
        v.push_back(x);
    }
    if (v.size() != 3)
        throw PointFileError(name + ": three numbers expected, found " + std::to_string(v.size()));
    return cv::Mat(v, true);
}
