#include "LauncherFixture.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <boost/filesystem.hpp>

namespace fs = boost::filesystem;

namespace dvltest {

const std::string HINT =
    "\nFailed to execute command. Set DVL_DBG_ENABLE env variable to get addtional diagnostics "
    "information";

const std::string WORKED_EXAMPLE_INI =
    "-vmargs\n-Xmx1024m\n-Ddv.appInitScript=scripts/init.js\n-Ddv.appConfigFile=/etc/demo/"
    "app.cfg\n";

void becomeUnprivileged() {
    if (setgroups(0, nullptr) != 0 || setgid(UNPRIVILEGED_ID) != 0 ||
        setuid(UNPRIVILEGED_ID) != 0) {
        _exit(126);
    }
}

std::string findProgram(const std::string& name) {
    for (const char* dir : {"/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"}) {
        const std::string candidate = std::string(dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

std::string expectedTrace(const std::vector<std::string>& commandLine,
                          const std::vector<std::string>& childArgv,
                          const std::string& iniMessage) {
    std::string trace;
    if (!commandLine.empty()) {
        trace += "Found command line args: \n";
        for (const std::string& arg : commandLine) {
            trace += arg + " ";
        }
    }
    trace += iniMessage;
    for (std::size_t i = 0; i < childArgv.size(); ++i) {
        trace += "Adding Arg " + std::to_string(i) + " : " + childArgv[i] + "\n";
    }
    trace += "Running Command : " + childArgv.at(0) + "\nWith args array\n";
    for (std::size_t i = 0; i < childArgv.size(); ++i) {
        trace += std::to_string(i) + " : " + childArgv[i] + "\n";
    }
    return trace;
}

LauncherFixture::LauncherFixture() {
    // The stand-in must be able to write its record as the unprivileged
    // user too, or a child that did start would look like none.
    const std::string records = inst.root + "/records";
    fs::create_directory(records);
    fs::permissions(records, static_cast<fs::perms>(01777));
    inst.record = records + "/record";
}

Command LauncherFixture::quiet(const std::vector<std::string>& args) const {
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    return command;
}

Command LauncherFixture::traced(const std::vector<std::string>& args) const {
    Command command = quiet(args);
    command.env["DVL_DBG_ENABLE"] = "";
    return command;
}

void LauncherFixture::forgetChild() const {
    boost::system::error_code ignored;
    fs::remove(inst.record, ignored);
}

std::vector<std::string> LauncherFixture::workedExampleArgv() const {
    return {inst.eclipse + "/Dashvane",
            "--launcher.appendVmargs",
            "-vmargs",
            "-Xmx1024m",
            "-Ddv.appInitScript=" + inst.appDir + "/scripts/init.js",
            "-Ddv.appConfigFile=/etc/demo/app.cfg",
            "-Ddv.webApp=demo",
            "-Dtrace=on"};
}

std::vector<std::string> LauncherFixture::defaultArgv(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {inst.eclipse + "/Dashvane", "--launcher.appendVmargs",
                                     "-vmargs", "-Ddv.webApp=demo"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

Command LauncherFixture::underStrace(const Command& command,
                                     const std::vector<std::string>& options,
                                     const std::string& log) const {
    Command wrapped = command;
    wrapped.program = findProgram("strace");
    wrapped.argv = {"strace", "-qq", "-o", log};
    wrapped.argv.insert(wrapped.argv.end(), options.begin(), options.end());
    wrapped.argv.push_back("--");
    // The traced program gets the same argv[0], resolved from the same
    // working directory, so it reads the same ini file.
    wrapped.argv.insert(wrapped.argv.end(), command.argv.begin(), command.argv.end());
#ifdef DVL_SANITIZED
    // LeakSanitizer stops the world with ptrace, which a traced process
    // cannot do; it would end the run with a report of its own.
    std::string asan = wrapped.env.count("ASAN_OPTIONS") != 0 ? wrapped.env["ASAN_OPTIONS"] : "";
    wrapped.env["ASAN_OPTIONS"] = asan + (asan.empty() ? "" : ":") + "detect_leaks=0";
#endif
    return wrapped;
}

std::string LauncherFixture::observe(const Command& command, const std::string& syscall) const {
    const std::string log = inst.root + "/records/strace.log";
    run(underStrace(command, {"-f", "-e", "trace=" + syscall}, log));
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void LauncherFixture::expectChildFailure(const std::string& message, const std::string& syscall,
                                         const std::string& target, const std::string& errnoName,
                                         const std::vector<std::string>& childArgv,
                                         const std::function<void()>& setup) const {
    Command command = quiet();
    command.beforeExec = setup;
    forgetChild();
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.err, message + "\n");
    EXPECT_EQ(result.out, HINT);
    EXPECT_FALSE(child().started);

    command = traced();
    command.beforeExec = setup;
    const Result tracedResult = run(command);
    EXPECT_EQ(tracedResult.exitCode, 1);
    EXPECT_EQ(tracedResult.err, message + "\n");
    // The trace, written before the fork, and no hint.
    EXPECT_EQ(tracedResult.out, expectedTrace({"-Dtrace=on"}, childArgv));
    EXPECT_FALSE(child().started);

    if (underEmulator()) {
        return;  // strace does not trace the programs of an emulator
    }
    if (findProgram("strace").empty()) {
        ADD_FAILURE() << "cannot confirm the cause of the failure without strace";
        return;
    }
    // Measured, not assumed: the system call failed for the reason meant.
    Command observed = quiet();
    observed.beforeExec = setup;
    const std::string log = observe(observed, syscall);
    const std::string call = syscall + "(\"" + target + "\"";
    bool seen = false;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(call) != std::string::npos &&
            line.find("= -1 " + errnoName + " ") != std::string::npos) {
            seen = true;
        }
    }
    EXPECT_TRUE(seen) << "no " << call << "...) = -1 " << errnoName << " in\n" << log;
    EXPECT_FALSE(child().started);
}

}  // namespace dvltest
