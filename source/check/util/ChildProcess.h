// A child process that runs a program, or a function of this process, as
// the application's user where this process may become them, with a time
// limit, and hands back what it wrote. This process itself never changes.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct ChildOptions {
    std::string directory = "/";  // the child's working directory
    // Whom the child becomes before it runs; only when `switchUser`, which takes root.
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;  // its supplementary groups, exactly these
    int limitMs = 0;            // killed when not done by then; 0 for no limit
    // Its data segment's limit in bytes, 0 for none; with one, it dumps no core either.
    unsigned long long dataMax = 0;
    std::size_t outputMax = static_cast<std::size_t>(-1);  // bytes kept; the rest is dropped
    int cannotSetUp = 126;  // its exit status when it cannot enter `directory` or become the user
    int cannotRun = 127;    // its exit status when the program cannot be executed
};

struct ChildOutcome {
    std::string failedCall;  // "pipe" or "fork" when no child ran; "" when one did
    int error = 0;           // the errno of `failedCall`
    bool timedOut = false;   // killed at the time limit
    int status = 0;          // as waitpid gives it
    std::string output;      // what it wrote, up to `outputMax` bytes

    bool ran() const { return failedCall.empty(); }
    // Its exit code; -1 when it never ran, timed out or a signal ended it.
    int exitCode() const;
};

// Runs `argv` (its first word a path, not looked up along PATH) with
// exactly `environment`, standard input /dev/null, and standard output and
// error together captured.
ChildOutcome runProgram(const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, const ChildOptions& options);

// Runs `work` in a child with this process's standard streams; what it
// returns is the output. The child exits 0 once that is written whole, 1
// when it cannot be.
ChildOutcome runFunction(const std::function<std::string()>& work, const ChildOptions& options);
