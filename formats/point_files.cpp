#include "point_files.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "name_pattern.h"

std::ifstream openInputFile(const std::string& name, bool quiet) {
    std::error_code ec;
    const bool directory = std::filesystem::is_directory(name, ec);
    std::ifstream in;
    if (!directory) in.open(name);
    if (directory || !in.good()) {
        if (!quiet) std::cout << "file cannot be read.\n" << std::flush;
        throw PointFileError("cannot read " + name + (directory ? ": it is a directory" : ""));
    }
    return in;
}

namespace {
std::ifstream openOrFail(const std::string& name, bool quiet = false) {
    return openInputFile(name, quiet);
}

bool isBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

// Lines of a file, blank lines at its end dropped.
std::vector<std::string> contentLines(std::ifstream& in) {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    while (!lines.empty() && isBlank(lines.back())) lines.pop_back();
    return lines;
}

// The first count finite numbers of a line; false when it holds fewer.
bool leadingNumbers(const std::string& line, int count, double* values) {
    const char* p = line.c_str();
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        errno = 0;
        values[i] = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(values[i])) return false;
        p = end;
    }
    return true;
}

[[noreturn]] void malformed(const std::string& name, std::size_t line, int count) {
    std::ostringstream msg;
    msg << name << " line " << line + 1 << ": expected " << count << " numbers";
    throw PointFileError(msg.str());
}

PointList2 readPointFile2(const std::string& name, bool quiet = false) {
    std::ifstream in = openOrFail(name, quiet);
    PointList2 points;
    const std::vector<std::string> lines = contentLines(in);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        double v[2];
        if (!leadingNumbers(lines[i], 2, v)) malformed(name, i, 2);
        points.emplace_back(static_cast<float>(v[0]), static_cast<float>(v[1]));
    }
    return points;
}

PointList3 readPointFile3(const std::string& name, bool quiet = false) {
    std::ifstream in = openOrFail(name, quiet);
    PointList3 points;
    const std::vector<std::string> lines = contentLines(in);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        double v[3];
        if (!leadingNumbers(lines[i], 3, v)) malformed(name, i, 3);
        points.emplace_back(static_cast<float>(v[0]), static_cast<float>(v[1]),
                            static_cast<float>(v[2]));
    }
    return points;
}

bool parseInt(const std::string& token, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}
}  // namespace

void checkNamePattern(const std::string& pattern, const std::string& what) {
    const int conversions = countIntegerConversions(pattern);
    if (conversions < 0 || conversions > 1)
        throw PointFileError(
            what +
            " must hold at most one integer conversion such as %03d, and no other: " + pattern);
}

namespace {
// The one grammar of true-number files: integers separated by any white space (tagharvest
// writes one a line); anything else is named with its line.
std::vector<int> trueNumbers(const std::string& name, bool quiet) {
    std::ifstream in = openOrFail(name, quiet);
    std::vector<int> numbers;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        std::istringstream words(line);
        for (std::string token; words >> token;) {
            int n;
            if (!parseInt(token, &n) ||
                token.find_first_not_of("+-0123456789") != std::string::npos)
                throw PointFileError(name + " line " + std::to_string(lineNumber) +
                                     ": not an image number: " + token);
            numbers.push_back(n);
        }
    }
    return numbers;
}
}  // namespace

std::vector<int> loadTrueNumbers(const std::string& name) {
    return trueNumbers(name, true);
}

PointList2 loadPointFile2(const std::string& name) {
    return readPointFile2(name, true);
}

PointList3 loadPointFile3(const std::string& name) {
    return readPointFile3(name, true);
}

void readTrueNum(const std::string& name, std::vector<int>* trueNum) {
    trueNum->clear();
    std::cout << "\nresd true num data" << std::endl;
    std::cout << "true num  ";
    *trueNum = trueNumbers(name, false);
    for (int n : *trueNum) std::cout << n << " ";
    std::cout << " " << std::endl;
}

void read2dPoints(const std::string& pattern, const std::vector<int>& trueNum,
                  std::vector<PointList2>* points) {
    points->clear();
    std::cout << "\nread 2d_points_file data" << std::endl;
    for (int n : trueNum) {
        std::cout << "\nreading " << pattern << std::endl;
        const std::string name = expandPattern(pattern, n);
        std::cout << name << std::endl;
        points->push_back(readPointFile2(name));
        std::cout << "deta num = " << points->back().size() << std::endl;
    }
}

void read3dPoints(const std::string& pattern, const std::vector<int>& trueNum,
                  std::vector<PointList3>* points) {
    points->clear();
    std::cout << "\nread 3d_points_file data" << std::endl;
    for (int n : trueNum) {
        const std::string name = expandPattern(pattern, n);
        std::cout << name << std::endl;
        points->push_back(readPointFile3(name));
        std::cout << "deta num = " << points->back().size() << std::endl;
    }
}

void read2dProjPoints(const std::string& pattern, const std::vector<int>& trueNum,
                      std::vector<PointList2>* points) {
    std::cout << "\nread 2d_projpoints_file data" << std::endl;
    for (int n : trueNum) {
        points->push_back(readPointFile2(expandPattern(pattern, n)));
        std::cout << "deta num = " << points->back().size() << std::endl;
    }
}

void loadCorrespondences(const std::string& trueName, const std::string& pattern2d,
                         const std::string& pattern3d, Correspondences* out) {
    std::cout << "\nresd true num data" << std::endl;
    std::cout << "true num  ";
    out->trueNum = trueNumbers(trueName, false);
    for (int n : out->trueNum) std::cout << n << " ";
    std::cout << " " << std::endl;
    for (std::size_t k = 0; k < out->trueNum.size(); ++k) {
        const int n = out->trueNum[k];
        std::cout << n << std::endl;
        if (n < 0 || n > kMaxImageNumber) throw std::out_of_range("invalid array<T, N> subscript");
        out->pointCount[n] = 0;
        std::cout << "\nread image num " << n << std::endl;
        const std::string name2d = expandPattern(pattern2d, n);
        const std::string name3d = expandPattern(pattern3d, n);
        PointList2 points2d;
        PointList3 points3d;
        try {
            points2d = readPointFile2(name2d);
            points3d = readPointFile3(name3d);
        } catch (const PointFileError& e) {
            // The view and the list that named the file: what to mend.
            throw PointFileError(std::string(e.what()) + " (view " + std::to_string(k) +
                                 ", image " + std::to_string(n) + " of " + trueName + ")");
        }
        out->pointCount[n] = static_cast<int>(points2d.size());
        std::cout << "2D points / 3D points = " << out->pointCount[n];
        std::cout << " / " << points3d.size() << std::endl;
        if (points2d.size() != points3d.size()) {
            std::ostringstream msg;
            msg << "view " << k << " (image " << n << "): " << points2d.size() << " points in "
                << name2d << " but " << points3d.size() << " in " << name3d;
            throw PointFileError(msg.str());
        }
        out->imagePoints.push_back(std::move(points2d));
        out->objectPoints.push_back(std::move(points3d));
    }
}
