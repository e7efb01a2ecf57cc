// Runs the real launcher binary against throwaway installations and reports
// everything a user could observe: exit status, both output streams, and what
// the stand-in child recorded about its start.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dvltest {

// Paths of the binaries under test, set by the build.
std::string launcherBinary();
std::string standinBinary();

// The command that runs the build's programs, such as qemu-i386 for a 32-bit
// build (empty for a native build). The harness puts it in front of every
// program it starts that is an ELF file of the build's class; a test that
// starts the launcher through a wrapper must do the same.
const std::vector<std::string>& emulator();
bool underEmulator();
// True under an emulator for an ELF file of the build's class.
bool needsEmulator(const std::string& path);

// A temporary tree laid out as users install it:
//   ROOT/ws/eclipse/Dashvane   the stand-in
//   ROOT/ws/apps/demo/run      a copy of the launcher
// Removed again when the object goes away.
class Installation {
public:
    Installation();
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    std::string root;     // physical path, no symbolic links
    std::string eclipse;  // ROOT/ws/eclipse
    std::string appDir;   // ROOT/ws/apps/demo
    std::string record;   // where the stand-in writes its report

    // Writes `bytes` to appDir/name.
    void writeIni(const std::string& bytes, const std::string& name = "run.ini") const;
};

// Creates `path` with `bytes` and the given mode.
void writeFile(const std::string& path, const std::string& bytes, mode_t mode = 0644);
void copyFile(const std::string& from, const std::string& to, mode_t mode);
void removeTree(const std::string& path);

// What the stand-in child reported; `started` is false when no child ran.
struct Record {
    bool started = false;
    std::string cwd;
    std::string sigpipe;  // "default" or "ignored"
    std::vector<std::string> argv;
    // What the child inherited: open descriptors (number to target, as
    // /proc/self/fd shows it) and the signals it found ignored, handled or
    // blocked, as comma-separated lists of numbers.
    std::map<int, std::string> fds;
    std::string sigignored;
    std::string sighandled;
    std::string sigblocked;
};
Record readRecord(const std::string& path);

struct Command {
    std::string program;            // executed as given, unless searchPath is set
    std::vector<std::string> argv;  // the whole vector, argv[0] included
    std::string cwd;
    std::map<std::string, std::string> env;  // the whole environment
    bool searchPath = false;                 // look the program up along env PATH
    bool holdStdin = false;                  // give a pipe as stdin; see Process::releaseStdin
    bool closedStdoutReader = false;         // stdout is a pipe nobody reads any more
    bool oneStream = false;                  // stderr shares the stdout pipe; Result::err is ""
    std::function<void()> beforeExec;        // runs in the new process, after chdir
};

// The usual environment: a plain PATH and the stand-in's record file, plus
// the variables of the sanitizer and coverage runtimes that the test process
// itself was given (ASAN_OPTIONS, UBSAN_OPTIONS, LSAN_OPTIONS, GCOV_PREFIX...).
std::map<std::string, std::string> baseEnv(const Installation& inst);

struct Result {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class Process {
public:
    explicit Process(const Command& command);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits for the launcher process itself, not for its output to end.
    // Returns false when it has not ended within `seconds`.
    bool waitExit(double seconds);
    void releaseStdin();
    // Reads both streams to their end (the child shares them), then waits.
    Result finish();

private:
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    int inFd = -1;
    bool exited = false;
    int status = 0;
};

Result run(const Command& command);

}  // namespace dvltest
