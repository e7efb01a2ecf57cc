// The checker's plain helpers: the password file reader and the java
// launcher's option table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempDir.h"
#include "util/JavaOptions.h"
#include "util/Passwd.h"

namespace {

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
