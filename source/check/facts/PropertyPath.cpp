#include "facts/PropertyPath.h"

#include <sys/stat.h>

#include <cerrno>

std::string propertyPath(std::string_view element) {
    const std::string_view::size_type equals = element.find('=');
    if (equals == std::string_view::npos) {
        return std::string();
    }
    const std::string_view path = element.substr(equals + 1);
    return std::string(path.substr(0, path.find('\0')));
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
