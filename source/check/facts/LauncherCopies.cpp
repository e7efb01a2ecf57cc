#include "facts/LauncherCopies.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "launcher/LauncherNote.h"

std::string launcherVersion(const ElfFile& elf) {
    for (const ElfNote& note : elf.notes) {
        if (note.name == LAUNCHER_NOTE_NAME && note.type == LAUNCHER_NOTE_TYPE) {
            const std::string version = note.descriptor.c_str();
            return version.empty() ? "unknown" : version;
        }
    }
    return std::string();
}

CopySearch findLauncherCopies(const std::string& dir) {
    CopySearch found;
    DIR* entries = opendir(dir.c_str());
    if (entries == nullptr) {
        found.listed = false;
        return found;
    }
    while (const dirent* entry = readdir(entries)) {
        const std::string name = entry->d_name;
        const std::string path = dir + "/" + name;
        struct stat link {};
        struct stat target {};
        // Only regular files are read: a named pipe or a device could block.
        if (lstat(path.c_str(), &link) != 0 || stat(path.c_str(), &target) != 0 ||
            !S_ISREG(target.st_mode)) {
            continue;
        }
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ini") == 0) {
            found.iniFiles.push_back(name);
            continue;
        }
        const std::string version = launcherVersion(readElfFile(path));
        if (!version.empty()) {
            found.copies.push_back(LauncherCopy{name, version, access(path.c_str(), X_OK) == 0,
                                                S_ISLNK(link.st_mode)});
        }
    }
    closedir(entries);
    std::sort(found.copies.begin(), found.copies.end(),
              [](const LauncherCopy& a, const LauncherCopy& b) { return a.name < b.name; });
    std::sort(found.iniFiles.begin(), found.iniFiles.end());
    return found;
}

std::string danglingLinkTarget(const std::string& path) {
    struct stat status {};
    std::string target(4096, '\0');
    const ssize_t size = readlink(path.c_str(), &target[0], target.size());
    if (size < 0 || stat(path.c_str(), &status) == 0 || errno != ENOENT) {
        return std::string();
    }
    target.resize(static_cast<std::size_t>(size));
    return target;
}
