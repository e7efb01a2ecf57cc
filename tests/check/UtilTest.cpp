// The checker's plain helpers: the child that runs as the application's
// user, the password file reader and the java launcher's option table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "TempDir.h"
#include "util/ChildProcess.h"
#include "util/JavaOptions.h"
#include "util/Passwd.h"

namespace {

constexpr uid_t NOBODY = 65534;

struct ChildCase {
    const char* name;
    std::vector<std::string> argv;
    bool asNobody;
    std::string directory;
    int limitMs;
    std::size_t outputMax;
    int code;  // -1: killed
    bool timedOut;
    std::string output;
};

TEST(ChildProcessTest, RunsAsTheUserWithinTheLimitCapturingWhatItWrites) {
    const std::size_t all = static_cast<std::size_t>(-1);
    const std::vector<ChildCase> cases = {
        {"user, groups and directory",
         {"/bin/sh", "-c", "id -u; id -G; pwd"},
         true,
         "/tmp",
         0,
         all,
         0,
         false,
         "65534\n65534 100\n/tmp\n"},
        {"only the environment given",
         {"/bin/sh", "-c", "echo \"[$A][$HOME]\""},
         false,
         "/",
         0,
         all,
         0,
         false,
         "[x][]\n"},
        {"errors with the output, input from nowhere",
         {"/bin/sh", "-c", "echo out; echo err >&2; readlink /proc/self/fd/0"},
         false,
         "/",
         0,
         all,
         0,
         false,
         "out\nerr\n/dev/null\n"},
        {"exit code kept", {"/bin/sh", "-c", "exit 7"}, false, "/", 5000, all, 7, false, ""},
        {"silent past the limit", {"/bin/sleep", "30"}, false, "/", 300, all, -1, true, ""},
        {"output closed, still running",
         {"/bin/sh", "-c", "exec >&- 2>&-; sleep 30"},
         false,
         "/",
         300,
         all,
         -1,
         true,
         ""},
        {"output cut, child not held up",
         {"/bin/sh", "-c", "yes | head -c 200000"},
         false,
         "/",
         5000,
         10,
         0,
         false,
         "y\ny\ny\ny\ny\n"},
        {"no such program", {"/nonexistent/program"}, false, "/", 0, all, 127, false, ""},
        {"no such directory", {"/bin/true"}, false, "/nonexistent", 0, all, 3, false, ""},
    };
    for (const ChildCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asNobody && geteuid() != 0) {
            continue;  // only root can become another user
        }
        ChildOptions options;
        options.directory = c.directory;
        options.switchUser = c.asNobody;
        options.uid = NOBODY;
        options.gid = NOBODY;
        options.groups = {NOBODY, 100};
        options.limitMs = c.limitMs;
        options.outputMax = c.outputMax;
        options.cannotSetUp = 3;
        const auto start = std::chrono::steady_clock::now();
        const ChildOutcome outcome = runProgram(c.argv, {"A=x"}, options);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(outcome.ran());
        EXPECT_EQ(outcome.exitCode(), c.code);
        EXPECT_EQ(outcome.timedOut, c.timedOut);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_LT(took, std::chrono::seconds(5));
    }
}

TEST(ChildProcessTest, FunctionAnswersAsTheUserAndThisProcessStaysItself) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can become another user";
    }
    ChildOptions options;
    options.switchUser = true;
    options.uid = NOBODY;
    options.gid = NOBODY;
    options.groups = {NOBODY};
    const ChildOutcome outcome = runFunction(
        [] { return std::to_string(getuid()) + " " + std::to_string(access("/root", W_OK)); },
        options);
    EXPECT_EQ(outcome.exitCode(), 0);
    EXPECT_EQ(outcome.output, "65534 -1");
    EXPECT_EQ(geteuid(), 0u);
    options.directory = "/nonexistent";
    options.cannotSetUp = 3;
    EXPECT_EQ(runFunction([] { return std::string("never"); }, options).exitCode(), 3);
}

struct PasswdCase {
    const char* line;
    bool account;
    const char* name;
    uid_t uid;
    gid_t gid;
    const char* home;
};

TEST(PasswdTest, OddLinesNameNoAccount) {
    const std::vector<PasswdCase> cases = {
        {"root:x:0:0:root:/root:/bin/bash", true, "root", 0, 0, "/root"},
        {"  indented:x:5:6::/home/i:/bin/sh", true, "indented", 5, 6, "/home/i"},
        {"noshell:x:1001:1001::/home/noshell", true, "noshell", 1001, 1001, "/home/noshell"},
        {"colons:x:1002:1002:a:/home/c:/bin/sh:more", true, "colons", 1002, 1002, "/home/c"},
        {"crlf:x:1003:1003::/home/crlf:/bin/sh\r", true, "crlf", 1003, 1003, "/home/crlf"},
        {"zeros:x:0001004:01004::/home/z:/bin/sh", true, "zeros", 1004, 1004, "/home/z"},
        {"", false, "", 0, 0, ""},
        {"# comment:x:1:1::/:/bin/sh", false, "", 0, 0, ""},
        {"+::::::", false, "", 0, 0, ""},
        {"+@admins:x:0:0::/:/bin/sh", false, "", 0, 0, ""},
        {"-evil:x:7:7::/:/bin/sh", false, "", 0, 0, ""},
        {"short:x:1000:1000", true, "short", 1000, 1000, ""},
        {"three:x:1000", false, "", 0, 0, ""},
        {"wraps:x:4294967296:0::/:/bin/sh", false, "", 0, 0, ""},
        {"noone:x:4294967295:0::/:/bin/sh", false, "", 0, 0, ""},
        {"negative:x:-1:0::/:/bin/sh", false, "", 0, 0, ""},
        {"words:x:abc:0::/:/bin/sh", false, "", 0, 0, ""},
        {"noid:x::0::/:/bin/sh", false, "", 0, 0, ""},
        {"::1:1::/:/bin/sh", false, "", 0, 0, ""},
    };
    std::string file;
    std::vector<std::string> names;
    for (const PasswdCase& c : cases) {
        SCOPED_TRACE(c.line);
        Passwd::Entry entry;
        ASSERT_EQ(Passwd::parse(c.line, entry), c.account);
        if (c.account) {
            EXPECT_EQ(entry.name, c.name);
            EXPECT_EQ(entry.uid, c.uid);
            EXPECT_EQ(entry.gid, c.gid);
            EXPECT_EQ(entry.home, c.home);
            names.push_back(c.name);
        }
        file += std::string(c.line) + "\n";
    }
    // The file as a whole: the accounts in order, a last line without its newline kept.
    TempDir dir;
    file += "last:x:1005:1005::/home/last:/bin/sh";
    names.push_back("last");
    std::vector<std::string> read;
    for (const Passwd::Entry& entry : Passwd::read(dir.write("passwd", file))) {
        read.push_back(entry.name);
    }
    EXPECT_EQ(read, names);
    EXPECT_TRUE(Passwd::read(dir.path() + "/missing").empty());
}

TEST(JavaOptionsTest, ExactNamesAndNamesThatTakeTheirValue) {
    struct Row {
        const char* argument;
        bool known;
        bool next;
        bool telling;
    };
    const Row rows[] = {
        {"-cp", true, true, false},          {"-cpx", false, false, false},
        {"--add-opens", true, true, false},  {"--add-opens=a/b=c", true, false, true},
        {"-verbose", true, false, true},     {"-verbose:gc", true, false, true},
        {"-verbosegc", false, false, false}, {"-enableassertions:x", true, false, false},
        {"-ea:com.x...", true, false, true}, {"-h", true, false, false},
        {"-help-me", false, false, false},   {"--illegal-access=deny", true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argument);
        const JavaOption* option = javaOption(row.argument);
        ASSERT_EQ(option != nullptr, row.known);
        if (option != nullptr) {
            EXPECT_EQ(option->next, row.next);
            EXPECT_EQ(option->telling, row.telling);
        }
    }
}

}  // namespace
