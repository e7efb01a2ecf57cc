// What the Dashvane executable inherits from the launcher: exactly the
// descriptors, signal dispositions and signal mask that the launcher itself
// inherited. The stand-in reports them; the expectation is the stand-in's
// report when it is started directly under the same conditions.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LauncherFixture.h"

using namespace dvltest;

namespace {

// Signals whose disposition the sanitizer runtime takes over in the
// launcher (it installs handlers for them, which exec turns into the
// default), so an inherited SIG_IGN for them cannot survive a sanitized
// launcher. The release build is held to all of them.
bool takenBySanitizer(int sig) {
#ifdef DVL_SANITIZED
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL || sig == SIGABRT;
#else
    static_cast<void>(sig);
    return false;
#endif
}

void moveTo(int fd, int target) {
    if (fd == target) {
        return;
    }
    if (fd < 0 || dup2(fd, target) < 0 || close(fd) != 0) {
        _exit(126);
    }
}

// Each run has pipes of its own as standard output and error: the same kind
// of descriptor, though not the same pipe.
std::map<int, std::string> kinds(const std::map<int, std::string>& fds) {
    std::map<int, std::string> result;
    for (const auto& fd : fds) {
        result[fd.first] = fd.second.rfind("pipe:[", 0) == 0 ? "pipe" : fd.second;
    }
    return result;
}

struct Conditions {
    const char* name;
    std::function<void()> apply;  // in the new process, before exec
};

std::vector<Conditions> conditions(const std::string& extraFile) {
    return {
        {"the defaults", [] {}},
        {"extra descriptors, every signal ignored and blocked",
         [extraFile] {
             moveTo(open("/dev/null", O_RDONLY), 5);
             moveTo(open(extraFile.c_str(), O_RDONLY), 9);
             moveTo(open("/dev/zero", O_RDWR), 20);
             for (int sig = 1; sig < 32; ++sig) {
                 if (sig != SIGKILL && sig != SIGSTOP && !takenBySanitizer(sig)) {
                     signal(sig, SIG_IGN);
                 }
             }
             sigset_t all;
             sigfillset(&all);
             sigprocmask(SIG_SETMASK, &all, nullptr);
         }},
        {"a few signals ignored and blocked, standard input closed",
         [] {
             close(STDIN_FILENO);
             signal(SIGINT, SIG_IGN);
             signal(SIGHUP, SIG_IGN);
             signal(SIGPIPE, SIG_IGN);
             sigset_t some;
             sigemptyset(&some);
             sigaddset(&some, SIGUSR2);
             sigaddset(&some, SIGTERM);
             sigaddset(&some, SIGPIPE);
             sigprocmask(SIG_BLOCK, &some, nullptr);
         }},
    };
}

TEST_F(FaultTest, ChildInheritsExactlyTheDescriptorsAndSignalsOfTheLauncher) {
    if (underEmulator()) {
        GTEST_SKIP() << "the emulator handles every signal itself, so the exec it passes on "
                        "resets them: that says nothing about the launcher";
    }
    inst.writeIni(WORKED_EXAMPLE_INI);
    const std::string extraFile = inst.root + "/inherited.txt";
    writeFile(extraFile, "inherited\n");

    for (const Conditions& c : conditions(extraFile)) {
        SCOPED_TRACE(c.name);
        // The expectation: the stand-in started directly, as the launcher is.
        Command direct;
        direct.program = inst.eclipse + "/Dashvane";
        direct.argv = {direct.program};
        direct.cwd = inst.eclipse;
        direct.env = baseEnv(inst);
        direct.beforeExec = c.apply;
        forgetChild();
        run(direct);
        const Record expected = child();
        ASSERT_TRUE(expected.started);
        ASSERT_FALSE(expected.fds.empty());

        for (bool diagnostics : {false, true}) {
            SCOPED_TRACE(diagnostics ? "traced" : "quiet");
            Command command = diagnostics ? traced() : quiet();
            command.beforeExec = c.apply;
            forgetChild();
            const Result result = run(command);
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, "");
            const Record record = child();
            ASSERT_TRUE(record.started);
            EXPECT_EQ(record.argv, workedExampleArgv());
            EXPECT_EQ(kinds(record.fds), kinds(expected.fds));
            EXPECT_EQ(record.sigignored, expected.sigignored);
            EXPECT_EQ(record.sighandled, expected.sighandled);
            EXPECT_EQ(record.sigblocked, expected.sigblocked);
            EXPECT_EQ(record.sigpipe, expected.sigpipe);
        }
    }
}

// The comparison above is only as good as the stand-in's report: check that
// the report does show what was set up.
TEST_F(FaultTest, StandinReportsDescriptorsAndSignals) {
    const std::string extraFile = inst.root + "/inherited.txt";
    writeFile(extraFile, "inherited\n");
    Command direct;
    direct.program = inst.eclipse + "/Dashvane";
    direct.argv = {direct.program};
    direct.cwd = inst.eclipse;
    direct.env = baseEnv(inst);

    direct.beforeExec = conditions(extraFile)[1].apply;
    run(direct);
    Record record = child();
    ASSERT_TRUE(record.started);
    EXPECT_EQ(record.fds.at(5), "/dev/null");
    EXPECT_EQ(record.fds.at(9), extraFile);
    EXPECT_EQ(record.fds.at(20), "/dev/zero");
    EXPECT_NE(("," + record.sigignored + ",").find(",2,"), std::string::npos) << record.sigignored;
    EXPECT_NE(("," + record.sigblocked + ",").find(",15,"), std::string::npos) << record.sigblocked;
    EXPECT_EQ(record.sigpipe, "ignored");

    direct.beforeExec = conditions(extraFile)[2].apply;
    run(direct);
    record = child();
    EXPECT_EQ(record.fds.count(STDIN_FILENO), 0u);
    EXPECT_EQ(record.fds.count(5), 0u);
    EXPECT_EQ(record.sigignored, "1,2,13");
    EXPECT_EQ(record.sigblocked, "12,13,15");
}

}  // namespace
