// The built checker, run like a user runs it, against the real launcher in
// throwaway installations.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "Harness.h"
#include "Readable.h"

namespace fs = boost::filesystem;
using namespace dvltest;
using Json = nlohmann::json;

namespace {

std::string checkBinary() {
    return DVL_CHECK_BINARY;
}

Result runCheck(const Installation& inst, const std::vector<std::string>& args,
                const std::string& cwd) {
    Command command;
    command.program = checkBinary();
    command.argv = {"dashvane-launcher-check"};
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.cwd = cwd;
    command.env = baseEnv(inst);
    return run(command);
}

// A byte string of the report: a JSON string, or {"hex": ...} for bytes
// that are not UTF-8.
std::string bytesOf(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    const std::string hex = value.at("hex").get<std::string>();
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

// The report of the application, from the whole run's JSON document.
Json checkJson(const Installation& inst, int expectedStatus = -1) {
    const Result result = runCheck(inst, {"--json", "--explain", inst.appDir}, inst.root);
    if (expectedStatus >= 0) {
        EXPECT_EQ(result.exitCode, expectedStatus) << result.out;
    } else {
        EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    }
    EXPECT_EQ(result.err, "");
    const Json whole = Json::parse(result.out);
    EXPECT_EQ(whole.at("applications").size(), 1u);
    return whole.at("applications").at(0);
}

std::vector<std::string> checkerArgv(const Installation& inst) {
    const Json report = checkJson(inst);
    std::vector<std::string> argv;
    for (const Json& element : report.at("argv")) {
        argv.push_back(bytesOf(element));
    }
    return argv;
}

Result runLauncher(const Installation& inst) {
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    return run(command);
}

std::vector<std::pair<Json, std::string>> warningsOf(const Json& report) {
    std::vector<std::pair<Json, std::string>> found;
    for (const Json& warning : report.at("findings")) {
        found.emplace_back(warning.at("line"), warning.at("kind").get<std::string>());
    }
    return found;
}

// Every file under `root` with its type, size, mode and modification time.
std::vector<std::string> snapshot(const std::string& root) {
    std::vector<std::string> entries;
    for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        struct stat status {};
        lstat(it->path().c_str(), &status);
        entries.push_back(it->path().native() + " " + std::to_string(status.st_mode) + " " +
                          std::to_string(status.st_size) + " " +
                          std::to_string(status.st_mtim.tv_sec) + "." +
                          std::to_string(status.st_mtim.tv_nsec));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

const std::string LONGEST_ARGUMENT = "-Dv" + std::string(131071 - 3, 'x');

// --- The checker's vector is the launcher's -----------------------------------

TEST(CheckEquivalence, ArgumentVectorIsTheLaunchersByteForByte) {
    // Each case gets the installation's stand-in path; nullptr means no ini file.
    using Make = std::string (*)(const std::string& standin);
    const std::vector<std::pair<const char*, Make>> cases = {
        {"no ini file", nullptr},
        {"empty", [](const std::string&) { return std::string(); }},
        {"demo application with an init script and a config file",
         [](const std::string&) {
             return std::string(
                 "-vmargs\n-Xmx1024m\n-Ddv.appInitScript=scripts/init.js\n"
                 "-Ddv.appConfigFile=/etc/demo/app.cfg\n");
         }},
        {"launcher lines, CRLF, blanks and path rules",
         [](const std::string& standin) {
             return "; launcher configuration\n-Ddv.webApp=early\nlauncher=" + standin +
                    "\nlauncher=/opt/other/runner\n-vmargs\r\n-Xmx1024m\n"
                    "  -Ddv.appInitScript=scripts/init.js\t\n"
                    "-Ddv.appConfigFile=/etc/runner/app.cfg\n-Ddv.appProgramFile = main.prg\n"
                    "   \n-Ddv.appProgramFile=\n-Ddv.appConfigFile=../shared/app.cfg\n"
                    "-vmargs\nlauncher=/opt/late/runner\n";
         }},
        {"relative launcher",
         [](const std::string&) { return std::string("launcher=Dashvane\n-vmargs\n-Xa\n"); }},
        {"relative launcher with dots",
         [](const std::string&) {
             return std::string("launcher=./../eclipse/Dashvane\n-vmargs\n-Xa\n");
         }},
        {"byte-order mark",
         [](const std::string&) { return std::string("\xEF\xBB\xBF-vmargs\n-Xa\n"); }},
        {"carriage returns alone",
         [](const std::string&) { return std::string("-vmargs\r-Xa\r-Xb\r"); }},
        {"carriage return and line feed",
         [](const std::string&) {
             return std::string("-vmargs\r\n-Xa\r\n-Ddv.appConfigFile=c.cfg\r\n");
         }},
        {"blanks around = and letter case",
         [](const std::string&) {
             return std::string(
                 "launcher = /x\nLauncher=/y\n-VMARGS\n-vmargs\n"
                 "-Ddv.appProgramFile = main.prg\n-Ddv.WebApp=x\n-Ddv.webApp =y\n"
                 "-Ddv.appInitScript= init.js\n");
         }},
        {"name in the head, second launcher, bare name",
         [](const std::string& standin) {
             return "-Ddv.webApp=early\nlauncher=" + standin +
                    "\nlauncher=/x\n-vmargs\n-Ddv.webApp\n-Ddv.webApp=b=c\n";
         }},
        {"NUL byte", [](const std::string&) { return std::string("-vmargs\n-Da\0b\n-Dc\n", 18); }},
        {"bytes that are not UTF-8, no-break space, control bytes",
         [](const std::string&) {
             return std::string(
                 "-vmargs\n-D\xff\xfe=\xc0\x80\n-Dn=a\xc2\xa0\n\xc2\xa0-Dm\n-Dc=\x01\x7f\n\t \n");
         }},
        {"comments",
         [](const std::string&) { return std::string("# c\n;c\n-vmargs\n# c\n; c\n"); }},
        {"path values",
         [](const std::string&) {
             return std::string(
                 "-vmargs\n-Ddv.appConfigFile\n-Ddv.appConfigFile=\n-Ddv.appInitScript=//net/x\n"
                 "-Ddv.appProgramFile=/abs\n-Ddv.appProgramFile=../x\n"
                 "-Ddv.appInitScript=\"quoted.js\"\n-Ddv.appInitScript=a=b\n");
         }},
        {"no -vmargs line",
         [](const std::string&) { return std::string("-Xmx1g\n-Ddv.appInitScript=x\n"); }},
        {"white space of the C locale",
         [](const std::string&) { return std::string("\v\f-vmargs\f\v\n\v-Xa\f\n-Xlast"); }},
        {"longest argument", [](const std::string&) { return "-vmargs\n" + LONGEST_ARGUMENT; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const Installation inst;
        if (c.second != nullptr) {
            inst.writeIni(c.second(inst.eclipse + "/Dashvane"));
        }
        const Result launched = runLauncher(inst);
        ASSERT_EQ(launched.exitCode, 1) << launched.err;
        const Record record = readRecord(inst.record);
        ASSERT_TRUE(record.started) << launched.err;
        fs::remove(inst.record);
        EXPECT_EQ(checkerArgv(inst), record.argv);
    }
    // A directory in place of the ini file reads as an empty one.
    const Installation inst;
    fs::create_directory(inst.appDir + "/run.ini");
    runLauncher(inst);
    EXPECT_EQ(checkerArgv(inst), readRecord(inst.record).argv);
}

TEST(CheckEquivalence, TooLongAnArgumentFailsTheLaunchAsTheCheckWarns) {
    const Installation inst;
    inst.writeIni("-vmargs\n" + LONGEST_ARGUMENT + "y\n");
    const Result launched = runLauncher(inst);
    EXPECT_FALSE(readRecord(inst.record).started);
    EXPECT_NE(launched.err.find("Failed to launch\n"), std::string::npos) << launched.err;
    const Json report = checkJson(inst, 1);
    ASSERT_EQ(warningsOf(report),
              (std::vector<std::pair<Json, std::string>>{{Json(2), "argument-too-long"}}));
    EXPECT_EQ(bytesOf(report["argv"][3]).size(), 131072u);
}

// The kernel's total for the strings and pointers of execve, exact to the
// byte: the launcher starts its child at the limit and fails one byte past
// it, and the checker says so at the same byte. A smaller stack limit keeps
// the files small; both programs run under it.
TEST(CheckEquivalence, ArgumentSpaceIsExactAtTheLimitAndOneBytePast) {
    const Installation inst;
    const auto underStackLimit = [](Command& command) {
        // qemu-user answers for the stack limit itself, even to this test
        // when it runs under qemu: the 32-bit programs run on this kernel
        // directly instead, through a shell the harness does not wrap.
        if (underEmulator()) {
            command.argv.erase(command.argv.begin());
            command.argv.insert(
                command.argv.begin(),
                {"sh", "-c", "ulimit -s 1024 && exec \"$0\" \"$@\"", command.program});
            command.program = "/bin/sh";
            return;
        }
        command.beforeExec = [] {
            const rlimit stack = {1024 * 1024, 1024 * 1024};
            if (setrlimit(RLIMIT_STACK, &stack) != 0) {
                _exit(126);
            }
        };
    };
    const auto iniWith = [](std::size_t padding) {
        std::string ini = "-vmargs\n";
        for (int i = 0; i < 2; ++i) {
            ini += "-Dfill" + std::to_string(i) + "=" + std::string(100000, 'x') + "\n";
        }
        return ini + "-Dpad=" + std::string(padding, 'p') + "\n";
    };
    const auto check = [&](std::size_t padding) {
        inst.writeIni(iniWith(padding));
        Command command;
        command.program = checkBinary();
        command.argv = {"dashvane-launcher-check", "--json", inst.appDir};
        // Where the launcher runs: a shell in between exports its PWD.
        command.cwd = inst.appDir;
        command.env = baseEnv(inst);
        underStackLimit(command);
        const Result result = run(command);
        return Json::parse(result.out)["applications"][0];
    };
    const auto launches = [&]() {
        fs::remove(inst.record);
        Command command;
        command.program = inst.appDir + "/run";
        command.argv = {"./run"};
        command.cwd = inst.appDir;
        command.env = baseEnv(inst);
        underStackLimit(command);
        run(command);
        return readRecord(inst.record).started;
    };
    if (underEmulator()) {
        Command probe;
        probe.program = checkBinary();
        probe.argv = {"dashvane-launcher-check", "--version"};
        probe.cwd = inst.root;
        probe.env = baseEnv(inst);
        underStackLimit(probe);
        if (run(probe).exitCode != 0) {
            GTEST_SKIP() << "this kernel does not run the 32-bit build itself";
        }
        std::ifstream handler("/proc/sys/fs/binfmt_misc/qemu-i386");
        std::string state;
        if (handler >> state && state == "enabled") {
            GTEST_SKIP() << "i386 programs run through qemu-i386 here, which answers for the "
                            "stack limit itself";
        }
    }
    // A script's interpreter and its argument take room of their own; the
    // stand-in as the interpreter records the start itself.
    for (const bool script : {false, true}) {
        SCOPED_TRACE(script ? "script" : "program");
        if (script) {
            copyFile(standinBinary(), inst.eclipse + "/Dashvane.bin", 0755);
            writeFile(inst.eclipse + "/Dashvane", "#!" + inst.eclipse + "/Dashvane.bin -e\n", 0755);
        }
        const Json first = check(1000);
        const std::size_t limit = first["argument_limit"];
        ASSERT_EQ(limit, 256u * 1024);
        const std::size_t used = first["argument_bytes"].get<std::size_t>() +
                                 first["environment_bytes"].get<std::size_t>();
        ASSERT_LT(used, limit);
        const std::size_t atLimit = 1000 + (limit - used);

        const Json fits = check(atLimit);
        EXPECT_EQ(fits["argument_bytes"].get<std::size_t>() +
                      fits["environment_bytes"].get<std::size_t>(),
                  limit);
        EXPECT_EQ(fits["findings"], Json::array());
        EXPECT_TRUE(launches()) << "the child must start at the limit";

        const Json past = check(atLimit + 1);
        EXPECT_EQ(warningsOf(past),
                  (std::vector<std::pair<Json, std::string>>{{Json(), "arguments-too-long"}}));
        EXPECT_FALSE(launches()) << "the child must not start one byte past the limit";
    }
}

// The arguments a desktop entry passes join the vector, after the ini file's.
TEST(CheckEquivalence, CommandLineArgumentsAfterDoubleDash) {
    const Installation inst;
    inst.writeIni("-vmargs\n-Xmx1g\n");
    const std::vector<std::string> arguments = {"-Dtrace=on", "two words", "--", "-vmargs", ""};
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.argv.insert(command.argv.end(), arguments.begin(), arguments.end());
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    run(command);
    // "two words" is what the Java VM would take as its main class: that
    // verdict is the VM tests' matter, the vector this one's.
    std::vector<std::string> checkArgs = {"--json", "--ignore=vm-main-class", inst.appDir, "--"};
    checkArgs.insert(checkArgs.end(), arguments.begin(), arguments.end());
    const Result result = runCheck(inst, checkArgs, inst.root);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    const Json report = Json::parse(result.out);
    std::vector<std::string> argv;
    for (const Json& element : report["applications"][0]["argv"]) {
        argv.push_back(bytesOf(element));
    }
    EXPECT_EQ(argv, readRecord(inst.record).argv);
}

// --- The executable as the kernel and the loader see it ------------------------

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The stand-in with `from` replaced by `to` (as long) where it first occurs;
// empty when it does not occur (a static stand-in has no loader).
std::string patched(const std::string& bytes, const std::string& from, const std::string& to) {
    const std::string::size_type at = bytes.find(from);
    return at == std::string::npos ? std::string()
                                   : std::string(bytes).replace(at, from.size(), to);
}

// The loader's name in the stand-in, made that of a loader that does not exist.
std::string withoutLoader(const std::string& bytes) {
    const std::string::size_type at = bytes.find("/ld-linux");
    const std::string::size_type version = bytes.find(".so.", at);
    if (at == std::string::npos || version == std::string::npos) {
        return std::string();
    }
    std::string copy = bytes;
    copy[version + 4] = '9';
    return copy;
}

TEST(CheckExecutable, ReportsEveryExecutableThatDoesNotStartAndNoOther) {
    const std::string standin = readAll(standinBinary());
    std::string foreign = standin;
    foreign[18] = static_cast<char>(0xb7);  // e_machine: AArch64
    foreign[19] = 0;
    const struct {
        const char* what;
        std::string dashvane;     // the bytes of eclipse/Dashvane
        std::string interpreter;  // a script's interpreter, written to eclipse/interp
        bool starts;
        std::vector<std::string> kinds;
    } cases[] = {
        {"the stand-in", standin, "", true, {}},
        {"a script that runs it",
         "#!/bin/sh\nexec \"$(dirname \"$0\")/interp\" \"$@\"\n",
         standin,
         true,
         {}},
        {"built for another machine", foreign, "", false, {"executable-foreign-machine"}},
        {"cut inside its program headers",
         standin.substr(0, 70),
         "",
         false,
         {"executable-damaged"}},
        {"cut in its loadable segments",
         standin.substr(0, 8192),
         "",
         false,
         {"executable-damaged"}},
        {"its loader missing", withoutLoader(standin), "", false, {"loader-missing"}},
        {"its C library missing",
         patched(standin, "libc.so.6", "libq.so.6"),
         "",
         false,
         {"library-missing"}},
        {"a script whose interpreter is a script without its own",
         "#!" + std::string("INTERP") + "\n",
         "#!/nonexistent/sh\n",
         false,
         {"interpreter-missing"}},
        {"a script whose interpreter is a script naming none",
         "#!" + std::string("INTERP") + "\n",
         "#!\n",
         false,
         {"interpreter-missing"}},
        {"a script that env runs by a name not on PATH",
         "#!/usr/bin/env dvl-no-such-program\n",
         standin,  // unused
         false,
         {"interpreter-missing"}},
        {"a script whose interpreter is text without its own \"#!\"",
         "#!" + std::string("INTERP") + "\n",
         "echo started\n",
         false,
         {"interpreter-not-a-program"}},
        {"a script saved with CRLF whose shell gets an option",
         "#!/bin/sh -e\r\nexec \"$(dirname \"$0\")/interp\" \"$@\"\r\n",
         standin,
         false,
         {"interpreter-option-carriage-return"}},
        {"a script whose interpreter misses its loader",
         "#!" + std::string("INTERP") + "\n",
         withoutLoader(standin),
         false,
         {"loader-missing"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.dashvane.empty() || (c.interpreter.empty() && c.dashvane[0] == '#')) {
            continue;  // a static stand-in: no loader or library to take away
        }
        const Installation inst;
        inst.writeIni("-vmargs\n");
        std::string dashvane = c.dashvane;
        const std::string::size_type placeholder = dashvane.find("INTERP");
        if (placeholder != std::string::npos) {
            dashvane.replace(placeholder, 6, inst.eclipse + "/interp");
        }
        writeFile(inst.eclipse + "/Dashvane", dashvane, 0755);
        if (!c.interpreter.empty()) {
            writeFile(inst.eclipse + "/interp", c.interpreter, 0755);
        }
        runLauncher(inst);
        EXPECT_EQ(readRecord(inst.record).started, c.starts);
        const Json report = checkJson(inst, c.kinds.empty() ? 0 : 1);
        std::vector<std::string> kinds;
        for (const auto& warning : warningsOf(report)) {
            kinds.push_back(warning.second);
        }
        EXPECT_EQ(kinds, c.kinds) << report["findings"].dump(1);
    }
}

// Memory that runs out ends the check with its message and status 2 in
// every mode, never in an abort, and a JSON report stays a whole document.
TEST(CheckCommandLine, ExhaustedMemoryEndsWithStatusTwoInEveryMode) {
#ifdef DVL_SANITIZED
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of shadow memory at start";
#endif
    if (underEmulator()) {
        GTEST_SKIP() << "an address-space limit binds the emulator, not the checker it runs";
    }
    const Installation inst;
    // A sparse line of 512 MiB under a 224 MiB address-space limit.
    inst.writeIni("-vmargs\n-Xa\n");
    ASSERT_EQ(truncate((inst.appDir + "/run.ini").c_str(), 512L << 20), 0);
    const std::vector<std::vector<std::string>> modes = {
        {}, {"--explain"}, {"--json"}, {"--json", "--explain"}};
    for (const std::vector<std::string>& mode : modes) {
        SCOPED_TRACE(mode.empty() ? "findings" : mode.back());
        Command command;
        command.program = checkBinary();
        command.argv = {"dashvane-launcher-check"};
        command.argv.insert(command.argv.end(), mode.begin(), mode.end());
        command.cwd = inst.appDir;
        command.env = baseEnv(inst);
        command.beforeExec = [] {
            const rlimit limit{224UL << 20, 224UL << 20};
            if (setrlimit(RLIMIT_AS, &limit) != 0) {
                _exit(126);
            }
        };
        const Result result = run(command);
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 2) << result.err;
        if (mode.empty() || mode[0] != "--json") {
            EXPECT_NE(result.out.find(".: error: cannot check: out of memory\n"), std::string::npos)
                << result.out;
        } else {
            const Json report = Json::parse(result.out);
            EXPECT_EQ(report["applications"][0]["error"], "out of memory");
            EXPECT_EQ(report["summary"]["status"], 2);
        }
    }
}

// --- A broken application directory -------------------------------------------

class BrokenApplication : public ::testing::Test {
protected:
    BrokenApplication() {
        inst.writeIni(
            "\xEF\xBB\xBF-vmargs\n"             // 1
            "launcher = /opt/x\n"               // 2
            "Launcher=/opt/y\n"                 // 3
            "launcher=runner\n"                 // 4
            "launcher=/opt/z\n"                 // 5
            "-Ddv.webApp=early\n"               // 6
            "-VMARGS\n"                         // 7
            "-vmargs\n"                         // 8
            "-Ddv.appProgramFile = main.prg\n"  // 9
            "-Ddv.appConfigFile=missing.cfg\n"  // 10
            "-Dfoo=1\n"                         // 11
            "-Dfoo=2\n"                         // 12
            "launcher=/late\n"                  // 13
            + LONGEST_ARGUMENT +
            "y\n"             // 14
            "-Dmac=a\rb\n");  // 15
    }
    Installation inst;
};

TEST_F(BrokenApplication, FindingsNameTheFileLineAndSeverityOfEachMistake) {
    const Result result = runCheck(inst, {}, inst.appDir);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "");
    const std::string expected[] = {
        "run.ini:1: error: the launcher does not skip the file's byte-order mark: this line does "
        "not open the VM section, line 8 does",
        "run.ini:2: warning: blanks around \"=\"",
        "run.ini:3: warning: \"Launcher\" is not \"launcher\"",
        "run.ini:4: error: executable \"" + inst.eclipse + "/runner\" does not exist",
        "run.ini:5: warning: second launcher line ignored: line 4",
        // Once the mark is removed, line 1 opens the VM section and the VM
        // refuses the launcher lines below it.
        "run.ini:5: warning: ignored today; once the byte-order mark is removed: "
        "launcher-in-vm-section, below [latent-finding]\n"
        "run.ini:5: note: launcher line after -vmargs: passed to the executable as an argument",
        "run.ini:6: warning: application name before -vmargs ignored",
        "run.ini:7: warning: \"-VMARGS\" is not \"-vmargs\"",
        "run.ini:9: warning: blanks around \"=\": not taken as -Ddv.appProgramFile",
        "run.ini:10: warning: -Ddv.appConfigFile names \"" + inst.appDir +
            "/missing.cfg\", which does not exist",
        "run.ini:12: warning: \"-Dfoo\" set again with a different value (line 11",
        // Below -vmargs the launcher line reaches the Java VM, which refuses it: one
        // mistake, one finding.
        "run.ini:13: error: launcher line after -vmargs: passed to the executable as an "
        "argument, not replacing it; the Java VM refuses it",
        "run.ini:14: error: argument 8 (line 14) is 131072 bytes long",
        "run.ini:15: error: carriage return inside the line",
    };
    for (const std::string& text : expected) {
        EXPECT_NE(("\n" + result.out).find("\n" + text), std::string::npos) << text;
    }
    // One short line for each finding, its notes, then the summary.
    EXPECT_EQ(expectReadableText(result.out, inst.root), 16u) << result.out;
    EXPECT_NE(result.out.find("\n1 application checked: 5 errors, 11 warnings, 0 notes"),
              std::string::npos)
        << result.out;

    const Result explained = runCheck(inst, {"--explain"}, inst.appDir);
    for (const char* text :
         {"  1 \"\\u{FEFF}-vmargs\"\n      ignored in the head\n",
          "  15 \"-Dmac=a\\rb\"\n      appended as argument 9 \"-Dmac=a\\rb\"\n"}) {
        EXPECT_NE(explained.out.find(text), std::string::npos) << text;
    }
}

// Where each format puts a finding's line.
struct LineOrderRow {
    std::vector<std::string> args;
    const char* lineOf;  // the pattern of a finding with its line as the first group
};

// The lines the findings of `output` name, in the order they come.
std::vector<int> findingLines(const std::string& output, const std::regex& lineOf) {
    std::vector<int> lines;
    for (std::sregex_iterator it(output.begin(), output.end(), lineOf), end; it != end; ++it) {
        lines.push_back(std::stoi((*it)[1].str()));
    }
    return lines;
}

TEST_F(BrokenApplication, FindingsComeInLineOrderInEveryFormat) {
    const std::vector<LineOrderRow> rows = {
        {{"--format=gcc"}, R"(run\.ini:(\d+): (?:warning|error|note): .* \[[a-z0-9-]+\]\n)"},
        {{"--explain"}, R"(run\.ini:(\d+): (?:warning|error|note): .* \[[a-z0-9-]+\]\n)"},
        {{"--format=json"}, R"re("file":"[^"]*run\.ini","line":(\d+),"severity")re"},
        {{"--format=sarif"}, R"re("startLine":(\d+))re"},
        {{"--format=checkstyle"}, R"re(<error line="(\d+)")re"},
    };
    // The launch's findings (lines 4, 12, 13 and 14) and the latent ones (2,
    // 3 and 5) among the lines' own.
    const std::vector<int> expected = {1, 2, 2, 3, 3, 4, 5, 5, 6, 7, 9, 10, 12, 13, 14, 15};
    for (const LineOrderRow& row : rows) {
        SCOPED_TRACE(row.args.front());
        std::vector<std::string> args = row.args;
        args.push_back(inst.appDir);
        const Result result = runCheck(inst, args, inst.root);
        EXPECT_EQ(findingLines(result.out, std::regex(row.lineOf)), expected) << result.out;
    }
}

TEST_F(BrokenApplication, ExplanationShowsEachFindingUnderItsLine) {
    const Result result = runCheck(inst, {"--explain", inst.appDir}, inst.root);
    const std::regex listed(R"re(^  (\d+) ")re");
    const std::regex finding(R"(run\.ini:(\d+): (?:warning|error|note): .* \[[a-z0-9-]+\]$)");
    std::istringstream in(result.out);
    int lastListed = 0;
    std::size_t findings = 0;
    for (std::string text; std::getline(in, text);) {
        std::smatch match;
        if (std::regex_search(text, match, listed)) {
            lastListed = std::stoi(match[1].str());
        } else if (std::regex_search(text, match, finding)) {
            ++findings;
            EXPECT_EQ(std::stoi(match[1].str()), lastListed) << text;
        }
    }
    EXPECT_EQ(findings, 16u) << result.out;
}

TEST_F(BrokenApplication, JsonHasTheSameFactsAndChangesNothing) {
    const std::vector<std::string> before = snapshot(inst.root);
    const Json report = checkJson(inst, 1);
    EXPECT_EQ(snapshot(inst.root), before);
    EXPECT_FALSE(readRecord(inst.record).started);

    const std::vector<std::pair<Json, std::string>> expected = {
        {Json(1), "byte-order-mark"},      {Json(2), "blanks-around-equals"},
        {Json(2), "latent-finding"},       {Json(3), "letter-case"},
        {Json(3), "latent-finding"},       {Json(4), "executable-missing"},
        {Json(5), "second-launcher"},      {Json(5), "latent-finding"},
        {Json(6), "name-in-head"},         {Json(7), "letter-case"},
        {Json(9), "blanks-around-equals"}, {Json(10), "missing-path"},
        {Json(12), "duplicate-property"},  {Json(13), "launcher-in-vm-section"},
        {Json(14), "argument-too-long"},   {Json(15), "carriage-return"}};
    EXPECT_EQ(warningsOf(report), expected);
    EXPECT_EQ(bytesOf(report["ini_file"]), inst.appDir + "/run.ini");
    EXPECT_EQ(report["lines"].size(), 15u);
    EXPECT_EQ(bytesOf(report["lines"][0]["text"]), "\xEF\xBB\xBF-vmargs");
    EXPECT_EQ(report["lines"][3]["effect"], "launcher line taken");
    EXPECT_EQ(report["lines"][9]["effect"], "path made absolute");
    EXPECT_EQ(bytesOf(report["executable"]["resolved"]), inst.eclipse + "/runner");
    EXPECT_EQ(report["executable"]["type"], "missing");
    EXPECT_EQ(report["argv"][report["default_name_argument"].get<int>()], "-Ddv.webApp=demo");
}

// --- The command line ------------------------------------------------------------

TEST(CheckCommandLine, CleanSetupPassesAndStartsNothing) {
    const Installation inst;
    inst.writeIni("-vmargs\n-Xmx1024m\n");
    const std::vector<std::string> before = snapshot(inst.root);
    // Without APPDIR the working directory is checked.
    const Result result = runCheck(inst, {}, inst.appDir);
    EXPECT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(result.out.rfind("1 application checked: 0 errors, 0 warnings, 0 notes", 0), 0u);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_EQ(checkJson(inst, 0)["findings"], Json::array());
    EXPECT_EQ(snapshot(inst.root), before);
    EXPECT_FALSE(readRecord(inst.record).started);
}

TEST(CheckCommandLine, NameChoosesTheIniFileAsTheLauncherWould) {
    const Installation inst;
    // The copy "run" has its own ini file, so other.ini is no stray one.
    // Properties, which the Java VM accepts, tell the files apart.
    inst.writeIni("-vmargs\n-Drun\n");
    inst.writeIni("-vmargs\n-Dother\n", "other.ini");
    fs::create_directories(inst.root + "/tools");
    writeFile(inst.root + "/tools/run.ini", "-vmargs\n-Dtools\n");
    const struct {
        std::vector<std::string> args;
        std::string ini;
        std::string argument;
    } cases[] = {
        {{"--json", "--name", "./other"}, "other.ini", "-Dother"},
        {{"--json", "--name=other"}, "other.ini", "-Dother"},
        {{"--json", "--name", inst.root + "/tools/run"}, inst.root + "/tools/run.ini", "-Dtools"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        const Result result = runCheck(inst, c.args, inst.appDir);
        EXPECT_EQ(result.exitCode, 0) << result.out;
        const Json report = Json::parse(result.out)["applications"][0];
        EXPECT_EQ(report["ini_file"], c.ini);
        EXPECT_EQ(report["argv"][3], c.argument);
    }
}

TEST(CheckCommandLine, ReportThatCannotBeWrittenExitsTwo) {
    const Installation inst;
    inst.writeIni("-vmargs\n-Xmx1024m\n");
    for (const char* option : {"--json", "--help", "--name=./run"}) {
        SCOPED_TRACE(option);
        Command command;
        command.program = checkBinary();
        command.argv = {"dashvane-launcher-check", option};
        command.cwd = inst.appDir;
        command.env = baseEnv(inst);
        command.beforeExec = [] {
            const int full = open("/dev/full", O_WRONLY);
            if (full < 0 || dup2(full, STDOUT_FILENO) < 0) {
                _exit(126);
            }
        };
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "dashvane-launcher-check: cannot write the report\n");
    }
}

// Checked in the wrong place, the checker names the right one instead of
// blaming the installation for what an application directory must not be.
TEST(CheckCommandLine, TheWrongPlaceIsNamed) {
    const Installation inst;
    inst.writeIni("-vmargs\n");
    const struct {
        std::vector<std::string> args;
        const char* cwd;  // under the installation's root
        int exitCode;
        const char* err;  // a part of it
    } rows[] = {
        {{"ws"}, "", 3, "\"ws\" holds eclipse/ and apps/: it is an installation"},
        {{"ws/"}, "", 3, "use --installation ws/"},
        {{}, "/ws", 3, "use --installation ."},
        {{"--installation", "ws/apps"},
         "",
         2,
         "--installation takes the directory that holds apps/ and eclipse/: \"ws\""},
        {{"--installation", "apps/"},
         "/ws",
         2,
         "--installation takes the directory that holds apps/ and eclipse/: \".\""},
        {{"--installation", "ws"}, "", 0, ""},
        {{"ws/apps/demo"}, "", 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.empty() ? "(none)" : row.args.back());
        const Result result = runCheck(inst, row.args, inst.root + row.cwd);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.out << result.err;
        if (*row.err != '\0') {
            EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.err, "");
        }
    }
}

// A misspelt kind, on the command line or in a suppression line, is answered
// with the kind it most likely means; a word that is no slip gets none.
TEST(CheckCommandLine, MisspeltKindGetsTheNearestOne) {
    const Installation inst;
    const struct {
        const char* ignore;      // --ignore's value; nullptr: in the ini file's head
        const char* name;        // the misspelt kind
        const char* suggestion;  // "" for none
    } rows[] = {
        {"byte-order-mrak", "byte-order-mrak", "byte-order-mark"},
        {"letter-case,dangling_link", "dangling_link", "dangling-link"},
        {"BYTE-ORDER-MARK", "BYTE-ORDER-MARK", "byte-order-mark"},
        {"warning", "warning", ""},
        {nullptr, "leter-case", "letter-case"},
        {nullptr, "nothing-like-it", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string said;
        if (row.ignore != nullptr) {
            inst.writeIni("-vmargs\n");
            const Result result = runCheck(inst, {"--ignore", row.ignore}, inst.appDir);
            EXPECT_EQ(result.exitCode, 3);
            said = result.err;
        } else {
            inst.writeIni(std::string("# dashvane-launcher-check: ignore ") + row.name +
                          "\n-vmargs\n");
            said = runCheck(inst, {}, inst.appDir).out;
        }
        EXPECT_NE(said.find(std::string("\"") + row.name + "\""), std::string::npos) << said;
        const std::string meant = std::string("did you mean \"") + row.suggestion + "\"?";
        EXPECT_EQ(said.find(*row.suggestion != '\0' ? meant : "did you mean") != std::string::npos,
                  *row.suggestion != '\0')
            << said;
    }
}

// The configuration: the installation's file before the user's, --config
// and --no-config in place of both, and below the command line's --ignore
// and the ini file's suppression line. A mistake in it stops the run.
TEST(CheckConfiguration, PrecedenceAndMistakes) {
    const Installation inst;
    const std::string shared = inst.root + "/ws/.dashvane-launcher-check";
    const std::string xdg = inst.root + "/xdg";
    const std::string own = xdg + "/dashvane-launcher-check/config";
    const std::string named = inst.root + "/team.conf";
    fs::create_directories(xdg + "/dashvane-launcher-check");
    const std::string twice = "-vmargs\n-Dfoo=1\n-Dfoo=2\n";  // a warning on line 3
    const std::string raise = "# the team's CI\nseverity duplicate-property = error\n";
    const struct {
        const char* name;
        std::string ini;
        std::string sharedText, ownText, namedText;  // "" for no such file
        std::vector<std::string> args;
        int exitCode;
        const char* said;  // on the output, or on the error with status 3
    } rows[] = {
        // clang-format off
        {"none: a warning passes --severity error", twice, "", "", "", {}, 0, "0 notes; 1 finding below"},
        {"the installation's raises it", twice, raise, "", "", {}, 1, "run.ini:3: error:"},
        {"the user's raises it", twice, "", raise, "", {}, 1, "run.ini:3: error:"},
        {"the installation's before the user's", twice, "ignore = duplicate-property\n", raise, "", {}, 0, "0 notes\n"},
        {"--config in place of the one found", twice, "ignore = duplicate-property\n", "", raise, {"--config", named}, 1, "run.ini:3: error:"},
        {"--no-config reads none", twice, raise, "", "", {"--no-config"}, 0, "0 notes; 1 finding below"},
        {"--ignore wins", twice, raise, "", "", {"--ignore", "duplicate-property"}, 0, "0 notes\n"},
        {"the ini file's suppression line wins", "# dashvane-launcher-check: ignore duplicate-property\n" + twice, raise, "", "", {}, 0, "0 notes\n"},
        {"a warning lowered to a note", twice, "severity duplicate-property = note\n", "", "", {"--severity", "warning"}, 0, "1 finding below"},
        {"unknown key", twice, "ignore = letter-case\nignroe = letter-case\n", "", "", {}, 3, "/.dashvane-launcher-check:2: unknown key \"ignroe\""},
        {"misspelt kind", twice, "", "", "ignore = letter-case duplicate-proprety\n", {"--config", named}, 3, "team.conf:1: no kind \"duplicate-proprety\" (did you mean \"duplicate-property\"?"},
        {"unknown severity", twice, "severity duplicate-property = fatal\n", "", "", {}, 3, "takes note, warning or error, not \"fatal\""},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        inst.writeIni(row.ini);
        for (const auto& file :
             {std::make_pair(shared, row.sharedText), std::make_pair(own, row.ownText),
              std::make_pair(named, row.namedText)}) {
            fs::remove(file.first);
            if (!file.second.empty()) {
                writeFile(file.first, file.second, 0644);
            }
        }
        Command command;
        command.program = checkBinary();
        // Who runs the tests does not count: only the row's warning may be below.
        command.argv = {"dashvane-launcher-check", "--no-vm", "--ignore", "judged-as-root"};
        if (std::find(row.args.begin(), row.args.end(), "--severity") == row.args.end()) {
            command.argv.insert(command.argv.end(), {"--severity", "error"});
        }
        command.argv.insert(command.argv.end(), row.args.begin(), row.args.end());
        command.argv.push_back(inst.appDir);
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        command.env["XDG_CONFIG_HOME"] = xdg;
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.out << result.err;
        const std::string& said = row.exitCode == 3 ? result.err : result.out;
        EXPECT_NE(said.find(row.said), std::string::npos) << result.out << result.err;
    }
}

// A suppression line below -vmargs is handed on as an argument: said once,
// with the advice to move it, and it silences nothing.
TEST(CheckConfiguration, SuppressionLineBelowVmargsIsSaidOnce) {
    const Installation inst;
    inst.writeIni(
        "-vmargs\n# dashvane-launcher-check: ignore duplicate-property\n"
        "-Dfoo=1\n-Dfoo=2\n");
    const Result result = runCheck(inst, {"--no-config"}, inst.appDir);
    EXPECT_EQ(result.exitCode, 1);
    const std::string said = "run.ini:2: ";
    std::size_t findings = 0;
    for (std::size_t at = 0; (at = result.out.find(said, at)) != std::string::npos; ++at) {
        findings += result.out.compare(at + said.size(), 6, "note: ") != 0;
    }
    EXPECT_EQ(findings, 1u) << result.out;
    EXPECT_NE(result.out.find("suppression line below -vmargs: it silences nothing"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("run.ini:2: note: move the comment above -vmargs"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("[duplicate-property]"), std::string::npos) << result.out;
}

// --list-kinds KIND prints the kind's page: why, before and after, how to silence it.
TEST(CheckCommandLine, ListKindsPrintsTheKindsPage) {
    const Installation inst;
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> said;  // parts of the output, or of the error when it fails
    } rows[] = {
        {{"--list-kinds", "byte-order-mark"},
         0,
         {"byte-order-mark (warning, mended by --fix)", "What it means\n",
          "Why\n    The launcher does not skip a byte-order mark", "Failing example\n",
          "Fixed example\n    -vmargs as the file's first bytes",
          "# dashvane-launcher-check: ignore byte-order-mark\n",
          "dashvane-launcher-check --ignore byte-order-mark"}},
        {{"--list-kinds", "missing-path", "path-unreadable"},
         0,
         {"missing-path (warning)", "\n\npath-unreadable (warning)"}},
        {{"--list-kinds", "byte-order-mrak"}, 3, {"did you mean \"byte-order-mark\"?"}},
        {{"--list-kinds", "--format", "json", "letter-case"}, 3, {"as text only"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.back());
        const Result result = runCheck(inst, row.args, inst.root);
        EXPECT_EQ(result.exitCode, row.exitCode) << result.err;
        for (const std::string& part : row.said) {
            EXPECT_NE((row.exitCode == 0 ? result.out : result.err).find(part), std::string::npos)
                << result.out << result.err;
        }
    }
}

TEST(CheckCommandLine, UsageErrorsExitThreeAndUnusableDirectoriesTwo) {
    const Installation inst;
    writeFile(inst.root + "/plain", "");
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--name"},
        {"--severity", "fatal"},
        {"--ignore", "no-such-kind"},
        {"--fix", "--backup", "always"},
        {"--backup=numbered"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        const Result result = runCheck(inst, args, inst.root);
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("dashvane-launcher-check: "), std::string::npos) << result.err;
    }
    const Result help = runCheck(inst, {"--help"}, inst.root);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(
        help.out.rfind("usage: dashvane-launcher-check [OPTIONS] [APPDIR...] [-- ARGS...]", 0), 0u);
    // Directories that cannot be checked are reported, and the others still checked.
    for (const std::string& bad : {inst.root + "/nonexistent", inst.root + "/plain"}) {
        const Result result = runCheck(inst, {bad, inst.appDir}, inst.root);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.out.find(bad + ": error: cannot check: cannot enter the application"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("\n2 applications checked, 1 could not be checked: "),
                  std::string::npos)
            << result.out;
    }
}

}  // namespace
