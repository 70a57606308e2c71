#include "pattern_file.h"

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
// isspace in the C locale: space, tab, newline, vertical tab, form feed, carriage return.
bool isBlank(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One number as fscanf's %d reads it (which these files were read with): blanks skipped, a
// sign, decimal digits, narrowed to int from strtol's long; false when there is none.
// Character by character, as a pattern file is read for every run: fscanf spends some
// ten thousand instructions per number.
bool readNumber(std::FILE* file, std::string* token, int* value) {
    int c = getc_unlocked(file);
    while (isBlank(c)) c = getc_unlocked(file);
    token->clear();
    if (c == '+' || c == '-') {
        token->push_back(static_cast<char>(c));
        c = getc_unlocked(file);
    }
    const std::size_t signs = token->size();
    unsigned long digitsValue = 0;  // wraps harmlessly beyond kSafeDigits
    while (c >= '0' && c <= '9') {
        token->push_back(static_cast<char>(c));
        digitsValue = digitsValue * 10 + static_cast<unsigned long>(c - '0');
        c = getc_unlocked(file);
    }
    if (c != EOF) ungetc(c, file);
    const std::size_t digits = token->size() - signs;
    if (digits == 0) return false;
    constexpr std::size_t kSafeDigits = 18;  // below LONG_MAX
    long number = static_cast<long>(digitsValue);
    if (digits > kSafeDigits)
        number = std::strtol(token->c_str(), nullptr, 10);
    else if (signs == 1 && (*token)[0] == '-')
        number = -number;
    *value = static_cast<int>(number);
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
