// Plays the Dashvane executable for the demo and the tests: it reports where
// it was started and exactly which arguments it received, then exits 0.
//
// DASHVANE_STANDIN_RECORD=FILE  write the report to FILE instead of standard
//     output, as NUL-terminated "name=value" entries: "cwd=...", "sigpipe=..."
//     and one "arg=..." per element of argv, so any byte survives.
// DASHVANE_STANDIN_WAIT_STDIN   read standard input to its end first, so a
//     test can tell whether the launcher waited for this process.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
    const int fd = open(record, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !writeAll(fd, report) || close(fd) != 0) {
        std::perror("dashvane stand-in: cannot write the record");
        return 3;
    }
    return 0;
}
