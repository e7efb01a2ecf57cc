#include "core/LaunchParse.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "launcher/Options.h"

namespace {

// Below this a thread costs more than it spares.
constexpr off_t WORTH_A_THREAD = off_t{1} << 20;

// Whether each line between the newlines at `first` and `last` is at most
// `limit` bytes. None is longer than the stretch between the two, so a
// limit as long as the buffer read is told without looking for each line:
// a file of short lines has millions.
bool linesBetweenAtMost(const char* first, const char* last, std::size_t limit) {
    if (static_cast<std::size_t>(last - first) <= limit) {
        return true;
    }
    for (const char* at = first + 1; at <= last;) {
        const char* newline = static_cast<const char*>(std::memchr(at, '\n', last + 1 - at));
        if (static_cast<std::size_t>(newline - at) > limit) {
            return false;
        }
        at = newline + 1;
    }
    return true;
}

// Whether a file of `size` bytes is parsed on a thread of its own.
bool threadWorthFor(std::int64_t size) {
    return std::thread::hardware_concurrency() > 1 && size >= WORTH_A_THREAD;
}

}  // namespace

bool LaunchParse::Inputs::operator==(const Inputs& other) const {
    return iniFile == other.iniFile && executableName == other.executableName &&
           workingDir == other.workingDir && startDir == other.startDir &&
           needQuotes == other.needQuotes && arguments == other.arguments;
}

bool LaunchParse::FileState::operator==(const FileState& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified == other.modified && changed == other.changed;
}

LaunchParse::FileState LaunchParse::stateOf(const std::string& path) {
    struct stat status {};
    FileState state;
    if (stat(path.c_str(), &status) == 0) {
        constexpr std::int64_t NANO = 1000000000;
        state.device = status.st_dev;
        state.inode = status.st_ino;
        state.size = status.st_size;
        state.modified = status.st_mtim.tv_sec * NANO + status.st_mtim.tv_nsec;
        state.changed = status.st_ctim.tv_sec * NANO + status.st_ctim.tv_nsec;
    }
    return state;
}

bool LaunchParse::worthAThread(const std::string& path) {
    return threadWorthFor(stateOf(path).size);
}

// The file's state is taken before the parse opens it: a change at any
// time after shows at the hand-over.
LaunchParse::LaunchParse(Inputs given)
    : inputs(std::move(given)), begunOn(stateOf(inputs.iniFile)) {
    if (threadWorthFor(begunOn.size)) {
        try {
            thread = std::thread([this] { parse(); });
            return;
        } catch (...) {
            // No thread to be had (a process limit, no memory for its stack).
        }
    }
    parse();
}

LaunchParse::~LaunchParse() {
    wait();
}

void LaunchParse::wait() {
    if (thread.joinable()) {
        thread.join();
    }
}

bool LaunchParse::handOver(const Inputs& wanted) {
    if (!handed && inputs == wanted && stateOf(inputs.iniFile) == begunOn) {
        handed = true;
        return true;
    }
    letGo();
    return false;
}

void LaunchParse::letGo() {
    handed = true;
    wait();
    parsed.reset();
    failure = std::make_exception_ptr(std::logic_error("the launcher's options were let go"));
}

const ProgramOptions& LaunchParse::options() {
    wait();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return *parsed;
}

void LaunchParse::parse() noexcept {
    try {
        parsed.emplace(inputs.iniFile, inputs.executableName, inputs.workingDir, inputs.startDir,
                       inputs.needQuotes, inputs.arguments);
    } catch (...) {
        failure = std::current_exception();
    }
}

bool LaunchParse::linesAtMost(const std::string& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    std::size_t line = 0;  // the bytes of the current line so far
    bool within = true;
    ssize_t got = 0;
    while (within && (got = read(fd, buffer.data(), buffer.size())) != 0) {
        if (got < 0) {
            within = errno == EINTR;
            continue;
        }
        const char* const at = buffer.data();
        const char* const end = at + got;
        const char* first = static_cast<const char*>(std::memchr(at, '\n', end - at));
        if (first == nullptr) {
            line += static_cast<std::size_t>(got);
            within = line <= limit;
            continue;
        }
        const char* const last = static_cast<const char*>(memrchr(first, '\n', end - first));
        within = line + static_cast<std::size_t>(first - at) <= limit &&
                 linesBetweenAtMost(first, last, limit);
        line = static_cast<std::size_t>(end - last - 1);
        within = within && line <= limit;
    }
    close(fd);
    return within;
}

bool LaunchParse::vectorAgrees(const std::vector<std::string>& all, std::size_t iniArguments,
                               bool nameGiven, std::size_t commandLine,
                               const std::string& applicationName) {
    const std::size_t own = 2 + iniArguments + (nameGiven ? 0 : 1);
    return all.size() == own + commandLine &&
           (nameGiven || all[own - 1] == Options::WebApp + '=' + applicationName);
}
