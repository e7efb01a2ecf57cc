// A text of the ini file other than the one on disk, where the launcher's
// own reader can open it: a file in memory, or else an unlinked temporary one.
#pragma once

#include <string>

class ScratchIni {
public:
    // Throws std::runtime_error when no scratch file can be made.
    explicit ScratchIni(const std::string& text);
    ~ScratchIni();
    ScratchIni(const ScratchIni&) = delete;
    ScratchIni& operator=(const ScratchIni&) = delete;

    std::string path;

private:
    // Returns true on failure.
    bool writeAll(const std::string& text);
    void close();

    int descriptor = -1;
    bool unlinkAtEnd = false;
};
