// The real launcher beside the checker where the way a path is reached
// decides the launch: a working directory below one the user cannot search,
// paths near and over the system's limit, libraries on a noexec mount.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Harness.h"
#include "LauncherFixture.h"

using namespace dvltest;
using Json = nlohmann::json;

namespace {

struct Outcome {
    Record child;
    std::vector<std::string> kinds;      // the checker's errors
    std::vector<std::string> predicted;  // its argument vector
};

const auto AS_NOBODY = [] { becomeUnprivileged(); };

// Starts ./run in `cwd`, then the checker with `checkArgs` on "." there;
// each as 65534 where its flag says.
Outcome launchAndCheck(const Installation& inst, const std::string& cwd, const std::string& record,
                       bool launchAsNobody, std::vector<std::string> checkArgs,
                       bool checkAsNobody) {
    std::map<std::string, std::string> env = baseEnv(inst);
    env["DASHVANE_STANDIN_RECORD"] = record;
    const auto command = [&](const std::string& program, const std::vector<std::string>& argv,
                             bool asNobody) {
        Command made;
        made.program = program;
        made.argv = argv;
        made.cwd = cwd;
        made.env = env;
        made.beforeExec = asNobody ? std::function<void()>(AS_NOBODY) : nullptr;
        return made;
    };
    const Command launch = command("./run", {"./run"}, launchAsNobody);
    run(launch);
    for (int i = 0; i < 40 && access(record.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    checkArgs.insert(checkArgs.begin(), {"dashvane-launcher-check", "--json"});
    checkArgs.push_back(".");
    const Result result = run(command(DVL_CHECK_BINARY, checkArgs, checkAsNobody));
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.out << result.err;
    const Json report = Json::parse(result.out).at("applications").at(0);
    Outcome outcome{readRecord(record), {}, report.at("argv").get<std::vector<std::string>>()};
    for (const Json& finding : report.at("findings")) {
        if (finding.at("severity") == "error") {
            outcome.kinds.push_back(finding.at("kind").get<std::string>());
        }
    }
    return outcome;
}

void expectAgreement(const Outcome& outcome, bool starts, const std::vector<std::string>& kinds) {
    EXPECT_EQ(outcome.child.started, starts);
    EXPECT_EQ(outcome.kinds, kinds);
    if (outcome.child.started) {
        EXPECT_EQ(outcome.predicted, outcome.child.argv);
    }
}

// ROOT/deep/d.../ws/{eclipse,apps/demo}, deeper than one path may name:
// built a directory at a time, named through descriptors kept open, and
// removed by rm, which descends by itself.
class DeepTree {
public:
    DeepTree(const std::string& root, std::size_t appDirSize) : top(root + "/deep") {
        fds.push_back(open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        enter(fds.back(), "deep");
        // The chain, then "/ws/apps/demo".
        for (size = top.size() + 13; size < appDirSize;) {
            const std::string name(std::min<std::size_t>(200, appDirSize - size - 1), 'd');
            enter(fds.back(), name);
            size += name.size() + 1;
        }
        const int ws = enter(fds.back(), "ws");
        copyFile(standinBinary(), here(enter(ws, "eclipse")) + "/Dashvane", 0755);
        appDir = here(enter(enter(ws, "apps"), "demo"));
        copyFile(launcherBinary(), appDir + "/run", 0755);
    }
    ~DeepTree() {
        for (const int fd : fds) {
            close(fd);
        }
        const int removed = std::system(("rm -rf '" + top + "'").c_str());
        static_cast<void>(removed);
    }
    DeepTree(const DeepTree&) = delete;
    DeepTree& operator=(const DeepTree&) = delete;

    std::string appDir;    // as /proc/self/fd names it
    std::size_t size = 0;  // of its physical path

private:
    int enter(int dir, const std::string& name) {
        mkdirat(dir, name.c_str(), 0755);
        fds.push_back(openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        return fds.back();
    }
    static std::string here(int dir) { return "/proc/self/fd/" + std::to_string(dir); }
    std::string top;
    std::vector<int> fds;
};

}  // namespace

// su, sudo and runuser leave the user in a directory below one they cannot
// search: the launcher reads ./run.ini from there and starts all the same.
TEST(CheckPathVerdict, WorkingDirectoryBelowAnUnsearchableDirectory) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to leave 65534 in a directory it cannot reach";
    }
    const struct {
        const char* closed;  // besides ws/apps, made 0700 and owned by root
        bool checkAsNobody;  // rather than as root with --user
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        {"ws/apps", false, true, {}},
        {"ws/apps", true, true, {}},
        {"ws/eclipse", false, false, {"start-directory"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.closed) + (row.checkAsNobody ? ", checked by 65534" : ""));
        const Installation inst;
        inst.writeIni("-vmargs\n-Xmx1g\n");
        const std::string shared = inst.root + "/shared";  // where 65534 may write its record
        ASSERT_EQ(mkdir(shared.c_str(), 0777) | chmod(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod((inst.root + "/" + row.closed).c_str(), 0700), 0);
        ASSERT_EQ(chmod((inst.root + "/ws/apps").c_str(), 0700), 0);
        const std::vector<std::string> user = {"--user", std::to_string(UNPRIVILEGED_ID)};
        expectAgreement(launchAndCheck(inst, inst.appDir, shared + "/record", true,
                                       row.checkAsNobody ? std::vector<std::string>() : user,
                                       row.checkAsNobody),
                        row.starts, row.kinds);
    }
}

// An application directory near or over PATH_MAX: relative names still
// work from it, absolute ones the system refuses, and the checker says
// which, without skipping the ini file.
TEST(CheckPathVerdict, PathsNearAndOverTheSystemLimit) {
    const struct {
        std::size_t appDirSize;
        const char* ini;
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        {4000, "-vmargs\n-Xmx1g\n", true, {}},
        {4093, "launcher=Dashvane\n-vmargs\n-Xmx1g\n", true, {}},
        {4093, "-vmargs\n-Xmx1g\n", false, {"path-too-long"}},
        {5000, "launcher=Dashvane\n-vmargs\n", false, {"path-too-long"}},
        {9000, "-vmargs\n", false, {"path-too-long"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.appDirSize) + " bytes, " + row.ini);
        const Installation inst;
        const DeepTree tree(inst.root, row.appDirSize);
        ASSERT_EQ(tree.size, row.appDirSize);
        writeFile(tree.appDir + "/run.ini", row.ini);
        expectAgreement(launchAndCheck(inst, tree.appDir, inst.record, false, {}, false),
                        row.starts, row.kinds);
    }
}

// The loader maps a library's code executable, which a noexec mount
// refuses ("failed to map segment"): asked of the system's loader, and from
// the checker's own model where it cannot be asked (not root, judging root).
TEST(CheckPathVerdict, LibraryOnANoexecMount) {
    if (geteuid() != 0 || underEmulator() || std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs root, to mount, and the machine's own compiler";
    }
    const struct {
        bool noexec;
        bool checkAsNobody;
        std::vector<std::string> kinds;
    } rows[] = {
        {false, false, {}}, {true, false, {"loader-refuses"}}, {true, true, {"loader-refuses"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.noexec ? "noexec" : "exec") +
                     (row.checkAsNobody ? ", checked by 65534" : ""));
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string lib = inst.eclipse + "/lib";
        ASSERT_EQ(mkdir(lib.c_str(), 0755), 0);
        if (mount("tmpfs", lib.c_str(), "tmpfs", row.noexec ? MS_NOEXEC : 0, "mode=0755") != 0) {
            GTEST_SKIP() << "mounting a tmpfs is not permitted here";
        }
        writeFile(inst.root + "/dv.c", "int f2(void) { return 2; }\n");
        writeFile(inst.root + "/main.c",
                  "#include <stdio.h>\n#include <stdlib.h>\nint f2(void);\nint main(void) {\n"
                  "    fclose(fopen(getenv(\"DASHVANE_STANDIN_RECORD\"), \"w\"));\n"
                  "    return f2() - 2;\n}\n");
        const std::string line = "cd '" + inst.root +
                                 "' && cc -shared -fPIC -o ws/eclipse/lib/libdv.so dv.c && cc -o "
                                 "ws/eclipse/Dashvane main.c -Lws/eclipse/lib -ldv "
                                 "-Wl,-rpath,'$ORIGIN/lib'";
        const int built = std::system(line.c_str());
        const Outcome outcome =
            built == 0
                ? launchAndCheck(inst, inst.appDir, inst.record, false,
                                 row.checkAsNobody ? std::vector<std::string>{"--user", "root"}
                                                   : std::vector<std::string>(),
                                 row.checkAsNobody)
                : Outcome();
        umount(lib.c_str());
        ASSERT_EQ(built, 0) << line;
        // The program records only that it started.
        EXPECT_EQ(outcome.child.started, !row.noexec);
        EXPECT_EQ(outcome.kinds, row.kinds);
    }
}
