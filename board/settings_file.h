// Reading the settings file "tarvok init.ini" in the working directory. Each
// component reads it on its own and looks only for its keys; a key matches at
// the first character of a line, "=" included, and the later line wins.
#pragma once

inline constexpr const char* SETTINGS_FILE_NAME = "tarvok init.ini";
inline constexpr int SETTINGS_LINE_SIZE = 1000; // at most 999 characters a line
// Only the start of a larger file is read.
inline constexpr long SETTINGS_MAX_BYTES = 65536;

// What is at the settings path. Only a regular file is ever opened: a FIFO
// or a device (a link to /dev/zero) would block or never end.
enum class SettingsFileState { Missing, Regular, TooLarge, NotRegular };
SettingsFileState settingsFileState(const char* path = SETTINGS_FILE_NAME);

class SettingsFile {
  public:
    // Opens the file; false (and no lines) when it cannot be opened or is no
    // regular file.
    bool open(const char* path = SETTINGS_FILE_NAME);
    // Reads the next line into an internal buffer (line end kept, longer lines
    // are read in 999-character pieces). Returns nullptr at the end, which
    // comes after at most SETTINGS_MAX_BYTES.
    const char* nextLine();
    ~SettingsFile();

  private:
    void* file_ = nullptr;
    long left_ = 0; // bytes still to be read
    char line_[SETTINGS_LINE_SIZE];
};

// If line begins with key, returns the text right after the key, else nullptr.
const char* settingsValue(const char* line, const char* key);
// A number as the settings file and the protocols read it: decimal floating
// point with leading blanks, cut toward zero, saturated to 32 bits; 0 when
// no number is there.
int readNumber(const char* text);
