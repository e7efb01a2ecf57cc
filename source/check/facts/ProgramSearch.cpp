#include "facts/ProgramSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

}  // namespace

std::string ProgramSearch::find(const std::string& program, const std::string& root,
                                const std::string& path) {
    auto along = std::find_if(alongs.begin(), alongs.end(), [&](const Along& known) {
        return known.path == path && known.root == root;
    });
    if (along == alongs.end()) {
        along = alongs.insert(alongs.end(), Along{root, path, {}});
    }
    const auto known = along->found.find(program);
    if (known != along->found.end()) {
        return known->second;
    }
    std::string& result = along->found[program];
    std::size_t start = 0;
    while ((start = path.find_first_not_of(':', start)) != std::string::npos) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::string dir = root + path.substr(start, end - start);
        if (holds(dir, program)) {
            result = dir + "/" + program;
            break;
        }
        start = end;
    }
    return result;
}

bool ProgramSearch::holds(const std::string& dir, const std::string& name) {
    auto at = listings.find(dir);
    if (at == listings.end()) {
        struct Closer {
            void operator()(DIR* d) const { closedir(d); }
        };
        Listing& listing = listings[dir];
        errno = 0;
        const std::unique_ptr<DIR, Closer> open(opendir(dir.c_str()));
        const int openError = errno;
        errno = 0;
        while (const dirent* entry = open ? readdir(open.get()) : nullptr) {
            listing.names.insert(entry->d_name);
        }
        // A listing cut short by an error proves nothing missing; nor does a
        // directory that may be searched but not read. One that is not there
        // holds nothing.
        listing.listed = open ? errno == 0 : openError == ENOENT || openError == ENOTDIR;
        at = listings.find(dir);
    }
    // An empty name stands for the directory itself, which no listing shows.
    if (at->second.listed && !name.empty() && at->second.names.count(name) == 0) {
        return false;
    }
    return exists(dir + "/" + name);
}
