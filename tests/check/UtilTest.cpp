// The checker's plain helpers: the child that runs as the application's
// user, the password file reader and the java launcher's option table.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TempDir.h"
#include "util/ChildProcess.h"
#include "util/Inflate.h"
#include "util/JavaOptions.h"
#include "util/KeySort.h"
#include "util/Passwd.h"
#include "util/Text.h"

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
    // Read once per run for speed, yet an account added since is seen.
    const std::vector<Passwd::Entry> again =
        Passwd::read(dir.write("passwd", file + "\nadded:x:1006:1006::/home/added:/bin/sh\n"));
    ASSERT_EQ(again.size(), names.size() + 1);
    EXPECT_EQ(again.back().name, "added");
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

// Raw deflate data as zlib writes it, in each kind of block, and damaged.
TEST(InflateTest, EachBlockKindAndEveryDamage) {
    const std::string fixed(
        "\xf3\x4d\xcc\xcb\x4c\x4b\x2d\x2e\xd1\x0d\x4b\x2d\x2a\xce\xcc\xcf\xb3\x52\x30\xd4\x33\xe0"
        "\xe5\x72\x2e\x4a\x4d\x2c\x49\x4d\xd1\x75\xaa\xb4\x52\xc8\x48\xcc\x4b\xe1\xe5\xe2\xe5\x02"
        "\x00",
        45);
    const std::string dynamic(
        "\x55\xcf\x3d\x6e\xc3\x30\x0c\x05\xe0\x3d\x80\xef\xe0\x0b\x24\x90\xa8\x1f\x52\xde\x8a\x74"
        "\x6d\xd1\xa9\x3b\x45\x91\xa9\x81\xc6\x29\xe2\xdc\x1f\x55\xa7\xa8\x13\x17\x7e\xef\x91\x6f"
        "\xbc\xad\xa6\xfb\xe3\xf8\xa9\xf7\x7d\xbd\x6d\xcb\xec\x4f\x6e\x3a\x7c\xdc\xf5\xca\xeb\x76"
        "\x3c\x7f\xf3\xbe\x2f\xf3\xfe\x75\xfb\x39\xbd\x5c\x74\x7b\x4c\x87\xe9\xf0\xce\x57\x5d\xe6"
        "\x73\x5f\x7b\x5d\x2f\xdd\x2e\xb3\x98\x34\x70\x14\x4b\x6a\x29\x27\xb5\x9c\x15\x9b\x59\xb1"
        "\x42\x98\x63\xe3\x41\xf9\x41\x45\xe1\x08\x81\xd8\xd5\xd2\x07\xb8\x26\x92\x5c\xe1\x6c\x98"
        "\x7a\x56\x1d\x14\x0c\x8a\xbc\x22\x50\x2b\x2d\x0a\x58\x0e\xd9\x5c\x46\xa3\x22\xe2\x23\x65"
        "\x90\x41\x85\xa7\x52\x91\x2a\x84\x1a\x6b\x12\x05\x53\xa0\xe0\xc8\x5a\x31\x60\xac\x6c\x61"
        "\x50\xf1\xa9\x98\xd0\x2c\x63\x61\xb0\xa0\xe8\x5b\xf1\xe4\x39\x63\xc5\x14\xc1\xc3\xbf\xae"
        "\x34\x74\xf5\x8f\x43\x45\xab\xb5\x57\x85\x98\x1a\x22\x42\xed\x57\x46\x0e\x9e\x5a\xfa\x53"
        "\xbf",
        221);
    const std::string stored(
        "\x01\x0c\x00\xf3\xff"
        "stored words",
        17);
    const std::string manifest = "Manifest-Version: 1.0\r\nCreated-By: hand\r\n\r\n";
    const struct {
        const char* what;
        std::string data;
        std::size_t limit;
        bool read;
        std::string start;  // of what it holds
        std::size_t size;
    } rows[] = {
        {"a fixed-code block", fixed, 1024, true, manifest, manifest.size()},
        {"a dynamic-code block, with copies", dynamic, 1024, true,
         "Manifest-Version: 1.0\r\nPremain-Class: shop.Agent\r\n\r\nName: C0\r\n", 376},
        {"a stored block", stored, 1024, true, "stored words", 12},
        {"more than the limit", dynamic, 375, false, "", 0},
        {"cut short", dynamic.substr(0, 220), 1024, false, "", 0},
        {"a stored block whose lengths disagree",
         "\x01\x0c\x00\xf3\xfe"
         "stored words",
         1024, false, "", 0},
        {"the reserved block type", "\x07", 1024, false, "", 0},
        {"a copy from before the start", std::string("\x03\x02\x00", 3), 1024, false, "", 0},
        {"nothing", "", 1024, false, "", 0},
    };
    for (const auto& row : rows) {
        std::string out;
        EXPECT_EQ(inflateRaw(row.data, row.limit, out), row.read) << row.what;
        if (row.read) {
            EXPECT_EQ(out.substr(0, row.start.size()), row.start) << row.what;
            EXPECT_EQ(out.size(), row.size) << row.what;
        }
    }
}

TEST(KeySortTest, SortsAsAComparisonSortDoes) {
    // Sizes about the point where buckets are used; keys spread, equal,
    // crowded into one bucket, into the first and last, and backwards.
    std::mt19937_64 random(7);
    const std::vector<std::function<std::uint64_t(std::size_t)>> shapes = {
        [&](std::size_t) { return random(); },
        [](std::size_t) { return std::uint64_t{42}; },
        [&](std::size_t) { return (std::uint64_t{0xBEEF} << 48) | (random() >> 16); },
        [&](std::size_t i) { return i % 2 == 0 ? random() >> 16 : ~(random() >> 16); },
        [](std::size_t i) { return ~std::uint64_t{0} - i * 0x9E3779B97F4A7C15ULL; },
        // A few hashes over many lines: the top half shared, the index below.
        [](std::size_t i) { return (std::uint64_t{0xC0FFEE + i % 3} << 32) | (i * 7919 % 65521); },
    };
    for (const std::size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 200000}) {
        for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
            SCOPED_TRACE(std::to_string(size) + " keys of shape " + std::to_string(shape));
            std::vector<std::uint64_t> keys(size);
            for (std::size_t i = 0; i < size; ++i) {
                keys[i] = shapes[shape](i);
            }
            std::vector<std::uint64_t> expected = keys;
            std::sort(expected.begin(), expected.end());
            // On a thread with a stack of 64 KiB, as small as a limit makes it.
            pthread_attr_t small;
            pthread_attr_init(&small);
            pthread_attr_setstacksize(&small, std::size_t{64} << 10);
            pthread_t sorter;
            ASSERT_EQ(pthread_create(
                          &sorter, &small,
                          [](void* sorted) -> void* {
                              sortSpreadKeys(*static_cast<std::vector<std::uint64_t>*>(sorted));
                              return nullptr;
                          },
                          &keys),
                      0);
            pthread_join(sorter, nullptr);
            pthread_attr_destroy(&small);
            EXPECT_TRUE(keys == expected);
        }
    }
}

TEST(TextTest, StartsWithOnlyTheWholePrefix) {
    const struct {
        const char* text;
        const char* prefix;
        bool starts;
    } rows[] = {
        {"", "", true},
        {"abc", "", true},
        {"", "l", false},
        {"l", "launcher", false},
        {"launcher", "launcher", true},
        {"launcher=x", "launcher", true},
        {"launchex", "launcher", false},
        {"Launcher", "launcher", false},
        {"xlauncher", "launcher", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Text::startsWith(row.text, row.prefix), row.starts)
            << row.text << " / " << row.prefix;
    }
}
