// Permissions as the application's user: the checker, run as root with
// --user, against the real launcher started as that user.
#include <dlfcn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>
#include <nlohmann/json.hpp>

#include "LauncherFixture.h"

namespace fs = boost::filesystem;
using namespace dvltest;
using Json = nlohmann::json;

namespace {

// The stand-in must be able to record as the unprivileged user too.
void recordAnywhere(Installation& inst) {
    const std::string records = inst.root + "/records";
    fs::create_directory(records);
    fs::permissions(records, static_cast<fs::perms>(01777));
    inst.record = records + "/record";
}

Result runCheck(const Installation& inst, const std::vector<std::string>& options) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check"};
    command.argv.insert(command.argv.end(), options.begin(), options.end());
    command.argv.push_back(inst.appDir);
    command.cwd = inst.root;
    command.env = baseEnv(inst);
    return run(command);
}

Result launchAsUnprivileged(const Installation& inst) {
    Command command;
    command.program = inst.appDir + "/run";
    command.argv = {"./run"};
    command.cwd = inst.appDir;
    command.env = baseEnv(inst);
    command.beforeExec = becomeUnprivileged;
    return run(command);
}

std::vector<std::string> kindsOf(const Json& report) {
    std::vector<std::string> kinds;
    for (const Json& warning : report.at("findings")) {
        kinds.push_back(warning.at("kind").get<std::string>());
    }
    return kinds;
}

void script(const Installation& inst, const std::string& interpreter, mode_t mode) {
    copyFile(standinBinary(), inst.eclipse + "/Dashvane.bin", 0755);
    writeFile(inst.eclipse + "/Dashvane",
              "#!" + interpreter + "\nexec " + inst.eclipse + "/Dashvane.bin \"$@\"\n", mode);
}

TEST(CheckAccess, WhatTheUserCannotDoIsReportedAndFailsTheirLaunch) {
    DVL_REQUIRE_ROOT();
    const std::string FAILED = "Failed to launch\n";
    struct Case {
        const char* name;
        std::function<bool(const Installation&)> setup;  // false: not possible here
        std::vector<std::string> kinds;                  // as user 65534
        bool starts;
        std::string launchError;  // what the child writes when it fails
    };
    const std::vector<Case> cases = {
        {"clean setup", [](const Installation&) { return true; }, {}, true, ""},
        {"ini file readable by root alone",
         [](const Installation& inst) {
             writeFile(inst.appDir + "/run.ini", "-vmargs\n-Xroot-only\n", 0600);
             return true;
         },
         {"ini-unreadable"},
         true,
         ""},
        {"start directory its owner alone can search",
         [](const Installation& inst) {
             fs::permissions(inst.eclipse, static_cast<fs::perms>(0700));
             return true;
         },
         // One cause, one finding: the child never gets as far as execv.
         {"start-directory"},
         false,
         "Failed to launch, could not set start directory\n"},
        {"executable for its owner alone",
         [](const Installation& inst) {
             fs::permissions(inst.eclipse + "/Dashvane", static_cast<fs::perms>(0700));
             return true;
         },
         {"executable-not-executable"},
         false,
         FAILED},
        {"launcher copy for its owner alone",
         [](const Installation& inst) {
             fs::permissions(inst.appDir + "/run", static_cast<fs::perms>(0700));
             return true;
         },
         {"launcher-copy-not-executable"},
         false,
         ""},
        {"C library for its owner alone",
         [](const Installation& inst) {
             // The stand-in loads its C library from the start directory
             // (a name with a slash), where only root may read it.
             const auto bytesOf = [](const char* path) {
                 std::ifstream in(path, std::ios::binary);
                 return std::string(std::istreambuf_iterator<char>(in), {});
             };
             std::string program = bytesOf(standinBinary().c_str());
             const std::string::size_type at = program.find("libc.so.6");
             Dl_info libc{};
             if (at == std::string::npos ||
                 dladdr(reinterpret_cast<void*>(&std::fflush), &libc) == 0 ||
                 libc.dli_fname == nullptr || libc.dli_fname[0] != '/') {
                 return false;  // a static stand-in or test
             }
             writeFile(inst.eclipse + "/Dashvane", program.replace(at, 9, "./lq.so.6"), 0755);
             writeFile(inst.eclipse + "/lq.so.6", bytesOf(libc.dli_fname), 0600);
             return true;
         },
         {"library-missing"},
         false,
         ""},
        {"executable a dangling symbolic link",
         [](const Installation& inst) {
             fs::remove(inst.eclipse + "/Dashvane");
             fs::create_symlink("Dashvane-1.2", inst.eclipse + "/Dashvane");
             return true;
         },
         {"dangling-link"},
         false,
         FAILED},
        {"executable behind a directory its owner alone can search",
         [](const Installation& inst) {
             fs::create_directory(inst.root + "/private");
             copyFile(standinBinary(), inst.root + "/private/Dashvane", 0755);
             fs::permissions(inst.root + "/private", static_cast<fs::perms>(0700));
             inst.writeIni("launcher=" + inst.root + "/private/Dashvane\n");
             return true;
         },
         {"path-not-searchable"},
         false,
         FAILED},
        {"script for everyone",
         [](const Installation& inst) {
             script(inst, "/bin/sh", 0755);
             return !underEmulator();
         },
         {},
         true,
         ""},
        {"script the user may run but not read",
         [](const Installation& inst) {
             script(inst, "/bin/sh", 0711);
             return !underEmulator();
         },
         {"script-unreadable"},
         false,
         ""},
        {"interpreter for its owner alone",
         [](const Installation& inst) {
             copyFile("/bin/sh", inst.eclipse + "/sh", 0700);
             script(inst, inst.eclipse + "/sh", 0755);
             return !underEmulator();
         },
         {"interpreter-not-executable"},
         false,
         FAILED},
        // The files the path properties name are opened by the application, as the user.
        {"config file of mode 0600 in a directory of mode 0700, both root's",
         [](const Installation& inst) {
             fs::create_directory(inst.root + "/conf");
             writeFile(inst.root + "/conf/app.conf", "a=1\n", 0600);
             fs::permissions(inst.root + "/conf", static_cast<fs::perms>(0700));
             inst.writeIni("-vmargs\n-Ddv.appConfigFile=" + inst.root + "/conf/app.conf\n");
             return true;
         },
         {"path-unreadable"},
         true,
         ""},
        {"init script readable by root alone, in the application directory",
         [](const Installation& inst) {
             writeFile(inst.appDir + "/init.js", "init();\n", 0600);
             inst.writeIni("-vmargs\n-Ddv.appInitScript=init.js\n");
             return true;
         },
         {"path-unreadable"},
         true,
         ""},
        {"program file readable by everyone, named again by a later line",
         [](const Installation& inst) {
             writeFile(inst.appDir + "/old.js", "old();\n", 0600);
             writeFile(inst.appDir + "/main.js", "main();\n", 0644);
             inst.writeIni("-vmargs\n-Ddv.appProgramFile=old.js\n-Ddv.appProgramFile=main.js\n");
             return true;
         },
         {"duplicate-property"},
         true,
         ""},
        {"executable on a file system mounted noexec",
         [](const Installation& inst) {
             const std::string mount = inst.root + "/noexec";
             fs::create_directory(mount);
             if (::mount("dvl", mount.c_str(), "tmpfs", MS_NOEXEC, "mode=0755") != 0) {
                 return false;
             }
             // Written, not copied: a copy between file systems fails here.
             std::ifstream in(standinBinary(), std::ios::binary);
             writeFile(mount + "/Dashvane", std::string(std::istreambuf_iterator<char>(in), {}),
                       0755);
             inst.writeIni("launcher=" + mount + "/Dashvane\n");
             return true;
         },
         {"noexec-mount"},
         false,
         FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installation inst;
        recordAnywhere(inst);
        // Gone before the tree is removed, so nothing of it is left mounted.
        const struct Unmount {
            std::string path;
            ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
        } unmount{inst.root + "/noexec"};
        inst.writeIni("-vmargs\n-Xmx1024m\n");
        if (!c.setup(inst)) {
            continue;
        }
        const Result checked = runCheck(inst, {"--json", "--user", "nobody"});
        EXPECT_EQ(checked.exitCode, c.kinds.empty() ? 0 : 1) << checked.out << checked.err;
        const Json report = Json::parse(checked.out)["applications"][0];
        EXPECT_EQ(kindsOf(report), c.kinds) << checked.out;

        // The proof: the launcher as that user starts the child exactly when
        // the check finds no fault, and with the vector the check shows.
        const Result launched = launchAsUnprivileged(inst);
        const Record record = readRecord(inst.record);
        EXPECT_EQ(record.started, c.starts) << launched.err;
        if (record.started) {
            // Past element 0, which a script's own exec replaces.
            ASSERT_EQ(record.argv.size(), report["argv"].size());
            for (std::size_t i = 1; i < record.argv.size(); ++i) {
                EXPECT_EQ(record.argv[i], report["argv"][i]);
            }
        } else if (!c.launchError.empty()) {
            EXPECT_EQ(launched.err, c.launchError);
        }
    }
}

TEST(CheckAccess, RootWithoutUserSaysPermissionsWereNotJudgedAndNamesTheOwner) {
    DVL_REQUIRE_ROOT();
    Installation inst;
    recordAnywhere(inst);
    // Unreadable for the owner of the application, invisible to root.
    writeFile(inst.appDir + "/run.ini", "-vmargs\n", 0600);
    ASSERT_EQ(chown(inst.appDir.c_str(), UNPRIVILEGED_ID, UNPRIVILEGED_ID), 0);

    // A note: below the default threshold, so the check passes, but the
    // summary says something is there.
    const Result quiet = runCheck(inst, {});
    EXPECT_EQ(quiet.exitCode, 0) << quiet.out;
    EXPECT_NE(quiet.out.find("0 notes; 1 finding below the threshold not shown\n"),
              std::string::npos)
        << quiet.out;
    const Result text = runCheck(inst, {"--explain", "--severity", "note"});
    EXPECT_EQ(text.exitCode, 1) << text.out;
    EXPECT_NE(text.out.find("\nPermissions: judged for root, who bypasses them; the application "
                            "directory belongs to nobody\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(inst.appDir + ": note: permissions were judged for root"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("who bypasses them [judged-as-root]\n" + inst.appDir +
                            ": note: the application directory belongs to nobody, so --user nobody "
                            "may be the one\n" +
                            inst.appDir +
                            ": note: run the check with --user and the user who starts the "
                            "application\n"),
              std::string::npos)
        << text.out;

    const Json report = Json::parse(runCheck(inst, {"--json", "--severity=note"}).out);
    ASSERT_EQ(report["applications"][0]["findings"].size(), 1u);
    EXPECT_EQ(report["applications"][0]["findings"][0]["kind"], "judged-as-root");

    const Result asOwner = runCheck(inst, {"--user", "65534"});
    EXPECT_EQ(asOwner.exitCode, 1);
    EXPECT_NE(asOwner.out.find("ini file \"./run.ini\" cannot be read by nobody: the launcher "
                               "reads it as empty [ini-unreadable]\n" +
                               inst.appDir + "/run.ini: note: make it readable"),
              std::string::npos)
        << asOwner.out;
    EXPECT_EQ(asOwner.out.find("judged-as-root"), std::string::npos);
}

}  // namespace

// A user who may search an application directory but not list it still
// starts its copy by name: the directory is checked, and no copy is said to
// be missing.
TEST(CheckAccess, DirectoryTheUserMaySearchButNotListIsCheckedByName) {
    DVL_REQUIRE_ROOT();
    Installation inst;
    inst.writeIni("-vmargs\n");
    fs::permissions(inst.appDir, static_cast<fs::perms>(0711));
    for (const std::vector<std::string>& where :
         {std::vector<std::string>{inst.appDir}, {"--installation", inst.root + "/ws"}}) {
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check"};
        command.argv.insert(command.argv.end(), where.begin(), where.end());
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        command.beforeExec = becomeUnprivileged;
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        EXPECT_EQ(result.out, "1 application checked: 0 errors, 0 warnings, 0 notes\n");
    }
}
