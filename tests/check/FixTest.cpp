// --fix and --diff: ini files mended by the built checker and run by the real
// launcher, diffs against diff(1), and the rewrite under faults provoked for
// real (a full file system, read-only mounts, another user's file, a change
// and a kill while strace holds back the rename).
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>

#include "LauncherFixture.h"
#include "Readable.h"
#include "fix/IniFix.h"
#include "fix/UnifiedDiff.h"

namespace fs = boost::filesystem;
using namespace dvltest;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Command checker(const Installation& inst, const std::vector<std::string>& args) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check"};
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.cwd = inst.root;
    command.env = baseEnv(inst);
    return command;
}

std::vector<std::string> launch(const Installation& inst) {
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    run(command);
    const Record record = readRecord(inst.record);
    fs::remove(inst.record);
    return record.argv;
}

// What `diff -a -u` writes for the files `a` and `b`, labelled a/NAME and b/NAME.
std::string realDiff(const Installation& inst, const std::string& a, const std::string& b,
                     const std::string& name) {
    Command command;
    command.program = findProgram("diff");
    command.argv = {"diff", "-a", "-u", "--label", "a/" + name, "--label", "b/" + name, a, b};
    command.cwd = inst.root;
    command.env = baseEnv(inst);
    return run(command).out;
}

// Temporary files of the rewrite beside run.ini.
std::vector<std::string> temporaries(const std::string& dir) {
    std::vector<std::string> found;
    for (fs::directory_iterator it(dir), end; it != end; ++it) {
        if (it->path().filename().native().find(".dvl-fix-") != std::string::npos) {
            found.push_back(it->path().filename().native());
        }
    }
    return found;
}

// `text` saved as UTF-16 (`width` 2) or UTF-32 (4), without a mark unless it
// begins with U+FEFF.
std::string wide(const std::u32string& text, int width, bool little) {
    std::string bytes;
    for (const char32_t code : text) {
        std::vector<char32_t> units = {code};
        if (width == 2 && code > 0xFFFF) {
            units = {0xD800 + ((code - 0x10000) >> 10), 0xDC00 + (code & 0x3FF)};
        }
        for (const char32_t unit : units) {
            for (int i = 0; i < width; ++i) {
                bytes += static_cast<char>(unit >> 8 * (little ? i : width - 1 - i) & 0xFF);
            }
        }
    }
    return bytes;
}

// --- Mending: before, after, and the vector the original plainly meant ------

struct Mending {
    const char* name;
    std::string before;
    std::string after;
    const char* executable;          // "" for the installation's Dashvane
    std::vector<std::string> meant;  // the elements after the two seeds
};

// @RUNNER@ is a second copy of the stand-in, @APP@ the application directory.
// clang-format off
const std::vector<Mending> MENDINGS = {
    {"byte-order marks, two of them", "\xEF\xBB\xBF\xEF\xBB\xBF-vmargs\n-Xmx1g\n",
     "-vmargs\n-Xmx1g\n", "", {"-Xmx1g", "-Ddv.webApp=demo"}},
    {"UTF-16LE with a mark and CRLF line ends, a character beyond the BMP",
     wide(U"\uFEFF-vmargs\r\n-Dsmile=\U0001F600\r\n", 2, true),
     "-vmargs\r\n-Dsmile=\xF0\x9F\x98\x80\r\n", "", {"-Dsmile=\xF0\x9F\x98\x80", "-Ddv.webApp=demo"}},
    {"UTF-16BE without a mark", wide(U"-vmargs\n-Dname=\u00e9t\u00e9\n", 2, false),
     "-vmargs\n-Dname=\xC3\xA9t\xC3\xA9\n", "", {"-Dname=\xC3\xA9t\xC3\xA9", "-Ddv.webApp=demo"}},
    {"UTF-32LE with a mark", wide(U"\uFEFF-vmargs\n-Xrs\n", 4, true), "-vmargs\n-Xrs\n", "",
     {"-Xrs", "-Ddv.webApp=demo"}},
    {"UTF-32BE without a mark", wide(U"-vmargs\n-Xrs\n", 4, false), "-vmargs\n-Xrs\n", "",
     {"-Xrs", "-Ddv.webApp=demo"}},
    {"carriage returns alone", "launcher=@RUNNER@\r-vmargs\r-Xrs\r-Ddv.appInitScript=init.js\r",
     "launcher=@RUNNER@\n-vmargs\n-Xrs\n-Ddv.appInitScript=init.js\n", "@RUNNER@",
     {"-Xrs", "-Ddv.appInitScript=@APP@/init.js", "-Ddv.webApp=demo"}},
    {"blanks around = and letter case of the keys and of -vmargs",
     "Launcher = @RUNNER@\n-VMARGS\n-Ddv.WebApp = shop\n  -Ddv.appConfigFile= conf/a.cfg\t\n"
     "-DDV.APPINITSCRIPT =init.js\n",
     "launcher=@RUNNER@\n-vmargs\n-Ddv.webApp=shop\n  -Ddv.appConfigFile=conf/a.cfg\t\n"
     "-Ddv.appInitScript=init.js\n", "@RUNNER@",
     {"-Ddv.webApp=shop", "-Ddv.appConfigFile=@APP@/conf/a.cfg", "-Ddv.appInitScript=@APP@/init.js"}},
    {"launcher below -vmargs, name above it, no newline at the end",
     "-Ddv.webApp=shop\n-vmargs\n-Xrs\nlauncher=@RUNNER@",
     "launcher=@RUNNER@\n-vmargs\n-Ddv.webApp=shop\n-Xrs", "@RUNNER@", {"-Ddv.webApp=shop", "-Xrs"}},
    {"missing -vmargs, a comment among the arguments",
     "launcher=@RUNNER@\n-Xmx1g\n# heap\n-Ddv.appProgramFile=main.prg\n",
     "launcher=@RUNNER@\n# heap\n-vmargs\n-Xmx1g\n-Ddv.appProgramFile=main.prg\n", "@RUNNER@",
     {"-Xmx1g", "-Ddv.appProgramFile=@APP@/main.prg", "-Ddv.webApp=demo"}},
    // Mends of the whole file and the mends they bring out, in one run.
    {"UTF-16 whose first line is -VMARGS, with a comment among the arguments",
     wide(U"\uFEFF-VMARGS\n-Xmx1g\n# heap\n", 2, true), "# heap\n-vmargs\n-Xmx1g\n", "",
     {"-Xmx1g", "-Ddv.webApp=demo"}},
    {"carriage returns alone hiding a letter case", "Launcher=@RUNNER@\r-vmargs\r-Xrs\r",
     "launcher=@RUNNER@\n-vmargs\n-Xrs\n", "@RUNNER@", {"-Xrs", "-Ddv.webApp=demo"}},
    {"comments below -vmargs move up, CRLF kept", "-vmargs\r\n# old\r\n;-Xmx8g\r\n-Xmx1g\r\n",
     "# old\r\n;-Xmx8g\r\n-vmargs\r\n-Xmx1g\r\n", "", {"-Xmx1g", "-Ddv.webApp=demo"}},
    // Unchanged: a variant above the launcher line the launcher takes, two
    // names, a launcher line below -vmargs with one above, a second -vmargs.
    {"intent not plain", "Launcher=/opt/a\nlauncher=@RUNNER@\n-vmargs\n-Ddv.webApp=a\n"
     "-Ddv.WebApp = b\nlauncher=/opt/c\n-VMARGS\n", "", "@RUNNER@",
     {"-Ddv.webApp=a", "-Ddv.WebApp = b", "launcher=/opt/c", "-VMARGS"}},
    {"-VMARGS with two launcher lines below it", "-VMARGS\nlauncher=@RUNNER@\nlauncher=/opt/b\n-Xrs\n",
     "", "@RUNNER@", {"-Ddv.webApp=demo"}},
    {"text that is no VM argument gets no -vmargs", "-Xmx1g\nsee the wiki\n", "", "",
     {"-Ddv.webApp=demo"}},
};
// clang-format on

TEST(FixMending, TheLauncherReadsTheMendedFileAsTheOriginalPlainlyMeant) {
    for (const Mending& row : MENDINGS) {
        SCOPED_TRACE(row.name);
        const Installation inst;
        const std::string runner = inst.eclipse + "/Runner";
        copyFile(standinBinary(), runner, 0755);
        const auto expand = [&](std::string text) {
            boost::replace_all(text, "@RUNNER@", runner);
            boost::replace_all(text, "@APP@", inst.appDir);
            return text;
        };
        const std::string before = expand(row.before);
        const std::string after = row.after.empty() ? before : expand(row.after);
        std::vector<std::string> meant = {
            *row.executable != '\0' ? expand(row.executable) : inst.eclipse + "/Dashvane",
            "--launcher.appendVmargs", "-vmargs"};
        for (const std::string& element : row.meant) {
            meant.push_back(expand(element));
        }
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(before);

        const Result diff = run(checker(inst, {"--diff", inst.appDir}));
        EXPECT_EQ(readFile(ini), before) << "--diff changed the file";
        const Result fixed = run(checker(inst, {"--fix", inst.appDir}));
        EXPECT_TRUE(fixed.exitCode == 0 || fixed.exitCode == 1) << fixed.err;
        EXPECT_EQ(readFile(ini), after);
        EXPECT_EQ(launch(inst), meant);
        // The diff is the change made, as diff(1) itself shows it, and
        // patch(1) makes of the original what --fix wrote.
        EXPECT_EQ(diff.out, after == before ? "" : realDiff(inst, ini + "~", ini, ini.substr(1)));
        if (after != before) {
            writeFile(inst.root + "/patched", before);
            writeFile(inst.root + "/the.diff", diff.out);
            Command patch;
            patch.program = findProgram("patch");
            patch.argv = {"patch", "-s", "-i", inst.root + "/the.diff", inst.root + "/patched"};
            patch.cwd = inst.root;
            patch.env = baseEnv(inst);
            EXPECT_EQ(run(patch).exitCode, 0);
            EXPECT_EQ(readFile(inst.root + "/patched"), after);
        }
        EXPECT_EQ(fs::exists(ini + "~") ? readFile(ini + "~") : before, before);
        // The check no longer reports a kind that was mended.
        std::istringstream lines(fixed.out);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t kind = line.rfind(" [");
            if (line.find(": fixed: ") != std::string::npos && kind != std::string::npos) {
                const std::string name = line.substr(kind + 2, line.size() - kind - 3);
                const Result after = run(checker(inst, {"--json", inst.appDir}));
                EXPECT_EQ(after.out.find("\"kind\":\"" + name + "\""), std::string::npos)
                    << name << " still reported:\n"
                    << after.out;
            }
        }
        // Idempotent.
        EXPECT_EQ(run(checker(inst, {"--diff", inst.appDir})).out, "");
        EXPECT_EQ(fixIni(readFile(ini)).fixes.size(), 0u);
    }
}

TEST(FixMending, WideFilesThatCannotBeConvertedWithoutLossAreLeftAsTheyAre) {
    const std::u32string head = U"\uFEFF-vmargs\n-Da=";
    // clang-format off
    const std::vector<std::pair<const char*, std::string>> refused = {
        {"unpaired high surrogate", wide(head, 2, true) + "\x3D\xD8" + "\n\0"},
        {"unpaired low surrogate", wide(head, 2, false) + "\xDC\x00\0\n"},
        {"ends inside a character", wide(head, 2, true) + "-"},
        {"NUL character", wide(head, 2, true) + std::string("\0\0\n\0", 4)},
        {"beyond U+10FFFF", wide(head, 4, false) + std::string("\0\x11\0\0", 4)},
    };
    // clang-format on
    for (const auto& row : refused) {
        SCOPED_TRACE(row.first);
        const Installation inst;
        inst.writeIni(row.second);
        const Result fixed = run(checker(inst, {"--fix", inst.appDir}));
        EXPECT_EQ(fixed.exitCode, 2);
        EXPECT_NE(fixed.err.find("not converted from UTF-"), std::string::npos) << fixed.err;
        EXPECT_EQ(readFile(inst.appDir + "/run.ini"), row.second);
        EXPECT_FALSE(fs::exists(inst.appDir + "/run.ini~"));
    }
}

// The bytes that carry meaning: no white space, no marks, letter case aside.
std::string meaningful(std::string text) {
    boost::replace_all(text, "\xEF\xBB\xBF", "");
    std::string kept;
    for (char c : text) {
        if (std::string(" \t\n\r\v\f").find(c) == std::string::npos) {
            kept += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

TEST(FixMending, MixedMistakesAreMendedOnceAndNoByteIsLost) {
    // clang-format off
    const std::vector<std::string> pool = {
        "-vmargs", "-VMARGS", "launcher=/a", "Launcher = /b", "launcher", "launcher =",
        "-Ddv.webApp=x", "-Ddv.WebApp = y", "-Ddv.webApp", "# c", ";c", "-Xmx1g", "-Dfoo=bar",
        "text", "", "  -Ddv.appConfigFile= c.cfg ", "-DDV.APPINITSCRIPT=i.js",
        "\xEF\xBB\xBF-vmargs", "-vmargs=1", "-ea", "x\ry", "\r"};
    // clang-format on
    const std::vector<std::string> ends = {"\n", "\r\n", "\r", ""};
    unsigned state = 1;
    const auto pick = [&state](std::size_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string file;
        for (std::size_t n = pick(8); n > 0; --n) {
            file += pool[pick(pool.size())] + ends[pick(ends.size())];
        }
        // A mend of the whole file (its encoding, its line ends) is made
        // alone, and its lines are mended on the next run: at most three
        // runs reach the end, and a fourth changes nothing.
        const auto settled = [](std::string bytes, bool& inserted) {
            for (int run = 0; run < 3; ++run) {
                const IniFixResult once = fixIni(bytes);
                inserted = inserted || std::any_of(once.fixes.begin(), once.fixes.end(),
                                                   [](const AppliedFix& fix) {
                                                       return fix.kind == KindId::MissingVmargs;
                                                   });
                bytes = once.bytes;
            }
            return bytes;
        };
        bool inserted = false;
        const std::string once = settled(file, inserted);
        const IniFixResult twice = fixIni(once);
        ASSERT_EQ(twice.bytes, once) << file;
        ASSERT_EQ(twice.fixes.size(), 0u) << file;
        ASSERT_EQ(meaningful(once), meaningful(file + (inserted ? "-vmargs" : ""))) << file;
        // The same file saved as UTF-16 mends to the same bytes.
        if (file.find('\xEF') == std::string::npos) {
            const std::u32string text(file.begin(), file.end());
            bool wideInserted = false;
            ASSERT_EQ(settled(wide(U"\uFEFF" + text, 2, true), wideInserted), once) << file;
        }
    }
}

// --- The diff is diff(1)'s --------------------------------------------------------

TEST(FixDiff, IsWhatDiffWritesForEveryPair) {
    // clang-format off
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"", ""}, {"", "a\n"}, {"a\n", ""}, {"a", "a\n"}, {"a\nb", "a\nc"}, {"a\r\nb\r\n", "a\nb\r\n"},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n",
         "1\n2\nx\n4\n5\n6\n7\n8\n9\ny\n11\n12\n13\n14\n15\n16\nz\n"},
        {"1\n2\n3\n4\n5\n6\n7\n8\n", "1\nx\n3\n4\n5\n6\n7\n8\ny"}, {"\n\n\n", "\n\n\n\n"},
        {"a\nb\na\nb\n", "a\nb\n"}, {"# c\n-v\n-X\n# d\n", "# c\n# d\n-v\n-X\n"},
    };
    // clang-format on
    // Pseudo-random files over four lines, where many scripts are shortest:
    // unrelated pairs, and files with a few lines inserted, removed or changed.
    unsigned state = 7;
    const auto pick = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    for (int i = 0; i < 400; ++i) {
        std::vector<std::string> a;
        for (unsigned n = pick(i % 2 == 0 ? 16 : 40); n > 0; --n) {
            a.push_back(std::string("ab\nc").substr(pick(4), 1) + "\n");
        }
        std::vector<std::string> b = a;
        for (unsigned n = 1 + pick(4); n > 0 && i % 2 == 1; --n) {
            const auto at = b.begin() + pick(static_cast<unsigned>(b.size()) + 1);
            if (pick(2) == 0 || at == b.end()) {
                b.insert(at, std::string("xa\n").substr(pick(3), 1) + "\n");
            } else {
                b.erase(at);
            }
        }
        for (unsigned n = pick(16); n > 0 && i % 2 == 0; --n) {
            b.push_back(std::string("ab\nc").substr(pick(4), 1) + "\n");
        }
        const auto join = [](const std::vector<std::string>& lines) {
            std::string text;
            for (const std::string& line : lines) {
                text += line;
            }
            return text;
        };
        pairs.emplace_back(join(a),
                           join(i % 2 == 0 ? std::vector<std::string>(
                                                 b.begin() + static_cast<long>(a.size()), b.end())
                                           : b));
    }
    const Installation inst;
    for (const auto& pair : pairs) {
        writeFile(inst.root + "/a", pair.first);
        writeFile(inst.root + "/b", pair.second);
        ASSERT_EQ(unifiedDiff(pair.first, pair.second, "a/x", "b/x"),
                  realDiff(inst, inst.root + "/a", inst.root + "/b", "x"))
            << "before:\n"
            << pair.first << "after:\n"
            << pair.second;
    }
}

TEST(FixDiff, OnATerminalEscapesTheLinesItCannotShowAndNoOthers) {
    const std::string header =
        "# dashvane-launcher-check: lines with bytes that are not printable text are shown "
        "escaped, C style; piped, --diff writes the bytes themselves, for patch\n";
    const std::string plain = "--- a/x\n+++ b/x\n@@ -1 +1 @@\n-a\tb \"q\" \\ \xC3\xA9\n+c\n";
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> rows = {
        {plain, plain},
        {std::string("@@ -1,2 +1 @@\n-\xFF\xFE-\0X\0\n+-X\n", 26),
         header + "@@ -1,2 +1 @@\n-\\xff\\xfe-\\x00X\\x00\n+-X\n"},
        {"@@ -1 +1 @@\n-\xEF\xBB\xBF-vmargs\t\"x\"\n+-vmargs\r\n\\ No newline at end of file\n",
         header + "@@ -1 +1 @@\n-\\u{FEFF}-vmargs\\t\\\"x\\\"\n+-vmargs\\r\n"
                  "\\ No newline at end of file\n"},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(readableDiff(row.first), row.second) << row.first;
    }
}

// --- The rewrite --------------------------------------------------------------------

// Its launcher line names a program that exists: a mend that would start one
// that does not is not made.
const std::string MENDABLE = "\xEF\xBB\xBFlauncher = /bin/true\n-VMARGS\n-Xmx1g\n";

TEST(FixRewrite, KeepsOwnerModeAndLinksAndRefusesWhatIsNoRegularFile) {
    DVL_REQUIRE_ROOT();
    {
        SCOPED_TRACE("a symbolic link: its target is replaced");
        const Installation inst;
        writeFile(inst.root + "/ws/shared.ini", MENDABLE, 0640);
        ASSERT_EQ(chown((inst.root + "/ws/shared.ini").c_str(), UNPRIVILEGED_ID, 100), 0);
        fs::create_symlink("../../shared.ini", inst.appDir + "/run.ini");
        // The file's owner is the application's user: no one else may change it.
        EXPECT_EQ(run(checker(inst, {"--fix", "--user", "nobody", inst.appDir})).exitCode, 0);
        EXPECT_TRUE(fs::is_symlink(inst.appDir + "/run.ini"));
        EXPECT_EQ(readFile(inst.root + "/ws/shared.ini"), "launcher=/bin/true\n-vmargs\n-Xmx1g\n");
        EXPECT_EQ(readFile(inst.root + "/ws/shared.ini~"), MENDABLE);
        struct stat status {};
        stat((inst.root + "/ws/shared.ini").c_str(), &status);
        EXPECT_EQ(status.st_uid, UNPRIVILEGED_ID);
        EXPECT_EQ(status.st_gid, 100u);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
    }
    {
        SCOPED_TRACE("--no-backup");
        const Installation inst;
        inst.writeIni(MENDABLE);
        EXPECT_EQ(run(checker(inst, {"--fix", "--no-backup", inst.appDir})).exitCode, 0);
        EXPECT_FALSE(fs::exists(inst.appDir + "/run.ini~"));
    }
    for (const char* kind : {"directory", "named pipe"}) {
        SCOPED_TRACE(kind);
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        ASSERT_EQ(*kind == 'd' ? mkdir(ini.c_str(), 0755) : mkfifo(ini.c_str(), 0644), 0);
        const Result result = run(checker(inst, {"--fix", inst.appDir}));
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("not a regular file"), std::string::npos) << result.err;
    }
}

// --- Backups: the original is never lost -------------------------------------

struct BackupRow {
    const char* name;
    std::vector<std::string> options;                        // with --fix
    std::vector<std::pair<std::string, std::string>> there;  // files beside run.ini before
    std::vector<std::string> runs;  // what run.ini holds before each --fix; "" leaves it
    std::vector<std::pair<std::string, std::string>> after;  // "" for a file that is not there
    bool refused;                                            // the last run exits 2
};

const std::string WIDE_CASE = wide(U"\uFEFF-VMARGS\n-Xmx1g\n", 2, true);

// clang-format off
const std::vector<BackupRow> BACKUPS = {
    {"UTF-16 then letter case in one run; the runs after it keep that backup", {}, {},
     {WIDE_CASE, "", ""},
     {{"run.ini", "-vmargs\n-Xmx1g\n"}, {"run.ini~", WIDE_CASE}, {"run.ini.~1~", ""}}, false},
    {"each later mend gets the next numbered backup", {}, {},
     {"-VMARGS\n-Xrs\n", "\xEF\xBB\xBF-vmargs\n-Xint\n", "-vmargs\n-Ddv.WebApp = x\n"},
     {{"run.ini~", "-VMARGS\n-Xrs\n"}, {"run.ini.~1~", "\xEF\xBB\xBF-vmargs\n-Xint\n"},
      {"run.ini.~2~", "-vmargs\n-Ddv.WebApp = x\n"}, {"run.ini.~3~", ""}}, false},
    {"a numbered backup there: the next number, never NAME~", {}, {{"run.ini.~2~", "old"}},
     {"-VMARGS\n-Xrs\n"},
     {{"run.ini.~2~", "old"}, {"run.ini.~3~", "-VMARGS\n-Xrs\n"}, {"run.ini~", ""}}, false},
    {"--backup=numbered: one past the highest", {"--backup=numbered"},
     {{"run.ini.~7~", "old"}, {"run.ini.~x~", "other"}}, {"-VMARGS\n-Xrs\n"},
     {{"run.ini.~7~", "old"}, {"run.ini.~8~", "-VMARGS\n-Xrs\n"}, {"run.ini~", ""}}, false},
    {"--backup=simple with NAME~ there: refused, nothing changed", {"--backup=simple"},
     {{"run.ini~", "old"}}, {"-VMARGS\n-Xrs\n"},
     {{"run.ini", "-VMARGS\n-Xrs\n"}, {"run.ini~", "old"}, {"run.ini.~1~", ""}}, true},
    {"--backup=simple", {"--backup=simple"}, {}, {"-VMARGS\n-Xrs\n"},
     {{"run.ini", "-vmargs\n-Xrs\n"}, {"run.ini~", "-VMARGS\n-Xrs\n"}}, false},
    {"--backup=none", {"--backup=none"}, {{"run.ini~", "old"}}, {"-VMARGS\n-Xrs\n"},
     {{"run.ini", "-vmargs\n-Xrs\n"}, {"run.ini~", "old"}, {"run.ini.~1~", ""}}, false},
    {"--no-backup after --backup=numbered: the last one said", {"--backup=numbered", "--no-backup"},
     {}, {"-VMARGS\n-Xrs\n"}, {{"run.ini.~1~", ""}, {"run.ini~", ""}}, false},
};
// clang-format on

TEST(FixBackup, TheOriginalIsNeverOverwrittenWhateverTheRuns) {
    for (const BackupRow& row : BACKUPS) {
        SCOPED_TRACE(row.name);
        const Installation inst;
        for (const auto& file : row.there) {
            writeFile(inst.appDir + "/" + file.first, file.second, 0644);
        }
        std::vector<std::string> args = {"--fix"};
        args.insert(args.end(), row.options.begin(), row.options.end());
        args.push_back(inst.appDir);
        int status = 0;
        for (const std::string& text : row.runs) {
            if (!text.empty()) {
                inst.writeIni(text);
            }
            const Result fixed = run(checker(inst, args));
            status = fixed.exitCode;
        }
        EXPECT_EQ(status == 2, row.refused) << status;
        for (const auto& file : row.after) {
            const std::string path = inst.appDir + "/" + file.first;
            EXPECT_EQ(fs::exists(path) ? readFile(path) : "", file.second) << file.first;
        }
        EXPECT_EQ(temporaries(inst.appDir), std::vector<std::string>());
    }
}

// Mounts on `dir` for the life of the object; `ok` is false where mounting
// is not permitted.
struct Mount {
    std::string dir;
    bool ok = false;
    Mount(const std::string& dir, const char* type, const char* source, unsigned long flags,
          const char* data)
        : dir(dir), ok(mount(source, dir.c_str(), type, flags, data) == 0) {}
    ~Mount() {
        if (ok) {
            umount2(dir.c_str(), MNT_DETACH);
        }
    }
};

// A --fix that must fail, run as given, with what must be left: the
// original byte for byte, no temporary file, no backup.
void expectFailedFix(const Installation& inst, Command command, const std::string& error) {
    const std::string ini = inst.appDir + "/run.ini";
    const Result result = run(command);
    EXPECT_EQ(result.exitCode, 2) << result.out;
    EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
    EXPECT_EQ(readFile(ini), MENDABLE);
    EXPECT_EQ(temporaries(inst.appDir), std::vector<std::string>());
    EXPECT_FALSE(fs::exists(ini + "~"));
}

TEST(FixFaults, FullFileSystemReadOnlyMountsAndAnotherUsersFileLeaveTheOriginal) {
    DVL_REQUIRE_ROOT();
    // As user 65534, through setpriv: a directory it cannot write, and a
    // file whose owner it cannot give the new file.
    for (const bool ownDirectory : {false, true}) {
        SCOPED_TRACE(ownDirectory ? "another user's file" : "a read-only directory");
        const Installation inst;
        inst.writeIni(MENDABLE);
        fs::permissions(inst.appDir + "/run.ini", static_cast<fs::perms>(0666));
        if (ownDirectory) {
            ASSERT_EQ(chown(inst.appDir.c_str(), UNPRIVILEGED_ID, UNPRIVILEGED_ID), 0);
        }
        Command command = checker(inst, {"--fix", inst.appDir});
        command.argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        if (needsEmulator(command.program)) {
            command.argv.insert(command.argv.end(), emulator().begin(), emulator().end());
        }
        command.argv.insert(command.argv.end(), {command.program, "--fix", inst.appDir});
        command.program = findProgram("setpriv");
        expectFailedFix(inst, command,
                        ownDirectory ? "Operation not permitted" : "Permission denied");
    }
    {
        SCOPED_TRACE("a tmpfs of 64 KiB, filled up");
        const Installation inst;
        const Mount small(inst.appDir, "tmpfs", "tmpfs", 0, "size=64k");
        if (!small.ok) {
            GTEST_SKIP() << "mounting a tmpfs is not permitted here";
        }
        inst.writeIni(MENDABLE);
        std::ofstream filler(inst.appDir + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
            filler.flush();
        }
        filler.close();
        expectFailedFix(inst, checker(inst, {"--fix", inst.appDir}), "No space left on device");
    }
    {
        SCOPED_TRACE("a read-only bind mount");
        const Installation inst;
        inst.writeIni(MENDABLE);
        const Mount bind(inst.appDir, nullptr, inst.appDir.c_str(), MS_BIND, nullptr);
        if (!bind.ok) {
            GTEST_SKIP() << "bind mounts are not permitted here";
        }
        ASSERT_EQ(
            mount(nullptr, inst.appDir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
            0);
        expectFailedFix(inst, checker(inst, {"--fix", inst.appDir}), "Read-only file system");
    }
}

// The checker under strace, held at the entry of its first renameat2 (the
// swap of the new file into place) for two seconds.
class HeldRename {
public:
    explicit HeldRename(const Installation& inst) {
        const std::string log = inst.root + "/strace.log";
        const std::string out = inst.root + "/out";
        // clang-format off
        std::vector<std::string> argv = {findProgram("strace"), "-qq", "-o", log, "-e", "trace=renameat2",
            "-e", "inject=renameat2:delay_enter=2000000:when=1", "--", DVL_CHECK_BINARY, "--fix",
            "--root", inst.root + "/no-starts", inst.appDir};
        // clang-format on
        // Under strace, reading every script along PATH for start files
        // takes tens of seconds: an empty prefix has none.
        fs::create_directories(inst.root + "/no-starts");
        strace = fork();
        if (strace == 0) {
            // LeakSanitizer stops the world with ptrace, which a traced
            // process cannot do.
            const char* asan = std::getenv("ASAN_OPTIONS");
            setenv("ASAN_OPTIONS",
                   (std::string(asan != nullptr ? asan : "") + ":detect_leaks=0").c_str(), 1);
            const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> args;
            for (std::string& arg : argv) {
                args.push_back(&arg[0]);
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        // Wait until the checker itself stands at the rename.
        const std::string call = std::to_string(SYS_renameat2) + " ";
        const std::string self = std::to_string(strace);
        for (int i = 0; i < 6000 && !held; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::istringstream(readFile("/proc/" + self + "/task/" + self + "/children")) >>
                checkerPid;
            held = checkerPid > 0 &&
                   readFile("/proc/" + std::to_string(checkerPid) + "/syscall").rfind(call, 0) == 0;
        }
    }
    // The checker's exit status, or -1 when killed.
    int finish() {
        int status = 0;
        waitpid(strace, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t strace = -1;
    pid_t checkerPid = 0;
    bool held = false;
};

TEST(FixFaults, AChangeOrAKillWhileTheRenameIsHeldBackLeavesTheFile) {
    DVL_REQUIRE_STRACE();
    for (const bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "changed in place" : "replaced by another rename");
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(MENDABLE);
        HeldRename rename(inst);
        ASSERT_TRUE(rename.held) << readFile(inst.root + "/out");
        const std::string edited = "-vmargs\n-Xedited\n";
        if (inPlace) {
            std::ofstream(ini, std::ios::binary | std::ios::trunc) << edited;
        } else {
            writeFile(ini + ".new", edited);
            fs::rename(ini + ".new", ini);
        }
        EXPECT_EQ(rename.finish(), 2) << readFile(inst.root + "/out");
        EXPECT_NE(readFile(inst.root + "/out").find("changed since it was read"),
                  std::string::npos);
        EXPECT_EQ(readFile(ini), edited);
        EXPECT_EQ(temporaries(inst.appDir), std::vector<std::string>());
        EXPECT_FALSE(fs::exists(ini + "~"));
    }
    {
        SCOPED_TRACE("a file system that cannot swap: backup, check, rename");
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(MENDABLE);
        Command command = checker(inst, {"--fix", inst.appDir});
        const std::string root = inst.root + "/no-starts";
        fs::create_directories(root);
        command.argv = {"strace", "-qq",
                        "-o",     inst.root + "/strace.log",
                        "-e",     "inject=renameat2:error=EINVAL",
                        "--",     command.program,
                        "--fix",  "--root",
                        root,     inst.appDir};
        command.program = findProgram("strace");
        command.env["ASAN_OPTIONS"] += ":detect_leaks=0";
        EXPECT_EQ(run(command).exitCode, 0);
        EXPECT_NE(readFile(inst.root + "/strace.log").find("EINVAL (Invalid argument) (INJECTED)"),
                  std::string::npos);
        EXPECT_EQ(readFile(ini), "launcher=/bin/true\n-vmargs\n-Xmx1g\n");
        EXPECT_EQ(readFile(ini + "~"), MENDABLE);
        EXPECT_EQ(temporaries(inst.appDir), std::vector<std::string>());
    }
    {
        SCOPED_TRACE("kill -9 before the rename");
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(MENDABLE);
        HeldRename rename(inst);
        ASSERT_TRUE(rename.held) << readFile(inst.root + "/out");
        kill(rename.checkerPid, SIGKILL);
        rename.finish();
        EXPECT_EQ(readFile(ini), MENDABLE);
        EXPECT_EQ(temporaries(inst.appDir).size(), 1u) << "the kill left no temporary file";
        // The next run removes it and mends the file.
        EXPECT_EQ(run(checker(inst, {"--fix", inst.appDir})).exitCode, 0);
        EXPECT_EQ(temporaries(inst.appDir), std::vector<std::string>());
        EXPECT_EQ(readFile(ini), "launcher=/bin/true\n-vmargs\n-Xmx1g\n");
    }
}

}  // namespace

// --- The check and --fix decide alike ----------------------------------------------

struct Decision {
    const char* name;
    std::string ini;
    std::vector<std::string> reported;  // substrings of the check's output, in order
    std::string notReported;            // a substring the check must not print
    std::string fixed;                  // the file after --fix; "" for unchanged
    std::string diffNote;               // on --diff's standard error
};

// `head` and `tail` with comment lines between them, `size` bytes in all.
std::string padded(const std::string& head, const std::string& tail, std::size_t size) {
    std::string text = head;
    while (text.size() + tail.size() < size) {
        const std::size_t room = size - text.size() - tail.size();
        text += room <= 64 ? "#" + std::string(room - 1, 'x') : "#" + std::string(62, 'x') + "\n";
    }
    return text + tail;
}

TEST(FixDecision, TheCheckDiffAndFixTakeTheSameDecision) {
    const std::size_t mostMended = 1024 * 1024;
    // clang-format off
    const std::vector<Decision> rows = {
        {"a file of the largest size --fix mends is mended",
         padded("Launcher=/bin/true\n", "\n-vmargs\n-Xmx1g\n", mostMended),
         {"[letter-case]"}, "--fix leaves it",
         padded("launcher=/bin/true\n", "\n-vmargs\n-Xmx1g\n", mostMended), ""},
        {"a larger one is left, and --diff and the check say why",
         padded("Launcher=/bin/true\n", "\n-vmargs\n-Xmx1g\n", mostMended + 1),
         {"[letter-case]", "note: --fix leaves it: the file is over 1 MiB"}, "", "",
         "run.ini: not fixed: the file is over 1 MiB"},
        {"UTF-16LE without a mark, text not ASCII: one mendable finding",
         wide(U"-vmargs\n-Dx=\u4e2d\u6587\n", 2, true),
         {"is saved as UTF-16 (little-endian)", "[wide-encoding]"}, "[nul-byte]",
         "-vmargs\n-Dx=\xE4\xB8\xAD\xE6\x96\x87\n", ""},
        {"a mend that would start a program that does not exist is not made",
         "Launcher=/opt/nothing-here\n-vmargs\n-Xmx1g\n",
         {"[letter-case]", "note: --fix leaves it: mending it would break the launch",
          "\"/opt/nothing-here\" does not exist"},
         "write it in the letter case", "", "not fixed: mending it would break the launch"},
        {"the same mend where the program exists is made",
         "Launcher=/bin/true\n-vmargs\n-Xmx1g\n", {"[letter-case]"}, "--fix leaves it",
         "launcher=/bin/true\n-vmargs\n-Xmx1g\n", ""},
        {"a suppression line silences its kinds, and --fix keeps them",
         "# dashvane-launcher-check: ignore letter-case, comment-in-vm-section, vm-main-class\n"
         "-vmargs\n"
         "-Ddv.WebApp=x\n# c\n", {}, "[", "", ""},
        {"an unknown kind in a suppression line is a finding, the line itself none",
         "# dashvane-launcher-check: ignore letter-cas\n-vmargs\n-Xmx1g\n",
         {"run.ini:1: warning: suppression line: \"letter-cas\" is no kind", "[unknown-suppression]"},
         "[argument-in-head]", "", ""},
        {"a mend that waits for another is said to wait",
         "-VMARGS\r-Ddv.WebApp = y\rlauncher\r\n-Xmx1g\r\n",
         {"[carriage-return]", "note: --fix leaves it: mending it would break the launch"},
         "save the file with line feeds", "",
         "not fixed:"},
    };
    // clang-format on
    for (const Decision& row : rows) {
        SCOPED_TRACE(row.name);
        const Installation inst;
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(row.ini);
        const Result check = run(checker(inst, {inst.appDir}));
        std::size_t at = 0;
        for (const std::string& part : row.reported) {
            at = check.out.find(part, at);
            ASSERT_NE(at, std::string::npos) << part << " not in:\n" << check.out;
        }
        if (!row.notReported.empty()) {
            EXPECT_EQ(check.out.find(row.notReported), std::string::npos) << check.out;
        }
        expectReadableText(check.out, inst.root);
        const Result diff = run(checker(inst, {"--diff", inst.appDir}));
        EXPECT_EQ(diff.out.empty(), row.fixed.empty()) << diff.out;
        EXPECT_NE(diff.err.find(row.diffNote), std::string::npos) << diff.err;
        run(checker(inst, {"--fix", inst.appDir}));
        EXPECT_EQ(readFile(ini), row.fixed.empty() ? row.ini : row.fixed);
    }
}

// --- With the real Java VM: a launch that works before --fix works after it -------

namespace {

// Hands everything after -vmargs to the VM, and records its exit status.
const char VM_STANDIN[] = R"(#!/bin/sh
while [ $# -gt 0 ] && [ "$1" != -vmargs ]; do shift; done
[ $# -gt 0 ] && shift
/usr/bin/java -XX:-UsePerfData "$@" -version >/dev/null 2>&1
echo $? > "$DASHVANE_STANDIN_RECORD.tmp" && mv "$DASHVANE_STANDIN_RECORD.tmp" "$DASHVANE_STANDIN_RECORD"
)";

bool vmComesUp(const Installation& inst) {
    fs::remove(inst.record);
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    run(command);
    // The launcher does not wait for its child.
    for (int i = 0; i < 600 && !fs::exists(inst.record); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return readFile(inst.record) == "0\n";
}

struct VmRow {
    const char* name;
    std::string ini;
    bool changed;        // --fix writes the file
    const char* latent;  // "LINE:KIND" of the latent finding the check reports; "" for none
};

}  // namespace

TEST(FixVm, ALaunchThatWorksBeforeFixWorksAfterItAndTheHiddenLineIsSaidBefore) {
    if (std::system("/usr/bin/java -XX:-UsePerfData -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no Java VM at /usr/bin/java";
    }
    const std::string mark = "\xEF\xBB\xBF";
    const auto utf16 = [](const std::u32string& text) { return wide(text, 2, true); };
    // clang-format off
    const std::vector<VmRow> rows = {
        {"a mark, a fraction of a unit", mark + "-vmargs\n-Xmx1.5g\n", false, "2:vm-size-invalid"},
        {"a mark, a good heap", mark + "-vmargs\n-Xmx1g\n", true, ""},
        {"a mark, a good heap, a removed flag", mark + "-vmargs\n-Xmx1g\n-XX:MaxPermSize=256m\n",
         false, "3:vm-unknown-flag"},
        {"a mark, heaps in the wrong order", mark + "-vmargs\n-Xms2g\n-Xmx1g\n", false,
         "3:vm-heap-order"},
        {"-VMARGS, a fraction of a unit", "-VMARGS\n-Xmx1.5g\n", false, "2:vm-size-invalid"},
        {"-VMARGS, a good heap", "-VMARGS\n-Xmx1g\n", true, ""},
        {"carriage returns, a fraction of a unit", "-vmargs\r-Xmx1.5g\r", false, "1:vm-size-invalid"},
        {"carriage returns, a good heap", "-vmargs\r-Xmx1024m\r", true, ""},
        {"a mark and carriage returns, a good heap", mark + "-vmargs\r-Xmx1024m\r", true, ""},
        {"UTF-16, a fraction of a unit", utf16(U"-vmargs\n-Xmx1.5g\n"), false, "2:vm-size-invalid"},
        // Only the encoding is mended: the letter case would let -Xmx1.5g through.
        {"UTF-16 and -VMARGS, a fraction of a unit", utf16(U"-VMARGS\n-Xmx1.5g\n"), true,
         "2:vm-size-invalid"},
        {"UTF-16 and -VMARGS, a comment, a good heap", utf16(U"\uFEFF-VMARGS\n# heap\n-Xmx1g\n"),
         true, ""},
        {"no -vmargs, a fraction of a unit", "-Xmx1.5g\n", false, "1:vm-size-invalid"},
        {"no -vmargs, a good heap and collector", "-Xmx1g\n-XX:+UseSerialGC\n", true, ""},
    };
    // clang-format on
    // The hidden finding's kind leads its last note.
    const std::regex latent(R"(run\.ini:(\d+): warning: ignored today; [^\n]*\[latent-finding\]\n)"
                            R"((?:[^\n]*: note: [^\n]*\n)*?[^\n]*: note: (vm-[a-z-]+): )");
    for (const VmRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Installation inst;
        writeFile(inst.eclipse + "/Dashvane", VM_STANDIN, 0755);
        const std::string ini = inst.appDir + "/run.ini";
        inst.writeIni(row.ini);
        ASSERT_TRUE(vmComesUp(inst));
        // No start file names the throwaway installation: an empty prefix
        // spares the search along the system's.
        fs::create_directories(inst.root + "/no-starts");
        const auto check = [&inst](const std::string& option) {
            return run(checker(inst, {option, "--root", inst.root + "/no-starts", inst.appDir}))
                .out;
        };
        const std::string before = check("--severity=note");
        std::smatch found;
        EXPECT_EQ(std::regex_search(before, found, latent) ? found[1].str() + ':' + found[2].str()
                                                           : std::string(),
                  row.latent)
            << before;
        const std::string fixed = check("--fix");
        const std::string once = readFile(ini);
        EXPECT_EQ(once != row.ini, row.changed) << fixed;
        EXPECT_TRUE(vmComesUp(inst)) << fixed;
        check("--fix");
        EXPECT_EQ(readFile(ini), once) << "a second --fix changed the file";
        EXPECT_TRUE(once == row.ini || readFile(ini + "~") == row.ini) << "the original is lost";
    }
}
