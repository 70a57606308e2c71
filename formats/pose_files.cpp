#include "pose_files.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {
constexpr int kLineBuffer = 1024;
constexpr std::size_t kMatrixValues = 16;

bool isDirectory(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_directory(name, ec);
}

}  // namespace

int readPoseFile(const std::string& name, PoseParams* params) {
    if (isDirectory(name)) {
        std::fprintf(stderr, "cannot open file %s: it is a directory\n", name.c_str());
        return kPoseFileUnopened;
    }
    std::FILE* file = std::fopen(name.c_str(), "r");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open file %s\n", name.c_str());
        return kPoseFileUnopened;
    }
    char line[kLineBuffer];
    int converted = 0;
    if (std::fgets(line, sizeof line, file) != nullptr) {
        converted = std::sscanf(line, "%f %f %f %f %f %f", &params->tx, &params->ty, &params->tz,
                                &params->alpha, &params->beta, &params->gamma);
    }
    std::fclose(file);
    if (converted != 6) return kPoseFileShort;
    for (float v : {params->tx, params->ty, params->tz, params->alpha, params->beta, params->gamma})
        if (!std::isfinite(v)) {
            std::fprintf(stderr, "pose file %s: a value of the first line is not a finite number\n",
                         name.c_str());
            return kPoseFileBad;
        }
    return kPoseFileRead;
}

bool parseFinite(const std::string& text, double* value) {
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

int writePoseFile(const PoseParams& p, const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "w");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open file %s\n", name.c_str());
        return -1;
    }
    std::fprintf(file, "%f\t%f\t%f\t%f\t%f\t%f", p.tx, p.ty, p.tz, p.alpha, p.beta, p.gamma);
    return std::fclose(file) == 0 ? 0 : -1;
}

int readMatrixFile(const std::string& name, std::vector<double>* values) {
    values->clear();
    if (isDirectory(name)) {
        std::cerr << "matrix file " << name << " is a directory" << std::endl;
        return -1;
    }
    std::ifstream in(name);
    if (!in) {
        std::cout << "Can't open \"" << name << "\" !" << std::endl;
        return -1;
    }
    std::string token;
    while (values->size() < kMatrixValues && in >> token) {
        if (token[0] == '%' || token[0] == '#') {
            std::string rest;
            std::getline(in, rest);
            continue;
        }
        std::istringstream pieces(token);
        std::string piece;
        for (int index = 0; values->size() < kMatrixValues && std::getline(pieces, piece, ',');
             ++index) {
            if (piece.empty() && index == 0) continue;  // "1 ,2": a comma before a number
            double v = 0;
            if (!parseFinite(piece, &v)) {
                std::cerr << "matrix file " << name << ": \"" << piece.substr(0, 40)
                          << "\" is not a finite number" << std::endl;
                return -1;
            }
            values->push_back(v);
        }
    }
    return 0;
}

int writeGlMatrixFile(const Transform& pose, const std::string& name) {
    float m[4][4] = {};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m[i][j] = pose.rot[i][j];
        m[i][3] = pose.trans[i];
    }
    m[3][3] = 1.0f;
    std::ofstream out(name);
    if (!out) {
        std::fprintf(stderr, "cannot open file %s\n", name.c_str());
        return -1;
    }
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) out << static_cast<double>(m[i][j]) << ',';
    out.close();
    return out ? 0 : -1;
}
