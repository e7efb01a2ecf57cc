// The real launcher beside the checker where the way a path is reached
// decides the launch: a working directory below one the user cannot search,
// paths near and over the system's limit, libraries on a noexec mount.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
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
    bool started = false;
    std::vector<std::string> argv;   // the child's, when it started
    std::vector<std::string> kinds;  // the checker's errors
    std::vector<std::string> predicted;
};

// Starts ./run in `cwd` as the launch would, then the checker on "." there
// with `checkArgs` before the ".": both as 65534 when `unprivileged`.
Outcome launchAndCheck(const Installation& inst, const std::string& cwd, const std::string& record,
                       bool unprivileged, const std::vector<std::string>& checkArgs,
                       bool checkUnprivileged) {
    std::map<std::string, std::string> env = baseEnv(inst);
    env["DASHVANE_STANDIN_RECORD"] = record;
    unlink(record.c_str());
    Command launch;
    launch.program = "./run";
    launch.argv = {"./run"};
    launch.cwd = cwd;
    launch.env = env;
    if (unprivileged) {
        launch.beforeExec = [] { becomeUnprivileged(); };
    }
    run(launch);
    for (int i = 0; i < 40 && access(record.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    Outcome outcome;
    const Record got = readRecord(record);
    outcome.started = got.started;
    outcome.argv = got.argv;
    Command check;
    check.program = DVL_CHECK_BINARY;
    check.argv = {"dashvane-launcher-check", "--json"};
    check.argv.insert(check.argv.end(), checkArgs.begin(), checkArgs.end());
    check.argv.push_back(".");
    check.cwd = cwd;
    check.env = env;
    if (checkUnprivileged) {
        check.beforeExec = [] { becomeUnprivileged(); };
    }
    const Result result = run(check);
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.out << result.err;
    const Json report = Json::parse(result.out).at("applications").at(0);
    for (const Json& finding : report.at("findings")) {
        if (finding.at("severity") == "error") {
            outcome.kinds.push_back(finding.at("kind").get<std::string>());
        }
    }
    for (const Json& element : report.at("argv")) {
        outcome.predicted.push_back(element.get<std::string>());
    }
    return outcome;
}

void expectAgreement(const Outcome& outcome, bool starts, const std::vector<std::string>& kinds) {
    EXPECT_EQ(outcome.started, starts);
    EXPECT_EQ(outcome.kinds, kinds);
    if (outcome.started) {
        EXPECT_EQ(outcome.predicted, outcome.argv);
    }
}

// A directory tree deeper than one path may name: built one directory at a
// time, entered through a descriptor, removed by rm, which descends itself.
class DeepTree {
public:
    DeepTree(const std::string& root, std::size_t appDirSize) : top(root + "/deep") {
        dir = open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        enter("deep");
        std::string path = top;
        const std::string tail = "/ws/apps/demo";
        while (path.size() + tail.size() < appDirSize) {
            const std::string name(
                std::min<std::size_t>(200, appDirSize - tail.size() - path.size() - 1), 'd');
            enter(name);
            path += "/" + name;
        }
        enter("ws");
        const int ws = dup(dir);
        enter("eclipse");
        eclipse = here();
        copyFile(standinBinary(), eclipse + "/Dashvane", 0755);
        close(dir);
        dir = ws;
        enter("apps");
        enter("demo");
        appDir = here();
        copyFile(launcherBinary(), appDir + "/run", 0755);
        size = path.size() + tail.size();
    }
    ~DeepTree() {
        close(dir);
        for (const int fd : keptFds) {
            close(fd);
        }
        const int removed = std::system(("rm -rf '" + top + "'").c_str());
        static_cast<void>(removed);
    }
    DeepTree(const DeepTree&) = delete;
    DeepTree& operator=(const DeepTree&) = delete;

    std::string eclipse;  // through /proc/self/fd: too long to name whole
    std::string appDir;
    std::size_t size = 0;  // of the application directory's physical path

private:
    void enter(const std::string& name) {
        mkdirat(dir, name.c_str(), 0755);
        const int next = openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(dir);
        dir = next;
    }
    std::string here() {
        const int kept = dup(dir);
        keptFds.push_back(kept);
        return "/proc/self/fd/" + std::to_string(kept);
    }
    std::string top;
    int dir = -1;
    std::vector<int> keptFds;
};

}  // namespace

// su, sudo and runuser leave the user in a directory below one they cannot
// search: the launcher reads ./run.ini from there and starts all the same.
TEST(CheckPathVerdict, WorkingDirectoryBelowAnUnsearchableDirectory) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to leave 65534 in a directory it cannot reach";
    }
    const struct {
        const char* what;
        const char* closed;  // made 0700, owned by root
        bool checkerUnprivileged;
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        {"apps/ closed, checked as root for 65534", "ws/apps", false, true, {}},
        {"apps/ closed, checked by 65534 itself", "ws/apps", true, true, {}},
        {"eclipse/ closed as well", "ws/eclipse", false, false, {"start-directory"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Installation inst;
        inst.writeIni("-vmargs\n-Xmx1g\n");
        const std::string shared = inst.root + "/shared";
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod((inst.root + "/" + row.closed).c_str(), 0700), 0);
        ASSERT_EQ(chmod((inst.root + "/ws/apps").c_str(), 0700), 0);
        const std::vector<std::string> user = row.checkerUnprivileged
                                                  ? std::vector<std::string>()
                                                  : std::vector<std::string>{"--user", "65534"};
        expectAgreement(launchAndCheck(inst, inst.appDir, shared + "/record", true, user,
                                       row.checkerUnprivileged),
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
// the checker's own model where the loader cannot be asked.
TEST(CheckPathVerdict, LibraryOnANoexecMount) {
    if (geteuid() != 0 || underEmulator() || std::system("cc --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "needs root, to mount, and the machine's own compiler";
    }
    const struct {
        const char* what;
        const char* options;
        std::vector<std::string> checkArgs;
        bool checkerUnprivileged;
        bool starts;
        std::vector<std::string> kinds;
    } rows[] = {
        {"mounted with exec", "exec", {}, false, true, {}},
        {"noexec, the system's loader asked", "noexec", {}, false, false, {"loader-refuses"}},
        {"noexec, the model decides",
         "noexec",
         {"--user", "root"},
         true,
         false,
         {"loader-refuses"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Installation inst;
        inst.writeIni("-vmargs\n");
        const std::string lib = inst.eclipse + "/lib";
        const std::string build = inst.root + "/build";
        ASSERT_EQ(mkdir(lib.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(build.c_str(), 0755), 0);
        if (mount("tmpfs", lib.c_str(), "tmpfs", row.options[0] == 'n' ? MS_NOEXEC : 0,
                  "mode=0755") != 0) {
            GTEST_SKIP() << "mounting a tmpfs is not permitted here";
        }
        writeFile(build + "/dv.c", "int f2(void) { return 2; }\n");
        writeFile(build + "/main.c",
                  "#include <stdio.h>\n#include <stdlib.h>\nint f2(void);\n"
                  "int main(void) {\n"
                  "    FILE* out = fopen(getenv(\"DASHVANE_STANDIN_RECORD\"), \"w\");\n"
                  "    if (out != NULL) { fputs(\"cwd=?\", out); fclose(out); }\n"
                  "    return f2() - 2;\n}\n");
        const std::string line = "cc -shared -fPIC -Wl,-soname,libdv.so -o '" + lib +
                                 "/libdv.so' '" + build + "/dv.c' && cc -o '" + inst.eclipse +
                                 "/Dashvane' '" + build + "/main.c' -L'" + lib +
                                 "' -ldv -Wl,-rpath,'$ORIGIN/lib'";
        const int built = std::system(line.c_str());
        const Outcome outcome = built == 0 ? launchAndCheck(inst, inst.appDir, inst.record, false,
                                                            row.checkArgs, row.checkerUnprivileged)
                                           : Outcome();
        umount(lib.c_str());
        ASSERT_EQ(built, 0) << line;
        EXPECT_EQ(outcome.started, row.starts);
        EXPECT_EQ(outcome.kinds, row.kinds);
    }
}
