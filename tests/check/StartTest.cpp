// The readers of start files and the start rules on text and facts written
// out here: no file is read. Each table row is one way a user writes a start.
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "facts/Crontab.h"
#include "facts/DesktopEntry.h"
#include "facts/ProgramSearch.h"
#include "facts/ShellLine.h"
#include "facts/SystemdUnit.h"
#include "rules/StartRules.h"

#include "TempDir.h"

namespace {

using Words = std::vector<std::string>;

TEST(StartReaders, DesktopExecSplitsAsGioDoes) {
    struct Row {
        const char* value;  // after the string escapes of the file
        Words argv;         // empty: refused
    };
    const std::vector<Row> rows = {
        {"/srv/ws/apps/shop/run %U", {"/srv/ws/apps/shop/run"}},
        {"/srv/run --x \"a b\" 100%%", {"/srv/run", "--x", "a b", "100%"}},
        {"\"/srv/my apps/run\" \"say \\\"hi\\\" \\$HOME \\q\"",
         {"/srv/my apps/run", "say \"hi\" $HOME \\q"}},
        {"/srv/run --file=%f", {"/srv/run", "--file="}},
        // Codes are expanded before the line is split, inside quotes too.
        {"sh -c \"./run %f [%%]\"", {"sh", "-c", "./run  [%]"}},
        {"/srv/run %c %i %k", {"/srv/run", "Bob's Shop", "--icon", "shop icon"}},
        {"/srv/run %z %d %m x%", {"/srv/run", "x%"}},
        {"/srv/run 'a \"b' c\\ d e\\\\f\tg\nh # gone",
         {"/srv/run", "a \"b", "c d", "e\\f", "g", "h"}},
        {"\"/srv/run", {}},
        {"%F", {}},
    };
    DesktopFields fields;
    fields.name = "Bob's Shop";
    fields.icon = "shop icon";
    for (const Row& row : rows) {
        Words argv;
        ExecRefusal problem;
        const bool ok = splitDesktopExec(row.value, fields, argv, problem);
        EXPECT_EQ(ok, !row.argv.empty()) << row.value;
        if (ok) {
            EXPECT_EQ(argv, row.argv) << row.value;
        }
    }
}

TEST(StartReaders, DesktopEntryTakesItsFirstGroupAndActions) {
    const DesktopEntry entry = parseDesktopEntry(
        "# comment\n[Desktop Entry]\r\nType=Application\nName=Shop\nName[de]=Laden\n"
        "Exec=/srv/a\\sb/run \\\\\\\\ \\$\nPath = /srv/a b\nHidden=True\nActions=x;\n"
        "[Desktop Action x]\nExec=/other\n[Other]\nExec=/none\n");
    ASSERT_TRUE(entry.hasGroup);
    ASSERT_NE(entry.find("Exec"), nullptr);
    EXPECT_EQ(entry.find("Exec")->value, "/srv/a b/run \\\\ \\$");
    EXPECT_EQ(entry.find("Exec")->line, 6u);
    EXPECT_EQ(entry.find("Path")->value, "/srv/a b");
    EXPECT_FALSE(entry.flag("Hidden"));  // only "true" is true
    EXPECT_EQ(entry.name({"de_AT", "de"}), "Laden");
    EXPECT_EQ(entry.name({"fr"}), "Shop");
    ASSERT_NE(entry.action("x"), nullptr);
    EXPECT_EQ(entry.action("x")->find("Exec")->value, "/other");
    EXPECT_EQ(entry.action("Other"), nullptr);
    EXPECT_FALSE(parseDesktopEntry("[Other]\n[Desktop Entry]\nExec=/x\n").hasGroup);
}

TEST(StartReaders, ExecStartSplitsAsSystemdDoes) {
    struct Row {
        const char* value;
        const char* prefixes;
        const char* path;
        Words argv;  // empty: refused
    };
    const std::vector<Row> rows = {
        {"/srv/ws/apps/shop/run", "", "/srv/ws/apps/shop/run", {"/srv/ws/apps/shop/run"}},
        {"-/srv/run a", "-", "/srv/run", {"/srv/run", "a"}},
        {"@/srv/run shop --x", "@", "/srv/run", {"shop", "--x"}},
        {"'/srv/my dir/run' \"a b\" c\\sd",
         "",
         "/srv/my dir/run",
         {"/srv/my dir/run", "a b", "c d"}},
        {"+!./run", "+!", "./run", {"./run"}},
        {"@/srv/run", "", "", {}},
        {"/srv/run 'open", "", "", {}},
    };
    for (const Row& row : rows) {
        ExecLine exec;
        ExecRefusal problem;
        const bool ok = splitExecLine(row.value, exec, problem);
        EXPECT_EQ(ok, !row.argv.empty()) << row.value;
        if (ok) {
            EXPECT_EQ(exec.prefixes, row.prefixes) << row.value;
            EXPECT_EQ(exec.path, row.path) << row.value;
            EXPECT_EQ(exec.argv, row.argv) << row.value;
        }
    }
}

TEST(StartReaders, UnitSpecifiersExpandAsSystemdDoes) {
    struct Row {
        const char* value;
        const char* unit;
        bool userManager;
        const char* expanded;
        const char* unknown;  // the first specifier left as written
    };
    const std::vector<Row> rows = {
        {"/srv/ws/apps/%N/run", "shop.service", false, "/srv/ws/apps/shop/run", ""},
        {"/srv/ws/apps/%i/run -Dunit=%n", "app@shop.service", false,
         "/srv/ws/apps/shop/run -Dunit=app@shop.service", ""},
        {"%h/apps/%p/run", "shop.service", false, "/root/apps/shop/run", ""},
        {"/srv/%u/run 100%% %Z", "shop.service", false, "/srv/root/run 100% %Z", "%Z"},
        {"/srv/run %", "shop.service", false, "/srv/run %", ""},
        // Escaping undone: "-" is "/", \x2d a dash.
        {"%i|%I|%f", "app@srv-ws-a\\x2db.service", false, "srv-ws-a\\x2db|srv/ws/a-b|/srv/ws/a-b",
         ""},
        {"%p|%P|%j|%J|%f", "web-shop\\x2dx.service", false,
         "web-shop\\x2dx|web/shop-x|shop\\x2dx|shop-x|/web/shop-x", ""},
        {"%f %i", "root@-.service", false, "/ -", ""},
        {"%t %S %C %L %E %T %d", "shop.service", false,
         "/run /var/lib /var/cache /var/log /etc /tmp /run/credentials/shop.service", ""},
        // Without /var/tmp systemd fails the unit: not followed.
        {"%V", "shop.service", false, "%V", "%V"},
        {"%t %S %C %L %E", "shop.service", true,
         "/run/user/4242 /home/u/.config /home/u/.cache /home/u/.config/log /home/u/.config", ""},
        {"%U:%G:%g %u %h", "shop.service", true, "4242:100:users u /home/u", ""},
        {"%H %l %m %y %Y", "shop.service", false,
         "web.example.org web 0123456789abcdef0123456789abcdef /etc/systemd/system/shop.service "
         "/etc/systemd/system",
         ""},
        // Values of a running manager or of the boot are left as written.
        {"%b %v %s %T", "shop.service", true, "%b %v %s %T", "%b"},
        {"-Dhost=%H", "shop.service", true, "-Dhost=%H", "%H"},
    };
    for (const Row& row : rows) {
        UnitSpecifiers values;
        values.unitName = row.unit;
        values.fragment = std::string("/etc/systemd/system/") + row.unit;
        values.userManager = row.userManager;
        values.user = row.userManager ? "u" : "root";
        values.home = row.userManager ? "/home/u" : "/root";
        values.uid = row.userManager ? "4242" : "0";
        values.gid = row.userManager ? "100" : "0";
        values.group = row.userManager ? "users" : "root";
        if (!row.userManager) {
            values.hostname = "web.example.org";
            values.machineId = "0123456789abcdef0123456789abcdef";
            values.tmp = "/tmp";
        }
        std::string unknown;
        EXPECT_EQ(expandSpecifiers(row.value, values, &unknown), row.expanded) << row.value;
        EXPECT_EQ(unknown, row.unknown) << row.value;
    }
}

TEST(StartReaders, ExecStartVariablesExpandAsSystemdDoes) {
    struct Row {
        Words words;
        Words expanded;  // empty with `unknown` set: not expanded
        const char* unknown = "";
    };
    const std::vector<Row> rows = {
        {{"/srv/run", "${OPTS}", "-D=${APP}x", "$$APP", "$$"},
         {"/srv/run", "-a  'b c'", "-D=shopx", "$APP", "$"}},
        // A word that is only $NAME is split into words, quotes taken out.
        {{"/srv/run", "$OPTS", "end"}, {"/srv/run", "-a", "b c", "end"}},
        // Unset: ${NAME} is empty, $NAME no word at all.
        {{"/srv/run", "${NONE}", "$NONE", "$EMPTY", "${EMPTY}"}, {"/srv/run", "", ""}},
        // $NAME inside a word is left; a word led by $ and more than a name
        // names no variable, so it is no word.
        {{"/srv/run", "a$APP", "$APP/x", "$", "x$"}, {"/srv/run", "a$APP", "x$"}},
        {{"/srv/run", "$HOME"}, {"/srv/run", "/home/u"}},
        {{"/srv/run", "-Did=${INVOCATION_ID}"}, {}, "${INVOCATION_ID}"},
        {{"/srv/run", "$MAINPID"}, {}, "$MAINPID"},
        {{"/srv/run", "${APP:-x}"}, {}, "${APP:-x}"},
        {{"/srv/run", "${APP"}, {}, "${APP"},
    };
    UnitEnvironment environment;
    environment.unknown = {"INVOCATION_ID", "MAINPID"};
    for (const char* assignment :
         {"APP=other", "OPTS=-a  'b c'", "APP=shop", "EMPTY=", "HOME=/home/u"}) {
        environment.assign(assignment);
    }
    for (const Row& row : rows) {
        Words expanded;
        std::string unknown;
        const bool ok = expandEnvironment(row.words, environment, expanded, unknown);
        EXPECT_EQ(ok, *row.unknown == '\0') << row.words[1];
        EXPECT_EQ(unknown, row.unknown) << row.words[1];
        if (ok) {
            EXPECT_EQ(expanded, row.expanded) << row.words[1];
        }
    }
    // Set by the unit, a name the manager would set is known again.
    environment.assign("MAINPID=1");
    Words expanded;
    std::string unknown;
    EXPECT_TRUE(expandEnvironment({"$MAINPID"}, environment, expanded, unknown));
    EXPECT_EQ(expanded, Words{"1"});
}

TEST(StartReaders, EnvironmentAssignmentsAsSystemdReadsThem) {
    struct Row {
        const char* text;
        bool file;  // an EnvironmentFile='s text, or else an Environment= value
        Words assignments;
    };
    const std::vector<Row> rows = {
        {"A=1 \"B=two words\" 'C=x\\ty' D=%N 1X=bad =none E",
         false,
         {"A=1", "B=two words", "C=x\ty", "D=shop"}},
        {"A=\"open", false, {}},
        {"# comment\n; other\n  A = plain value  \nB=\"quoted \\\"in\\\" \\$x \\q\"\n"
         "C='single $x \\n'\nD=cont\\\ninued\nexport E=1\nnoequals\nF=\nG=a\\ b \n",
         true,
         {"A=plain value", "B=quoted \"in\" $x \\q", "C=single $x \\n", "D=continued",
          "F=", "G=a b"}},
        {"A=\"multi\nline\"\r\nB=%N", true, {"A=multi\nline", "B=%N"}},
    };
    UnitSpecifiers values;
    values.unitName = "shop.service";
    for (const Row& row : rows) {
        const Words got = row.file ? environmentFileAssignments(row.text)
                                   : environmentAssignments(row.text, values);
        EXPECT_EQ(got, row.assignments) << row.text;
    }
}

TEST(StartReaders, UnitSettingsWithContinuationsDropInsAndResets) {
    UnitFile unit;
    readUnitText(unit,
                 "[Unit]\nDescription=x\n[Service]\n; note\nExecStart=/srv/run \\\n  --a\n"
                 "Type=simple\nWorkingDirectory=-~\n",
                 "shop.service");
    readUnitText(unit, "[Service]\nType=forking\nExecStart=\nExecStart=/srv/other\n",
                 "shop.service.d/x.conf");
    EXPECT_EQ(unit.find("Service", "Type")->value, "forking");
    EXPECT_EQ(unit.find("Service", "WorkingDirectory")->value, "-~");
    const std::vector<const UnitSetting*> starts = unit.list("Service", "ExecStart");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0]->value, "/srv/other");
    EXPECT_EQ(starts[0]->file, "shop.service.d/x.conf");
    UnitFile one;
    readUnitText(one, "[Service]\nExecStart=/srv/run \\\n  --a\n", "u");
    EXPECT_EQ(one.list("Service", "ExecStart")[0]->value, "/srv/run  --a");
    EXPECT_EQ(one.list("Service", "ExecStart")[0]->line, 2u);
}

TEST(StartReaders, CrontabLinesWithAndWithoutUser) {
    const std::vector<CronEntry> system = parseCrontab(
        "SHELL=/bin/sh\n# m h dom mon dow user command\n@reboot report /srv/run\n"
        "HOME = \"/srv/home\"\n*/5 * * * * root cd /srv && ./run%input\\%x\n",
        true);
    ASSERT_EQ(system.size(), 2u);
    EXPECT_EQ(system[0].line, 3u);
    EXPECT_EQ(system[0].schedule, "@reboot");
    EXPECT_EQ(system[0].user, "report");
    EXPECT_EQ(system[0].command, "/srv/run");
    EXPECT_EQ(system[0].home, "");
    EXPECT_EQ(system[1].schedule, "*/5 * * * *");
    EXPECT_EQ(system[1].user, "root");
    EXPECT_EQ(system[1].command, "cd /srv && ./run");
    EXPECT_EQ(system[1].home, "/srv/home");
    const std::vector<CronEntry> own = parseCrontab("0 6 * * 1-5 cd /srv && ./run\n", false);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0].user, "");
    EXPECT_EQ(own[0].command, "cd /srv && ./run");
}

TEST(StartReaders, ShellLinesGiveDirectoryNameAndChain) {
    struct Row {
        const char* line;
        // The command that is not cd or a wrapper: its dir, argv, operator after.
        const char* dir;
        Words words;
        const char* after;
        const char* unread = "";  // what the reader cannot expand without running it
    };
    const std::vector<Row> rows = {
        {"/srv/ws/apps/report/run", "/home/u", {"/srv/ws/apps/report/run"}, ""},
        {"cd /srv/ws/apps/report && ./run a 'b c'",
         "/srv/ws/apps/report",
         {"./run", "a", "b c"},
         ""},
        {"cd /srv/ws/apps/report; ./run && echo started", "/srv/ws/apps/report", {"./run"}, "&&"},
        {"cd apps/report && ../shop/run || true", "/home/u/apps/report", {"../shop/run"}, "||"},
        {"sh -c 'cd ~/app && exec ./run'", "/home/u/app", {"./run"}, ""},
        {"cd \"$HOME/app\" && X=1 exec -a shop /srv/run", "/home/u/app", {"shop"}, ""},
        {"cd $APP && ./run", "", {"./run"}, "", "cd $APP"},
        {"cd $APP; cd /srv && ./run", "/srv", {"./run"}, ""},
        {"(cd `pwd`) ; /srv/run", "/home/u", {"/srv/run"}, ""},
        {"X=$Y /srv/run \"$1\" *.cfg", "/home/u", {"/srv/run", "$1", "*.cfg"}, "", "$1"},
        {"env -C \"$D\" exec -a shop /srv/run", "", {"shop"}, "", "$D"},
        {"cd && nohup ./run &", "/home/u", {"./run"}, "&"},
        // A wrapper's script: comments, "$@", redirections, env -C, subshells.
        {"#!/bin/sh\n# the shop\ncd /srv/shop && exec ./run \"$@\"\n", "/srv/shop", {"./run"}, ";"},
        {"exec /srv/run \"$@\" >/var/log/x 2>&1 </dev/null", "/home/u", {"/srv/run"}, ""},
        {"env -i -C /srv/shop ./run 2>&1 &", "/srv/shop", {"./run"}, "&"},
        {"env --chdir=/srv/shop ./run", "/srv/shop", {"./run"}, ""},
        {"(cd /srv/shop && ./run) ; ./run", "/srv/shop", {"./run"}, ")"},
        {"cd /srv \\\n  && ./run # started", "/srv", {"./run"}, ""},
    };
    for (const Row& row : rows) {
        const std::vector<ShellCommand> commands = readShellLine(row.line, "/home/u", "/home/u");
        ASSERT_FALSE(commands.empty()) << row.line;
        const ShellCommand& first = commands[0];
        EXPECT_EQ(first.dir, row.dir) << row.line;
        EXPECT_EQ(first.words, row.words) << row.line;
        EXPECT_EQ(first.after, row.after) << row.line;
        EXPECT_EQ(first.unread, row.unread) << row.line;
    }
    // A subshell's cd ends with it; each command knows its line.
    const std::vector<ShellCommand> two =
        readShellLine("#!/bin/sh\n(cd /srv/shop && ./run)\n./run\n", "/home/u", "/home/u");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].dir, "/home/u");
    EXPECT_EQ(two[0].line, 2u);
    EXPECT_EQ(two[1].line, 3u);
}

TEST(StartReaders, CrontabTextToldFromOtherText) {
    struct Row {
        const char* text;
        bool crontab;
        Words users;
    };
    const std::vector<Row> rows = {
        {"SHELL=/bin/sh\n@reboot root /srv/run\n", true, {"root"}},
        {"# daily\n0 6 * * mon-fri cd /srv && ./run\n", true, {"cd"}},
        {"*/5 * * * *\n", false, {}},
        {"MAILTO=\"\"\n", false, {}},
        {"start the shop by hand\n", false, {}},
        {"[Desktop Entry]\nExec=/srv/run\n", false, {}},
        {"0 6 * * * \n", false, {}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> users;
        EXPECT_EQ(looksLikeCrontab(row.text, users), row.crontab) << row.text;
        if (row.crontab) {
            EXPECT_EQ(users, row.users) << row.text;
        }
    }
}

// --- The rules --------------------------------------------------------------

// A start that works, of each kind: from the application directory.
StartFacts sound(StartKind kind) {
    StartFacts start;
    start.kind = kind;
    start.file = "/etc/start";
    start.line = 3;
    start.appDir = "/srv/ws/apps/shop";
    start.copy = "/srv/ws/apps/shop/run";
    start.workingDir = start.appDir;
    start.directoryGiven = true;
    start.inAppDir = true;
    start.invocationName = start.program = "/srv/ws/apps/shop/run";
    if (kind == StartKind::SystemdUnit) {
        start.type = "forking";
        start.successStatus = {"1"};
    }
    return start;
}

std::vector<std::string> kindsOf(const StartFacts& start) {
    std::vector<std::string> kinds;
    Collector add([&kinds](const Finding& finding) {
        kinds.push_back(kindOf(finding.kind).name);
        EXPECT_EQ(finding.file, "/etc/start");
        EXPECT_NE(finding.message, "");
    });
    startRules(start, add);
    return kinds;
}

void outside(StartFacts& start, const std::string& dir) {
    start.workingDir = dir;
    start.inAppDir = false;
    start.directoryGiven = false;
}

TEST(StartRules, EachMistakeGivesItsKind) {
    struct Row {
        const char* name;
        StartKind kind;
        void (*change)(StartFacts&);
        Words kinds;
    };
    using K = StartKind;
    const std::vector<Row> rows = {
        {"desktop entry with Path=", K::DesktopEntry, [](StartFacts&) {}, {}},
        {"unit forking, exit 1 a success", K::SystemdUnit, [](StartFacts&) {}, {}},
        {"cron line that changes directory", K::Cron, [](StartFacts&) {}, {}},
        {"link named like its copy", K::PathLink, [](StartFacts&) {}, {}},
        {"wrapper that changes directory", K::ShellWrapper, [](StartFacts&) {}, {}},
        {"wrapper without cd",
         K::ShellWrapper,
         [](StartFacts& s) { outside(s, ""); },
         {"wrapper-outside-directory"}},
        {"unit ExecStart=@ with another name",
         K::SystemdUnit,
         [](StartFacts& s) {
             s.invocationName = "shop";
             s.iniPresent = false;
         },
         {"start-name-without-ini"}},
        {"a name without ini file where the copy has none either",
         K::Cron,
         [](StartFacts& s) {
             s.iniPresent = false;
             s.copyIniPresent = false;
         },
         {}},
        {"unit oneshot that remains",
         K::SystemdUnit,
         [](StartFacts& s) {
             s.type = "oneshot";
             s.remainAfterExit = true;
             s.successStatus.clear();
             s.failureIgnored = true;
         },
         {}},
        {"desktop entry without Path=",
         K::DesktopEntry,
         [](StartFacts& s) { outside(s, "/home/u"); },
         {"desktop-entry-without-path"}},
        {"desktop entry with Exec=./run",
         K::DesktopEntry,
         [](StartFacts& s) { s.execProblem.problem = ExecProblem::RelativePath; },
         {"desktop-exec-refused"}},
        {"desktop entry sh -c chaining",
         K::DesktopEntry,
         [](StartFacts& s) {
             s.command = "cd /srv/ws/apps/shop && ./run || notify-send failed";
             s.chained = "||";
         },
         {"launcher-exit-status-tested"}},
        {"system unit without WorkingDirectory=",
         K::SystemdUnit,
         [](StartFacts& s) { outside(s, "/"); },
         {"unit-without-working-directory"}},
        {"unit ExecStart=./run",
         K::SystemdUnit,
         [](StartFacts& s) { s.execProblem.problem = ExecProblem::RelativePath; },
         {"unit-relative-exec-start"}},
        {"unit Type=simple",
         K::SystemdUnit,
         [](StartFacts& s) {
             s.type.clear();
             s.successStatus.clear();
         },
         {"unit-stops-application"}},
        {"unit forking without SuccessExitStatus=1",
         K::SystemdUnit,
         [](StartFacts& s) {
             s.successStatus = {"0", "SIGTERM"};
         },
         {"unit-stops-application"}},
        {"unit simple with exit 1 a success",
         K::SystemdUnit,
         [](StartFacts& s) { s.type = "simple"; },
         {"unit-stops-application"}},
        {"unit oneshot that does not remain",
         K::SystemdUnit,
         [](StartFacts& s) { s.type = "oneshot"; },
         {"unit-stops-application"}},
        {"cron line from the home",
         K::Cron,
         [](StartFacts& s) { outside(s, "/root"); },
         {"cron-outside-directory"}},
        {"cron line chaining on the status",
         K::Cron,
         [](StartFacts& s) {
             s.command = "cd /srv/ws/apps/shop && ./run && echo started";
             s.chained = "&&";
         },
         {"launcher-exit-status-tested"}},
        {"cron line from another application",
         K::Cron,
         [](StartFacts& s) {
             outside(s, "/srv/ws/apps/report");
             s.otherApplication = "/srv/ws/apps/report";
         },
         {"start-from-other-application"}},
        {"unit in another application's directory",
         K::SystemdUnit,
         [](StartFacts& s) {
             outside(s, "/srv/ws/apps/report");
             s.directoryGiven = true;
             s.otherApplication = "/srv/ws/apps/report";
         },
         {"start-from-other-application"}},
        {"link without its ini file",
         K::PathLink,
         [](StartFacts& s) {
             s.invocationName = "shop";
             s.iniPresent = false;
         },
         {"path-link-without-ini"}},
    };
    for (const Row& row : rows) {
        StartFacts start = sound(row.kind);
        row.change(start);
        EXPECT_EQ(kindsOf(start), row.kinds) << row.name;
    }
}

TEST(StartRules, NotesGiveTheLineToWrite) {
    struct Row {
        StartKind kind;
        const char* line;
    };
    const std::vector<Row> rows = {
        {StartKind::DesktopEntry, "\"Path=/srv/ws/apps/shop\""},
        {StartKind::SystemdUnit, "\"WorkingDirectory=/srv/ws/apps/shop\""},
        {StartKind::Cron, "\"cd /srv/ws/apps/shop && ./run\""},
    };
    for (const Row& row : rows) {
        StartFacts start = sound(row.kind);
        outside(start, "/root");
        std::string messages;
        std::string notes;
        Collector add([&](const Finding& finding) {
            messages += finding.message + "\n";
            notes += finding.advice + "\n";
        });
        startRules(start, add);
        EXPECT_NE(notes.find(row.line), std::string::npos) << notes;
        EXPECT_EQ(messages.find(row.line), std::string::npos) << messages;
    }
}

// A name along PATH is the first directory's that leads to a file, as the
// shell finds it: a missing directory and a dangling link are passed over,
// and a second lookup, answered from what is kept, agrees.
TEST(StartReaders, ProgramsAlongPathAreFoundAsTheShellFindsThem) {
    const TempDir root;
    const std::string& r = root.path();
    ASSERT_EQ(mkdir((r + "/a").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((r + "/b").c_str(), 0755), 0);
    root.write("a/tool", "");
    root.write("b/tool", "");
    root.write("b/other", "");
    root.write("b/dangling", "");
    ASSERT_EQ(symlink((r + "/gone").c_str(), (r + "/a/dangling").c_str()), 0);
    struct Row {
        const char* program;
        const char* path;
        const char* found;  // under the prefix; "" for none
    };
    const Row rows[] = {
        {"tool", "/missing:/a:/b", "/a/tool"}, {"other", "/a::/b", "/b/other"},
        {"dangling", "/a:/b", "/b/dangling"},  {"none", "/a:/b", ""},
        {"tool", "/b:/a", "/b/tool"},          {"", "/missing:/a", "/a/"},
    };
    ProgramSearch search;
    for (int pass = 0; pass < 2; ++pass) {
        for (const Row& row : rows) {
            const std::string expected = *row.found != 0 ? r + row.found : std::string();
            EXPECT_EQ(search.find(row.program, r, row.path), expected)
                << row.program << " along " << row.path << ", pass " << pass;
        }
    }
    // The same PATH under another root is another search.
    const TempDir other;
    ASSERT_EQ(mkdir((other.path() + "/b").c_str(), 0755), 0);
    other.write("b/tool", "");
    EXPECT_EQ(search.find("tool", other.path(), "/missing:/a:/b"), other.path() + "/b/tool");
    EXPECT_EQ(search.find("tool", r, "/missing:/a:/b"), r + "/a/tool");
}

}  // namespace
