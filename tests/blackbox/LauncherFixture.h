// Shared by the black-box tests of the launcher: a throwaway installation
// whose stand-in can record even when the launcher runs as an unprivileged
// user, the expected texts, and the ways faults are provoked.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "Harness.h"

// strace runs the programs of this machine only, and is part of the test
// dependencies: missing, it fails the test rather than skip it.
#define DVL_REQUIRE_STRACE()                                                        \
    do {                                                                            \
        if (::dvltest::underEmulator()) {                                           \
            GTEST_SKIP() << "strace does not trace programs run by an emulator";    \
        }                                                                           \
        ASSERT_FALSE(::dvltest::findProgram("strace").empty()) << "strace missing"; \
    } while (false)

// Permission faults need a user that permission bits apply to.
#define DVL_REQUIRE_ROOT()                                                   \
    do {                                                                     \
        if (geteuid() != 0) {                                                \
            GTEST_SKIP() << "needs root, to run the launcher as user 65534"; \
        }                                                                    \
    } while (false)

namespace dvltest {

extern const std::string HINT;
extern const std::string WORKED_EXAMPLE_INI;

// The user the permission cases run as (Debian's "nobody").
constexpr unsigned UNPRIVILEGED_ID = 65534;

// In the new process: drops every privilege and becomes UNPRIVILEGED_ID, as
// `setpriv --reuid=65534 --regid=65534 --clear-groups` does. Root ignores
// permission bits, so permission faults need this.
void becomeUnprivileged();

// The path of a program found along the usual PATH, or "" when there is none.
std::string findProgram(const std::string& name);

// The trace the launcher writes with diagnostics on: the echo of
// `commandLine`, `iniMessage` (the line about an unreadable ini file, or ""),
// and the argument vector `childArgv`, added and then listed.
std::string expectedTrace(const std::vector<std::string>& commandLine,
                          const std::vector<std::string>& childArgv,
                          const std::string& iniMessage = "");

class LauncherFixture : public ::testing::Test {
protected:
    LauncherFixture();

    Installation inst;

    Command quiet(const std::vector<std::string>& args = {"-Dtrace=on"}) const;
    Command traced(const std::vector<std::string>& args = {"-Dtrace=on"}) const;
    Record child() const { return readRecord(inst.record); }
    void forgetChild() const;

    // The argument vector of the worked example, run with `-Dtrace=on`.
    std::vector<std::string> workedExampleArgv() const;
    // The argument vector when no ini line counts: seeds, default name, args.
    std::vector<std::string> defaultArgv(const std::vector<std::string>& args = {
                                             "-Dtrace=on"}) const;

    // `command` run under strace with `options` (such as "-e",
    // "inject=..."); strace writes its own log to `log`, not to the streams
    // under test. Skips the test where strace cannot be used.
    Command underStrace(const Command& command, const std::vector<std::string>& options,
                        const std::string& log) const;

    // Runs `command` under `strace -f -e trace=SYSCALL` and returns the log.
    std::string observe(const Command& command, const std::string& syscall) const;

    // Checks a launch that failed in the child with `message`: the exit
    // status, the message, the hint when quiet, the whole trace when traced,
    // no child started, and (through strace) that `syscall` really failed on
    // `target` with `errnoName`.
    void expectChildFailure(const std::string& message, const std::string& syscall,
                            const std::string& target, const std::string& errnoName,
                            const std::vector<std::string>& childArgv,
                            const std::function<void()>& setup = {}) const;
};

// The fault-injection, inheritance and valgrind tests.
class FaultTest : public LauncherFixture {};

}  // namespace dvltest
