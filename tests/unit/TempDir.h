#pragma once

#include <string>

// A fresh directory, removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return dir; }
    // Writes `bytes` unchanged to a file in the directory; returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string dir;
};
