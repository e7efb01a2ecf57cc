// Every kind's example in --list-kinds, laid out in a throwaway installation
// and checked by the built checker, gives that kind: an example that does
// not is advice that sends its reader the wrong way.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "Harness.h"

namespace fs = boost::filesystem;
using namespace dvltest;
using Json = nlohmann::json;

namespace {

// How a row runs the checker, besides the installation it lays out.
struct Layout {
    std::vector<std::string> options;  // before the application directory
    std::map<std::string, std::string> env;
    rlim_t stack = 0;    // the stack limit in bytes; 0: the test's own
    bool appDir = true;  // name the application directory (not with --start alone)
    std::string skip;    // why the row cannot be laid out here
};

using Lay = std::function<void(const Installation&, Layout&)>;

struct Row {
    const char* kind;
    const char* ini;  // run.ini's bytes; nullptr: the row's own setup writes it
    Lay lay;
};

const std::string NOBODY = "--user=65534";

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Dashvane as a script with the given first lines, started by the stand-in.
void script(const Installation& inst, const std::string& head, mode_t mode = 0755) {
    copyFile(standinBinary(), inst.eclipse + "/Dashvane.bin", 0755);
    writeFile(inst.eclipse + "/Dashvane", head + "exec " + inst.eclipse + "/Dashvane.bin\n", mode);
}

void compile(const std::string& source, const std::string& output, const std::string& options) {
    writeFile(output + ".c", source);
    const std::string line =
        "cc -o '" + output + "' '" + output + ".c' " + options + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

// eclipse/Dashvane linked against lib`name`.so from eclipse/lib, built with
// the symbol version script `versions` ("" for none).
void linkedDashvane(const Installation& inst, const std::string& name,
                    const std::string& versions) {
    const std::string lib = inst.eclipse + "/lib";
    fs::create_directories(lib);
    std::string options = "-shared -fPIC";
    if (!versions.empty()) {
        writeFile(lib + "/map", versions);
        options += " -Wl,--version-script='" + lib + "/map'";
    }
    compile("int f(void) { return 0; }\n", lib + "/lib" + name + ".so", options);
    compile("int f(void);\nint main(void) { return f(); }\n", inst.eclipse + "/Dashvane",
            "-L'" + lib + "' -l" + name + " -Wl,-rpath,'" + lib + "'");
}

// A start file under the installation, its @APP@ the application directory.
std::string startFile(const Installation& inst, Layout& run, const std::string& name,
                      std::string text) {
    for (std::size_t at; (at = text.find("@APP@")) != std::string::npos;) {
        text.replace(at, 5, inst.appDir);
    }
    const std::string path = inst.root + "/starts/" + name;
    fs::create_directories(fs::path(path).parent_path());
    writeFile(path, text, 0755);
    run.options = {"--no-vm", "--start", path};
    run.appDir = false;
    return path;
}

Lay options(std::vector<std::string> given) {
    return [given](const Installation&, Layout& run) { run.options = given; };
}

// The launcher copy with the version note of another release.
void staleCopy(const Installation& inst, Layout&) {
    std::string bytes = readAll(inst.appDir + "/run");
    const std::string note = std::string("Dashvane\0\0\0\0", 12) + DVL_VERSION;
    const std::size_t at = bytes.find(note);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 12] = bytes[at + 12] == '9' ? '8' : '9';
    writeFile(inst.appDir + "/run", bytes, 0755);
}

// An application directory 4,093 bytes long with its installation two
// levels up; files in it are made relative to it, as the system takes no
// longer path in one call.
void longDirectory(const Installation& inst, Layout& run) {
    std::string top = inst.root + "/long";
    while (top.size() + 10 < 4093) {
        top += "/" + std::string(std::min<std::size_t>(200, 4093 - top.size() - 11), 'd');
    }
    const std::string dir = top + "/apps/demo";
    ASSERT_EQ(dir.size(), 4093u);
    fs::create_directories(dir);
    fs::create_directories(top + "/eclipse");
    const std::string line = "cd '" + top + "' && cp '" + standinBinary() +
                             "' eclipse/Dashvane && cp '" + inst.appDir +
                             "/run' apps/demo/run && printf -- '-vmargs\\n' > apps/demo/run.ini";
    ASSERT_EQ(std::system(line.c_str()), 0);
    run.options = {"--no-vm", dir};
    run.appDir = false;
}

void noexecMount(const Installation& inst, Layout& run) {
    const std::string dir = inst.root + "/tmp";
    fs::create_directories(dir);
    if (mount("tmpfs", dir.c_str(), "tmpfs", MS_NOEXEC, "mode=0755") != 0) {
        run.skip = "mounting a tmpfs is not permitted here";
        return;
    }
    writeFile(dir + "/Dashvane", readAll(standinBinary()), 0755);
    inst.writeIni("launcher=" + dir + "/Dashvane\n-vmargs\n");
}

// An x86-64 Dashvane marked as built for AArch64.
void foreignMachine(const Installation& inst, Layout&) {
    std::string bytes = readAll(standinBinary());
    ASSERT_GT(bytes.size(), 20u);
    bytes[18] = static_cast<char>(183);  // EM_AARCH64
    bytes[19] = 0;
    writeFile(inst.eclipse + "/Dashvane", bytes, 0755);
}

void damaged(const Installation& inst, Layout&) {
    const std::string bytes = readAll(standinBinary());
    // Cut inside the program header table, whatever the build leaves after
    // the loadable segments (a debug build's second half is debug data).
    writeFile(inst.eclipse + "/Dashvane", bytes.substr(0, 256), 0755);
}

// The program names a dynamic loader that is not installed.
void loaderMissing(const Installation& inst, Layout& run) {
    linkedDashvane(inst, "dv", "");
    std::string bytes = readAll(inst.eclipse + "/Dashvane");
    const std::size_t at = bytes.find("/lib64/ld-linux-x86-64.so.2");
    if (at == std::string::npos) {
        run.skip = "the machine's programs do not use the x86-64 loader";
        return;
    }
    bytes[at + 1] = 'X';  // "/Xib64/...", which does not exist
    writeFile(inst.eclipse + "/Dashvane", bytes, 0755);
}

void libraryMissing(const Installation& inst, Layout&) {
    linkedDashvane(inst, "gtk-3", "");
    fs::remove(inst.eclipse + "/lib/libgtk-3.so");
}

// Linked against LIB_2 of libdv.so, then given a libdv.so with LIB_1 alone.
void loaderRefuses(const Installation& inst, Layout&) {
    linkedDashvane(inst, "dv", "LIB_2 { global: f; local: *; };\n");
    writeFile(inst.eclipse + "/lib/map1", "LIB_1 { global: f; local: *; };\n");
    compile("int f(void) { return 0; }\n", inst.eclipse + "/lib/libdv.so",
            "-shared -fPIC -Wl,--version-script='" + inst.eclipse + "/lib/map1'");
}

void heapOverridden(const Installation& inst, Layout&) {
    writeFile(inst.eclipse + "/Dashvane.ini", "-vmargs\n-Xmx1g\n");
}

// A crontab of root's own, so that its lines name no user.
void cron(const Installation& inst, Layout& run) {
    startFile(inst, run, "crontabs/root", "@reboot @APP@/run\n");
}

// A second application beside the first, started from there.
void otherApplication(const Installation& inst, Layout& run) {
    const std::string other = inst.root + "/ws/apps/report";
    fs::create_directories(other);
    copyFile(inst.appDir + "/run", other + "/run", 0755);
    writeFile(other + "/run.ini", "-vmargs\n-Xmx64m\n");
    startFile(inst, run, "report", "#!/bin/sh\ncd " + other + " && ../demo/run\n");
}

void pathLink(const Installation& inst, Layout& run) {
    const std::string link = inst.root + "/bin/shop";
    fs::create_directories(inst.root + "/bin");
    fs::create_symlink(inst.appDir + "/run", link);
    run.options = {"--no-vm", "--start", link};
    run.appDir = false;
}

Lay start(const char* name, const char* text) {
    return
        [name, text](const Installation& inst, Layout& run) { startFile(inst, run, name, text); };
}

const std::vector<Row>& rows() {
    static const std::vector<Row> ROWS = {
        {"ini-missing", nullptr,
         [](const Installation& inst, Layout&) { fs::remove(inst.appDir + "/run.ini"); }},
        {"ini-directory", nullptr,
         [](const Installation& inst, Layout&) {
             fs::remove(inst.appDir + "/run.ini");
             fs::create_directory(inst.appDir + "/run.ini");
         }},
        {"ini-unreadable", nullptr,
         [](const Installation& inst, Layout& run) {
             writeFile(inst.appDir + "/run.ini", "-vmargs\n", 0600);
             run.options = {NOBODY};
         }},
        {"ini-not-regular", nullptr,
         [](const Installation& inst, Layout&) {
             fs::remove(inst.appDir + "/run.ini");
             ASSERT_EQ(mkfifo((inst.appDir + "/run.ini").c_str(), 0644), 0);
         }},
        {"wide-encoding", nullptr,
         [](const Installation& inst, Layout&) {
             std::string wide = "\xFF\xFE";
             for (const char c : std::string("-vmargs\n-Xmx1g\n")) {
                 wide += std::string(1, c) + '\0';
             }
             inst.writeIni(wide);
         }},
        {"byte-order-mark", "\xEF\xBB\xBF-vmargs\n", {}},
        {"carriage-return", "-vmargs\r-Xmx1g\r", {}},
        {"missing-vmargs", "-Xmx1g\n", {}},
        {"unknown-suppression", "# dashvane-launcher-check: ignore letter-cas\n-vmargs\n", {}},
        {"nul-byte", nullptr,
         [](const Installation& inst, Layout&) {
             inst.writeIni(std::string("-vmargs\n-Dx=a\0b\n", 16));
         }},
        {"control-byte",
         "-vmargs\n-Dx=a\x1B"
         "b\n",
         {}},
        {"no-break-space", "-vmargs\n-Xmx1g\xC2\xA0\n", {}},
        {"blanks-around-equals", "-vmargs\n-Ddv.appInitScript = scripts/init.js\n", {}},
        {"letter-case", "-vmargs\n-Ddv.webapp=shop\n", {}},
        {"second-launcher", "launcher=/opt/a\nlauncher=/opt/b\n-vmargs\n", {}},
        {"name-in-head", "-Ddv.webApp=shop\n-vmargs\n", {}},
        {"argument-in-head", "-clean\n-vmargs\n", {}},
        {"launcher-in-vm-section", "-vmargs\nlauncher=/opt/x\n", {}},
        {"vmargs-in-vm-section", "-vmargs\n-vmargs\n", {}},
        {"comment-in-vm-section", "-vmargs\n# heap size\n", {}},
        {"duplicate-property", "-vmargs\n-Dmode=a\n-Dmode=b\n", {}},
        {"empty-application-name", "-vmargs\n-Ddv.webApp\n", {}},
        {"empty-path", "-vmargs\n-Ddv.appConfigFile=\n", {}},
        {"missing-path", "-vmargs\n-Ddv.appInitScript=scripts/nothing-here.js\n", {}},
        {"path-is-directory", "-vmargs\n-Ddv.appConfigFile=scripts\n",
         [](const Installation& inst, Layout&) { fs::create_directory(inst.appDir + "/scripts"); }},
        {"path-unreadable", nullptr,
         [](const Installation& inst, Layout& run) {
             fs::create_directories(inst.root + "/etc/dv");
             writeFile(inst.root + "/etc/dv/app.conf", "", 0600);
             fs::permissions(inst.root + "/etc/dv", static_cast<fs::perms>(0700));
             inst.writeIni("-vmargs\n-Ddv.appConfigFile=" + inst.root + "/etc/dv/app.conf\n");
             run.options = {NOBODY};
         }},
        {"no-launcher-copy", "-vmargs\n",
         [](const Installation& inst, Layout&) { fs::remove(inst.appDir + "/run"); }},
        {"launcher-copy-not-executable", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::permissions(inst.appDir + "/run", static_cast<fs::perms>(0644));
         }},
        {"ini-without-copy", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::rename(inst.appDir + "/run", inst.appDir + "/shop");
         }},
        {"several-launcher-copies", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             copyFile(inst.appDir + "/run", inst.appDir + "/shop", 0755);
         }},
        {"launcher-copy-stale", "-vmargs\n", staleCopy},
        {"judged-as-root", "-vmargs\n", options({"--severity", "note"})},
        {"path-not-searchable", nullptr,
         [](const Installation& inst, Layout& run) {
             fs::create_directories(inst.root + "/opt/dv");
             copyFile(standinBinary(), inst.root + "/opt/dv/Dashvane", 0755);
             fs::permissions(inst.root + "/opt/dv", static_cast<fs::perms>(0700));
             inst.writeIni("launcher=" + inst.root + "/opt/dv/Dashvane\n-vmargs\n");
             run.options = {NOBODY};
         }},
        {"dangling-link", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::remove(inst.eclipse + "/Dashvane");
             fs::create_symlink("/opt/gone/Dashvane", inst.eclipse + "/Dashvane");
         }},
        {"path-too-long", nullptr, longDirectory},
        {"noexec-mount", nullptr, noexecMount},
        {"interpreter-not-executable", "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             fs::create_directories(inst.root + "/opt");
             copyFile("/bin/sh", inst.root + "/opt/sh", 0700);
             script(inst, "#!" + inst.root + "/opt/sh\n");
             run.options = {NOBODY};
         }},
        {"script-unreadable", "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             script(inst, "#!/bin/sh\n", 0711);
             run.options = {NOBODY};
         }},
        {"writable-by-others", nullptr,
         [](const Installation& inst, Layout&) {
             writeFile(inst.appDir + "/run.ini", "-vmargs\n", 0666);
         }},
        {"data-writable-by-others", "-vmargs\n-Ddv.appInitScript=init.js\n",
         [](const Installation& inst, Layout&) { writeFile(inst.appDir + "/init.js", "", 0666); }},
        {"argument-too-long", nullptr,
         [](const Installation& inst, Layout&) {
             inst.writeIni("-vmargs\n-Dx=" + std::string(131072 - 4, 'x') + "\n");
         }},
        {"arguments-too-long", nullptr,
         [](const Installation& inst, Layout& run) {
             std::string ini = "-vmargs\n";
             for (int i = 0; i < 4; ++i) {
                 ini += "-Dx" + std::to_string(i) + "=" + std::string(100000, 'x') + "\n";
             }
             inst.writeIni(ini);
             run.stack = 1024 * 1024;
         }},
        // The bulk is the launch's own, not the checker's: a checker whose own
        // environment fills the stack has no room to start either.
        {"arguments-exceed-stack", nullptr,
         [](const Installation& inst, Layout& run) {
             inst.writeIni("-vmargs\n-Dbig=" + std::string(58000, 'x') + "\n");
             run.stack = 64 * 1024;
         }},
        {"start-directory", nullptr,
         [](const Installation& inst, Layout& run) {
             const std::string dir = inst.root + "/lone/demo";
             fs::create_directories(dir);
             copyFile(inst.appDir + "/run", dir + "/run", 0755);
             writeFile(dir + "/run.ini", "-vmargs\n");
             run.options = {"--no-vm", dir};
             run.appDir = false;
         }},
        {"executable-missing", "launcher=/opt/nothing-here\n-vmargs\n", {}},
        {"latent-finding", "\xEF\xBB\xBF-vmargs\n-Xmx1.5g\n", {}},
        {"executable-not-executable", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::permissions(inst.eclipse + "/Dashvane", static_cast<fs::perms>(0644));
         }},
        {"executable-foreign-machine", "-vmargs\n", foreignMachine},
        {"executable-damaged", "-vmargs\n", damaged},
        {"loader-missing", "-vmargs\n", loaderMissing},
        {"library-missing", "-vmargs\n", libraryMissing},
        {"loader-refuses", "-vmargs\n", loaderRefuses},
        {"executable-unknown-format", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.eclipse + "/Dashvane", "run the shop\n", 0755);
         }},
        {"interpreter-missing", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/bin/nothing-here\n"); }},
        {"vm-not-usable", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.eclipse + "/Dashvane.ini", "-vm\n/opt/jdk-gone/bin/java\n");
         }},
        {"vm-not-found", "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             fs::create_directories(inst.root + "/empty");
             run.env["PATH"] = inst.root + "/empty";
         }},
        {"vm-not-asked", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.root + "/crash", "#!/bin/sh\nkill -SEGV $$\n", 0755);
             writeFile(inst.eclipse + "/Dashvane.ini", "-vm\n" + inst.root + "/crash\n");
         }},
        {"vm-environment", "-vmargs\n",
         [](const Installation&, Layout& run) { run.env["JAVA_TOOL_OPTIONS"] = "-Xmx1g"; }},
        {"vm-main-class", "-vmargs\n", options({"--", "clean"})},
        {"vm-unrecognized-option", "-vmargs\n", options({"--", "-clean"})},
        {"vm-unknown-flag", "-vmargs\n-XX:MaxPermSize=256m\n", {}},
        {"vm-flag-setting", "-vmargs\n-XX:UseG1GC=true\n", {}},
        {"vm-flag-locked", "-vmargs\n-XX:+UseEpsilonGC\n", {}},
        {"vm-size-invalid", "-vmargs\n-Xmx1.5g\n", {}},
        {"vm-size-too-small", "-vmargs\n-Xmx512\n", {}},
        {"vm-heap-order", "-vmargs\n-Xms2g\n-Xmx1g\n", {}},
        {"vm-file-unreadable", "-vmargs\n-javaagent:lib/agent.jar\n", {}},
        {"vm-deprecated-alias", "-vmargs\n-noverify\n", {}},
        {"vm-heap-overridden", "-vmargs\n-Xmx2g\n", heapOverridden},
        {"vm-unexpanded-path", "-vmargs\n-Dlog.dir=~/logs\n", {}},
        {"vm-quotes", "-vmargs\n-Dtitle=\"My shop\"\n", {}},
        {"vm-refused", "-vmargs\n-XX:MaxRAMPercentage=150\n", {}},
        {"vm-log-directory", "-vmargs\n-Xlog:gc:file=/var/log/shop/gc.log\n", {}},
        {"vm-dump-directory",
         "-vmargs\n-XX:+HeapDumpOnOutOfMemoryError\n-XX:HeapDumpPath=/var/dumps/shop.hprof\n",
         {}},
        {"vm-agent-unusable", "-vmargs\n-javaagent:lib/agent.jar\n",
         [](const Installation& inst, Layout&) {
             fs::create_directories(inst.eclipse + "/lib");
             writeFile(inst.eclipse + "/lib/agent.jar", "", 0644);
         }},
        {"interpreter-not-a-program", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::create_directories(inst.root + "/opt");
             writeFile(inst.root + "/opt/run.sh", "", 0755);
             script(inst, "#!" + inst.root + "/opt/run.sh\n");
         }},
        {"interpreter-option-carriage-return", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/bin/sh -e\r\n"); }},
        {"interpreter-reruns-script", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/usr/bin/env\n"); }},
        {"desktop-entry-without-path", "-vmargs\n",
         start("shop.desktop", "[Desktop Entry]\nType=Application\nExec=@APP@/run\n")},
        {"desktop-exec-refused", "-vmargs\n",
         start("shop.desktop", "[Desktop Entry]\nType=Application\nExec=./run\nPath=@APP@\n")},
        {"unit-without-working-directory", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\nExecStart=@APP@/run\n")},
        {"unit-relative-exec-start", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\n"
               "WorkingDirectory=@APP@\nExecStart=./run\n")},
        {"unit-stops-application", "-vmargs\n",
         start("shop.service", "[Service]\nWorkingDirectory=@APP@\nExecStart=@APP@/run\n")},
        {"cron-outside-directory", "-vmargs\n", cron},
        {"wrapper-outside-directory", "-vmargs\n",
         start("shop", "#!/bin/sh\nexec @APP@/run \"$@\"\n")},
        {"launcher-exit-status-tested", "-vmargs\n",
         start("report", "#!/bin/sh\ncd @APP@ && ./run && echo started\n")},
        {"path-link-without-ini", "-vmargs\n", pathLink},
        {"start-name-without-ini", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\n"
               "WorkingDirectory=@APP@\nExecStart=@@APP@/run shop\n")},
        {"start-from-other-application", "-vmargs\n", otherApplication},
        {"start-not-modeled", "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             startFile(inst, run, "shop.desktop",
                       "[Desktop Entry]\nType=Application\nDBusActivatable=true\nExec=@APP@/run\n");
             run.options.insert(run.options.begin(), {"--severity", "note"});
         }},
    };
    return ROWS;
}

// Kinds no unprivileged tree lays out on this machine, each with the reason.
const std::map<std::string, std::string> NOT_LAID_OUT = {
    {"writable-by-own-group",
     "needs a group whose one member is the user, which this machine need not have; "
     "CheckWriters adds one for its own rows"},
    {"vm-heap-unreservable",
     "a 64-bit VM reserves any heap the checker's limits let through; the 32-bit case "
     "is tested on the i386 build"},
};

Result check(const Installation& inst, const Layout& how) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check", "--json"};
    command.argv.insert(command.argv.end(), how.options.begin(), how.options.end());
    if (how.appDir) {
        command.argv.push_back(inst.appDir);
    }
    command.cwd = inst.root;
    command.env = baseEnv(inst);
    command.env["XDG_CACHE_HOME"] = inst.root + "/cache";
    for (const auto& variable : how.env) {
        command.env[variable.first] = variable.second;
    }
    const rlim_t stack = how.stack;
    command.beforeExec = [stack]() {
        if (stack != 0) {
            const struct rlimit limit { stack, stack };
            setrlimit(RLIMIT_STACK, &limit);
        }
    };
    return run(command);
}

std::set<std::string> kindsOf(const Json& document) {
    std::set<std::string> kinds;
    for (const Json& application : document.at("applications")) {
        for (const Json& finding : application.at("findings")) {
            kinds.insert(finding.at("kind").get<std::string>());
        }
    }
    return kinds;
}

std::vector<std::string> catalogueKinds() {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check", "--list-kinds", "--json"};
    command.cwd = "/";
    const Result listed = run(command);
    std::vector<std::string> kinds;
    const Json document = Json::parse(listed.out);
    for (const Json& kind : document.at("kinds")) {
        kinds.push_back(kind.at("name").get<std::string>());
    }
    return kinds;
}

// A failing row is named, not dumped as bytes.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.kind;
}

class KindExample : public ::testing::TestWithParam<Row> {};

TEST_P(KindExample, GivesItsKind) {
    const Row& row = GetParam();
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    if (row.ini != nullptr) {
        inst.writeIni(row.ini);
    }
    Layout setup;
    if (row.lay) {
        row.lay(inst, setup);
    }
    if (!setup.skip.empty()) {
        GTEST_SKIP() << setup.skip;
    }
#if defined(DVL_SANITIZED) || defined(DVL_COVERAGE)
    if (setup.stack != 0 && setup.stack < 256 * 1024) {
        GTEST_SKIP() << "an instrumented checker needs more stack at its start than this limit";
    }
#endif
    // Through qemu-user the 32-bit checker is told qemu's own stack limit,
    // not the one the row sets; a real 32-bit kernel runs these rows.
    std::ifstream handler("/proc/sys/fs/binfmt_misc/qemu-i386");
    std::string state;
    if (setup.stack != 0 && underEmulator() && handler >> state && state == "enabled") {
        GTEST_SKIP() << "i386 programs run through qemu-i386 here, which answers for the "
                        "stack limit itself";
    }
    const bool asNobody =
        std::find(setup.options.begin(), setup.options.end(), NOBODY) != setup.options.end();
    if (geteuid() != 0 && (asNobody || row.kind == std::string("judged-as-root"))) {
        GTEST_SKIP() << "needs root, to judge permissions as user 65534";
    }
    const Result result = check(inst, setup);
    if (row.kind == std::string("noexec-mount")) {
        umount((inst.root + "/tmp").c_str());
    }
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    const std::set<std::string> kinds = kindsOf(Json::parse(result.out));
    EXPECT_EQ(kinds.count(row.kind), 1u) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, KindExample, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.kind)) {
                                 name += c == '-' ? '_' : c;
                             }
                             return name;
                         });

// A new kind comes with its example laid out, or a reason why it cannot be.
TEST(KindExamples, EveryKindHasARow) {
    std::set<std::string> laid;
    for (const Row& row : rows()) {
        EXPECT_TRUE(laid.insert(row.kind).second) << row.kind << " twice";
    }
    for (const std::string& kind : catalogueKinds()) {
        EXPECT_TRUE(laid.count(kind) + NOT_LAID_OUT.count(kind) == 1u) << kind;
    }
}

}  // namespace
