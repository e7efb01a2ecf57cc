// Whether a file is still the one that was looked at before.
#pragma once

#include <sys/stat.h>

// The same file (device and inode) with the same size and modification
// time: what a reader kept from it, or a rewrite planned on it, still holds.
inline bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}
