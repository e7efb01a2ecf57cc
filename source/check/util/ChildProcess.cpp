#include "util/ChildProcess.h"

#include <sys/resource.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr long long NO_DEADLINE = 0;

long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// In the child: into its directory and, when asked, the user for good.
bool setUp(const ChildOptions& options) {
    if (options.dataMax != 0) {
        const rlimit data{options.dataMax, options.dataMax};
        const rlimit core{0, 0};
        if (setrlimit(RLIMIT_DATA, &data) != 0 || setrlimit(RLIMIT_CORE, &core) != 0) {
            return false;
        }
    }
    return chdir(options.directory.c_str()) == 0 &&
           (!options.switchUser || (setgroups(options.groups.size(), options.groups.data()) == 0 &&
                                    setresgid(options.gid, options.gid, options.gid) == 0 &&
                                    setresuid(options.uid, options.uid, options.uid) == 0));
}

// In the child: standard output and error into the pipe, input from
// /dev/null, none of them closed by execve however they were numbered.
bool redirect(int output) {
    if (dup2(output, STDOUT_FILENO) < 0 || dup2(output, STDERR_FILENO) < 0) {
        return false;
    }
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0) {
        return false;
    }
    if (nothing > STDERR_FILENO) {
        close(nothing);
    }
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_SETFD, 0) != 0) {
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno != EINTR) {
            return false;
        }
        done += written > 0 ? static_cast<std::size_t>(written) : 0;
    }
    return true;
}

// Reads until the child closes its end; true when the deadline came first.
// A silent child is waited for only until then: poll decides, not read.
bool readAll(int fd, long long deadline, std::size_t outputMax, std::string& output) {
    for (;;) {
        int wait = -1;
        if (deadline != NO_DEADLINE) {
            const long long left = deadline - nowMs();
            if (left <= 0) {
                return true;
            }
            wait = static_cast<int>(left);
        }
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, wait);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        const std::size_t room = outputMax - std::min(outputMax, output.size());
        output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
    }
}

// Waits for the child; one that has closed its output but lives past the
// deadline is killed all the same.
void reap(pid_t pid, long long deadline, ChildOutcome& outcome) {
    while (!outcome.timedOut && deadline != NO_DEADLINE) {
        const pid_t done = waitpid(pid, &outcome.status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            return;
        }
        if (nowMs() >= deadline) {
            outcome.timedOut = true;
        } else {
            const timespec pause{0, 5000000};
            nanosleep(&pause, nullptr);
        }
    }
    if (outcome.timedOut) {
        kill(pid, SIGKILL);
    }
    while (waitpid(pid, &outcome.status, 0) < 0 && errno == EINTR) {
    }
}

// How a child is made. One that only redirects its streams, enters its
// directory and executes a program shares this process's memory until it
// does: a fork of a check that holds a huge ini file would copy its page
// tables, and every page the check wrote afterwards would be copied again.
// One that becomes another user is forked: a change of credentials marks
// the memory it shares, and the C library's, as the new user's.
enum class Start { Fork, SharedUntilExec };

// Starts the child; it runs `inChild` with the pipe's write end and never returns.
ChildOutcome run(const std::function<void(int)>& inChild, const ChildOptions& options,
                 Start start) {
    ChildOutcome outcome;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        outcome.failedCall = "pipe";
        outcome.error = errno;
        return outcome;
    }
    pid_t pid = 0;
    if (start == Start::Fork) {
        pid = fork();
    } else {
        pid = vfork();
    }
    if (pid == 0) {
        close(pipeFds[0]);
        inChild(pipeFds[1]);
        _exit(options.cannotRun);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        outcome.failedCall = "fork";
        outcome.error = errno;
        close(pipeFds[0]);
        return outcome;
    }
    const long long deadline = options.limitMs > 0 ? nowMs() + options.limitMs : NO_DEADLINE;
    outcome.timedOut = readAll(pipeFds[0], deadline, options.outputMax, outcome.output);
    close(pipeFds[0]);
    reap(pid, deadline, outcome);
    return outcome;
}

}  // namespace

int ChildOutcome::exitCode() const {
    return ran() && !timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ChildOutcome runProgram(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, const ChildOptions& options) {
    // Built before the fork: the child only calls what is safe there.
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : environment) {
        envp.push_back(const_cast<char*>(variable.c_str()));
    }
    envp.push_back(nullptr);
    return run(
        [&](int output) {
            if (!redirect(output) || !setUp(options)) {
                _exit(options.cannotSetUp);
            }
            execve(args[0], args.data(), envp.data());
        },
        options, options.switchUser ? Start::Fork : Start::SharedUntilExec);
}

ChildOutcome runFunction(const std::function<std::string()>& work, const ChildOptions& options) {
    return run(
        [&](int output) {
            if (!setUp(options)) {
                _exit(options.cannotSetUp);
            }
            _exit(writeAll(output, work()) ? 0 : 1);
        },
        options, Start::Fork);
}
