// The built checker finding the ways an application is started: start files
// laid out under a --root prefix, naming a throwaway installation, each row
// one way a user writes a start. What the real programs make of the same
// files is the business of the tests that run them.
#include <sys/stat.h>
#include <unistd.h>

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

struct StartFile {
    const char* path;  // under the prefix
    const char* text;  // @APP@ and @OTHER@ stand for the application directories;
                       // "->" names a link to @APP@/run, "copy" a copy of it
};

struct Row {
    const char* name;
    std::vector<StartFile> files;
    std::vector<std::string> kinds;  // of the findings about the start files, in order
    bool started;                    // the application has a start
    bool inAppDir;                   // that start's directory is the application's
    const char* invocationName;      // that start's name; nullptr: not looked at
    bool startOption = false;        // judged by --start FILE (the first), with no APPDIR
    const char* user = "";           // whom the start file starts it as
    mode_t iniMode = 0644;           // the application's ini file, for this row
};

std::string filled(std::string text, const Installation& inst, const std::string& other) {
    for (const auto& mark : {std::make_pair(std::string("@APP@"), inst.appDir),
                             std::make_pair(std::string("@OTHER@"), other)}) {
        for (std::size_t at; (at = text.find(mark.first)) != std::string::npos;) {
            text.replace(at, mark.first.size(), mark.second);
        }
    }
    return text;
}

TEST(CheckStarts, StartFilesUnderARootPrefix) {
    const std::vector<Row> rows = {
        {"desktop entry done right",
         {{"usr/share/applications/demo.desktop",
           "[Desktop Entry]\nType=Application\nName=Demo\nExec=@APP@/run\nPath=@APP@\n"}},
         {},
         true,
         true,
         "@APP@/run"},
        {"desktop entry through env",
         {{"usr/share/applications/demo.desktop",
           "[Desktop Entry]\nType=Application\nExec=env LANG=C @APP@/run\nPath=@APP@\n"}},
         {},
         true,
         true,
         "@APP@/run"},
        {"desktop entry without Path=",
         {{"usr/share/applications/demo.desktop",
           "[Desktop Entry]\nType=Application\nName=Demo\nExec=\"@APP@/run\" %U\n"}},
         {"desktop-entry-without-path"},
         true,
         false,
         "@APP@/run"},
        {"desktop entry Exec=./run",
         {{"usr/local/share/applications/demo.desktop",
           "[Desktop Entry]\nType=Application\nExec=./run\nPath=@APP@\n"}},
         {"desktop-exec-refused"},
         true,
         true,
         "./run"},
        {"autostart in root's home without Path=",
         {{"root/.config/autostart/demo.desktop",
           "[Desktop Entry]\nType=Application\nExec=sh -c \"@APP@/run\"\n"}},
         {"desktop-entry-without-path"},
         true,
         false,
         nullptr},
        {"hidden desktop entry",
         {{"etc/xdg/autostart/demo.desktop",
           "[Desktop Entry]\nType=Application\nHidden=true\nExec=@APP@/run\n"}},
         {},
         false,
         false,
         nullptr},
        {"plain system unit",
         {{"etc/systemd/system/demo.service", "[Service]\nExecStart=@APP@/run\n"}},
         {"unit-without-working-directory", "unit-stops-application"},
         true,
         false,
         "@APP@/run"},
        {"recommended unit, directory from a drop-in",
         {{"lib/systemd/system/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nExecStart=@APP@/run\n"},
          {"lib/systemd/system/demo.service.d/dir.conf", "[Service]\nWorkingDirectory=@APP@\n"}},
         {},
         true,
         true,
         "@APP@/run"},
        {"unit as a user who cannot read the ini file",
         {{"etc/systemd/system/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nUser=nobody\nWorkingDirectory=@APP@\n"
           "ExecStart=@APP@/run\n"}},
         {"ini-unreadable"},
         true,
         true,
         "@APP@/run",
         false,
         "nobody",
         0600},
        {"unit ExecStart=./run",
         {{"etc/systemd/system/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nWorkingDirectory=@APP@\n"
           "ExecStart=./run\n"}},
         {"unit-relative-exec-start"},
         true,
         true,
         "./run"},
        {"unit through env, from its directory",
         {{"etc/systemd/system/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nWorkingDirectory=@APP@\n"
           "ExecStart=/usr/bin/env ./run\n"}},
         {},
         true,
         true,
         "./run"},
        {"unit naming its application by specifiers",
         {{"etc/systemd/system/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nWorkingDirectory=@APP@\n"
           "ExecStart=@APP@/../%p/run\n"}},
         {},
         true,
         true,
         "@APP@/../demo/run"},
        {"user unit without WorkingDirectory=",
         {{"usr/lib/systemd/user/demo.service",
           "[Service]\nType=forking\nSuccessExitStatus=1\nExecStart=@APP@/run\n"}},
         {"unit-without-working-directory"},
         true,
         false,
         "@APP@/run"},
        {"system crontab @reboot",
         {{"etc/crontab", "SHELL=/bin/sh\n@reboot root @APP@/run\n"}},
         {"cron-outside-directory"},
         true,
         false,
         "@APP@/run",
         false,
         "root"},
        {"cron.d line chaining on the status",
         {{"etc/cron.d/demo", "*/5 * * * * root cd @APP@ && ./run && echo started\n"}},
         {"launcher-exit-status-tested"},
         true,
         true,
         "./run"},
        {"user crontab starting from another application",
         {{"var/spool/cron/crontabs/root", "0 6 * * * cd @OTHER@ && ../demo/run\n"}},
         {"start-from-other-application"},
         true,
         false,
         "../demo/run"},
        {"cron.d file with a dot, which cron skips",
         {{"etc/cron.d/demo.disabled", "@reboot root @APP@/run\n"}},
         {},
         false,
         false,
         nullptr},
        {"link along PATH by another name",
         {{"usr/local/bin/demo", "->"}},
         {"path-link-without-ini"},
         true,
         true,
         "demo"},
        {"link along PATH by the copy's name",
         {{"usr/local/bin/run", "->"}},
         {},
         true,
         true,
         "run"},
        {"the installed program along PATH, alike in bytes",
         {{"usr/bin/dashvane-launcher", "copy"}},
         {},
         false,
         false,
         nullptr},
        {"copy along PATH by another name",
         {{"usr/bin/demo", "copy"}},
         {"path-link-without-ini"},
         true,
         true,
         "demo"},
        {"--start with a cron.d file alone",
         {{"etc/cron.d/demo", "@reboot nobody @APP@/run\n"}},
         {"cron-outside-directory"},
         true,
         false,
         "@APP@/run",
         true,
         "nobody"},
    };
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    const std::string other = inst.root + "/ws/apps/other";
    fs::create_directories(other);
    copyFile(inst.appDir + "/run", other + "/run", 0755);
    writeFile(other + "/run.ini", "-vmargs\n");
    int number = 0;
    for (const Row& row : rows) {
        const std::string prefix = inst.root + "/prefix" + std::to_string(++number);
        for (const StartFile& file : row.files) {
            const fs::path path = prefix + "/" + file.path;
            fs::create_directories(path.parent_path());
            const std::string text = file.text;
            if (text == "->") {
                fs::create_symlink(inst.appDir + "/run", path);
            } else if (text == "copy") {
                copyFile(inst.appDir + "/run", path.native(), 0755);
            } else {
                writeFile(path.native(), filled(text, inst, other));
            }
        }
        chmod((inst.appDir + "/run.ini").c_str(), row.iniMode);
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check", "--no-vm", "--json"};
        if (row.startOption) {
            command.argv.insert(command.argv.end(), {"--start", prefix + "/" + row.files[0].path});
        } else {
            command.argv.insert(command.argv.end(), {"--root", prefix, inst.appDir});
        }
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        const Result result = run(command);
        ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << row.name << result.err;
        const Json report = Json::parse(result.out).at("applications").at(0);
        EXPECT_EQ(report.at("physical_directory"), inst.appDir) << row.name;
        std::vector<std::string> kinds;
        for (const Json& finding : report.at("findings")) {
            if (finding.at("file").get<std::string>().compare(0, prefix.size(), prefix) == 0) {
                kinds.push_back(finding.at("kind"));
            }
            expectReadable(finding.at("message"), finding.at("advice"), inst.root);
        }
        EXPECT_EQ(kinds, row.kinds) << row.name;
        if (!row.kinds.empty()) {
            EXPECT_EQ(result.exitCode, 1) << row.name;
        }
        const Json& starts = report.at("starts");
        ASSERT_EQ(starts.size(), row.started ? 1u : 0u) << row.name << starts.dump();
        if (!row.started) {
            continue;
        }
        const Json& start = starts.at(0);
        EXPECT_EQ(start.at("working_directory") == inst.appDir, row.inAppDir) << row.name;
        if (*row.user != '\0') {
            EXPECT_EQ(start.at("user"), row.user) << row.name;
        }
        if (row.invocationName != nullptr) {
            EXPECT_EQ(start.at("invocation_name"), filled(row.invocationName, inst, other))
                << row.name;
        }
        // Started from its own directory by a name whose ini file it has and
        // can read, the launch is the one the application's own check describes.
        const bool sameLaunch = row.inAppDir && row.iniMode == 0644 &&
                                (row.kinds.empty() || row.kinds[0] != "path-link-without-ini");
        EXPECT_EQ(start.at("vector") == report.at("argv"), sameLaunch) << row.name << start.dump();
    }
}

// --start on a file from anywhere: its kind told by what it holds, and a
// file that cannot be read, whose kind cannot be told or that starts no
// launcher copy refused with the reason (status 2), never passed as clean.
struct AskedRow {
    const char* name;
    const char* path;                // under the scratch directory
    const char* text;                // as in StartFile; "dir" makes a directory, nullptr nothing
    const char* kind;                // --start-kind, or nullptr
    int exitCode;                    // 2, or -1 for "0 or 1 as the findings say"
    std::vector<std::string> kinds;  // of the findings about the file
    const char* said = "";           // on standard error, with status 2
    const char* invocationName = nullptr;
};

TEST(CheckStarts, StartFileAskedAboutIsJudgedOrRefused) {
    const std::vector<AskedRow> rows = {
        {"system crontab kept elsewhere",
         "keep/shop.cron",
         "@reboot root @APP@/run\n",
         nullptr,
         -1,
         {"cron-outside-directory"}},
        {"user crontab kept elsewhere",
         "keep/mine",
         "MAILTO=\"\"\n0 6 * * * cd @APP@ && ./run\n",
         nullptr,
         -1,
         {},
         "",
         "./run"},
        {"desktop entry by its group",
         "keep/shop.entry",
         "[Desktop Entry]\nType=Application\nExec=@APP@/run\nPath=@APP@\n",
         nullptr,
         -1,
         {}},
        {"unit by its sections",
         "keep/shop.unit",
         "[Unit]\nDescription=shop\n\n[Service]\nType=forking\nSuccessExitStatus=1\n"
         "WorkingDirectory=@APP@\nExecStart=@APP@/run\n",
         nullptr,
         -1,
         {}},
        {"the README's wrapper",
         "keep/shop",
         "#!/bin/sh\n# /usr/local/bin/shop\ncd @APP@ && exec ./run \"$@\"\n",
         nullptr,
         -1,
         {},
         "",
         "./run"},
        {"wrapper without cd",
         "keep/shop",
         "#!/bin/sh\nexec @APP@/run \"$@\" >/dev/null 2>&1\n",
         nullptr,
         -1,
         {"wrapper-outside-directory"}},
        {"wrapper through env -C in a subshell",
         "keep/shop",
         "#!/bin/sh\n(env -C @APP@ ./run 2>&1 &)\n",
         nullptr,
         -1,
         {},
         "",
         "./run"},
        {"--start-kind over the name",
         "keep/shop.desktop",
         "@reboot root @APP@/run\n",
         "cron",
         -1,
         {"cron-outside-directory"}},
        {"no kind to tell",
         "keep/notes",
         "start the shop by hand\n",
         nullptr,
         2,
         {},
         "cannot tell what kind of start file"},
        {"a directory", "keep/dir", "dir", nullptr, 2, {}, "it is a directory"},
        {"no such file", "keep/missing", nullptr, nullptr, 2, {}, "No such file"},
        {"deleted desktop entry",
         "keep/shop.desktop",
         "[Desktop Entry]\nType=Application\nHidden=true\nExec=@APP@/run\n",
         nullptr,
         2,
         {},
         "Hidden=true"},
        {"desktop entry of Type=Link",
         "keep/shop.desktop",
         "[Desktop Entry]\nType=Link\nURL=file:///srv\n",
         nullptr,
         2,
         {},
         "Type=Link"},
        {"crontab starting something else",
         "keep/other",
         "@reboot root /bin/true\n",
         nullptr,
         2,
         {},
         "starts no launcher copy"},
        {"wrapper whose cd target is missing",
         "keep/shop",
         "#!/bin/sh\ncd @APP@/gone && exec ./run \"$@\"\n",
         nullptr,
         2,
         {},
         "changes into @APP@/gone, which does not exist"},
        {"script for another interpreter",
         "keep/tool",
         "#!/usr/bin/python3\nprint()\n",
         nullptr,
         2,
         {},
         "not for the shell"},
        {"the installed launcher",
         "usr/bin/dashvane-launcher",
         "copy",
         nullptr,
         2,
         {},
         "the installed launcher"},
        // Starts the checker cannot follow without running them: said, not guessed.
        {"desktop entry started by D-Bus",
         "keep/shop.desktop",
         "[Desktop Entry]\nType=Application\nDBusActivatable=true\nExec=@APP@/run\n",
         nullptr,
         -1,
         {"start-not-modeled"}},
        {"unit with a specifier not expanded",
         "keep/shop.service",
         "[Service]\nType=forking\nSuccessExitStatus=1\nWorkingDirectory=@APP@\n"
         "ExecStart=@APP@/run -Dboot=%b\n",
         nullptr,
         -1,
         {"start-not-modeled"}},
        {"cron line along its own PATH=",
         "keep/shop.cron",
         "PATH=@APP@:/usr/bin:/bin\n@reboot root cd @APP@ && run\n",
         nullptr,
         -1,
         {}},
    };
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    int number = 0;
    for (const AskedRow& row : rows) {
        const fs::path path = inst.root + "/asked" + std::to_string(++number) + "/" + row.path;
        fs::create_directories(path.parent_path());
        const std::string text = row.text == nullptr ? "" : row.text;
        if (text == "dir") {
            fs::create_directories(path);
        } else if (text == "copy") {
            copyFile(inst.appDir + "/run", path.native(), 0755);
        } else if (row.text != nullptr) {
            writeFile(path.native(), filled(text, inst, ""), 0755);
        }
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check",
                        "--no-vm",
                        "--json",
                        "--severity",
                        "note",
                        "--start",
                        path.native()};
        if (row.kind != nullptr) {
            command.argv.insert(command.argv.end(), {"--start-kind", row.kind});
        }
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        const Result result = run(command);
        if (row.exitCode == 2) {
            EXPECT_EQ(result.exitCode, 2) << row.name << result.out;
            EXPECT_NE(result.err.find(filled(row.said, inst, "")), std::string::npos)
                << row.name << result.err;
            continue;
        }
        ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << row.name << result.err;
        const Json report = Json::parse(result.out).at("applications").at(0);
        EXPECT_EQ(report.at("physical_directory"), inst.appDir) << row.name;
        std::vector<std::string> kinds;
        for (const Json& finding : report.at("findings")) {
            if (finding.at("file") == path.native()) {
                kinds.push_back(finding.at("kind"));
            }
        }
        EXPECT_EQ(kinds, row.kinds) << row.name << result.out;
        ASSERT_EQ(report.at("starts").size(), 1u) << row.name;
        const Json& start = report.at("starts").at(0);
        if (row.invocationName != nullptr) {
            EXPECT_EQ(start.at("invocation_name"), row.invocationName) << row.name;
            // From its own directory by its own name: the launch the
            // application's own check describes.
            EXPECT_EQ(start.at("vector"), report.at("argv")) << row.name;
        }
    }
}

// Units whose ExecStart= takes variables from Environment= and
// EnvironmentFile= and specifiers, judged by --start: the arguments the
// launcher gets, or the start said not to be followed, or the unit refused
// where systemd fails it. @OTHER@ is the row's own directory.
TEST(CheckStarts, UnitVariablesAndSpecifiersGiveTheArguments) {
    struct UnitRow {
        const char* name;
        const char* service;  // [Service] lines but Type=, SuccessExitStatus= and WorkingDirectory=
        const char* environmentFile;         // @OTHER@/shop.env
        std::vector<std::string> arguments;  // after the program's name
        const char* refused = nullptr;       // on standard error, with status 2
        bool followed = true;                // false: start-not-modeled, no vector
    };
    const std::vector<UnitRow> rows = {
        {"later assignments win, the file's over Environment='s",
         "Environment=A=1 \"B=x  y\"\nEnvironment=A=2\nEnvironmentFile=@OTHER@/shop.env\n"
         "EnvironmentFile=-@OTHER@/none.env\nExecStart=@APP@/run -Da=${A} -Db=${B} -Dc=${C}\n",
         "C=file\nA=from file\n",
         {"-Da=from file", "-Db=x  y", "-Dc=file"}},
        {"an empty Environment= drops the ones before",
         "Environment=A=1\nEnvironment=\nEnvironment=B=2\nExecStart=@APP@/run -Da=${A} -Db=${B}\n",
         "",
         {"-Da=", "-Db=2"}},
        {"a word of $NAME alone is split, unset is no word",
         "Environment=\"OPTS=-Dx=1 '-Dy=a b'\" EMPTY=\n"
         "ExecStart=@APP@/run $OPTS $NONE ${NONE} $EMPTY $$OPTS a$OPTS $OPTS/x\n",
         "",
         {"-Dx=1", "-Dy=a b", "", "$OPTS", "a$OPTS"}},
        {"specifiers in Environment= and ExecStart=",
         "Environment=U=%n\nExecStart=@APP@/run ${U} %N %p %t %S %C %L %E %y %Y %U %g %%\n",
         "",
         {"shop.service", "shop", "shop", "/run", "/var/lib", "/var/cache", "/var/log", "/etc",
          "@OTHER@/shop.service", "@OTHER@", "0", "root", "%"}},
        {"PATH and the user's names where User= is given",
         "User=root\nExecStart=@APP@/run ${HOME} $USER ${PATH}\n",
         "",
         {"/root", "root", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"}},
        {"no User=, no HOME", "ExecStart=@APP@/run -Dh=${HOME}\n", "", {"-Dh="}},
        {"a user the password file does not know",
         "User=dvl-no-such-user\nExecStart=@APP@/run -Dh=${HOME}\n",
         "",
         {},
         nullptr,
         false},
        {"root's shell, which systemd chooses",
         "User=root\nExecStart=@APP@/run -Ds=${SHELL}\n",
         "",
         {},
         nullptr,
         false},
        {"a required environment file missing",
         "EnvironmentFile=@OTHER@/none.env\nExecStart=@APP@/run\n",
         "",
         {},
         "EnvironmentFile=@OTHER@/none.env is missing, so systemd fails the unit"},
        {"a required environment file missing, after a specifier not known in Environment=",
         "Environment=X=%b\nEnvironmentFile=@OTHER@/none.env\nExecStart=@APP@/run\n",
         "",
         {},
         "EnvironmentFile=@OTHER@/none.env is missing, so systemd fails the unit"},
        // "|": the file is a named pipe, which must not hold the check up.
        {"an environment file that is a named pipe",
         "EnvironmentFile=@OTHER@/shop.env\nExecStart=@APP@/run -Da=${A}\n",
         "|",
         {},
         nullptr,
         false},
        {"PATH, where ExecSearchPath= sets it",
         "ExecSearchPath=/opt/bin\nExecStart=@APP@/run -Dp=${PATH}\n",
         "",
         {},
         nullptr,
         false},
        {"a variable set as the unit starts",
         "ExecStart=@APP@/run -Did=${INVOCATION_ID}\n",
         "",
         {},
         nullptr,
         false},
        {"the boot's id", "ExecStart=@APP@/run -Dboot=%b\n", "", {}, nullptr, false},
        {"a file pattern, its variables not named",
         "EnvironmentFile=@OTHER@/*.env\nEnvironmentFile=relative.env\nExecStart=@APP@/run -Dx\n",
         "A=1\n",
         {"-Dx"}},
        {"a file pattern, its variables named",
         "EnvironmentFile=@OTHER@/*.env\nExecStart=@APP@/run -Da=${A}\n",
         "A=1\n",
         {},
         nullptr,
         false},
        {"a variable passed from the manager",
         "PassEnvironment=A\nExecStart=@APP@/run $A\n",
         "",
         {},
         nullptr,
         false},
    };
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    int number = 0;
    for (const UnitRow& row : rows) {
        const std::string dir = inst.root + "/unit" + std::to_string(++number);
        fs::create_directories(dir);
        writeFile(dir + "/shop.service",
                  filled(std::string("[Service]\nType=forking\nSuccessExitStatus=1\n"
                                     "WorkingDirectory=@APP@\n") +
                             row.service,
                         inst, dir));
        if (std::string(row.environmentFile) == "|") {
            ASSERT_EQ(mkfifo((dir + "/shop.env").c_str(), 0644), 0);
        } else if (*row.environmentFile != '\0') {
            writeFile(dir + "/shop.env", row.environmentFile);
        }
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {
            "dashvane-launcher-check", "--no-vm", "--json", "--severity", "note", "--start",
            dir + "/shop.service"};
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        const Result result = run(command);
        if (row.refused != nullptr) {
            EXPECT_EQ(result.exitCode, 2) << row.name << result.out;
            EXPECT_NE(result.err.find(filled(row.refused, inst, dir)), std::string::npos)
                << row.name << result.err;
            continue;
        }
        ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << row.name << result.err;
        const Json report = Json::parse(result.out).at("applications").at(0);
        ASSERT_EQ(report.at("starts").size(), 1u) << row.name;
        const Json& start = report.at("starts").at(0);
        bool notModeled = false;
        for (const Json& finding : report.at("findings")) {
            notModeled = notModeled || finding.at("kind") == "start-not-modeled";
        }
        EXPECT_EQ(notModeled, !row.followed) << row.name << result.out;
        EXPECT_EQ(start.at("vector").empty(), !row.followed) << row.name;
        if (row.followed) {
            std::vector<std::string> arguments;
            for (const std::string& argument : row.arguments) {
                arguments.push_back(filled(argument, inst, dir));
            }
            EXPECT_EQ(start.at("arguments"), arguments) << row.name;
        }
    }
}

// Desktop entries launched by the real gio: the copy gio starts runs the
// stand-in, whose record is what the child really got. Where gio starts the
// application, the checker's vector is the recorded one; where gio refuses
// the file, the checker finds no start, or says that gio refuses it.
TEST(CheckStarts, DesktopEntriesAgreeWithGioLaunch) {
    if (access("/usr/bin/gio", X_OK) != 0 || underEmulator()) {
        GTEST_SKIP() << "needs gio (libglib2.0-bin) and a native build";
    }
    struct GioRow {
        const char* name;
        const char* keys;  // of [Desktop Entry], as in StartFile
        bool started;      // gio starts the application
        const char* lang = "";
    };
    const std::vector<GioRow> rows = {
        {"plain", "Type=Application\nName=Shop\nPath=@APP@\nExec=@APP@/run\n", true},
        {"both escape levels",
         R"(Type=Application
Path=@APP@
Exec=@APP@/run "-Dq=say \\"hi\\"" "\\$HOME" a\\\\\\\\b "\\\\`" c\sd
)",
         true},
        {"every field code",
         "Type=Application\nName=Shop\nIcon=shop\nPath=@APP@\n"
         "Exec=@APP@/run %f %F %u %U %i %c %k %% %d %D %n %N %v %m %x x%fy\n",
         true},
        {"a name with a quote, in quotes",
         "Type=Application\nName=Bob's Shop\nPath=@APP@\nExec=@APP@/run %c \"%c\"\n", true},
        {"the name in the session's language",
         "Type=Application\nName=Shop\nName[de]=Laden\nPath=@APP@\nExec=@APP@/run %c\n", true,
         "de_DE.UTF-8"},
        {"single quotes, backslashes and a comment",
         "Type=Application\nPath=@APP@\nExec=@APP@/run 'a \"b' c\\\\ d e\\\\\\\\f # gone\n", true},
        {"sh -c with a code in quotes",
         "Type=Application\nExec=sh -c \"cd @APP@ && exec ./run %f\"\n", true},
        {"not shown in menus", "Type=Application\nNoDisplay=true\nPath=@APP@\nExec=@APP@/run\n",
         true},
        {"Type=Link", "Type=Link\nPath=@APP@\nExec=@APP@/run\n", false},
        {"no Type=", "Path=@APP@\nExec=@APP@/run\n", false},
        {"TryExec= not found", "Type=Application\nTryExec=@APP@/gone\nPath=@APP@\nExec=@APP@/run\n",
         false},
        {"an unquoted path with a blank", "Type=Application\nPath=@APP@\nExec=@APP@/my run\n",
         false},
        {"a quote not closed", "Type=Application\nPath=@APP@\nExec=\"@APP@/run\n", false},
    };
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    const std::string home = inst.root + "/home";
    fs::create_directories(home + "/run");
    chmod((home + "/run").c_str(), 0700);
    const std::string file = inst.root + "/keep/shop.desktop";
    fs::create_directories(inst.root + "/keep");
    for (const GioRow& row : rows) {
        writeFile(file, filled(std::string("[Desktop Entry]\n") + row.keys, inst, ""));
        fs::remove(inst.record);
        Command gio;
        gio.program = "/usr/bin/gio";
        gio.argv = {"gio", "launch", file};
        gio.cwd = home;
        gio.env = {{"PATH", "/usr/bin:/bin"},
                   {"HOME", home},
                   {"XDG_RUNTIME_DIR", home + "/run"},
                   {"XDG_DATA_DIRS", home},
                   {"XDG_CONFIG_HOME", home},
                   {"XDG_DATA_HOME", home},
                   {"DASHVANE_STANDIN_RECORD", inst.record}};
        Command check;
        check.program = DVL_CHECK_BINARY;
        check.argv = {"dashvane-launcher-check", "--no-vm", "--json", "--start", file};
        check.cwd = home;
        check.env = baseEnv(inst);
        check.env["HOME"] = home;
        if (*row.lang != '\0') {
            gio.env["LANG"] = check.env["LANG"] = row.lang;
        }
        const Result launched = run(gio);
        for (int wait = 0; launched.exitCode == 0 && wait < 50 && !readRecord(inst.record).started;
             ++wait) {
            usleep(100000);
        }
        usleep(200000);
        const Record record = readRecord(inst.record);
        EXPECT_EQ(record.started, row.started) << row.name << launched.err;
        const Result checked = run(check);
        if (!row.started) {
            // No start, or one the checker says gio refuses.
            EXPECT_TRUE(checked.exitCode == 2 ||
                        checked.out.find("\"desktop-exec-refused\"") != std::string::npos)
                << row.name << checked.out << checked.err;
            continue;
        }
        ASSERT_TRUE(checked.exitCode == 0 || checked.exitCode == 1) << row.name << checked.err;
        const Json starts = Json::parse(checked.out).at("applications").at(0).at("starts");
        ASSERT_EQ(starts.size(), 1u) << row.name;
        EXPECT_EQ(starts.at(0).at("vector").get<std::vector<std::string>>(), record.argv)
            << row.name;
    }
}

// The README's layout: the package's launcher in PREFIX/usr/bin, each
// application's copy a link to it. The installed launcher starts none of
// them, and a link along PATH is judged by the name it is started by.
TEST(CheckStarts, ReadmeSymlinkLayoutUnderAPrefix) {
    Installation inst;
    inst.writeIni("-vmargs\n-Xmx64m\n");
    const std::string prefix = inst.root + "/prefix";
    const std::string installed = prefix + "/usr/bin/dashvane-launcher";
    fs::create_directories(prefix + "/usr/bin");
    fs::create_directories(prefix + "/usr/local/bin");
    copyFile(inst.appDir + "/run", installed, 0755);
    const std::string shop = inst.root + "/ws/apps/shop";
    fs::create_directories(shop);
    writeFile(shop + "/run.ini", "-vmargs\n-Xmx64m\n");
    for (const std::string& dir : {inst.appDir, shop}) {
        fs::remove(dir + "/run");
        fs::create_symlink(installed, dir + "/run");
    }
    fs::create_symlink(shop + "/run", prefix + "/usr/local/bin/shop");
    const auto check = [&](std::vector<std::string> args) {
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check", "--no-vm", "--json"};
        command.argv.insert(command.argv.end(), args.begin(), args.end());
        command.cwd = inst.root;
        command.env = baseEnv(inst);
        return run(command);
    };

    Result result = check({"--root", prefix, inst.appDir});
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    Json report = Json::parse(result.out).at("applications").at(0);
    EXPECT_EQ(report.at("starts").size(), 0u) << report.at("starts").dump();
    for (const Json& finding : report.at("findings")) {
        EXPECT_NE(finding.at("file").get<std::string>().compare(0, prefix.size(), prefix), 0)
            << finding.dump();
    }

    result = check({"--start", installed});
    EXPECT_EQ(result.exitCode, 2) << result.out;

    // The link chain ends at the installed launcher, but starts shop's copy.
    result = check({"--start", prefix + "/usr/local/bin/shop"});
    ASSERT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
    report = Json::parse(result.out).at("applications").at(0);
    EXPECT_EQ(report.at("physical_directory"), shop);
    ASSERT_EQ(report.at("starts").size(), 1u);
    EXPECT_EQ(report.at("starts").at(0).at("invocation_name"), "shop");
}

}  // namespace
