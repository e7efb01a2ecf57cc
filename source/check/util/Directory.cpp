#include "util/Directory.h"

#include <dirent.h>

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    DIR* stream = opendir(dir.c_str());
    if (stream == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(stream)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(stream);
    return names;
}
