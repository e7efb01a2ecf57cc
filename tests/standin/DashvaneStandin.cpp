// Plays the Dashvane executable for the demo and the tests: it reports where
// it was started and exactly which arguments it received, then exits 0.
//
// DASHVANE_STANDIN_RECORD=FILE  write the report to FILE instead of standard
//     output, as NUL-terminated "name=value" entries: "cwd=...", "sigpipe=..."
//     and one "arg=..." per element of argv, so any byte survives. Then what
//     the process inherited: one "fd=N:TARGET" per open descriptor (TARGET as
//     /proc/self/fd/N names it), "sigignored=..." and "sighandled=..." (the
//     signals whose disposition is SIG_IGN, or a handler, which exec never
//     leaves), and "sigblocked=..." (the signal mask), each a list of signal
//     numbers in increasing order, separated by commas.
// DASHVANE_STANDIN_WAIT_STDIN   read standard input to its end first, so a
//     test can tell whether the launcher waited for this process.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string workingDirectory() {
    std::string dir(4096, '\0');
    while (getcwd(&dir[0], dir.size()) == nullptr) {
        if (dir.size() > (1u << 20)) {
            return "?";
        }
        dir.resize(dir.size() * 2);
    }
    return dir.c_str();
}

std::string brokenPipeDisposition() {
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    return current.sa_handler == SIG_IGN ? "ignored" : "default";
}

// Every descriptor open at start, before this program opens any of its own.
std::string openDescriptors() {
    std::string entries;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return "fd=?\0";
    }
    const int own = dirfd(dir);
    std::vector<std::string> numbers;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != own) {
            numbers.emplace_back(entry->d_name);
        }
    }
    for (const std::string& number : numbers) {
        const std::string link = "/proc/self/fd/" + number;
        char target[4096];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        entries += "fd=" + number + ':' +
                   std::string(target, n < 0 ? 0 : static_cast<std::size_t>(n)) + '\0';
    }
    closedir(dir);
    return entries;
}

std::string signalLists() {
    std::string ignored, handled, blocked;
    sigset_t mask;
    sigprocmask(SIG_SETMASK, nullptr, &mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction current {};
        if (sigaction(sig, nullptr, &current) == 0) {
            const bool isIgnored =
                (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN;
            const bool isDefault =
                (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
            std::string& list = isIgnored ? ignored : handled;
            if (!isDefault) {
                list += (list.empty() ? "" : ",") + std::to_string(sig);
            }
        }
        if (sigismember(&mask, sig) == 1) {
            blocked += (blocked.empty() ? "" : ",") + std::to_string(sig);
        }
    }
    return "sigignored=" + ignored + '\0' + "sighandled=" + handled + '\0' +
           "sigblocked=" + blocked + '\0';
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Taken first, before this program opens anything.
    const std::string inherited = openDescriptors() + signalLists();
    if (std::getenv("DASHVANE_STANDIN_WAIT_STDIN") != nullptr) {
        char sink[256];
        while (read(0, sink, sizeof sink) > 0) {
        }
    }
    const std::string cwd = workingDirectory();
    const char* record = std::getenv("DASHVANE_STANDIN_RECORD");
    if (record == nullptr) {
        std::printf("Dashvane stand-in started in %s with %d arguments:\n", cwd.c_str(), argc);
        for (int i = 0; i < argc; ++i) {
            std::printf("  argv[%d] = %s\n", i, argv[i]);
        }
        return 0;
    }

    std::string report;
    report += "cwd=" + cwd + '\0';
    report += "sigpipe=" + brokenPipeDisposition() + '\0';
    for (int i = 0; i < argc; ++i) {
        report += std::string("arg=") + argv[i] + '\0';
    }
    report += inherited;
    const int fd = open(record, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !writeAll(fd, report) || close(fd) != 0) {
        std::perror("dashvane stand-in: cannot write the record");
        return 3;
    }
    return 0;
}
