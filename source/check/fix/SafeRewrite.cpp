#include "fix/SafeRewrite.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "util/FileStatus.h"

namespace SafeRewrite {

namespace {

const char MARK[] = ".dvl-fix-";
// Leaves room for the mark, a process id and the random part in a name.
constexpr std::size_t NAME_KEPT = 200;

std::string systemError(int error) {
    return std::strerror(error);
}

// When this run started: temporaries older than that cannot be its own.
const struct timespec& runStart() {
    static const struct timespec start = [] {
        struct timespec now {};
        clock_gettime(CLOCK_REALTIME, &now);
        return now;
    }();
    return start;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// ".NAME.dvl-fix-": what every temporary file for `path` begins with.
std::string temporaryPrefix(const std::string& path) {
    return "." + nameOf(path).substr(0, NAME_KEPT) + MARK;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

struct Fd {
    int fd = -1;
    explicit Fd(int fd) : fd(fd) {}
    ~Fd() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

// Reads the whole file; returns 0 or the error number.
int readAll(int fd, std::string& bytes) {
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

int writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return errno;
        }
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

// True when `path` is still the file that was read, with the bytes it had.
// The bytes are compared too: a change within the clock's granularity, or
// one that set the old time again, keeps the modification time.
bool stillOriginal(const std::string& path, const Original& original) {
    struct stat now {};
    if (lstat(path.c_str(), &now) != 0 || !sameFile(now, original.status)) {
        return false;
    }
    const Fd in(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    std::string bytes;
    return in.fd >= 0 && readAll(in.fd, bytes) == 0 && bytes == original.bytes;
}

void syncDirectory(const std::string& dir) {
    const Fd fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.fd >= 0) {
        fsync(fd.fd);
    }
}

// Writes the new contents to a fresh file beside the original, owned and
// permitted like it, and flushed to the disk. Returns the error message;
// `temporary` names the file as soon as it exists.
std::string writeTemporary(const Original& original, const std::string& bytes,
                           std::string& temporary) {
    const std::string dir = directoryOf(original.path);
    std::string pattern =
        dir + "/" + temporaryPrefix(original.path) + std::to_string(getpid()) + ".XXXXXX";
    // mkostemp creates it with O_CREAT|O_EXCL and mode 0600: nobody else can
    // read it before it gets the original's owner and mode.
    const Fd fd(mkostemp(&pattern[0], O_CLOEXEC));
    if (fd.fd < 0) {
        return "cannot create a new file in " + dir + ": " + systemError(errno);
    }
    temporary = pattern;
    if (const int error = writeAll(fd.fd, bytes)) {
        return "cannot write the new file: " + systemError(error);
    }
    // The owner first: changing it clears set-user-ID and set-group-ID bits.
    if (fchown(fd.fd, original.status.st_uid, original.status.st_gid) != 0) {
        return "cannot give the new file the owner and group of the old one: " + systemError(errno);
    }
    if (fchmod(fd.fd, original.status.st_mode & 07777) != 0) {
        return "cannot give the new file the mode of the old one: " + systemError(errno);
    }
    if (fsync(fd.fd) != 0) {
        return "cannot write the new file to the disk: " + systemError(errno);
    }
    return std::string();
}

// N of a numbered backup "NAME.~N~" of `name`, or 0 for another file.
unsigned long backupNumber(const std::string& entry, const std::string& name) {
    const std::string prefix = name + ".~";
    if (entry.size() < prefix.size() + 2 || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.back() != '~') {
        return 0;
    }
    const std::string digits = entry.substr(prefix.size(), entry.size() - prefix.size() - 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0' ||
        digits.size() > 9) {
        return 0;
    }
    return std::stoul(digits);
}

// The highest N of the numbered backups beside `path`, 0 for none.
unsigned long highestBackup(const std::string& path) {
    std::unique_ptr<DIR, DirCloser> entries(opendir(directoryOf(path).c_str()));
    unsigned long highest = 0;
    while (entries) {
        const struct dirent* entry = readdir(entries.get());
        if (entry == nullptr) {
            break;
        }
        highest = std::max(highest, backupNumber(entry->d_name, nameOf(path)));
    }
    return highest;
}

// Gives `from` the backup's name without replacing a file there; a name a
// concurrent run takes first moves a numbered backup on to the next.
std::string placeBackup(const std::string& from, const Original& original, Backup backup,
                        std::string& placed) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = backupPath(original.path, backup);
        if (name.empty()) {
            return "cannot keep the old file as " + original.path +
                   "~: that backup exists already (--backup=numbered keeps another)";
        }
        int result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // link() never replaces either; the old name goes once it is made.
            result = link(from.c_str(), name.c_str());
            if (result == 0) {
                unlink(from.c_str());
            }
        }
        if (result == 0) {
            placed = name;
            return std::string();
        }
        if (errno != EEXIST) {
            return "cannot keep the old file as " + name + ": " + systemError(errno);
        }
    }
    return "cannot keep the old file: every backup name tried was taken";
}

// The old file goes to its backup through a hard link made while it still
// stands at its name; a file system without hard links gets a copy.
std::string keepBackupOf(const Original& original, Backup backup, std::string& placed) {
    std::string temporary;
    const std::string dir = directoryOf(original.path);
    for (unsigned attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
        const std::string name = dir + "/" + temporaryPrefix(original.path) +
                                 std::to_string(getpid()) + ".bak" + std::to_string(attempt);
        if (link(original.path.c_str(), name.c_str()) == 0) {
            temporary = name;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (temporary.empty()) {
        const std::string error = writeTemporary(original, original.bytes, temporary);
        if (!error.empty()) {
            if (!temporary.empty()) {
                unlink(temporary.c_str());
            }
            return "cannot keep the old file as " + backupPath(original.path, backup) + ": " +
                   error;
        }
    }
    const std::string error = placeBackup(temporary, original, backup, placed);
    if (!error.empty()) {
        unlink(temporary.c_str());
    }
    return error;
}

// Swaps the new file in with one rename that also keeps the old one at the
// temporary name; what was swapped out is then checked to be the file read.
// A change made while the swap waited, in place or by another rename, is
// caught there and undone by swapping back. Returns false, with nothing
// done, where the file system cannot swap. Clears `temporary` once that
// name no longer holds the new file alone.
bool swapIn(const Original& original, std::string& temporary, Backup backup, std::string& placed,
            std::string& error) {
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, original.path.c_str(), RENAME_EXCHANGE) !=
        0) {
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
            return false;
        }
        error = "cannot put the new file in place: " + systemError(errno);
        return true;
    }
    const bool changed = !stillOriginal(temporary, original);
    if (!changed && backup == Backup::None) {
        unlink(temporary.c_str());
        temporary.clear();
        return true;
    }
    if (!changed) {
        error = placeBackup(temporary, original, backup, placed);
        if (error.empty()) {
            temporary.clear();
            return true;
        }
    } else {
        error = "the file changed since it was read; it was left as it is";
    }
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, original.path.c_str(), RENAME_EXCHANGE) !=
        0) {
        error =
            "the file changed while it was being replaced, and could not be put back: "
            "it is now " +
            temporary + " (" + systemError(errno) + ")";
        temporary.clear();
    }
    return true;
}

}  // namespace

std::string read(const std::string& path, Original& original) {
    runStart();
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return "cannot find the file: " + systemError(errno);
    }
    original.path = resolved.get();
    if (stat(original.path.c_str(), &original.status) != 0) {
        return "cannot read the file: " + systemError(errno);
    }
    // A device or a named pipe is never opened: that alone can block or act.
    if (!S_ISREG(original.status.st_mode)) {
        return "not a regular file; only regular files are rewritten";
    }
    const Fd in(open(original.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat opened {};
    if (in.fd < 0 || fstat(in.fd, &opened) != 0) {
        return "cannot read the file: " + systemError(errno);
    }
    if (!sameFile(opened, original.status)) {
        return "the file changed while it was being read";
    }
    original.bytes.clear();
    if (const int error = readAll(in.fd, original.bytes)) {
        return "cannot read the file: " + systemError(error);
    }
    return std::string();
}

std::string backupPath(const std::string& path, Backup backup) {
    if (backup == Backup::None) {
        return std::string();
    }
    const std::string simple = path + "~";
    struct stat status {};
    const bool simpleTaken = lstat(simple.c_str(), &status) == 0 || errno != ENOENT;
    const unsigned long highest = highestBackup(path);
    if (backup == Backup::Simple || (backup == Backup::Existing && !simpleTaken && highest == 0)) {
        return simpleTaken ? std::string() : simple;
    }
    return path + ".~" + std::to_string(highest + 1) + "~";
}

std::string replace(const Original& original, const std::string& bytes, Backup backup,
                    std::string* keptAs) {
    removeStaleTemporaries(original.path);
    // Known before anything is written: a simple backup that is there stays.
    if (backup == Backup::Simple && backupPath(original.path, backup).empty()) {
        return "cannot keep the old file as " + original.path +
               "~: that backup exists already (--backup=numbered keeps another)";
    }
    std::string temporary;
    std::string placed;
    std::string error = writeTemporary(original, bytes, temporary);
    // As late as possible before the swap: the swap itself checks again.
    if (error.empty() && !stillOriginal(original.path, original)) {
        error = "the file changed since it was read; it was left as it is";
    }
    if (error.empty() && !swapIn(original, temporary, backup, placed, error)) {
        // No swapping here: keep the backup first, check once more, rename.
        error = backup != Backup::None ? keepBackupOf(original, backup, placed) : std::string();
        if (error.empty() && !stillOriginal(original.path, original)) {
            error = "the file changed since it was read; it was left as it is";
        }
        if (error.empty() && rename(temporary.c_str(), original.path.c_str()) != 0) {
            error = "cannot put the new file in place: " + systemError(errno);
        }
        if (error.empty()) {
            temporary.clear();
        }
    }
    if (!temporary.empty()) {
        unlink(temporary.c_str());
    }
    syncDirectory(directoryOf(original.path));
    if (keptAs != nullptr && error.empty()) {
        *keptAs = placed;
    }
    return error;
}

std::size_t removeStaleTemporaries(const std::string& path) {
    const std::string dir = directoryOf(path);
    const std::string prefix = temporaryPrefix(path);
    std::unique_ptr<DIR, DirCloser> entries(opendir(dir.c_str()));
    if (!entries) {
        return 0;
    }
    std::size_t removed = 0;
    while (const struct dirent* entry = readdir(entries.get())) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        const std::string file = dir + "/" + name;
        struct stat status {};
        if (lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            continue;
        }
        const struct timespec& start = runStart();
        const bool older =
            status.st_mtim.tv_sec < start.tv_sec ||
            (status.st_mtim.tv_sec == start.tv_sec && status.st_mtim.tv_nsec < start.tv_nsec);
        // A run still going, or this one, keeps its files.
        const bool gone =
            pid > 0 && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        if (older && gone && unlink(file.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace SafeRewrite
