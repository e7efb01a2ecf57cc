// The real launcher binary, run from throwaway application directories with
// the stand-in installed two levels up.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include "Harness.h"
#include "LauncherFixture.h"

namespace fs = boost::filesystem;
using namespace dvltest;

namespace {

std::string lines(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += text + "\n";
    }
    return joined;
}

void becomeUnprivilegedWithoutProcesses() {
    if (geteuid() == 0) {
        becomeUnprivileged();
    }
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) {
        _exit(126);
    }
}

// Why this build cannot test the launcher under an address-space limit, or
// nullptr when it can.
const char* addressSpaceLimitsUnusable() {
#ifdef DVL_SANITIZED
    return "address-space limits cannot work under AddressSanitizer, which reserves terabytes "
           "of shadow memory at start";
#else
    return underEmulator() ? "an address-space limit binds the emulator, not the launcher it runs"
                           : nullptr;
#endif
}

void limitAddressSpace(rlim_t bytes) {
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        _exit(126);
    }
}

class LauncherTest : public LauncherFixture {
protected:
    // Standard output of the worked example with diagnostics on.
    std::string workedExampleTrace() const {
        const std::string e = inst.eclipse;
        const std::string a = inst.appDir;
        return lines({
            "Found command line args: ",
            "-Dtrace=on Adding Arg 0 : " + e + "/Dashvane",
            "Adding Arg 1 : --launcher.appendVmargs",
            "Adding Arg 2 : -vmargs",
            "Adding Arg 3 : -Xmx1024m",
            "Adding Arg 4 : -Ddv.appInitScript=" + a + "/scripts/init.js",
            "Adding Arg 5 : -Ddv.appConfigFile=/etc/demo/app.cfg",
            "Adding Arg 6 : -Ddv.webApp=demo",
            "Adding Arg 7 : -Dtrace=on",
            "Running Command : " + e + "/Dashvane",
            "With args array",
            "0 : " + e + "/Dashvane",
            "1 : --launcher.appendVmargs",
            "2 : -vmargs",
            "3 : -Xmx1024m",
            "4 : -Ddv.appInitScript=" + a + "/scripts/init.js",
            "5 : -Ddv.appConfigFile=/etc/demo/app.cfg",
            "6 : -Ddv.webApp=demo",
            "7 : -Dtrace=on",
        });
    }
};

// --- The worked example, quiet and traced --------------------------------

TEST_F(LauncherTest, WorkedExampleQuietStartsTheChildAndExitsOne) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const Result result = run(quiet());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    const Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.cwd, inst.eclipse);
    EXPECT_EQ(record.argv, workedExampleArgv());
}

TEST_F(LauncherTest, WorkedExampleTracedWithAnyValueOfTheSwitch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string expected = workedExampleTrace();
    for (const char* value : {"", "0", "1"}) {
        SCOPED_TRACE(std::string("DVL_DBG_ENABLE=") + value);
        Command command = traced();
        command.env["DVL_DBG_ENABLE"] = value;
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, expected);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(child().argv, workedExampleArgv());
    }
}

TEST_F(LauncherTest, TraceWithoutArgumentsHasNoHeading) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const Result result = run(traced({}));
    EXPECT_EQ(result.out.rfind("Adding Arg 0 : " + inst.eclipse + "/Dashvane\n", 0), 0u)
        << result.out;
    EXPECT_EQ(result.exitCode, 1);
}

// --- The ini file: where it is looked for, and when it is missing ---------

TEST_F(LauncherTest, MissingIniFileIsTracedAndTheLaunchGoesOn) {
    const std::string e = inst.eclipse;
    const Result result = run(traced());
    EXPECT_EQ(result.out, lines({
                              "Found command line args: ",
                              "-Dtrace=on Unable to properly open and parse file ./run.ini",
                              "Adding Arg 0 : " + e + "/Dashvane",
                              "Adding Arg 1 : --launcher.appendVmargs",
                              "Adding Arg 2 : -vmargs",
                              "Adding Arg 3 : -Ddv.webApp=demo",
                              "Adding Arg 4 : -Dtrace=on",
                              "Running Command : " + e + "/Dashvane",
                              "With args array",
                              "0 : " + e + "/Dashvane",
                              "1 : --launcher.appendVmargs",
                              "2 : -vmargs",
                              "3 : -Ddv.webApp=demo",
                              "4 : -Dtrace=on",
                          }));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 1);

    const Result silent = run(quiet());
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(child().argv,
              (std::vector<std::string>{e + "/Dashvane", "--launcher.appendVmargs", "-vmargs",
                                        "-Ddv.webApp=demo", "-Dtrace=on"}));
}

TEST_F(LauncherTest, InvokedAlongPathReadsTheIniFileOfTheWorkingDirectory) {
    const std::string bin = inst.root + "/bin";
    fs::create_directories(bin);
    copyFile(launcherBinary(), bin + "/run", 0755);
    // Beside the program, but not where a PATH invocation looks.
    writeFile(bin + "/run.ini", "launcher=/nonexistent\n-vmargs\n-Xbeside-the-program\n");
    inst.writeIni(WORKED_EXAMPLE_INI);

    Command command = quiet();
    command.program = "run";
    command.argv[0] = "run";
    command.searchPath = true;
    command.env["PATH"] = bin + ":/usr/bin:/bin";
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(child().argv, workedExampleArgv());
}

TEST_F(LauncherTest, InvocationNameWithAPathNamesTheIniFile) {
    const std::string tools = inst.root + "/tools";
    fs::create_directories(tools);
    copyFile(launcherBinary(), tools + "/run", 0755);
    writeFile(tools + "/run.ini", "-vmargs\n-Xfrom-tools\n");
    inst.writeIni("-vmargs\n-Xfrom-app\n");

    Command command = quiet({});
    command.program = tools + "/run";
    command.argv[0] = tools + "/run";
    run(command);
    const Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.argv[3], "-Xfrom-tools");
    EXPECT_EQ(record.argv[4], "-Ddv.webApp=demo");
}

TEST_F(LauncherTest, EmptyInvocationNameReadsDotIni) {
    inst.writeIni("-vmargs\n-Xfrom-dot-ini\n", ".ini");
    Command command = quiet({});
    command.argv[0] = "";
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    const Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.argv,
              (std::vector<std::string>{inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                        "-vmargs", "-Xfrom-dot-ini", "-Ddv.webApp=demo"}));
}

// --- The executable and the launcher line ---------------------------------

TEST_F(LauncherTest, LauncherLineReplacesTheExecutable) {
    const std::string other = inst.root + "/tools/other runner";
    fs::create_directories(inst.root + "/tools");
    copyFile(standinBinary(), other, 0755);
    inst.writeIni("launcher=" + other + "\n-vmargs\n-Xa\n");
    run(quiet());
    Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.cwd, inst.eclipse);
    EXPECT_EQ(record.argv, (std::vector<std::string>{other, "--launcher.appendVmargs", "-vmargs",
                                                     "-Xa", "-Ddv.webApp=demo", "-Dtrace=on"}));

    // A relative launcher is found from the start directory, not along PATH.
    fs::create_directories(inst.eclipse + "/bin");
    copyFile(standinBinary(), inst.eclipse + "/bin/tool", 0755);
    inst.writeIni("launcher=bin/tool\n");
    run(quiet());
    record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.argv[0], "bin/tool");
    EXPECT_EQ(record.cwd, inst.eclipse);

    // A bare name is not looked up along PATH either.
    fs::remove(inst.record);
    copyFile(standinBinary(), inst.root + "/tools/tool", 0755);
    inst.writeIni("launcher=tool\n");
    Command command = quiet();
    command.env["PATH"] = inst.root + "/tools:/usr/bin:/bin";
    const Result result = run(command);
    EXPECT_EQ(result.err, "Failed to launch\n");
    EXPECT_EQ(result.out, HINT);
    EXPECT_FALSE(child().started);
}

TEST_F(LauncherTest, MissingExecutableFailsInTheChildWithTheHint) {
    fs::remove(inst.eclipse + "/Dashvane");
    inst.writeIni(WORKED_EXAMPLE_INI);
    const Result result = run(quiet());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Failed to launch\n");
    EXPECT_EQ(result.out, HINT);
    EXPECT_FALSE(child().started);

    // The failed child repeats nothing of the trace and adds no hint.
    const Result tracedResult = run(traced());
    EXPECT_EQ(tracedResult.err, "Failed to launch\n");
    EXPECT_EQ(tracedResult.out, workedExampleTrace());
}

TEST_F(LauncherTest, MissingEclipseDirectoryFailsToSetTheStartDirectory) {
    fs::remove_all(inst.eclipse);
    inst.writeIni(WORKED_EXAMPLE_INI);
    const Result result = run(quiet());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Failed to launch, could not set start directory\n");
    EXPECT_EQ(result.out, HINT);

    const Result tracedResult = run(traced());
    EXPECT_EQ(tracedResult.err, "Failed to launch, could not set start directory\n");
    EXPECT_EQ(tracedResult.out, workedExampleTrace());
    EXPECT_FALSE(child().started);
}

// --- The working directory -------------------------------------------------

TEST_F(LauncherTest, SymlinkedWorkingDirectoryIsSeenUnderItsPhysicalPath) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string logical = inst.root + "/elsewhere/apps/otherapp";
    fs::create_directories(inst.root + "/elsewhere/apps");
    fs::create_directory_symlink(inst.appDir, logical);
    Command command = quiet();
    command.cwd = logical;
    command.env["PWD"] = logical;
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    const Record record = child();
    EXPECT_EQ(record.cwd, inst.eclipse);
    EXPECT_EQ(record.argv, workedExampleArgv());
}

TEST_F(LauncherTest, WorkingDirectoryOneBelowTheRootUsesARelativeEclipseDirectory) {
    std::string top = "/dvl-XXXXXX";
    if (mkdtemp(&top[0]) == nullptr) {
        GTEST_SKIP() << "cannot create a directory in /";
    }
    fs::create_directories(top + "/eclipse/eclipse");
    copyFile(standinBinary(), top + "/eclipse/eclipse/Dashvane", 0755);
    copyFile(launcherBinary(), top + "/run", 0755);
    Command command = quiet({});
    command.program = top + "/run";
    command.cwd = top;
    run(command);
    const Record record = child();
    removeTree(top);
    ASSERT_TRUE(record.started);
    // chdir("eclipse") from /X, then exec "eclipse/Dashvane" from there.
    EXPECT_EQ(record.cwd, top + "/eclipse");
    EXPECT_EQ(record.argv, (std::vector<std::string>{"eclipse/Dashvane", "--launcher.appendVmargs",
                                                     "-vmargs", "-Ddv.webApp=" + top.substr(1)}));
}

TEST_F(LauncherTest, DeletedWorkingDirectoryStartsNothingAndExitsTwo) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string gone = inst.root + "/ws/apps/gone";
    Command command = traced({"-Dx"});
    command.beforeExec = [gone] {
        if (mkdir(gone.c_str(), 0755) != 0 || chdir(gone.c_str()) != 0 ||
            rmdir(gone.c_str()) != 0) {
            _exit(126);
        }
    };
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Failed to launch, could not determine the working directory\n");
    EXPECT_EQ(result.out, "Found command line args: \n-Dx ");
    EXPECT_FALSE(child().started);

    // Quiet: nothing was attempted, so there is no hint either.
    command.env.erase("DVL_DBG_ENABLE");
    const Result quietResult = run(command);
    EXPECT_EQ(quietResult.exitCode, 2);
    EXPECT_EQ(quietResult.err, "Failed to launch, could not determine the working directory\n");
    EXPECT_EQ(quietResult.out, "");
    EXPECT_FALSE(child().started);
}

// Output pending on standard output goes out before an error is written, so
// the echo of the arguments, a line still open, precedes the error when both
// streams share one pipe, terminal or file.
TEST_F(LauncherTest, PendingOutputPrecedesErrorsOnOneStream) {
    const std::string gone = inst.root + "/ws/apps/gone";
    const struct {
        const char* name;
        bool limitsMemory;
        std::function<void()> beforeExec;
        std::string start;  // how the combined output starts
    } cases[] = {
        {"deleted working directory", false,
         [gone] {
             if (mkdir(gone.c_str(), 0755) != 0 || chdir(gone.c_str()) != 0 ||
                 rmdir(gone.c_str()) != 0) {
                 _exit(126);
             }
         },
         "Found command line args: \na b Failed to launch, could not determine the working "
         "directory\n"},
        {"memory exhausted reading the ini file", true, [] { limitAddressSpace(224UL << 20); },
         "Found command line args: \na b Exception: std::bad_alloc\nAdding Arg 0 : "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const char* unusable = addressSpaceLimitsUnusable();
        if (c.limitsMemory && unusable != nullptr) {
            std::cout << "case \"" << c.name << "\" not run: " << unusable << "\n";
            continue;
        }
        inst.writeIni("-vmargs\n-Xa\n");
        if (c.limitsMemory) {
            ASSERT_EQ(truncate((inst.appDir + "/run.ini").c_str(), 512L << 20), 0);
        }
        Command command = traced({"a", "b"});
        command.oneStream = true;
        command.beforeExec = c.beforeExec;
        const Result result = run(command);
        EXPECT_EQ(result.out.substr(0, c.start.size()), c.start);
    }
}

// --- Failures of the launcher process itself -------------------------------

TEST_F(LauncherTest, ForkFailureIsReportedNotTakenForSuccess) {
    if (underEmulator()) {
        GTEST_SKIP() << "the emulator needs a thread of its own before the launcher runs";
    }
    inst.writeIni(WORKED_EXAMPLE_INI);
    Command command = quiet();
    command.beforeExec = becomeUnprivilegedWithoutProcesses;
#ifdef DVL_SANITIZED
    // LeakSanitizer needs a process of its own at exit, which this limit
    // denies; it would add a report of its own. Every other test checks leaks.
    command.env["ASAN_OPTIONS"] = "detect_leaks=0";
#endif
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Failed to launch, could not create process\n");
    EXPECT_EQ(result.out, HINT);
    EXPECT_FALSE(child().started);

    command.env["DVL_DBG_ENABLE"] = "";
    const Result tracedResult = run(command);
    EXPECT_EQ(tracedResult.exitCode, 1);
    EXPECT_EQ(tracedResult.err, "Failed to launch, could not create process\n");
    // The whole trace is written before the fork, and no hint after it.
    EXPECT_EQ(tracedResult.out, workedExampleTrace());
}

TEST_F(LauncherTest, ExhaustedMemoryWhileReadingIsReportedAndKeepsWhatWasRead) {
    if (const char* why = addressSpaceLimitsUnusable()) {
        GTEST_SKIP() << why;
    }
    // Sparse files: three lines, then one very long line of NUL bytes, under
    // a 224 MiB address-space limit. A line of 120 MiB can be read but not
    // split into key and value; one of 512 MiB cannot even be read.
    const std::vector<std::string> kept = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                           "-vmargs", "-Xa", "-Xb"};
    for (const long mib : {120L, 512L}) {
        SCOPED_TRACE(std::to_string(mib) + " MiB");
        inst.writeIni("-vmargs\n-Xa\n-Xb\n");
        const std::string ini = inst.appDir + "/run.ini";
        ASSERT_EQ(truncate(ini.c_str(), mib << 20), 0);
        std::ofstream(ini, std::ios::app) << "\n-Xafter\n-Ddv.webApp=mine\n";
        Command command = quiet();
        command.beforeExec = [] { limitAddressSpace(224UL << 20); };
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "Exception: std::bad_alloc\n");
        // Nothing after the failure: no later line, no default application
        // name, no command-line argument.
        EXPECT_EQ(child().argv, kept);
    }
}

TEST_F(LauncherTest, ExhaustedMemoryAtStartIsAnUnexpectedError) {
    if (const char* why = addressSpaceLimitsUnusable()) {
        GTEST_SKIP() << why;
    }
    // Large arguments make collecting them the first big allocation. Raise
    // the address-space limit until the program loads but cannot copy them.
    // Just below that, the C++ runtime itself can fail to start (an abort
    // before the launcher runs), so signals are not held against it here.
    const std::vector<std::string> args(12, std::string(131000, 'x'));
    bool seen = false;
    for (rlim_t kib = 2048; kib <= 65536 && !seen; kib += 128) {
        Command command = quiet(args);
        command.beforeExec = [kib] { limitAddressSpace(kib << 10); };
        const Result result = run(command);
        if (result.exitCode == 0 || result.exitCode == 1) {
            break;  // got past the arguments: too much memory already
        }
        seen = result.exitCode == 2 && result.err == "Failed to launch, unexpected error\n";
    }
    EXPECT_TRUE(seen);
    EXPECT_FALSE(child().started);
}

TEST_F(LauncherTest, BrokenPipeOnStandardOutputDoesNotStopTheLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    Command command = traced();
    command.closedStdoutReader = true;
    const Result result = run(command);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    const Record record = child();
    EXPECT_EQ(record.argv, workedExampleArgv());
    // The child gets the disposition the launcher inherited, not ours.
    EXPECT_EQ(record.sigpipe, "default");

    command = quiet();
    command.beforeExec = [] { signal(SIGPIPE, SIG_IGN); };
    run(command);
    EXPECT_EQ(child().sigpipe, "ignored");
}

// --- The child --------------------------------------------------------------

TEST_F(LauncherTest, DoesNotWaitForTheChild) {
    Command command = quiet();
    command.holdStdin = true;
    command.env["DASHVANE_STANDIN_WAIT_STDIN"] = "1";
    Process process(command);
    ASSERT_TRUE(process.waitExit(20));
    EXPECT_FALSE(child().started);  // still blocked on its input
    process.releaseStdin();
    const Result result = process.finish();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(child().started);
}

TEST_F(LauncherTest, IniBytesReachTheTraceAndTheChildAsArgvAllows) {
    // A NUL byte: the "Adding Arg" line shows the whole line, the array line
    // and the child see it cut. A last line without a newline still counts.
    inst.writeIni(std::string("-vmargs\n-Xa\0b\n-Xlast", 20));
    const Result result = run(traced({}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find(std::string("\nAdding Arg 3 : -Xa\0b\n", 22)), std::string::npos);
    EXPECT_NE(result.out.find("\n3 : -Xa\n4 : -Xlast\n"), std::string::npos) << result.out;
    EXPECT_EQ(child().argv,
              (std::vector<std::string>{inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                        "-vmargs", "-Xa", "-Xlast", "-Ddv.webApp=demo"}));
}

TEST_F(LauncherTest, CommandLineArgumentsPassVerbatimAfterTheIniArguments) {
    inst.writeIni("-vmargs\n-Xini\n");
    const std::vector<std::string> args = {
        "",           "a b", "\"quoted\"",        "x=y=z",
        "dup",        "dup", "-Ddv.webApp=other", "-Ddv.appInitScript=init.js",
        "two\nlines", "\t"};
    const Result result = run(traced(args));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out.rfind("Found command line args: \n a b \"quoted\" x=y=z dup dup "
                               "-Ddv.webApp=other -Ddv.appInitScript=init.js two\nlines \t Adding "
                               "Arg 0 : ",
                               0),
              0u)
        << result.out;
    std::vector<std::string> expected = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                         "-vmargs", "-Xini", "-Ddv.webApp=demo"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(child().argv, expected);
}

}  // namespace
