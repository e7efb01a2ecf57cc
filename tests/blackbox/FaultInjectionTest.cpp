// Faults provoked by real mechanisms against the real launcher binary: system
// calls failed by `strace -e inject`, an unprivileged user (uid 65534) that
// permission bits apply to, and real file-system states. Each test checks
// the exact messages, the hint, the exit status, and that no child started.
//
// Covered elsewhere, in LauncherBlackboxTest.cpp, and not repeated here:
// fork failing under RLIMIT_NPROC as user 65534
// (ForkFailureIsReportedNotTakenForSuccess), a missing executable
// (MissingExecutableFailsInTheChildWithTheHint), a missing eclipse directory
// (MissingEclipseDirectoryFailsToSetTheStartDirectory), and the working
// directory deleted before start, traced (DeletedWorkingDirectory...).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include "LauncherFixture.h"

namespace fs = boost::filesystem;
using namespace dvltest;

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// --- fork ---------------------------------------------------------------

TEST_F(FaultTest, ForkFailureInjectedIsReportedWithTheHint) {
    DVL_REQUIRE_STRACE();
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string log = inst.root + "/records/fork.log";
    // glibc's fork is the clone system call; only the first one fails.
    for (const char* error : {"EAGAIN", "ENOMEM"}) {
        SCOPED_TRACE(error);
        const std::vector<std::string> inject = {
            "-e", "trace=clone,clone3,fork,vfork", "-e",
            std::string("inject=clone,clone3,fork,vfork:error=") + error + ":when=1"};
        forgetChild();
        const Result result = run(underStrace(quiet(), inject, log));
        EXPECT_NE(readText(log).find("(INJECTED)"), std::string::npos) << readText(log);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "Failed to launch, could not create process\n");
        EXPECT_EQ(result.out, HINT);
        EXPECT_FALSE(child().started);

        const Result tracedResult = run(underStrace(traced(), inject, log));
        EXPECT_EQ(tracedResult.exitCode, 1);
        EXPECT_EQ(tracedResult.err, "Failed to launch, could not create process\n");
        EXPECT_EQ(tracedResult.out, expectedTrace({"-Dtrace=on"}, workedExampleArgv()));
        EXPECT_FALSE(child().started);
    }
}

// --- chdir into the eclipse directory -------------------------------------

TEST_F(FaultTest, StartDirectoryThatIsAFileFailsToSetTheStartDirectory) {
    fs::remove_all(inst.eclipse);
    writeFile(inst.eclipse, "not a directory\n", 0755);
    inst.writeIni(WORKED_EXAMPLE_INI);
    expectChildFailure("Failed to launch, could not set start directory", "chdir", inst.eclipse,
                       "ENOTDIR", workedExampleArgv());
}

TEST_F(FaultTest, StartDirectoryWithoutPermissionFailsToSetTheStartDirectory) {
    DVL_REQUIRE_ROOT();
    inst.writeIni(WORKED_EXAMPLE_INI);
    // Control: as the unprivileged user, the launch works.
    Command command = quiet();
    command.beforeExec = becomeUnprivileged;
    const Result control = run(command);
    EXPECT_EQ(control.err, "");
    ASSERT_TRUE(child().started) << "the unprivileged user cannot launch at all";

    fs::permissions(inst.eclipse, static_cast<fs::perms>(0700));
    expectChildFailure("Failed to launch, could not set start directory", "chdir", inst.eclipse,
                       "EACCES", workedExampleArgv(), becomeUnprivileged);
}

TEST_F(FaultTest, MissingStartDirectoryIsSeenFailingWithEnoent) {
    DVL_REQUIRE_STRACE();
    fs::remove_all(inst.eclipse);
    inst.writeIni(WORKED_EXAMPLE_INI);
    expectChildFailure("Failed to launch, could not set start directory", "chdir", inst.eclipse,
                       "ENOENT", workedExampleArgv());
}

// --- execv of the Dashvane executable -------------------------------------

TEST_F(FaultTest, ExecutableWithoutExecuteBitsFailsToLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string exe = inst.eclipse + "/Dashvane";
    fs::permissions(exe, static_cast<fs::perms>(0644));
    // Even root needs one execute bit to run a file.
    expectChildFailure("Failed to launch", "execve", exe, "EACCES", workedExampleArgv());
    if (geteuid() == 0) {
        SCOPED_TRACE("as user 65534");
        expectChildFailure("Failed to launch", "execve", exe, "EACCES", workedExampleArgv(),
                           becomeUnprivileged);
    }
}

TEST_F(FaultTest, ExecutableThatIsADirectoryFailsToLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string exe = inst.eclipse + "/Dashvane";
    fs::remove(exe);
    fs::create_directory(exe);
    expectChildFailure("Failed to launch", "execve", exe, "EACCES", workedExampleArgv());
}

TEST_F(FaultTest, ExecutableOfRandomBytesFailsToLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string exe = inst.eclipse + "/Dashvane";
    // Fixed pseudo-random bytes: no "#!", no ELF header. execv, unlike the
    // shell and execvp, does not fall back to running it as a script.
    std::string bytes;
    unsigned state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        bytes += static_cast<char>((state >> 16) & 0xff);
    }
    bytes[0] = '\x01';
    writeFile(exe, bytes, 0755);
    expectChildFailure("Failed to launch", "execve", exe, "ENOEXEC", workedExampleArgv());
}

TEST_F(FaultTest, ScriptWhoseInterpreterIsMissingFailsToLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string exe = inst.eclipse + "/Dashvane";
    writeFile(exe, "#!/nonexistent/interpreter\necho started\n", 0755);
    expectChildFailure("Failed to launch", "execve", exe, "ENOENT", workedExampleArgv());
}

TEST_F(FaultTest, ArgumentOf131072BytesIsTooLongForTheKernel) {
    // Linux takes at most 32 pages (131072 bytes) per argument, its NUL
    // included: 131071 bytes pass, 131072 do not.
    const std::string fits = "-Dlong=" + std::string(131071 - 7, 'x');
    inst.writeIni("-vmargs\n" + fits + "\n");
    const Result result = run(quiet({}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    Record record = child();
    ASSERT_TRUE(record.started);
    ASSERT_EQ(record.argv.size(), 5u);
    EXPECT_EQ(record.argv[3], fits);

    const std::string tooLong = fits + "y";
    ASSERT_EQ(tooLong.size(), 131072u);
    inst.writeIni("-vmargs\n" + tooLong + "\n");
    std::vector<std::string> argv = {inst.eclipse + "/Dashvane",
                                     "--launcher.appendVmargs",
                                     "-vmargs",
                                     tooLong,
                                     "-Ddv.webApp=demo",
                                     "-Dtrace=on"};
    expectChildFailure("Failed to launch", "execve", inst.eclipse + "/Dashvane", "E2BIG", argv);
}

TEST_F(FaultTest, ArgumentsOverTheKernelTotalAreTooLong) {
    // Each argument is short enough, but together they pass a quarter of the
    // 8 MiB stack limit that the kernel allows for arguments and environment.
    std::string ini = "-vmargs\n";
    std::vector<std::string> argv = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                     "-vmargs"};
    for (int i = 0; i < 40; ++i) {
        const std::string arg = "-Dpart" + std::to_string(i) + "=" + std::string(100000, 'v');
        ini += arg + "\n";
        argv.push_back(arg);
    }
    argv.push_back("-Ddv.webApp=demo");
    argv.push_back("-Dtrace=on");
    inst.writeIni(ini);
    const auto stackOf8MiB = [] {
        const rlimit limit{8UL << 20, 8UL << 20};
        if (setrlimit(RLIMIT_STACK, &limit) != 0) {
            _exit(126);
        }
    };
    expectChildFailure("Failed to launch", "execve", inst.eclipse + "/Dashvane", "E2BIG", argv,
                       stackOf8MiB);
}

// The working directory deleted before start is covered, quiet and traced, by
// LauncherTest.DeletedWorkingDirectoryStartsNothingAndExitsTwo.

// --- the ini file -------------------------------------------------------------

TEST_F(FaultTest, IniFileUnreadableForTheUserIsTracedAndTheLaunchGoesOn) {
    DVL_REQUIRE_ROOT();
    inst.writeIni(WORKED_EXAMPLE_INI);
    fs::permissions(inst.appDir + "/run.ini", static_cast<fs::perms>(0600));

    Command command = traced();
    command.beforeExec = becomeUnprivileged;
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, expectedTrace({"-Dtrace=on"}, defaultArgv(),
                                        "Unable to properly open and parse file ./run.ini\n"));
    Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.argv, defaultArgv());
    EXPECT_EQ(record.cwd, inst.eclipse);

    forgetChild();
    command = quiet();
    command.beforeExec = becomeUnprivileged;
    const Result silent = run(command);
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_EQ(silent.err, "");
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(child().argv, defaultArgv());

    // Control: readable, the same user gets the ini arguments.
    fs::permissions(inst.appDir + "/run.ini", static_cast<fs::perms>(0644));
    run(command);
    EXPECT_EQ(child().argv, workedExampleArgv());
}

TEST_F(FaultTest, ReadErrorInTheMiddleOfTheIniFileKeepsTheLinesReadBefore) {
    DVL_REQUIRE_STRACE();
    // Far more than one read's worth of lines, so the error hits part way.
    std::string ini = "-vmargs\n";
    std::vector<std::string> lines;
    for (int i = 0; ini.size() < 200000; ++i) {
        lines.push_back("-Xline" + std::to_string(100000 + i));
        ini += lines.back() + "\n";
    }
    inst.writeIni(ini);
    const std::string iniPath = inst.appDir + "/run.ini";
    const std::string log = inst.root + "/records/read.log";
    const std::vector<std::string> inject = {"-P",         iniPath, "-e",
                                             "trace=read", "-e",    "inject=read:error=EIO:when=2"};

    for (bool diagnostics : {false, true}) {
        SCOPED_TRACE(diagnostics ? "traced" : "quiet");
        forgetChild();
        const Result result = run(underStrace(diagnostics ? traced() : quiet(), inject, log));
        // The first read of the file succeeded with N bytes, the second was
        // failed by strace.
        const std::string text = readText(log);
        ASSERT_NE(text.find("(INJECTED)"), std::string::npos) << text;
        const std::string::size_type firstResult = text.find(") = ");
        ASSERT_NE(firstResult, std::string::npos) << text;
        const std::size_t firstRead = std::stoul(text.substr(firstResult + 4));
        ASSERT_GT(firstRead, 8u);
        ASSERT_LT(firstRead, ini.size());

        // Expected: every line that lay wholly in those N bytes, and no
        // part of the line the error cut off.
        std::vector<std::string> argv = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                         "-vmargs"};
        std::size_t end = 8;
        for (const std::string& line : lines) {
            end += line.size() + 1;
            if (end > firstRead) {
                break;
            }
            argv.push_back(line);
        }
        argv.push_back("-Ddv.webApp=demo");
        argv.push_back("-Dtrace=on");

        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, diagnostics ? expectedTrace({"-Dtrace=on"}, argv) : "");
        const Record record = child();
        ASSERT_TRUE(record.started);
        EXPECT_EQ(record.argv, argv);
    }

    // An error on the very first read: no line at all, and still a launch.
    forgetChild();
    const Result first = run(underStrace(
        quiet(), {"-P", iniPath, "-e", "trace=read", "-e", "inject=read:error=EIO:when=1"}, log));
    EXPECT_NE(readText(log).find("(INJECTED)"), std::string::npos);
    EXPECT_EQ(first.exitCode, 1);
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(child().argv, defaultArgv());
}

// --- standard output closed or full, diagnostics on -----------------------------

// Opens the ini file on a reused low descriptor, if any is free; the child
// must not find it, nor any other descriptor onto the ini file.
void expectNoIniDescriptor(const Record& record, const std::string& iniPath) {
    for (const auto& fd : record.fds) {
        EXPECT_NE(fd.second, iniPath) << "descriptor " << fd.first << " leads to the ini file";
    }
}

TEST_F(FaultTest, ClosedStandardStreamsWithDiagnosticsStillLaunch) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string iniPath = inst.appDir + "/run.ini";
    for (int closed : {STDOUT_FILENO, STDIN_FILENO}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"-Dtrace=on"}, std::vector<std::string>{}}) {
            SCOPED_TRACE("descriptor " + std::to_string(closed) + " closed, " +
                         std::to_string(args.size()) + " arguments");
            forgetChild();
            Command command = traced(args);
            command.beforeExec = [closed] { close(closed); };
            const Result result = run(command);
            EXPECT_EQ(result.signal, 0);
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "");
            std::vector<std::string> expected = workedExampleArgv();
            if (args.empty()) {
                expected.pop_back();
            }
            if (closed == STDIN_FILENO) {
                EXPECT_EQ(result.out, expectedTrace(args, expected));
            }
            const Record record = child();
            ASSERT_TRUE(record.started);
            EXPECT_EQ(record.argv, expected);
            // The descriptor stays closed in the child: the launcher's ini
            // file, opened on it for a while, did not survive the fork.
            EXPECT_EQ(record.fds.count(closed), 0u);
            expectNoIniDescriptor(record, iniPath);
        }
    }
}

TEST_F(FaultTest, FullStandardOutputWithDiagnosticsStillLaunches) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    Command command = traced();
    command.beforeExec = [] {
        const int full = open("/dev/full", O_WRONLY);
        if (full < 0 || dup2(full, STDOUT_FILENO) < 0 || close(full) != 0) {
            _exit(126);
        }
    };
    const Result result = run(command);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    const Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.argv, workedExampleArgv());
    ASSERT_EQ(record.fds.count(STDOUT_FILENO), 1u);
    EXPECT_EQ(record.fds.at(STDOUT_FILENO), "/dev/full");
    expectNoIniDescriptor(record, inst.appDir + "/run.ini");

    // A failed launch with a full standard output still reports on
    // standard error and exits 1; the hint is lost with the output.
    forgetChild();
    fs::remove(inst.eclipse + "/Dashvane");
    command.env.erase("DVL_DBG_ENABLE");
    const Result failed = run(command);
    EXPECT_EQ(failed.signal, 0);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "Failed to launch\n");
    EXPECT_FALSE(child().started);
}

// --- a hostile invocation name (exec -a) --------------------------------------

TEST_F(FaultTest, HostileInvocationNamesNameTheirIniFileAsWritten) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string other = inst.root + "/other dir";
    fs::create_directories(other);
    writeFile(other + "/ run .ini", "-vmargs\n-Xfrom-other-dir\n");
    writeFile(inst.appDir + "/ with  blanks .ini", "-vmargs\n-Xfrom-blanks\n");

    struct Case {
        std::string argv0;
        std::vector<std::string> iniArgs;  // empty when no ini file is read
    };
    const std::vector<Case> cases = {
        {"./run/", {}},  // a trailing slash: "./run/.ini" would lie inside a file
        {"./run//", {}},
        {"/", {}},
        {"", {}},  // ".ini" does not exist here
        {" with  blanks ", {"-Xfrom-blanks"}},
        {other + "/ run ", {"-Xfrom-other-dir"}},
        {"../demo/run",
         {"-Xmx1024m", "-Ddv.appInitScript=" + inst.appDir + "/scripts/init.js",
          "-Ddv.appConfigFile=/etc/demo/app.cfg"}},
        {"/nonexistent/dir/run", {}},
        {std::string(5000, 'r'), {}},  // a name too long for the system
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("argv[0] = \"" + c.argv0.substr(0, 80) + "\"");
        std::vector<std::string> argv = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                         "-vmargs"};
        argv.insert(argv.end(), c.iniArgs.begin(), c.iniArgs.end());
        argv.push_back("-Ddv.webApp=demo");
        argv.push_back("-Dtrace=on");
        const bool iniRead = !c.iniArgs.empty();

        for (bool diagnostics : {false, true}) {
            forgetChild();
            Command command = diagnostics ? traced() : quiet();
            command.argv[0] = c.argv0;
            const Result result = run(command);
            EXPECT_EQ(result.signal, 0);
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "");
            const std::string message =
                iniRead ? "" : "Unable to properly open and parse file " + c.argv0 + ".ini\n";
            EXPECT_EQ(result.out, diagnostics ? expectedTrace({"-Dtrace=on"}, argv, message) : "");
            const Record record = child();
            ASSERT_TRUE(record.started);
            EXPECT_EQ(record.cwd, inst.eclipse);
            EXPECT_EQ(record.argv, argv);
        }
    }
}

}  // namespace
