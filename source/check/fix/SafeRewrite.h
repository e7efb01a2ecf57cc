// Replacing a file's contents so that no fault loses it: the new contents
// go to a new file in the same directory, reach the disk, and take the old
// file's place in one rename. Until that rename the old file is untouched.
//
// Temporary files are named ".NAME.dvl-fix-PID.XXXXXX" beside NAME. Only a
// process killed between writing one and renaming it leaves one behind; the
// next rewrite of NAME removes those whose process is gone and that are
// older than its own run.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace SafeRewrite {

// How the old file is kept beside the new one. A backup that exists is
// never replaced: it may be the only copy of what the user wrote.
enum class Backup {
    None,      // not kept
    Simple,    // as "NAME~"; refused where that exists already
    Numbered,  // as "NAME.~N~", N one past the highest there
    Existing,  // as "NAME~" while no backup exists, then numbered
};

struct Original {
    std::string path;  // the regular file itself, every symbolic link followed
    std::string bytes;
    struct stat status {};
};

// Reads the file `path` leads to. Returns why it cannot be rewritten (it is
// no regular file, it cannot be read), or an empty string.
std::string read(const std::string& path, Original& original);

// Puts `bytes` in place of `original` with its owner, group and mode,
// keeping the old file as `backup` says; `keptAs`, when given, gets the
// backup's path. Refuses when the file no longer holds what was read.
// Returns what went wrong, or an empty string; on any failure the file is
// as it was and no temporary file stays.
std::string replace(const Original& original, const std::string& bytes, Backup backup,
                    std::string* keptAs = nullptr);

// The path the next backup of `path` takes: "" for Backup::None, or for
// Backup::Simple when "NAME~" exists already.
std::string backupPath(const std::string& path, Backup backup);

// Removes the temporary files beside `path` that a killed run left behind;
// returns how many.
std::size_t removeStaleTemporaries(const std::string& path);

}  // namespace SafeRewrite
