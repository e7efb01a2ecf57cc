#include "Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace dvltest {

std::string launcherBinary() {
    return DVL_LAUNCHER_BINARY;
}
std::string standinBinary() {
    return DVL_STANDIN_BINARY;
}

const std::vector<std::string>& emulator() {
    // CMake hands the emulator over as a ;-separated list.
    static const std::vector<std::string> command = [] {
        std::vector<std::string> parts;
        std::istringstream list(DVL_EMULATOR);
        std::string part;
        while (std::getline(list, part, ';')) {
            if (!part.empty()) {
                parts.push_back(part);
            }
        }
        return parts;
    }();
    return command;
}

bool underEmulator() {
    return !emulator().empty();
}

bool needsEmulator(const std::string& path) {
    if (!underEmulator()) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    char ident[5] = {};
    if (!in.read(ident, sizeof ident) || std::memcmp(ident,
                                                     "\x7f"
                                                     "ELF",
                                                     4) != 0) {
        return false;
    }
    // The build's programs share the harness's class; host tools such as
    // strace do not, and run as they are.
    const char buildClass = sizeof(void*) == 8 ? 2 : 1;
    return ident[4] == buildClass;
}

void writeFile(const std::string& path, const std::string& bytes, mode_t mode) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out) {
            throw std::runtime_error("cannot write " + path);
        }
    }
    fs::permissions(path, static_cast<fs::perms>(mode));
}

void copyFile(const std::string& from, const std::string& to, mode_t mode) {
    fs::copy_file(from, to, fs::copy_option::overwrite_if_exists);
    fs::permissions(to, static_cast<fs::perms>(mode));
}

void removeTree(const std::string& path) {
    boost::system::error_code ignored;
    fs::remove_all(path, ignored);
}

Installation::Installation() {
    // Some tests run the launcher as an unprivileged user, who must be able
    // to enter and read the whole tree.
    umask(022);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dvl-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    // Physical path, so expectations match what getcwd reports; readable by
    // the unprivileged user some tests switch to.
    root = fs::canonical(pattern).native();
    fs::permissions(root, static_cast<fs::perms>(0755));
    eclipse = root + "/ws/eclipse";
    appDir = root + "/ws/apps/demo";
    record = root + "/record";
    fs::create_directories(eclipse);
    fs::create_directories(appDir);
    copyFile(standinBinary(), eclipse + "/Dashvane", 0755);
    copyFile(launcherBinary(), appDir + "/run", 0755);
}

Installation::~Installation() {
    removeTree(root);
}

void Installation::writeIni(const std::string& bytes, const std::string& name) const {
    writeFile(appDir + "/" + name, bytes);
}

std::map<std::string, std::string> baseEnv(const Installation& inst) {
    std::map<std::string, std::string> env = {{"PATH", "/usr/local/bin:/usr/bin:/bin"},
                                              {"DASHVANE_STANDIN_RECORD", inst.record}};
    for (const char* name :
         {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "GCOV_PREFIX", "GCOV_PREFIX_STRIP"}) {
        if (const char* value = std::getenv(name)) {
            env[name] = value;
        }
    }
    return env;
}

Record readRecord(const std::string& path) {
    Record record;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return record;
    }
    record.started = true;
    std::string entry;
    while (std::getline(in, entry, '\0')) {
        const std::string::size_type eq = entry.find('=');
        const std::string name = entry.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : entry.substr(eq + 1);
        if (name == "cwd") {
            record.cwd = value;
        } else if (name == "sigpipe") {
            record.sigpipe = value;
        } else if (name == "arg") {
            record.argv.push_back(value);
        } else if (name == "fd") {
            const std::string::size_type colon = value.find(':');
            record.fds[std::atoi(value.substr(0, colon).c_str())] =
                colon == std::string::npos ? "" : value.substr(colon + 1);
        } else if (name == "sigignored") {
            record.sigignored = value;
        } else if (name == "sighandled") {
            record.sighandled = value;
        } else if (name == "sigblocked") {
            record.sigblocked = value;
        }
    }
    return record;
}

namespace {

void makePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
}

[[noreturn]] void childFail(const char* what) {
    const std::string message =
        std::string("harness: ") + what + ": " + std::strerror(errno) + "\n";
    const ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
    static_cast<void>(ignored);
    _exit(127);
}

}  // namespace

Process::Process(const Command& command) {
    int out[2], err[2], in[2] = {-1, -1};
    makePipe(out);
    makePipe(err);
    if (command.holdStdin) {
        makePipe(in);
    }
    std::vector<std::string> envStrings;
    for (const auto& entry : command.env) {
        envStrings.push_back(entry.first + "=" + entry.second);
    }
    std::vector<char*> envp;
    for (std::string& entry : envStrings) {
        envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);
    std::string program = command.program;
    std::vector<std::string> argStrings = command.argv;
    bool searchPath = command.searchPath;
    if (underEmulator()) {
        // Resolve the program here, as the kernel would, to see whether it
        // needs the emulator; the emulator then sets the program's argv[0].
        if (searchPath && program.find('/') == std::string::npos) {
            const auto path = command.env.find("PATH");
            std::istringstream dirs(path == command.env.end() ? "" : path->second);
            std::string dir;
            while (std::getline(dirs, dir, ':')) {
                const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
                if (access(candidate.c_str(), X_OK) == 0) {
                    program = candidate;
                    break;
                }
            }
        }
        std::string probe = program;
        if (!program.empty() && program[0] != '/' && !command.cwd.empty()) {
            probe = command.cwd + "/" + program;
        }
        if (needsEmulator(probe)) {
            std::vector<std::string> wrapped = emulator();
            wrapped.push_back("-0");
            wrapped.push_back(argStrings.empty() ? program : argStrings[0]);
            wrapped.push_back(program);
            wrapped.insert(wrapped.end(), argStrings.begin() + (argStrings.empty() ? 0 : 1),
                           argStrings.end());
            argStrings = wrapped;
            program = emulator()[0];
            searchPath = true;
        }
    }
    std::vector<char*> argv;
    for (std::string& arg : argStrings) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);

    pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        if (command.closedStdoutReader) {
            close(out[0]);
        }
        if (dup2(out[1], STDOUT_FILENO) < 0 ||
            dup2(command.oneStream ? out[1] : err[1], STDERR_FILENO) < 0) {
            childFail("dup2");
        }
        if (command.holdStdin) {
            dup2(in[0], STDIN_FILENO);
        } else {
            // Close-on-exec, so the launcher inherits descriptors 0, 1 and 2 only.
            const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
            dup2(devNull, STDIN_FILENO);
        }
        signal(SIGPIPE, SIG_DFL);
        if (!command.cwd.empty() && chdir(command.cwd.c_str()) != 0) {
            childFail("chdir");
        }
        if (command.beforeExec) {
            command.beforeExec();
        }
        if (searchPath) {
            // execvpe searches the PATH of the calling process, not of envp.
            const auto path = command.env.find("PATH");
            if (path != command.env.end()) {
                setenv("PATH", path->second.c_str(), 1);
            }
            execvpe(program.c_str(), argv.data(), envp.data());
        } else {
            execve(program.c_str(), argv.data(), envp.data());
        }
        childFail("exec");
    }
    close(out[1]);
    close(err[1]);
    outFd = out[0];
    errFd = err[0];
    if (command.holdStdin) {
        close(in[0]);
        inFd = in[1];
    }
    if (command.closedStdoutReader) {
        close(outFd);
        outFd = -1;
    }
}

Process::~Process() {
    if (!exited && pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    for (int fd : {outFd, errFd, inFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool Process::waitExit(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!exited) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exited = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            return false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return true;
}

void Process::releaseStdin() {
    if (inFd >= 0) {
        close(inFd);
        inFd = -1;
    }
}

Result Process::finish() {
    releaseStdin();
    Result result;
    std::vector<pollfd> fds;
    std::vector<std::string*> sinks;
    if (outFd >= 0) {
        fds.push_back({outFd, POLLIN, 0});
        sinks.push_back(&result.out);
    }
    fds.push_back({errFd, POLLIN, 0});
    sinks.push_back(&result.err);
    std::size_t open = fds.size();
    char buffer[65536];
    while (open > 0) {
        if (poll(fds.data(), fds.size(), 30000) <= 0) {
            throw std::runtime_error("no output and no end of output within 30 s");
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    outFd = -1;
    errFd = -1;
    if (!waitExit(30)) {
        throw std::runtime_error("the launcher did not exit within 30 s");
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

Result run(const Command& command) {
    return Process(command).finish();
}

}  // namespace dvltest
