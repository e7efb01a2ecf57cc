#include "facts/SystemLoader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "facts/Kernel.h"
#include "util/ChildProcess.h"
#include "util/Text.h"

extern char** environ;

namespace {

// The loaders Debian's C library installs, by the names programs carry.
const char* const SYSTEM_LOADERS[] = {
    "/lib64/ld-linux-x86-64.so.2",      "/lib/ld-linux.so.2",       "/lib/ld-linux-aarch64.so.1",
    "/lib/ld-linux-armhf.so.3",         "/lib64/ld64.so.2",         "/lib/ld64.so.1",
    "/lib/ld-linux-riscv64-lp64d.so.1", "/libx32/ld-linux-x32.so.2"};

constexpr std::size_t ANSWER_MAX = 1 << 20;
constexpr int ANSWER_MS = 20000;
constexpr int CANNOT_START = 126;  // neither set up nor run

bool systemLoader(const std::string& path) {
    bool known = false;
    for (const char* loader : SYSTEM_LOADERS) {
        known = known || path == loader;
    }
    struct stat status {};
    return known && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_uid == 0 && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

using Text::startsWith;

// The environment of the launch, with the loader told to list what it
// loads, warn of what it cannot bind, and bind at start what the program
// binds at start.
std::vector<std::string> tracingEnvironment(bool bindNow) {
    std::vector<std::string> env;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        if (!startsWith(variable, "LD_TRACE_LOADED_OBJECTS=") &&
            !startsWith(variable, "LD_WARN=")) {
            if (startsWith(variable, "LD_BIND_NOW=") && variable.size() > 12) {
                bindNow = true;
            }
            env.push_back(variable);
        }
    }
    env.push_back("LD_TRACE_LOADED_OBJECTS=1");
    env.push_back("LD_WARN=yes");
    if (bindNow) {
        env.push_back("LD_BIND_NOW=yes");
    }
    return env;
}

// Reads the loader's lines: "NAME => not found" for a library found
// nowhere; any other error the start would die of as a refusal. "no version
// information available" is a warning the loader starts past.
void readAnswer(const std::string& text, LoaderAnswer& answer) {
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line[0] == '\t' || line[0] == ' ')) {
            line.erase(0, 1);
        }
        const std::string::size_type arrow = line.find(" => not found");
        // A preloaded object that cannot be loaded is skipped, and the start goes on.
        if (line.find("cannot be preloaded") != std::string::npos) {
            continue;
        }
        if (arrow != std::string::npos) {
            answer.missing.push_back(line.substr(0, arrow));
        } else if (answer.refusal.empty() &&
                   (line.find("not found (required by") != std::string::npos ||
                    line.find("undefined symbol:") != std::string::npos ||
                    line.find("error while loading") != std::string::npos ||
                    line.find("failed to map") != std::string::npos ||
                    line.find("cannot ") != std::string::npos)) {
            answer.refusal = line;
        }
    }
}

// Runs the system's loader as the user in `workingDir`; false when it gives no verdict.
bool askLoader(const std::string& program, const ElfFile& elf, const std::string& workingDir,
               const UserIdentity& who, LoaderAnswer& answer) {
    ChildOptions child;
    child.directory = workingDir;
    child.switchUser = who.uid != geteuid();
    child.uid = who.uid;
    child.gid = who.gid;
    child.groups = who.groups;
    child.limitMs = ANSWER_MS;
    child.outputMax = ANSWER_MAX;
    child.cannotRun = CANNOT_START;
    // Given a name, the loader takes $ORIGIN from that name; started by the
    // kernel, from the program's real file. It is given the real file.
    char* resolved = realpath(program.c_str(), nullptr);
    const std::string real = resolved != nullptr ? resolved : program;
    std::free(resolved);
    const ChildOutcome outcome =
        runProgram({elf.interpreter, real}, tracingEnvironment(elf.bindNow), child);
    const int code = outcome.exitCode();
    if (code < 0 || code == CANNOT_START) {
        return false;  // the model decides
    }
    answer.asked = true;
    readAnswer(outcome.output, answer);
    if (answer.refusal.empty() && code != 0) {
        answer.refusal = outcome.output.substr(0, outcome.output.find('\n'));
    }
    return true;
}

// One check asks about the same program many times (each mend it plans is
// judged whole): within one run the loader's answer does not change.
struct Asked {
    std::string program, workingDir;
    dev_t device;
    ino_t inode;
    std::int64_t changed;
    uid_t uid;
    LoaderAnswer answer;
};
std::vector<Asked> answers;
constexpr std::size_t ANSWERS_KEPT = 16;

}  // namespace

LoaderAnswer askSystemLoader(const std::string& program, const ElfFile& elf,
                             const std::string& workingDir, const AccessJudge& user) {
    LoaderAnswer answer;
    struct stat status {};
    // A program this process reaches only through a descriptor of its own,
    // its path being longer than the system takes, the loader cannot be
    // given: the model decides.
    if (startsWith(program, "/proc/self/fd/") || !elf.hasInterpreter ||
        !systemLoader(elf.interpreter) || stat(program.c_str(), &status) != 0 ||
        (status.st_mode & (S_ISUID | S_ISGID)) != 0) {
        return answer;
    }
    // A program a binfmt_misc handler runs (qemu, say) meets the loader
    // under that handler, not the system's own: the model decides.
    char header[256] = {};
    if (std::FILE* file = std::fopen(program.c_str(), "re")) {
        const std::size_t size = std::fread(header, 1, sizeof header, file);
        std::fclose(file);
        if (binfmtTakes(KernelInfo::current(), std::string(header, size))) {
            return answer;
        }
    }
    const UserIdentity& who = user.user();
    const bool switching = who.uid != geteuid();
    if (user.method() == JudgeMethod::Computed || (switching && geteuid() != 0)) {
        return answer;
    }
    // The kernel maps a program the user may only execute; the loader,
    // given it by name, must read it: the model decides.
    if (user.judge(AccessOperation::Read, program).cause != AccessCause::Granted) {
        return answer;
    }
    const std::int64_t changed =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    for (const Asked& asked : answers) {
        if (asked.program == program && asked.workingDir == workingDir &&
            asked.device == status.st_dev && asked.inode == status.st_ino &&
            asked.changed == changed && asked.uid == who.uid) {
            return asked.answer;
        }
    }
    if (!askLoader(program, elf, workingDir, who, answer)) {
        return answer;
    }
    if (answers.size() < ANSWERS_KEPT) {
        answers.push_back(
            Asked{program, workingDir, status.st_dev, status.st_ino, changed, who.uid, answer});
    }
    return answer;
}
