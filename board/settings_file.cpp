#include "board/settings_file.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

SettingsFileState settingsFileState(const char* path) {
    struct stat st;
    if (::stat(path, &st) != 0) return SettingsFileState::Missing;
    if (!S_ISREG(st.st_mode)) return SettingsFileState::NotRegular;
    return st.st_size > SETTINGS_MAX_BYTES ? SettingsFileState::TooLarge
                                           : SettingsFileState::Regular;
}

bool SettingsFile::open(const char* path) {
    // Opened without waiting for a writer, then checked: a FIFO put there
    // since the test above must not block either.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    file_ = ::fdopen(fd, "r");
    if (!file_) {
        ::close(fd);
        return false;
    }
    left_ = SETTINGS_MAX_BYTES;
    return true;
}

const char* SettingsFile::nextLine() {
    if (!file_ || left_ <= 0) return nullptr;
    const int size = left_ < SETTINGS_LINE_SIZE ? static_cast<int>(left_) + 1 : SETTINGS_LINE_SIZE;
    if (!std::fgets(line_, size, static_cast<FILE*>(file_))) return nullptr;
    left_ -= static_cast<long>(std::strlen(line_));
    return line_;
}

SettingsFile::~SettingsFile() {
    if (file_) std::fclose(static_cast<FILE*>(file_));
}

const char* settingsValue(const char* line, const char* key) {
    std::size_t n = std::strlen(key);
    return std::strncmp(line, key, n) == 0 ? line + n : nullptr;
}

namespace {

const char* skipDigits(const char* p) {
    while (*p >= '0' && *p <= '9') ++p;
    return p;
}

} // namespace

int readNumber(const char* text) {
    // Only decimal notation counts: "0x10" reads as 0 and "inf" as no
    // number, where the C library would take hexadecimal and infinities.
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const char* q = skipDigits(p);
    bool digits = q > p;
    if (*q == '.') {
        const char* f = skipDigits(q + 1);
        digits = digits || f > q + 1;
        q = f;
    }
    if (!digits) return 0;
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (*e >= '0' && *e <= '9') q = skipDigits(e);
    }
    const std::string number(start, q);
    double v = std::strtod(number.c_str(), nullptr);
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v); // truncates toward zero
}
