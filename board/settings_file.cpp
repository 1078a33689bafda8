#include "board/settings_file.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool SettingsFile::open(const char* path) {
    file_ = std::fopen(path, "r");
    return file_ != nullptr;
}

const char* SettingsFile::nextLine() {
    if (!file_) return nullptr;
    return std::fgets(line_, SETTINGS_LINE_SIZE, static_cast<FILE*>(file_));
}

SettingsFile::~SettingsFile() {
    if (file_) std::fclose(static_cast<FILE*>(file_));
}

const char* settingsValue(const char* line, const char* key) {
    std::size_t n = std::strlen(key);
    return std::strncmp(line, key, n) == 0 ? line + n : nullptr;
}

int readNumber(const char* text) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);  // truncates toward zero
}
