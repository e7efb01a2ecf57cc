#include "cli/ProbeAhead.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "facts/VmProbe.h"
#include "util/Directory.h"

namespace {

constexpr long MOST_WORKERS = 8;

std::size_t workersFor(std::size_t count) {
    const long workers = std::min(sysconf(_SC_NPROCESSORS_ONLN), MOST_WORKERS);
    return workers < 2 || count < 3 ? 0 : std::min<std::size_t>(workers, count - 1);
}

void quietly(const std::function<void(std::size_t)>& checkQuietly, std::size_t i) {
    try {
        checkQuietly(i);
    } catch (...) {
        // The real check meets the same problem and reports it.
    }
}

std::string scratchDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") +
                          "/dashvane-launcher-check.XXXXXX";
    return mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
}

void runWorkers(std::size_t count, std::size_t workers,
                const std::function<void(std::size_t)>& checkQuietly) {
    std::vector<pid_t> started;
    for (std::size_t w = 0; w < workers; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            for (std::size_t i = 1 + w; i < count; i += workers) {
                quietly(checkQuietly, i);
            }
            // Nothing of this process's, such as buffered output, is written twice.
            _exit(0);
        }
        if (pid > 0) {
            started.push_back(pid);
        }
    }
    for (const pid_t pid : started) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace

ProbeAhead::ProbeAhead(std::size_t count, bool kept,
                       const std::function<void(std::size_t)>& checkQuietly) {
    const std::size_t workers = workersFor(count);
    if (workers == 0) {
        return;
    }
    if (!kept) {
        scratch = scratchDirectory();
        if (scratch.empty()) {
            return;
        }
        shareVerdictsIn(scratch);
    }
    const std::size_t started = vmStartsForVerdicts();
    quietly(checkQuietly, 0);
    // A first verdict found kept suggests the rest are too: a warm run
    // would only pay for the workers.
    if (vmStartsForVerdicts() != started) {
        runWorkers(count, workers, checkQuietly);
    }
}

ProbeAhead::~ProbeAhead() {
    if (scratch.empty()) {
        return;
    }
    shareVerdictsIn(std::string());
    // Only verdict files are written there.
    for (const std::string& name : entriesOf(scratch)) {
        unlink((scratch + "/" + name).c_str());
    }
    rmdir(scratch.c_str());
}
