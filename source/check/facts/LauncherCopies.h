// The copies of the launcher in an application directory, told from other
// files by the launcher's version note.
#pragma once

#include <string>
#include <vector>

#include "facts/ElfFile.h"

struct LauncherCopy {
    std::string name;         // its file name in the directory
    std::string version;      // from its note
    bool executable = false;  // by the user running the check
    bool symlink = false;     // a symbolic link to a launcher
};

struct CopySearch {
    std::vector<LauncherCopy> copies;   // by name
    std::vector<std::string> iniFiles;  // regular files named "*.ini", by name
    bool listed = true;                 // false: the directory could not be read
};

// The launcher's version if `elf` carries its note; empty otherwise.
std::string launcherVersion(const ElfFile& elf);

// The copies and ini files directly in `dir`. Reads only regular files (or
// what a symbolic link names), and of those only their headers and notes.
CopySearch findLauncherCopies(const std::string& dir);

// Where the symbolic link `path` points when the file it names is gone;
// empty when `path` is anything else.
std::string danglingLinkTarget(const std::string& path);
