// The real launcher beside the checker on setups where the kernel or the
// dynamic loader decides whether the application starts: the child either
// records what it got or never runs, and the checker's verdict must agree.
#include <sys/personality.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Harness.h"
#include "LauncherFixture.h"

using namespace dvltest;
using Json = nlohmann::json;

namespace {

// The stack limit, the placement and the user the launcher and the checker
// share.
struct Limits {
    rlim_t stack = RLIM_INFINITY;
    bool fixedStack = false;    // no stack randomisation
    bool unprivileged = false;  // launched as 65534, checked with --user 65534
};

void applyLimits(const Limits& limits) {
    if (limits.fixedStack) {
        personality(ADDR_NO_RANDOMIZE);
    }
    if (limits.stack != RLIM_INFINITY) {
        const rlimit stack{limits.stack, limits.stack};
        setrlimit(RLIMIT_STACK, &stack);
    }
    if (limits.unprivileged) {
        becomeUnprivileged();
    }
}

// Whether this process may turn off stack randomisation for what it starts
// (a container's system call filter may refuse it).
bool stackCanBeFixed() {
    const int persona = personality(0xffffffff);
    if (persona == -1 ||
        personality(static_cast<unsigned long>(persona) | ADDR_NO_RANDOMIZE) == -1) {
        return false;
    }
    const bool fixed = (personality(0xffffffff) & ADDR_NO_RANDOMIZE) != 0;
    personality(static_cast<unsigned long>(persona));
    return fixed;
}

// Whether the recording stand-in started, after the launcher has ended.
bool launchStarts(const Installation& inst, const std::map<std::string, std::string>& env,
                  const Limits& limits = Limits()) {
    const std::string record = env.at("DASHVANE_STANDIN_RECORD");
    unlink(record.c_str());
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.cwd = inst.appDir;
    command.env = env;
    command.beforeExec = [limits] {
        // A child that never starts the application, such as env running
        // its script for ever, ends at a second of processor time.
        const rlimit cpu{1, 1};
        setrlimit(RLIMIT_CPU, &cpu);
        applyLimits(limits);
    };
    // The launcher does not wait for its child: as the subreaper this
    // process inherits and waits for it, else it polls for the record.
    const bool reaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    run(command);
    while (reaper && waitpid(-1, nullptr, 0) > 0) {
    }
    for (int i = 0; i < 40 && !reaper && access(record.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return readRecord(record).started;
}

Json checkReport(const Installation& inst, const std::map<std::string, std::string>& env,
                 const Limits& limits = Limits()) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check", "--json", "."};
    if (limits.unprivileged) {
        command.argv.insert(command.argv.begin() + 1, {"--user", std::to_string(UNPRIVILEGED_ID)});
    }
    command.cwd = inst.appDir;
    command.env = env;
    Limits own = limits;
    own.unprivileged = false;
    command.beforeExec = [own] { applyLimits(own); };
    const Result result = run(command);
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    return Json::parse(result.out).at("applications").at(0);
}

std::vector<std::string> kindsOf(const Json& report) {
    std::vector<std::string> kinds;
    for (const Json& finding : report.at("findings")) {
        if (finding.at("severity") == "error") {
            kinds.push_back(finding.at("kind").get<std::string>());
        }
    }
    return kinds;
}

// Builds `source` (C) with the system's compiler into `output`.
void compile(const std::string& source, const std::string& output, const std::string& options) {
    const std::string file = output + ".c";
    writeFile(file, source);
    const std::string line = "cc -o '" + output + "' '" + file + "' " + options + " 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

const char* const LIBRARY_ONE = "int f1(void) { return 1; }\n";
const char* const LIBRARY_TWO = "int f1(void) { return 1; }\nint f2(void) { return 2; }\n";
// Records that it started, as the stand-in does, then calls into the library.
const char* const PROGRAM =
    "#include <stdio.h>\n#include <stdlib.h>\nint f2(void);\n"
    "int main(void) {\n"
    "    const char* record = getenv(\"DASHVANE_STANDIN_RECORD\");\n"
    "    FILE* out = record != NULL ? fopen(record, \"w\") : NULL;\n"
    "    if (out != NULL) { fputs(\"cwd=?\", out); fclose(out); }\n"
    "    return f2() - 2;\n}\n";

}  // namespace

// Each row lays out eclipse/ with a program and the libraries it finds; the
// launcher starts it for real, as root and, where the row says, as 65534.
TEST(CheckExecVerdict, AgreesWithTheLoaderOnEverySetup) {
    if (underEmulator() || std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs the machine's own compiler and programs";
    }
    struct Row {
        const char* what;
        const char* libraryDir;  // under eclipse/, where the old library goes
        const char* library;     // its source; a version script gives it LIB_1 only
        const char* linkOptions;
        bool linked;  // eclipse/Dashvane a link to dist/Dashvane, dist/ holding the libraries
        bool starts;
        std::vector<std::string> kinds;
    };
    const Row rows[] = {
        {"the library it was built against",
         "lib",
         LIBRARY_TWO,
         "-Wl,-rpath,'$ORIGIN/lib'",
         false,
         true,
         {}},
        {"a needed symbol version missing",
         "lib",
         LIBRARY_ONE,
         "-Wl,-rpath,'$ORIGIN/lib'",
         false,
         false,
         {"loader-refuses"}},
        {"bound at start, a symbol missing",
         "lib",
         LIBRARY_ONE,
         "-Wl,-z,now -Wl,-rpath,'$ORIGIN/lib'",
         false,
         false,
         {"loader-refuses"}},
        {"the library only in a glibc-hwcaps directory",
         "lib/glibc-hwcaps/x86-64-v2",
         LIBRARY_TWO,
         "-Wl,--enable-new-dtags -Wl,-rpath,'$ORIGIN/lib'",
         false,
         true,
         {}},
        {"the library only in tls/",
         "lib/tls",
         LIBRARY_TWO,
         "-Wl,--enable-new-dtags -Wl,-rpath,'$ORIGIN/lib'",
         false,
         true,
         {}},
        {"the library nowhere",
         "elsewhere",
         LIBRARY_TWO,
         "-Wl,-rpath,'$ORIGIN/lib'",
         false,
         false,
         {"library-missing"}},
        {"started through a link, the library beside the real program",
         "lib",
         LIBRARY_TWO,
         "-Wl,--enable-new-dtags -Wl,-rpath,'$ORIGIN/lib'",
         true,
         true,
         {}},
    };
    const bool hwcaps =
        std::system(
            "/lib64/ld-linux-x86-64.so.2 --help 2>/dev/null | grep -q 'x86-64-v2 (supported'") == 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (std::string(row.libraryDir).find("hwcaps") != std::string::npos && !hwcaps) {
            continue;
        }
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string build = inst.root + "/build";
        ASSERT_EQ(
            std::system(
                ("mkdir -p '" + build + "' '" + inst.eclipse + "/" + row.libraryDir + "'").c_str()),
            0);
        writeFile(build + "/one.map", "LIB_1 { global: f1; local: *; };\n");
        writeFile(build + "/two.map",
                  "LIB_1 { global: f1; local: *; };\nLIB_2 { global: f2; } LIB_1;\n");
        compile(LIBRARY_TWO, build + "/libdv.so",
                "-shared -fPIC -Wl,-soname,libdv.so -Wl,--version-script='" + build + "/two.map'");
        compile(PROGRAM, inst.eclipse + "/Dashvane", "-L'" + build + "' -ldv " + row.linkOptions);
        const bool versioned = row.library == LIBRARY_TWO;
        compile(row.library, inst.eclipse + "/" + row.libraryDir + "/libdv.so",
                "-shared -fPIC -Wl,-soname,libdv.so" +
                    std::string(versioned || std::string(row.linkOptions).find("now") ==
                                                 std::string::npos
                                    ? " -Wl,--version-script='" + build +
                                          (versioned ? "/two.map'" : "/one.map'")
                                    : ""));
        if (row.linked) {
            const std::string move = "cd '" + inst.eclipse +
                                     "' && mkdir dist && mv Dashvane lib dist/ && "
                                     "ln -s dist/Dashvane Dashvane";
            ASSERT_EQ(std::system(move.c_str()), 0);
        }
        EXPECT_EQ(launchStarts(inst, baseEnv(inst)), row.starts);
        EXPECT_EQ(kindsOf(checkReport(inst, baseEnv(inst))), row.kinds);
    }
}

// An ini file that is the null device, or a link to it, reads as empty: the
// launch starts with the default vector, and the checker finds no error.
TEST(CheckExecVerdict, NullDeviceIniStartsWithTheDefaultVector) {
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link to /dev/null" : "the device itself");
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        unlink(ini.c_str());
        if (link) {
            ASSERT_EQ(symlink("/dev/null", ini.c_str()), 0);
        } else if (geteuid() != 0 || std::system(("mknod '" + ini + "' c 1 3").c_str()) != 0) {
            continue;
        }
        EXPECT_TRUE(launchStarts(inst, baseEnv(inst)));
        const Json report = checkReport(inst, baseEnv(inst));
        EXPECT_EQ(kindsOf(report), std::vector<std::string>());
        std::vector<std::string> argv;
        for (const Json& element : report.at("argv")) {
            argv.push_back(element.get<std::string>());
        }
        EXPECT_EQ(argv, readRecord(inst.record).argv);
    }
}

// Under a small stack limit the new program's stack, not execve's argument
// space, bounds the arguments: the largest environment that still starts
// (found by launching), less a small slack, is clean for the checker; one
// byte more is not. The
// limits include some that are no whole number of pages, and the variables
// around the padding move where the kernel's alignments fall.
constexpr std::size_t STACK_RESERVE_SLACK = 128;

TEST(CheckExecVerdict, StackLimitBoundaryAtNAndNPlusOne) {
#if defined(DVL_SANITIZED) || defined(DVL_COVERAGE)
    GTEST_SKIP() << "an instrumented launcher needs more stack at its start than the release one";
#endif
    if (underEmulator()) {
        GTEST_SKIP() << "the emulator's own stack is not the program's";
    }
    const struct {
        rlim_t kib;
        int variables;  // short variables besides the padding
        const char* ini;
    } rows[] = {
        {64, 0, "-vmargs\n-Xmx1g\n"}, {128, 0, "-vmargs\n-Xmx1g\n"},
        {65, 1, "-vmargs\n-Xmx1g\n"}, {100, 3, "-vmargs\n-Xmx1g\n-Da=b\n"},
        {127, 2, "-vmargs\n"},        {136, 5, "-vmargs\n-Xmx1g\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.kib) + " KiB, " + std::to_string(row.variables) +
                     " variables");
        const Installation inst;
        inst.writeIni(row.ini);
        Limits limits;
        limits.stack = row.kib * 1024;
        limits.fixedStack = true;
        std::map<std::string, std::string> env = baseEnv(inst);
        for (int i = 0; i < row.variables; ++i) {
            env["DVL_V" + std::to_string(i)] = std::string(static_cast<std::size_t>(i), 'v');
        }
        const auto withPadding = [&env](std::size_t size) {
            std::map<std::string, std::string> padded = env;
            padded["DVL_PADDING"] = std::string(size, 'p');
            return padded;
        };
        std::size_t fits = 0;
        std::size_t fails = row.kib * 1024;
        ASSERT_TRUE(launchStarts(inst, withPadding(fits), limits));
        ASSERT_FALSE(launchStarts(inst, withPadding(fails), limits));
        while (fails - fits > 1) {
            const std::size_t middle = fits + (fails - fits) / 2;
            (launchStarts(inst, withPadding(middle), limits) ? fits : fails) = middle;
        }
        // What a program uses before main is a measured reserve plus the
        // processor state its loader saves; alignment may move that by some
        // bytes between processors: the checker may be that much early, never late.
        EXPECT_EQ(kindsOf(checkReport(inst, withPadding(fits - STACK_RESERVE_SLACK), limits)),
                  std::vector<std::string>());
        // Near 128 KiB, execve's argument space may run out first (E2BIG):
        // the launch fails either way, and the checker must say one of them.
        const std::vector<std::string> over =
            kindsOf(checkReport(inst, withPadding(fails), limits));
        EXPECT_TRUE(over == std::vector<std::string>{"arguments-exceed-stack"} ||
                    (row.kib > 128 && over == std::vector<std::string>{"arguments-too-long"}))
            << testing::PrintToString(over);
    }
}

// However little stack the limit and the environment leave it, the checker
// finishes or says it cannot: never a signal. The kernel moves the start of
// a randomised stack by up to 8 KiB at each exec, so a program that started
// once may not start the next time; with the stack fixed, /bin/true
// starting means the checker gets the same room. Where the stack cannot be
// fixed, /bin/true must start with 8 KiB less room than the checker gets.
TEST(CheckExecVerdict, NeverDiesOfASmallStack) {
#ifdef DVL_SANITIZED
    GTEST_SKIP() << "the sanitizers need a stack of their own, larger than these limits";
#endif
    const bool fixed = stackCanBeFixed();
    const Installation inst;
    inst.writeIni("-vmargs\n");
    for (const rlim_t kib : {136, 160, 256}) {
        for (const std::size_t size :
             {std::size_t{60000}, std::size_t{100000}, std::size_t{118000}, std::size_t{125000}}) {
            SCOPED_TRACE(std::to_string(kib) + " KiB, " + std::to_string(size) + " bytes");
            std::map<std::string, std::string> env = baseEnv(inst);
            env["DVL_PADDING"] = std::string(size, 'p');
            Command command;
            command.program = DVL_CHECK_BINARY;
            command.argv = {"dashvane-launcher-check", "."};
            command.cwd = inst.appDir;
            command.env = env;
            Limits limits;
            limits.stack = kib * 1024;
            limits.fixedStack = true;
            command.beforeExec = [limits] { applyLimits(limits); };
            Command plain = command;
            plain.program = "/bin/true";
            if (!fixed) {
                plain.env["DVL_SLACK"] = std::string(8192, 's');
            }
            if (run(plain).exitCode != 0) {
                continue;  // the kernel kills any program here before its first instruction
            }
            const Result result = run(command);
            EXPECT_TRUE(result.exitCode >= 0 && result.exitCode <= 2)
                << result.exitCode << result.err;
        }
    }
}

// What the loader meets as the user the launch runs as: a set-user-ID
// program started by another user runs it in secure mode, which ignores
// LD_LIBRARY_PATH; a program the user may only execute is still mapped by
// the kernel, though the loader cannot read it by name; a preloaded object
// it cannot find is skipped.
TEST(CheckExecVerdict, TheLoaderAsTheUserMeetsIt) {
    if (geteuid() != 0 || underEmulator() || std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs root, to start the launcher as 65534, and the machine's compiler";
    }
    const struct {
        const char* what;
        mode_t mode;
        bool unprivileged;
        bool libraryPath;     // LD_LIBRARY_PATH names where the library is
        const char* preload;  // LD_PRELOAD, if not empty
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        // clang-format off
        {"plain, started by 65534", 0755, true, true, "", true, {}},
        {"set-user-ID root, started by 65534", 0755 | S_ISUID, true, true, "", false, {"library-missing"}},
        {"set-user-ID root, started by root", 0755 | S_ISUID, false, true, "", true, {}},
        {"execute-only, started by 65534", 0711, true, true, "", true, {}},
        {"a preloaded object missing", 0755, false, true, "/nonexistent/libnone.so", true, {}},
        {"a needed library missing for 65534 too", 0711, true, false, "", false, {"library-missing"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string build = inst.root + "/build";
        ASSERT_EQ(mkdir(build.c_str(), 0755), 0);
        ASSERT_EQ(chmod(inst.root.c_str(), 0755), 0);
        compile(LIBRARY_TWO, build + "/libdv.so", "-shared -fPIC -Wl,-soname,libdv.so");
        compile(PROGRAM, inst.eclipse + "/Dashvane", "-L'" + build + "' -ldv");
        ASSERT_EQ(chmod((inst.eclipse + "/Dashvane").c_str(), row.mode), 0);
        const std::string shared = inst.root + "/shared";  // where 65534 may write its record
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
        std::map<std::string, std::string> env = baseEnv(inst);
        if (row.libraryPath) {
            env["LD_LIBRARY_PATH"] = build;
        }
        if (*row.preload != '\0') {
            env["LD_PRELOAD"] = row.preload;
        }
        env["DASHVANE_STANDIN_RECORD"] = shared + "/record";
        Limits limits;
        limits.unprivileged = row.unprivileged;
        EXPECT_EQ(launchStarts(inst, env, limits), row.starts);
        EXPECT_EQ(kindsOf(checkReport(inst, env, limits)), row.kinds);
    }
}

// Scripts whose interpreters are scripts or programs env finds along PATH,
// started as root and as 65534: each interpreter is started as the user,
// the last script is read by its interpreter, and env with no program to
// run starts the script again for ever.
TEST(CheckExecVerdict, ScriptChainsAsTheUserRunsThem) {
    if (geteuid() != 0 || underEmulator()) {
        GTEST_SKIP() << "needs root, to start the launcher as 65534, and the machine's programs";
    }
    // eclipse/mid and eclipse/inner are scripts, the last of the chain runs
    // the stand-in from the shell; bin/dvl-tool is a copy of the stand-in.
    // A mode of 0 leaves the file out.
    const struct {
        const char* what;
        const char* dashvane;  // "#!MID" names eclipse/mid, which names eclipse/inner if any
        mode_t dashvaneMode, midMode, innerMode, toolMode;
        bool unprivileged;
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        // clang-format off
        {"env finds the program", "#!/usr/bin/env dvl-tool\n", 0755, 0, 0, 0755, true, true, {}},
        {"env finds it only where 65534 may not run it", "#!/usr/bin/env dvl-tool\n", 0755, 0, 0, 0700, true, false, {"interpreter-not-executable"}},
        {"env finds it where root may run it", "#!/usr/bin/env dvl-tool\n", 0755, 0, 0, 0700, false, true, {}},
        {"env splits its words", "#!/usr/bin/env -S dvl-tool -x\n", 0755, 0, 0, 0755, true, true, {}},
        {"env given no program", "#!/usr/bin/env\n", 0755, 0, 0, 0, false, false, {"interpreter-reruns-script"}},
        {"env given only a variable", "#!/usr/bin/env DVL_X=1\n", 0755, 0, 0, 0, false, false, {"interpreter-reruns-script"}},
        {"env given a program and its option as one", "#!/usr/bin/env dvl-tool -x\n", 0755, 0, 0, 0755, false, false, {"interpreter-missing"}},
        {"its interpreter a script 65534 may not run", "#!MID\n", 0755, 0700, 0, 0, true, false, {"interpreter-not-executable"}},
        {"its interpreter a script 65534 may not read", "#!MID\n", 0755, 0711, 0, 0, true, false, {"script-unreadable"}},
        {"itself unreadable, its interpreter a readable script", "#!MID\n", 0711, 0755, 0, 0, true, false, {"script-unreadable"}},
        {"the second interpreter a script 65534 may not run", "#!MID\n", 0755, 0755, 0700, 0, true, false, {"interpreter-not-executable"}},
        {"the second interpreter a script root may run", "#!MID\n", 0755, 0755, 0700, 0, false, true, {}},
        {"the second interpreter a script 65534 may not read", "#!MID\n", 0755, 0755, 0711, 0, true, false, {"script-unreadable"}},
        {"the first of two interpreters unreadable", "#!MID\n", 0755, 0711, 0755, 0, true, false, {"script-unreadable"}},
        {"only the second interpreter readable", "#!MID\n", 0711, 0711, 0755, 0, true, false, {"script-unreadable"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string standin = inst.eclipse + "/standin";
        ASSERT_EQ(rename((inst.eclipse + "/Dashvane").c_str(), standin.c_str()), 0);
        // Each interpreter script hands the scripts after it on to the shell,
        // as wrappers do, so each is read; Dashvane itself runs the stand-in.
        const std::string handOn = "exec /bin/sh \"$@\"\n";
        std::string dashvane = row.dashvane;
        if (dashvane.compare(0, 5, "#!MID") == 0) {
            dashvane.replace(2, 3, inst.eclipse + "/mid");
            dashvane += "exec '" + standin + "' \"$@\"\n";
            writeFile(
                inst.eclipse + "/mid",
                (row.innerMode != 0 ? "#!" + inst.eclipse + "/inner\n" : "#!/bin/sh\n") + handOn,
                row.midMode);
        }
        if (row.innerMode != 0) {
            writeFile(inst.eclipse + "/inner", "#!/bin/sh\n" + handOn, row.innerMode);
        }
        writeFile(inst.eclipse + "/Dashvane", dashvane, row.dashvaneMode);
        const std::string bin = inst.root + "/bin";
        const std::string shared = inst.root + "/shared";  // where 65534 may write its record
        ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
        if (row.toolMode != 0) {
            copyFile(standin, bin + "/dvl-tool", row.toolMode);
        }
        std::map<std::string, std::string> env = baseEnv(inst);
        env["PATH"] = bin + ":" + env["PATH"];
        env["DASHVANE_STANDIN_RECORD"] = shared + "/record";
        Limits limits;
        limits.unprivileged = row.unprivileged;
        EXPECT_EQ(launchStarts(inst, env, limits), row.starts);
        EXPECT_EQ(kindsOf(checkReport(inst, env, limits)), row.kinds);
    }
}

// A binfmt_misc entry of the test's own, removed again at the end: files
// that begin with its magic run through /bin/sh, a program this kernel runs
// itself whatever the build's architecture. The file is then a shell script
// whose first line sets a variable.
class TestHandler {
public:
    static constexpr const char* MAGIC = "DVL_BINFMT_TEST=1";

    TestHandler() : name("dvl-test-" + std::to_string(getpid())) {
        const std::string dir = "/proc/sys/fs/binfmt_misc";
        if (access((dir + "/register").c_str(), W_OK) != 0) {
            const int mounted = std::system(
                "mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null");
            static_cast<void>(mounted);
        }
        std::ofstream reg(dir + "/register");
        reg << ":" << name << ":M::" << MAGIC << "::/bin/sh:";
        reg.close();
        registered = reg.good() && access((dir + "/" + name).c_str(), F_OK) == 0;
    }
    ~TestHandler() {
        if (registered) {
            std::ofstream("/proc/sys/fs/binfmt_misc/" + name) << "-1";
        }
    }
    TestHandler(const TestHandler&) = delete;
    TestHandler& operator=(const TestHandler&) = delete;

    const std::string name;
    bool registered = false;
};

// The kernel follows at most five levels of interpretation in a row, each
// script and each binfmt_misc handler one; the sixth fails execv with ELOOP.
// Where the stand-in at the end of a chain runs through a handler (qemu-i386
// for the 32-bit build on a kernel without IA32 emulation), that is one
// level more: the kernel's own verdict is the expectation, and the checker
// must agree with it. The rows with the test's own handler fix the outcome.
TEST(CheckExecVerdict, InterpretationEndsAtFiveLevels) {
    const TestHandler handler;
    const struct {
        int scripts;
        bool throughHandler;  // the last interpreter is a file the test's handler takes
        int starts;           // 1 or 0; -1: as the kernel decides for the stand-in
    } rows[] = {
        {5, false, -1},
        {6, false, 0},
        {4, true, 1},
        {5, true, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.scripts) + " scripts" +
                     (row.throughHandler ? " and the binfmt_misc handler" : ""));
        if (row.throughHandler && !handler.registered) {
            ADD_FAILURE() << "cannot register a binfmt_misc entry (needs root)";
            continue;
        }
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string standin = inst.eclipse + "/standin";
        ASSERT_EQ(rename((inst.eclipse + "/Dashvane").c_str(), standin.c_str()), 0);
        std::string interpreter = standin;
        if (row.throughHandler) {
            interpreter = inst.eclipse + "/handled";
            writeFile(interpreter,
                      std::string(TestHandler::MAGIC) + "\nexec " + standin + " \"$@\"\n", 0755);
        }
        for (int i = 1; i <= row.scripts; ++i) {
            const std::string name = i == row.scripts ? "Dashvane" : "script" + std::to_string(i);
            writeFile(inst.eclipse + "/" + name, "#!" + interpreter + "\n", 0755);
            interpreter = inst.eclipse + "/" + name;
        }
        const bool starts = launchStarts(inst, baseEnv(inst));
        if (row.starts >= 0) {
            EXPECT_EQ(starts, row.starts == 1);
        }
        const std::vector<std::string> kinds = kindsOf(checkReport(inst, baseEnv(inst)));
        EXPECT_EQ(kinds, starts ? std::vector<std::string>()
                                : std::vector<std::string>{"interpreter-missing"});
    }
}
