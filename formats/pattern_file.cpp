#include "pattern_file.h"

#include <cstdio>
#include <fstream>

std::string patternFileName(const std::string& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "pat.%02d", index);
    return folder.empty() ? name : folder + "/" + name;
}

int readPatternFile(const char* path, int values[kPatternFileValues]) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kPatternFileMissing;
    for (int i = 0; i < kPatternFileValues; ++i)
        if (std::fscanf(file, "%d", &values[i]) != 1) {
            std::fclose(file);
            return kPatternFileShort;
        }
    std::fclose(file);
    return kPatternFileRead;
}

bool writePatternFile(const std::string& path, const int values[kPatternFileValues]) {
    std::ofstream out(path);
    if (!out) return false;
    constexpr int kSide = 16;
    for (int i = 0; i < kPatternFileValues; ++i) {
        const int column = i % kSide;
        out << (column ? " " : "") << values[i];
        if (column == kSide - 1) out << '\n';
        if ((i + 1) % (3 * kSide * kSide) == 0) out << '\n';
    }
    out.close();
    return static_cast<bool>(out);
}
