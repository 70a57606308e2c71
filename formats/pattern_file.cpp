#include "pattern_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

std::string patternFileName(const std::string& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "pat.%02d", index);
    return folder.empty() ? name : folder + "/" + name;
}

namespace {
// One number as fscanf's %d reads it (which these files were read with): blanks skipped, a
// sign, decimal digits, converted by strtol and narrowed to int; false when there is none.
// Character by character, as a pattern file is read for every run: fscanf spends some
// ten thousand instructions per number.
bool readNumber(std::FILE* file, std::string* token, int* value) {
    int c = getc_unlocked(file);
    while (c != EOF && std::isspace(c)) c = getc_unlocked(file);
    token->clear();
    if (c == '+' || c == '-') {
        token->push_back(static_cast<char>(c));
        c = getc_unlocked(file);
    }
    while (c >= '0' && c <= '9') {
        token->push_back(static_cast<char>(c));
        c = getc_unlocked(file);
    }
    if (c != EOF) ungetc(c, file);
    if (token->empty() || !(token->back() >= '0' && token->back() <= '9')) return false;
    *value = static_cast<int>(std::strtol(token->c_str(), nullptr, 10));
    return true;
}
}  // namespace

int readPatternFile(const char* path, int values[kPatternFileValues]) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return kPatternFileMissing;
    std::string token;
    for (int i = 0; i < kPatternFileValues; ++i)
        if (!readNumber(file, &token, &values[i])) {
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
