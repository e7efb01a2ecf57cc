// Every kind's example in --list-kinds, laid out in a throwaway installation
// and checked by the built checker, gives that kind in lines a reader can
// take in; the example fixed, laid out the same way, gives neither that kind
// nor an error. An example that does not is advice that sends its reader the
// wrong way.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
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
    const char* fixedIni;  // the same for the fixed example
    Lay fixedLay;          // none: the sound installation
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

const char DESKTOP_ENTRY[] = "[Desktop Entry]\nType=Application\nExec=@APP@/run\nPath=@APP@\n";
const char UNIT[] =
    "[Service]\nType=forking\nSuccessExitStatus=1\nWorkingDirectory=@APP@\nExecStart=@APP@/run\n";
const char WRAPPER[] = "#!/bin/sh\ncd @APP@ && exec ./run \"$@\"\n";

Lay scriptWith(std::string head, mode_t mode = 0755) {
    return [head, mode](const Installation& inst, Layout&) { script(inst, head, mode); };
}

// A file in the application directory, for a path property to name.
Lay dataFile(std::string name) {
    return [name](const Installation& inst, Layout&) {
        const fs::path path = fs::path(inst.appDir) / name;
        fs::create_directories(path.parent_path());
        writeFile(path.string(), "", 0644);
    };
}

void launcherAbove(const Installation& inst, Layout&) {
    inst.writeIni("launcher=" + inst.eclipse + "/Dashvane\n-vmargs\n");
}

// -Ddv.appConfigFile naming a file of root's, judged as user 65534.
Lay configOfMode(mode_t file, mode_t dir) {
    return [file, dir](const Installation& inst, Layout& run) {
        fs::create_directories(inst.root + "/etc/dv");
        writeFile(inst.root + "/etc/dv/app.conf", "", file);
        fs::permissions(inst.root + "/etc/dv", static_cast<fs::perms>(dir));
        inst.writeIni("-vmargs\n-Ddv.appConfigFile=" + inst.root + "/etc/dv/app.conf\n");
        run.options = {NOBODY};
    };
}

Lay programInDirectoryOfMode(mode_t dir) {
    return [dir](const Installation& inst, Layout& run) {
        fs::create_directories(inst.root + "/opt/dv");
        copyFile(standinBinary(), inst.root + "/opt/dv/Dashvane", 0755);
        fs::permissions(inst.root + "/opt/dv", static_cast<fs::perms>(dir));
        inst.writeIni("launcher=" + inst.root + "/opt/dv/Dashvane\n-vmargs\n");
        run.options = {NOBODY};
    };
}

Lay interpreterOfMode(mode_t mode) {
    return [mode](const Installation& inst, Layout& run) {
        fs::create_directories(inst.root + "/opt");
        copyFile("/bin/sh", inst.root + "/opt/sh", mode);
        script(inst, "#!" + inst.root + "/opt/sh\n");
        run.options = {NOBODY};
    };
}

Lay scriptOfMode(mode_t mode) {
    return [mode](const Installation& inst, Layout& run) {
        script(inst, "#!/bin/sh\n", mode);
        run.options = {NOBODY};
    };
}

// One line below -vmargs of `bytes` bytes.
Lay argumentOf(std::size_t bytes) {
    return [bytes](const Installation& inst, Layout&) {
        inst.writeIni("-vmargs\n-Dx=" + std::string(bytes - 4, 'x') + "\n");
    };
}

Lay manyLongLines(rlim_t stack) {
    return [stack](const Installation& inst, Layout& run) {
        std::string ini = "-vmargs\n";
        for (int i = 0; i < 4; ++i) {
            ini += "-Dx" + std::to_string(i) + "=" + std::string(100000, 'x') + "\n";
        }
        inst.writeIni(ini);
        run.stack = stack;
    };
}

// The bulk is the launch's own, not the checker's: a checker whose own
// environment fills the stack has no room to start either.
Lay oneLongLine(rlim_t stack) {
    return [stack](const Installation& inst, Layout& run) {
        inst.writeIni("-vmargs\n-Dbig=" + std::string(58000, 'x') + "\n");
        run.stack = stack;
    };
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

Lay linked(std::string name, std::string versions) {
    return [name, versions](const Installation& inst, Layout&) {
        linkedDashvane(inst, name, versions);
    };
}

// An agent the VM loads: a jar whose manifest names a class with premain.
void agentJar(const Installation& inst, Layout& run) {
    const std::string dir = inst.eclipse + "/lib/agent";
    fs::create_directories(dir);
    writeFile(dir + "/Agent.java",
              "public class Agent { public static void premain(String a) {} }\n");
    writeFile(dir + "/manifest", "Premain-Class: Agent\n");
    const std::string line = "cd '" + dir + "' && javac Agent.java && jar cfm ../agent.jar " +
                             "manifest Agent.class >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) {
        run.skip = "no javac and jar to build an agent here";
    }
}

void logDirectory(const Installation& inst, Layout&) {
    fs::create_directories(inst.root + "/log");
    inst.writeIni("-vmargs\n-Xlog:gc:file=" + inst.root + "/log/gc.log\n");
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
        {"ini-missing",
         nullptr,
         [](const Installation& inst, Layout&) { fs::remove(inst.appDir + "/run.ini"); },
         nullptr,
         {}},
        {"ini-directory",
         nullptr,
         [](const Installation& inst, Layout&) {
             fs::remove(inst.appDir + "/run.ini");
             fs::create_directory(inst.appDir + "/run.ini");
         },
         nullptr,
         {}},
        {"ini-unreadable", nullptr,
         [](const Installation& inst, Layout& run) {
             writeFile(inst.appDir + "/run.ini", "-vmargs\n", 0600);
             run.options = {NOBODY};
         },
         nullptr, options({NOBODY})},
        {"ini-not-regular",
         nullptr,
         [](const Installation& inst, Layout&) {
             fs::remove(inst.appDir + "/run.ini");
             ASSERT_EQ(mkfifo((inst.appDir + "/run.ini").c_str(), 0644), 0);
         },
         nullptr,
         {}},
        {"wide-encoding",
         nullptr,
         [](const Installation& inst, Layout&) {
             std::string wide = "\xFF\xFE";
             for (const char c : std::string("-vmargs\n-Xmx1g\n")) {
                 wide += std::string(1, c) + '\0';
             }
             inst.writeIni(wide);
         },
         "-vmargs\n-Xmx1g\n",
         {}},
        {"byte-order-mark", "\xEF\xBB\xBF-vmargs\n", {}, "-vmargs\n", {}},
        {"carriage-return", "-vmargs\r-Xmx1g\r", {}, "-vmargs\n-Xmx1g\n", {}},
        {"missing-vmargs", "-Xmx1g\n", {}, "-vmargs\n-Xmx1g\n", {}},
        {"unknown-suppression",
         "# dashvane-launcher-check: ignore letter-cas\n-vmargs\n",
         {},
         "# dashvane-launcher-check: ignore letter-case\n-vmargs\n",
         {}},
        {"nul-byte",
         nullptr,
         [](const Installation& inst, Layout&) {
             inst.writeIni(std::string("-vmargs\n-Dx=a\0b\n", 16));
         },
         "-vmargs\n-Dx=ab\n",
         {}},
        {"control-byte",
         "-vmargs\n-Dx=a\x1B"
         "b\n",
         {},
         "-vmargs\n-Dx=ab\n",
         {}},
        {"no-break-space", "-vmargs\n-Xmx1g\xC2\xA0\n", {}, "-vmargs\n-Xmx1g\n", {}},
        {"blanks-around-equals",
         "-vmargs\n-Ddv.appInitScript = scripts/init.js\n",
         {},
         "-vmargs\n-Ddv.appInitScript=scripts/init.js\n",
         dataFile("scripts/init.js")},
        {"letter-case", "-vmargs\n-Ddv.webapp=shop\n", {}, "-vmargs\n-Ddv.webApp=shop\n", {}},
        {"second-launcher",
         "launcher=/opt/a\nlauncher=/opt/b\n-vmargs\n",
         {},
         nullptr,
         launcherAbove},
        {"name-in-head", "-Ddv.webApp=shop\n-vmargs\n", {}, "-vmargs\n-Ddv.webApp=shop\n", {}},
        {"argument-in-head", "-clean\n-vmargs\n", {}, "-vmargs\n", {}},
        {"launcher-in-vm-section", "-vmargs\nlauncher=/opt/x\n", {}, nullptr, launcherAbove},
        {"vmargs-in-vm-section", "-vmargs\n-vmargs\n", {}, "-vmargs\n", {}},
        {"comment-in-vm-section", "-vmargs\n# heap size\n", {}, "# heap size\n-vmargs\n", {}},
        {"duplicate-property", "-vmargs\n-Dmode=a\n-Dmode=b\n", {}, "-vmargs\n-Dmode=b\n", {}},
        {"empty-application-name", "-vmargs\n-Ddv.webApp\n", {}, "-vmargs\n-Ddv.webApp=shop\n", {}},
        {"empty-path",
         "-vmargs\n-Ddv.appConfigFile=\n",
         {},
         "-vmargs\n-Ddv.appConfigFile=app.conf\n",
         dataFile("app.conf")},
        {"missing-path",
         "-vmargs\n-Ddv.appInitScript=scripts/nothing-here.js\n",
         {},
         "-vmargs\n-Ddv.appInitScript=scripts/init.js\n",
         dataFile("scripts/init.js")},
        {"path-is-directory", "-vmargs\n-Ddv.appConfigFile=scripts\n",
         [](const Installation& inst, Layout&) { fs::create_directory(inst.appDir + "/scripts"); },
         "-vmargs\n-Ddv.appConfigFile=scripts/app.conf\n", dataFile("scripts/app.conf")},
        {"path-unreadable", nullptr, configOfMode(0600, 0700), nullptr, configOfMode(0644, 0755)},
        {"no-launcher-copy",
         "-vmargs\n",
         [](const Installation& inst, Layout&) { fs::remove(inst.appDir + "/run"); },
         nullptr,
         {}},
        {"launcher-copy-not-executable",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::permissions(inst.appDir + "/run", static_cast<fs::perms>(0644));
         },
         nullptr,
         {}},
        {"ini-without-copy",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::rename(inst.appDir + "/run", inst.appDir + "/shop");
         },
         nullptr,
         {}},
        {"several-launcher-copies",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             copyFile(inst.appDir + "/run", inst.appDir + "/shop", 0755);
         },
         nullptr,
         {}},
        {"launcher-copy-stale", "-vmargs\n", staleCopy, nullptr, {}},
        {"judged-as-root", "-vmargs\n", options({"--severity", "note"}), nullptr,
         options({"--severity", "note", NOBODY})},
        {"path-not-searchable", nullptr, programInDirectoryOfMode(0700), nullptr,
         programInDirectoryOfMode(0755)},
        {"dangling-link",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::remove(inst.eclipse + "/Dashvane");
             fs::create_symlink("/opt/gone/Dashvane", inst.eclipse + "/Dashvane");
         },
         nullptr,
         {}},
        {"path-too-long", nullptr, longDirectory, nullptr, {}},
        {"noexec-mount", nullptr, noexecMount, nullptr, {}},
        {"interpreter-not-executable", "-vmargs\n", interpreterOfMode(0700), nullptr,
         interpreterOfMode(0755)},
        {"script-unreadable", "-vmargs\n", scriptOfMode(0711), nullptr, scriptOfMode(0755)},
        {"writable-by-others",
         nullptr,
         [](const Installation& inst, Layout&) {
             writeFile(inst.appDir + "/run.ini", "-vmargs\n", 0666);
         },
         nullptr,
         {}},
        {"data-writable-by-others", "-vmargs\n-Ddv.appInitScript=init.js\n",
         [](const Installation& inst, Layout&) { writeFile(inst.appDir + "/init.js", "", 0666); },
         "-vmargs\n-Ddv.appInitScript=init.js\n", dataFile("init.js")},
        {"argument-too-long", nullptr, argumentOf(131072), nullptr, argumentOf(1000)},
        {"arguments-too-long", nullptr, manyLongLines(1024 * 1024), nullptr,
         manyLongLines(8192 * 1024)},
        {"arguments-exceed-stack", nullptr, oneLongLine(64 * 1024), nullptr,
         oneLongLine(8192 * 1024)},
        {"start-directory",
         nullptr,
         [](const Installation& inst, Layout& run) {
             const std::string dir = inst.root + "/lone/demo";
             fs::create_directories(dir);
             copyFile(inst.appDir + "/run", dir + "/run", 0755);
             writeFile(dir + "/run.ini", "-vmargs\n");
             run.options = {"--no-vm", dir};
             run.appDir = false;
         },
         nullptr,
         {}},
        {"executable-missing", "launcher=/opt/nothing-here\n-vmargs\n", {}, nullptr, launcherAbove},
        {"latent-finding", "\xEF\xBB\xBF-vmargs\n-Xmx1.5g\n", {}, "-vmargs\n-Xmx1536m\n", {}},
        {"executable-not-executable",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::permissions(inst.eclipse + "/Dashvane", static_cast<fs::perms>(0644));
         },
         nullptr,
         {}},
        {"executable-foreign-machine", "-vmargs\n", foreignMachine, nullptr, {}},
        {"executable-damaged", "-vmargs\n", damaged, nullptr, {}},
        {"loader-missing", "-vmargs\n", loaderMissing, nullptr, linked("dv", "")},
        {"library-missing", "-vmargs\n", libraryMissing, nullptr, linked("gtk-3", "")},
        {"loader-refuses", "-vmargs\n", loaderRefuses, nullptr,
         linked("dv", "LIB_2 { global: f; local: *; };\n")},
        {"executable-unknown-format",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.eclipse + "/Dashvane", "run the shop\n", 0755);
         },
         nullptr,
         {}},
        {"interpreter-missing", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/bin/nothing-here\n"); }, nullptr,
         scriptWith("#!/bin/sh\n")},
        {"vm-not-usable",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.eclipse + "/Dashvane.ini", "-vm\n/opt/jdk-gone/bin/java\n");
         },
         nullptr,
         {}},
        {"vm-not-found",
         "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             fs::create_directories(inst.root + "/empty");
             run.env["PATH"] = inst.root + "/empty";
         },
         nullptr,
         {}},
        {"vm-not-asked",
         "-vmargs\n",
         [](const Installation& inst, Layout&) {
             writeFile(inst.root + "/crash", "#!/bin/sh\nkill -SEGV $$\n", 0755);
             writeFile(inst.eclipse + "/Dashvane.ini", "-vm\n" + inst.root + "/crash\n");
         },
         nullptr,
         {}},
        {"vm-environment",
         "-vmargs\n",
         [](const Installation&, Layout& run) { run.env["JAVA_TOOL_OPTIONS"] = "-Xmx1g"; },
         "-vmargs\n-Xmx1g\n",
         {}},
        {"vm-main-class", "-vmargs\n", options({"--", "clean"}), nullptr, {}},
        {"vm-unrecognized-option", "-vmargs\n", options({"--", "-clean"}), nullptr, {}},
        {"vm-unknown-flag",
         "-vmargs\n-XX:MaxPermSize=256m\n",
         {},
         "-vmargs\n-XX:MaxMetaspaceSize=256m\n",
         {}},
        {"vm-flag-setting", "-vmargs\n-XX:UseG1GC=true\n", {}, "-vmargs\n-XX:+UseG1GC\n", {}},
        {"vm-flag-locked",
         "-vmargs\n-XX:+UseEpsilonGC\n",
         {},
         "-vmargs\n-XX:+UnlockExperimentalVMOptions\n-XX:+UseEpsilonGC\n",
         {}},
        {"vm-size-invalid", "-vmargs\n-Xmx1.5g\n", {}, "-vmargs\n-Xmx1536m\n", {}},
        {"vm-size-too-small", "-vmargs\n-Xmx512\n", {}, "-vmargs\n-Xmx512m\n", {}},
        {"vm-heap-order", "-vmargs\n-Xms2g\n-Xmx1g\n", {}, "-vmargs\n-Xms1g\n-Xmx2g\n", {}},
        {"vm-file-unreadable",
         "-vmargs\n-javaagent:lib/agent.jar\n",
         {},
         "-vmargs\n-javaagent:lib/agent.jar\n",
         agentJar},
        {"vm-deprecated-alias", "-vmargs\n-noverify\n", {}, "-vmargs\n", {}},
        {"vm-heap-overridden", "-vmargs\n-Xmx2g\n", heapOverridden, "-vmargs\n-Xmx2g\n", {}},
        {"vm-unexpanded-path",
         "-vmargs\n-Dlog.dir=~/logs\n",
         {},
         "-vmargs\n-Dlog.dir=/home/shop/logs\n",
         {}},
        {"vm-quotes", "-vmargs\n-Dtitle=\"My shop\"\n", {}, "-vmargs\n-Dtitle=My shop\n", {}},
        {"vm-refused",
         "-vmargs\n-XX:MaxRAMPercentage=150\n",
         {},
         "-vmargs\n-XX:MaxRAMPercentage=50\n",
         {}},
        {"vm-log-directory",
         "-vmargs\n-Xlog:gc:file=/var/log/shop/gc.log\n",
         {},
         nullptr,
         logDirectory},
        {"vm-dump-directory",
         "-vmargs\n-XX:+HeapDumpOnOutOfMemoryError\n-XX:HeapDumpPath=/var/dumps/shop.hprof\n",
         {},
         "-vmargs\n-XX:+HeapDumpOnOutOfMemoryError\n-XX:HeapDumpPath=shop.hprof\n",
         {}},
        {"vm-agent-unusable", "-vmargs\n-javaagent:lib/agent.jar\n",
         [](const Installation& inst, Layout&) {
             fs::create_directories(inst.eclipse + "/lib");
             writeFile(inst.eclipse + "/lib/agent.jar", "", 0644);
         },
         "-vmargs\n-javaagent:lib/agent.jar\n", agentJar},
        {"interpreter-not-a-program", "-vmargs\n",
         [](const Installation& inst, Layout&) {
             fs::create_directories(inst.root + "/opt");
             writeFile(inst.root + "/opt/run.sh", "", 0755);
             script(inst, "#!" + inst.root + "/opt/run.sh\n");
         },
         nullptr, scriptWith("#!/bin/sh\n")},
        {"interpreter-option-carriage-return", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/bin/sh -e\r\n"); }, nullptr,
         scriptWith("#!/bin/sh -e\n")},
        {"interpreter-reruns-script", "-vmargs\n",
         [](const Installation& inst, Layout&) { script(inst, "#!/usr/bin/env\n"); }, nullptr,
         scriptWith("#!/usr/bin/env sh\n")},
        {"desktop-entry-without-path", "-vmargs\n",
         start("shop.desktop", "[Desktop Entry]\nType=Application\nExec=@APP@/run\n"), nullptr,
         start("shop.desktop", DESKTOP_ENTRY)},
        {"desktop-exec-refused", "-vmargs\n",
         start("shop.desktop", "[Desktop Entry]\nType=Application\nExec=./run\nPath=@APP@\n"),
         nullptr, start("shop.desktop", DESKTOP_ENTRY)},
        {"unit-without-working-directory", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\nExecStart=@APP@/run\n"),
         nullptr, start("shop.service", UNIT)},
        {"unit-relative-exec-start", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\n"
               "WorkingDirectory=@APP@\nExecStart=./run\n"),
         nullptr, start("shop.service", UNIT)},
        {"unit-stops-application", "-vmargs\n",
         start("shop.service", "[Service]\nWorkingDirectory=@APP@\nExecStart=@APP@/run\n"), nullptr,
         start("shop.service", UNIT)},
        {"cron-outside-directory", "-vmargs\n", cron, nullptr,
         start("crontabs/root", "@reboot cd @APP@ && ./run\n")},
        {"wrapper-outside-directory", "-vmargs\n",
         start("shop", "#!/bin/sh\nexec @APP@/run \"$@\"\n"), nullptr, start("shop", WRAPPER)},
        {"launcher-exit-status-tested", "-vmargs\n",
         start("report", "#!/bin/sh\ncd @APP@ && ./run && echo started\n"), nullptr,
         start("report", "#!/bin/sh\ncd @APP@ && ./run; echo started\n")},
        {"path-link-without-ini", "-vmargs\n", pathLink, nullptr, start("shop", WRAPPER)},
        {"start-name-without-ini", "-vmargs\n",
         start("shop.service",
               "[Service]\nType=forking\nSuccessExitStatus=1\n"
               "WorkingDirectory=@APP@\nExecStart=@@APP@/run shop\n"),
         nullptr, start("shop.service", UNIT)},
        {"start-from-other-application", "-vmargs\n", otherApplication, nullptr,
         start("report", "#!/bin/sh\ncd @APP@ && ./run\n")},
        {"start-not-modeled", "-vmargs\n",
         [](const Installation& inst, Layout& run) {
             startFile(inst, run, "shop.desktop",
                       "[Desktop Entry]\nType=Application\nDBusActivatable=true\nExec=@APP@/run\n");
             run.options.insert(run.options.begin(), {"--severity", "note"});
         },
         nullptr,
         [](const Installation& inst, Layout& run) {
             startFile(inst, run, "shop.desktop",
                       "[Desktop Entry]\nType=Application\nExec=@APP@/run\nPath=@APP@\n");
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

// The checker's report in its default format, the gcc one.
Result check(const Installation& inst, const Layout& how) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check"};
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

// Each kind reported, with the severities its findings have.
std::map<std::string, std::set<std::string>> findingsOf(const std::string& out) {
    static const std::regex finding(R"(^.*?: (error|warning|note): .* \[([a-z0-9-]+)\]$)");
    std::map<std::string, std::set<std::string>> found;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (std::regex_match(line, parts, finding)) {
            found[parts[2].str()].insert(parts[1].str());
        }
    }
    return found;
}

// Paths of the catalogue's examples, which belong to no installation the
// checker looks at: a note naming one is generic advice, not this case's.
const char* const SAMPLE_PATHS[] = {
    "/srv/ws/", "/opt/dv/", "/etc/dv/", "/opt/jdk-gone/", "/usr/local/bin/shop", "/var/log/shop"};

void expectNotesOfTheCase(const std::string& out, const std::string& given) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(": note: ") == std::string::npos) {
            continue;
        }
        for (const char* sample : SAMPLE_PATHS) {
            EXPECT_TRUE(line.find(sample) == std::string::npos ||
                        given.find(sample) != std::string::npos)
                << line;
        }
    }
}

// Whether a stack limit set in a child of this process reaches the program
// it then starts. qemu-user, which runs the 32-bit tests here, takes the
// call and applies none of it.
bool stackLimitReachesPrograms() {
    static const bool reaches = [] {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
            return false;
        }
        const pid_t pid = fork();
        if (pid == 0) {
            const struct rlimit limit { 1024 * 1024, 1024 * 1024 };
            setrlimit(RLIMIT_STACK, &limit);
            dup2(pipeFds[1], STDOUT_FILENO);
            execl("/bin/sh", "sh", "-c", "ulimit -s", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        std::string said;
        char buffer[64];
        for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
            said.append(buffer, static_cast<std::size_t>(n));
        }
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        return said == "1024\n";
    }();
    return reaches;
}

// Lays out `ini` and `lay` in `inst`; why the row cannot run here, or "".
std::string layOut(const Installation& inst, const char* ini, const Lay& lay, Layout& setup) {
    inst.writeIni("-vmargs\n-Xmx64m\n");
    if (ini != nullptr) {
        inst.writeIni(ini);
    }
    if (lay) {
        lay(inst, setup);
    }
    if (!setup.skip.empty()) {
        return setup.skip;
    }
#if defined(DVL_SANITIZED) || defined(DVL_COVERAGE)
    if (setup.stack != 0 && setup.stack < 256 * 1024) {
        return "an instrumented checker needs more stack at its start than this limit";
    }
#endif
    // Through qemu-user the 32-bit checker is told qemu's own stack limit,
    // not the one the row sets; a real 32-bit kernel runs these rows.
    std::ifstream handler("/proc/sys/fs/binfmt_misc/qemu-i386");
    std::string state;
    if (setup.stack != 0 && underEmulator() && handler >> state && state == "enabled") {
        return "i386 programs run through qemu-i386 here, which answers for the stack limit "
               "itself";
    }
    if (setup.stack != 0 && !stackLimitReachesPrograms()) {
        return "a stack limit set here does not reach the checker (this test runs under "
               "qemu-user, which does not apply it)";
    }
    const bool asNobody =
        std::find(setup.options.begin(), setup.options.end(), NOBODY) != setup.options.end();
    if (geteuid() != 0 && asNobody) {
        return "needs root, to judge permissions as user 65534";
    }
    return std::string();
}

// What the row gave the checker besides the installation: its ini file and
// its start file, whose paths a note may repeat.
std::string givenText(const Installation& inst, const Layout& setup) {
    std::string given;
    std::vector<std::string> files = setup.options;
    files.push_back(inst.appDir + "/run.ini");
    for (const std::string& file : files) {
        // Not a named pipe, which would hold the test.
        given += "\n" + file + "\n" + (fs::is_regular_file(file) ? readAll(file) : "");
    }
    return given;
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

TEST_P(KindExample, GivesItsKindReadably) {
    const Row& row = GetParam();
    Installation inst;
    Layout setup;
    const std::string skip = layOut(inst, row.ini, row.lay, setup);
    if (!skip.empty()) {
        GTEST_SKIP() << skip;
    }
    if (geteuid() != 0 && row.kind == std::string("judged-as-root")) {
        GTEST_SKIP() << "needs root, to be judged as root";
    }
    const Result result = check(inst, setup);
    if (row.kind == std::string("noexec-mount")) {
        umount((inst.root + "/tmp").c_str());
    }
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    EXPECT_EQ(findingsOf(result.out).count(row.kind), 1u) << result.out;
    EXPECT_GT(expectReadableText(result.out, inst.root), 0u) << result.out;
    expectNotesOfTheCase(result.out, givenText(inst, setup));
}

// The advice followed, as the fixed example shows it, mends the finding
// without trading it for an error of another kind.
TEST_P(KindExample, FixedGivesNeitherItNorAnError) {
    const Row& row = GetParam();
    Installation inst;
    Layout setup;
    const std::string skip = layOut(inst, row.fixedIni, row.fixedLay, setup);
    if (!skip.empty()) {
        GTEST_SKIP() << skip;
    }
    const Result result = check(inst, setup);
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    const std::map<std::string, std::set<std::string>> found = findingsOf(result.out);
    EXPECT_EQ(found.count(row.kind), 0u) << result.out;
    for (const auto& kind : found) {
        EXPECT_EQ(kind.second.count("error"), 0u) << kind.first << "\n" << result.out;
    }
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
