#include "facts/PropertyPath.h"

#include <sys/stat.h>

#include <cerrno>

std::string propertyPath(const std::string& element) {
    const std::string::size_type equals = element.find('=');
    return equals == std::string::npos ? std::string() : element.substr(equals + 1).c_str();
}

PathState pathStateOf(const std::string& path) {
    if (path.empty()) {
        return PathState::NotLooked;
    }
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return errno == ENOENT ? PathState::Missing : PathState::OtherError;
    }
    return S_ISDIR(status.st_mode) ? PathState::Directory : PathState::Exists;
}
