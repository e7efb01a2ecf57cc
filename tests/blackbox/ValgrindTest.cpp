// The launch path under valgrind's memcheck: no memory error, no definite
// leak, and no descriptor opened by the launcher still open at its exit,
// quiet and traced, with and without an ini file, and for a failed launch.
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

struct Log {
    std::string name;
    std::string text;
};

std::vector<Log> readLogs(const std::string& dir) {
    std::vector<Log> logs;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().native().rfind("vg.", 0) == 0) {
            std::ifstream in(entry.path().native());
            std::stringstream text;
            text << in.rdbuf();
            logs.push_back({entry.path().filename().native(), text.str()});
        }
    }
    return logs;
}

// One log per process that valgrind ran to its end: the launcher, and the
// child when its exec failed. A child whose exec worked leaves a log with
// its start only, since valgrind does not follow the exec.
void expectCleanLogs(const std::string& dir, std::size_t finishedProcesses) {
    std::size_t finished = 0;
    for (const Log& log : readLogs(dir)) {
        SCOPED_TRACE(log.name + ":\n" + log.text);
        if (log.text.find("ERROR SUMMARY:") == std::string::npos) {
            continue;
        }
        ++finished;
        EXPECT_NE(log.text.find("ERROR SUMMARY: 0 errors from 0 contexts"), std::string::npos);
        // Not vacuous: valgrind did see the launcher's allocations (it
        // cannot in a statically linked program).
        EXPECT_EQ(log.text.find("total heap usage: 0 allocs"), std::string::npos);
        EXPECT_NE(log.text.find("total heap usage: "), std::string::npos);
        for (std::string::size_type at = log.text.find("definitely lost: ");
             at != std::string::npos; at = log.text.find("definitely lost: ", at + 1)) {
            EXPECT_EQ(log.text.compare(at, 25, "definitely lost: 0 bytes "), 0);
        }
        // Descriptors 0 to 2 and whatever the launcher inherited (valgrind's
        // own log among them) are listed as inherited; one the launcher
        // opened itself would be listed with the stack that opened it.
        EXPECT_NE(log.text.find("FILE DESCRIPTORS: "), std::string::npos);
        std::istringstream lines(log.text);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.find("Open file descriptor ") != std::string::npos) {
                std::string next;
                std::getline(lines, next);
                EXPECT_NE(next.find("<inherited from parent>"), std::string::npos) << line << "\n"
                                                                                   << next;
            }
        }
    }
    EXPECT_EQ(finished, finishedProcesses);
}

class ValgrindTest : public FaultTest {
protected:
    void SetUp() override {
#ifdef DVL_SANITIZED
        GTEST_SKIP() << "valgrind cannot run a binary built with AddressSanitizer";
#endif
#ifdef DVL_STATIC_LAUNCHER
        GTEST_SKIP() << "valgrind cannot see the allocations of a static launcher; the shared "
                        "build of the coverage stage runs this test";
#endif
        if (underEmulator()) {
            GTEST_SKIP() << "valgrind does not run the programs of an emulator";
        }
        valgrind = findProgram("valgrind");
        ASSERT_FALSE(valgrind.empty()) << "valgrind missing";
    }

    // Runs `command` under valgrind with the options of the CI stage. The
    // launcher's own status is 1 on success too, so the logs decide.
    Result underValgrind(const Command& command, const std::string& logDir) const {
        fs::create_directory(logDir);
        Command wrapped = command;
        wrapped.program = valgrind;
        wrapped.argv = {"valgrind",          "--error-exitcode=1",
                        "--leak-check=full", "--errors-for-leak-kinds=definite",
                        "--track-fds=yes",   "--log-file=" + logDir + "/vg.%p"};
        wrapped.argv.insert(wrapped.argv.end(), command.argv.begin(), command.argv.end());
        return run(wrapped);
    }

    std::string valgrind;
};

TEST_F(ValgrindTest, LaunchPathIsClean) {
    int round = 0;
    for (bool withIni : {true, false}) {
        if (withIni) {
            inst.writeIni(WORKED_EXAMPLE_INI);
        } else {
            fs::remove(inst.appDir + "/run.ini");
        }
        for (bool diagnostics : {false, true}) {
            SCOPED_TRACE(std::string(withIni ? "with" : "without") + " an ini file, " +
                         (diagnostics ? "traced" : "quiet"));
            forgetChild();
            const std::string logDir = inst.root + "/valgrind" + std::to_string(round++);
            const Result result = underValgrind(diagnostics ? traced() : quiet(), logDir);
            const std::vector<std::string> argv = withIni ? workedExampleArgv() : defaultArgv();
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(result.out, diagnostics
                                      ? expectedTrace({"-Dtrace=on"}, argv,
                                                      withIni ? ""
                                                              : "Unable to properly open and parse "
                                                                "file ./run.ini\n")
                                      : "");
            const Record record = child();
            ASSERT_TRUE(record.started);
            EXPECT_EQ(record.argv, argv);
            expectCleanLogs(logDir, 1);
        }
    }
}

TEST_F(ValgrindTest, FailedLaunchIsCleanInBothProcesses) {
    inst.writeIni(WORKED_EXAMPLE_INI);
    fs::remove(inst.eclipse + "/Dashvane");
    const std::string logDir = inst.root + "/valgrind";
    const Result result = underValgrind(quiet(), logDir);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Failed to launch\n");
    EXPECT_EQ(result.out, HINT);
    EXPECT_FALSE(child().started);
    expectCleanLogs(logDir, 2);
}

}  // namespace
