// The checker's output in the conventions of linters, read back the way an
// editor, a CI log or a script reads it, over several applications.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
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

Result runCheck(const Installation& inst, const std::vector<std::string>& args) {
    Command command;
    command.program = DVL_CHECK_BINARY;
    command.argv = {"dashvane-launcher-check"};
    command.argv.insert(command.argv.end(), args.begin(), args.end());
    command.cwd = inst.root + "/ws";
    command.env = baseEnv(inst);
    return run(command);
}

// ws/apps/demo is clean; "styled" has a warning, "broken" an error, and
// "notes" holds no launcher setup at all, so an installation skips it.
class ThreeApplications : public ::testing::Test {
protected:
    ThreeApplications() {
        inst.writeIni("-vmargs\n-Xmx1g\n");
        for (const char* name : {"styled", "broken", "notes"}) {
            fs::create_directories(inst.root + "/ws/apps/" + name);
        }
        for (const char* name : {"styled", "broken"}) {
            copyFile(launcherBinary(), inst.root + "/ws/apps/" + name + "/run", 0755);
        }
        // A file property naming no file: a warning, and a line the Java VM accepts.
        writeFile(inst.root + "/ws/apps/styled/run.ini",
                  "-vmargs\n-Ddv.appConfigFile=missing.cfg\n-Xmx1g\n");
        writeFile(inst.root + "/ws/apps/broken/run.ini", "launcher=missing\n-vmargs\n");
        writeFile(inst.root + "/ws/apps/notes/README", "");
    }
    Installation inst;
};

TEST_F(ThreeApplications, ExitStatusFollowsTheThreshold) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* summary;
    } cases[] = {
        {{"apps/demo"}, 0, "1 application checked: 0 errors, 0 warnings, 0 notes"},
        {{"apps/styled"}, 1, "1 application checked: 0 errors, 1 warning, 0 notes"},
        {{"--severity", "error", "apps/styled"},
         0,
         "1 application checked: 0 errors, 0 warnings, 0 notes"},
        {{"--severity=error", "apps/broken"},
         1,
         "1 application checked: 1 error, 0 warnings, 0 notes"},
        {{"--ignore", "missing-path", "apps/styled"}, 0, nullptr},
        {{"apps/demo", "apps/styled", "apps/broken"},
         1,
         "3 applications checked: 1 error, 1 warning, 0 notes"},
        {{"--installation", "."}, 1, "3 applications checked: 1 error, 1 warning, 0 notes"},
        // A directory that cannot be checked is the worst outcome, whatever the rest
        // found, and the summary counts it.
        {{"apps/broken", "apps/none", "apps/demo"},
         2,
         "3 applications checked, 1 could not be checked: 1 error, 0 warnings, 0 notes"},
        {{"--installation", "nowhere"}, 2, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const Result result = runCheck(inst, c.args);
        EXPECT_EQ(result.exitCode, c.status) << result.out << result.err;
        if (c.summary != nullptr) {
            // Run as root, a note below the threshold may be counted after it.
            EXPECT_NE(("\n" + result.out).find("\n" + std::string(c.summary)), std::string::npos)
                << result.out;
        }
    }
}

TEST_F(ThreeApplications, EveryLineIsAFindingInCompilerFormatOrTheSummary) {
    const Result result = runCheck(inst, {"--severity", "note", "--installation", "."});
    const std::regex finding(
        R"(^([^:]+):(?:([0-9]+):)? (error|warning|note): (.+) \[([a-z0-9-]+)\]$)");
    // The advice: notes at the place of the finding before them.
    const std::regex note(R"(^([^:]+):(?:([0-9]+):)? note: (.+)$)");
    const std::regex summary(
        R"(^[0-9]+ applications? checked: [0-9]+ errors?, [0-9]+ warnings?, [0-9]+ notes?)"
        R"((; [0-9]+ findings? below the threshold not shown)?$)");
    const Result kinds = runCheck(inst, {"--list-kinds"});
    std::istringstream lines(result.out);
    std::string line;
    std::vector<std::string> files;
    std::string place;  // of the last finding
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (std::regex_match(line, parts, finding)) {
            files.push_back(parts[1]);
            place = parts[1].str() + ':' + parts[2].str();
            EXPECT_NE(kinds.out.find("\n" + parts[5].str() + " (" + parts[3].str()),
                      std::string::npos)
                << line;
        } else if (std::regex_match(line, parts, note)) {
            EXPECT_EQ(parts[1].str() + ':' + parts[2].str(), place) << line;
        } else {
            EXPECT_TRUE(std::regex_match(line, summary)) << line;
            EXPECT_FALSE(lines.peek() != EOF) << "the summary is the last line";
        }
    }
    // Files named so they open from where the checker ran.
    EXPECT_NE(std::find(files.begin(), files.end(), "apps/styled/run.ini"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "apps/broken/run.ini"), files.end());
    for (const std::string& file : files) {
        EXPECT_TRUE(fs::exists(inst.root + "/ws/" + file) || fs::exists(file)) << file;
    }
    expectReadableText(result.out, inst.root);
}

TEST_F(ThreeApplications, JsonDocumentHasTheDocumentedFields) {
    const Result result = runCheck(inst, {"--json", "--installation", "."});
    const Json report = Json::parse(result.out);
    EXPECT_EQ(report.at("schema_version"), 1);
    EXPECT_EQ(report.at("checker").at("version"), DVL_VERSION);
    ASSERT_EQ(report.at("applications").size(), 3u);
    EXPECT_EQ(report.at("summary").at("status"), result.exitCode);
    EXPECT_EQ(report.at("summary").at("errors"), 1);
    for (const Json& application : report.at("applications")) {
        EXPECT_TRUE(application.at("directory").is_string());
        EXPECT_TRUE(application.at("argv").is_array());
        EXPECT_GE(application.at("argv").size(), 4u);
        for (const Json& found : application.at("findings")) {
            EXPECT_TRUE(found.at("file").is_string());
            EXPECT_TRUE(found.at("line").is_number() || found.at("line").is_null());
            EXPECT_TRUE(found.at("severity") == "error" || found.at("severity") == "warning");
            EXPECT_TRUE(found.at("kind").is_string());
            EXPECT_FALSE(found.at("message").get<std::string>().empty());
            EXPECT_FALSE(found.at("advice").get<std::string>().empty());
        }
    }
    EXPECT_EQ(report["applications"][0]["findings"][0]["kind"], "executable-missing");
    EXPECT_EQ(report["applications"][0]["findings"][0]["line"], 1);
    // Compact unless asked otherwise.
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    const Result pretty = runCheck(inst, {"--json", "--pretty", "apps/demo"});
    EXPECT_GT(std::count(pretty.out.begin(), pretty.out.end(), '\n'), 20);
    EXPECT_EQ(Json::parse(pretty.out)["applications"][0]["argv"],
              Json::parse(runCheck(inst, {"--json", "apps/demo"}).out)["applications"][0]["argv"]);
}

// The conventions of the linters administrators already use: one row per
// behaviour, each run as a user runs it.
TEST_F(ThreeApplications, CommandLineBehavesAsDocumented) {
    const std::string colouredWarning = "\033[1;35mwarning:\033[0m";
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int status;
        const char* out;  // a part of standard output; "" for none at all
        const char* err;  // a part of standard error
    } cases[] = {
        {"--quiet prints nothing for a clean run", {"-q", "apps/demo"}, {}, 0, "", ""},
        {"--quiet counts only what passes the threshold",
         {"--quiet", "--severity", "error", "apps/styled"},
         {},
         0,
         "",
         ""},
        {"--quiet still reports findings",
         {"--quiet", "apps/styled"},
         {},
         1,
         "\n1 application checked: 0 errors, 1 warning, 0 notes",
         ""},
        {"--quiet still reports what could not be checked",
         {"--quiet", "apps/none"},
         {},
         2,
         "apps/none: error: cannot check: ",
         ""},
        {"no colour when the output is no terminal",
         {"apps/styled"},
         {},
         1,
         "run.ini:2: warning:",
         ""},
        {"--color=always colours the severity",
         {"--color=always", "apps/styled"},
         {},
         1,
         colouredWarning.c_str(),
         ""},
        {"--color=always wins over NO_COLOR",
         {"--color", "always", "apps/styled"},
         {{"NO_COLOR", "1"}},
         1,
         colouredWarning.c_str(),
         ""},
        {"an ini file as the argument",
         {"apps/broken/run.ini"},
         {},
         1,
         "apps/broken/run.ini:1: error: executable",
         ""},
        {"an ini file with the --name it implies",
         {"--name=./run", "apps/broken/run.ini"},
         {},
         1,
         "apps/broken/run.ini:1: error: executable",
         ""},
        {"the summary counts an application that could not be checked",
         {"apps/demo", "apps/none"},
         {},
         2,
         "\n2 applications checked, 1 could not be checked: 0 errors, 0 warnings, 0 notes",
         ""},
        {"an unknown user is a usage error",
         {"--user", "dvl-no-such-user", "apps/demo"},
         {},
         3,
         "",
         "unknown user"},
        {"an ini file with another --name",
         {"--name", "./other", "apps/broken/run.ini"},
         {},
         3,
         "",
         "--name ./other names another ini file"},
        {"--json --diff", {"--json", "--diff", "apps/demo"}, {}, 3, "", "--diff"},
        {"--format sarif --diff", {"--format=sarif", "--diff"}, {}, 3, "", "--diff"},
        {"--json with another --format", {"--json", "--format", "sarif"}, {}, 3, "", "--json"},
        {"an unknown format", {"--format", "xml"}, {}, 3, "", "--format takes"},
        {"--pretty without a document", {"--pretty", "apps/demo"}, {}, 3, "", "--pretty"},
        {"--pretty with checkstyle", {"--pretty", "--format=checkstyle"}, {}, 3, "", "--pretty"},
        {"--explain with sarif", {"--explain", "--format=sarif"}, {}, 3, "", "--explain"},
        {"--quiet with --explain", {"-q", "--explain"}, {}, 3, "", "--quiet"},
        {"--quiet with a document", {"-q", "--json"}, {}, 3, "", "--quiet"},
        {"--color=always with a document",
         {"--color=always", "--format=sarif"},
         {},
         3,
         "",
         "--color"},
        {"an unknown colour choice", {"--color=yes"}, {}, 3, "", "--color takes"},
        {"--format man without --list-kinds", {"--format=man"}, {}, 3, "", "--list-kinds"},
        {"--list-kinds with a directory", {"--list-kinds", "apps/demo"}, {}, 3, "", "--list-kinds"},
        {"--list-kinds as SARIF", {"--list-kinds", "--format=sarif"}, {}, 3, "", "--list-kinds"},
        {"a switch given a value", {"--quiet=yes"}, {}, 3, "", "--quiet takes no value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Command command;
        command.program = DVL_CHECK_BINARY;
        command.argv = {"dashvane-launcher-check"};
        command.argv.insert(command.argv.end(), c.args.begin(), c.args.end());
        command.cwd = inst.root + "/ws";
        command.env = baseEnv(inst);
        command.env.insert(c.env.begin(), c.env.end());
        const Result result = run(command);
        EXPECT_EQ(result.exitCode, c.status) << result.out << result.err;
        if (c.out[0] == '\0') {
            EXPECT_EQ(result.out, "");
        } else {
            EXPECT_NE(("\n" + result.out).find(c.out), std::string::npos) << result.out;
        }
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        if (c.status == 3) {
            EXPECT_EQ(result.err.rfind("dashvane-launcher-check: ", 0), 0u) << result.err;
        }
        if (std::string(c.out).find('\033') == std::string::npos) {
            EXPECT_EQ(result.out.find('\033'), std::string::npos) << "coloured: " << result.out;
        }
    }
}

// --color=auto decides by the terminal, as gcc does, and NO_COLOR set to
// anything turns it off. script(1) gives the checker a terminal.
TEST_F(ThreeApplications, ColourOnATerminalUnlessNoColor) {
    if (!fs::exists("/usr/bin/script")) {
        GTEST_SKIP() << "script(1) from util-linux is needed for a terminal";
    }
    const struct {
        std::map<std::string, std::string> env;
        const char* option;
        bool coloured;
    } cases[] = {
        {{}, "--color=auto", true},
        {{{"NO_COLOR", "1"}}, "--color=auto", false},
        {{{"NO_COLOR", ""}}, "--color=auto", true},
        {{{"TERM", "dumb"}}, "--color=auto", false},
        {{}, "--color=never", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.option) + (c.env.empty() ? "" : " " + c.env.begin()->first));
        Command command;
        command.program = "/usr/bin/script";
        command.argv = {"script", "-qec",
                        std::string(DVL_CHECK_BINARY) + " " + c.option + " apps/styled",
                        "/dev/null"};
        command.cwd = inst.root + "/ws";
        command.env = baseEnv(inst);
        command.env.insert(c.env.begin(), c.env.end());
        const Result result = run(command);
        EXPECT_NE(result.out.find("run.ini:2:"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("\033[1;35mwarning:") != std::string::npos, c.coloured)
            << result.out;
    }
}

// The formats for programs carry exactly the findings the text shows, with
// the same files, lines, severities and kinds.
TEST_F(ThreeApplications, EveryFormatCarriesTheSameFindings) {
    const std::vector<std::string> what = {"--severity", "note", "--installation", ".",
                                           "apps/none"};
    const auto with = [&](const char* format) {
        std::vector<std::string> args = {"--format", format};
        args.insert(args.end(), what.begin(), what.end());
        const Result result = runCheck(inst, args);
        EXPECT_EQ(result.exitCode, 2) << result.err;
        return result.out;
    };
    // FILE:LINE:SEVERITY:KIND of each finding, in the order of the text.
    std::vector<std::string> expected;
    const std::regex finding(
        R"(^([^:]+):(?:([0-9]+):)? (error|warning|note): .* \[([a-z0-9-]+)\]$)");
    std::istringstream text(with("gcc"));
    for (std::string line; std::getline(text, line);) {
        std::smatch parts;
        if (std::regex_match(line, parts, finding)) {
            expected.push_back(parts[1].str() + ':' + parts[2].str() + ':' + parts[3].str() + ':' +
                               parts[4].str());
        }
    }
    ASSERT_GE(expected.size(), 4u);

    const Json sarif = Json::parse(with("sarif"));
    const Json& run = sarif.at("runs").at(0);
    const Json& rules = run.at("tool").at("driver").at("rules");
    std::vector<std::string> fromSarif;
    for (const Json& result : run.at("results")) {
        const Json& where = result.at("locations").at(0).at("physicalLocation");
        std::string uri = where.at("artifactLocation").at("uri");
        if (uri.rfind("file://", 0) == 0) {
            uri = uri.substr(7);
        }
        const std::string level = result.at("level");
        fromSarif.push_back(uri + ':' +
                            (where.contains("region")
                                 ? std::to_string(where["region"]["startLine"].get<int>())
                                 : "") +
                            ':' + level + ':' + result.at("ruleId").get<std::string>());
        const Json& rule = rules.at(result.at("ruleIndex").get<std::size_t>());
        EXPECT_EQ(rule.at("id"), result.at("ruleId"));
        EXPECT_EQ(rule.at("defaultConfiguration").at("level"), level);
        // A viewer shows the kind's page, as --list-kinds KIND prints it.
        const std::string page = runCheck(inst, {"--list-kinds", rule.at("id")}).out;
        EXPECT_EQ(rule.at("help").at("text"), page);
        EXPECT_EQ(rule.at("fullDescription").at("text"), page);
    }
    EXPECT_EQ(fromSarif, expected);
    const Json& invocation = run.at("invocations").at(0);
    EXPECT_EQ(invocation.at("executionSuccessful"), false);
    EXPECT_EQ(invocation.at("exitCode"), 2);
    EXPECT_EQ(invocation.at("toolExecutionNotifications").size(), 1u);

    std::vector<std::string> fromCheckstyle;
    const std::regex file(R"re(^<file name="([^"]*)">$)re");
    const std::regex error(
        R"re(^<error (?:line="([0-9]+)" )?severity="([a-z]+)" message="[^"]*" (?:advice="[^"]*" )?source="dashvane-launcher-check\.([a-z-]+)"/>$)re");
    std::istringstream xml(with("checkstyle"));
    std::string current;
    for (std::string line; std::getline(xml, line);) {
        std::smatch parts;
        if (std::regex_match(line, parts, file)) {
            current = parts[1];
        } else if (std::regex_match(line, parts, error) && parts[3] != "cannot-check") {
            const std::string severity = parts[2] == "info" ? "note" : parts[2].str();
            fromCheckstyle.push_back(current + ':' + parts[1].str() + ':' + severity + ':' +
                                     parts[3].str());
        }
    }
    EXPECT_EQ(fromCheckstyle, expected);

    const Json json = Json::parse(with("json"));
    EXPECT_EQ(json.at("summary").at("failed"), 1);
    EXPECT_EQ(json.at("summary").at("applications"), 4);
}

// --list-kinds as JSON is the catalogue the text lists, each kind with the
// reason behind it and an example before and after the mend.
TEST(CheckKinds, ListKindsAsJsonMatchesTheText) {
    const Installation inst;
    const Result text = runCheck(inst, {"--list-kinds"});
    const Result json = runCheck(inst, {"--list-kinds", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const Json kinds = Json::parse(json.out).at("kinds");
    EXPECT_GT(kinds.size(), 30u);
    for (const Json& kind : kinds) {
        const std::string name = kind.at("name");
        const std::string example = kind.at("example");
        EXPECT_FALSE(example.empty()) << name;
        const std::string entry = name + " (" + kind.at("severity").get<std::string>() +
                                  (kind.at("fixable") == true ? ", mended by --fix" : "") +
                                  ")\n    " + kind.at("summary").get<std::string>() +
                                  "\n    why: " + kind.at("why").get<std::string>() +
                                  "\n    advice: " + kind.at("advice").get<std::string>() +
                                  "\n    example: " + example +
                                  "\n    fixed: " + kind.at("fixed").get<std::string>() + "\n";
        EXPECT_NE(("\n" + text.out).find("\n" + entry), std::string::npos) << entry;
    }
    EXPECT_EQ(runCheck(inst, {"--list-kinds", "--format=man"}).exitCode, 0);
}

// Every kind the checker has is in its manual page, with the same severity.
TEST(CheckKinds, ManualPageListsEveryKindWithItsSeverity) {
    const Installation inst;
    const Result kinds = runCheck(inst, {"--list-kinds"});
    ASSERT_EQ(kinds.exitCode, 0);
    std::ifstream page(DVL_CHECK_MANPAGE);
    const std::string man((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    const std::regex entry(R"(^([a-z0-9-]+) \((note|warning|error)(, mended by --fix)?\)$)");
    std::istringstream lines(kinds.out);
    std::string line;
    std::size_t listed = 0;
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (!std::regex_match(line, parts, entry)) {
            continue;
        }
        ++listed;
        const std::string manEntry = ".B " + parts[1].str() + "\n(" + parts[2].str();
        EXPECT_NE(man.find(manEntry), std::string::npos) << "the manual page lacks " << line;
    }
    EXPECT_GT(listed, 30u);
    // And the page has no kind the checker lacks.
    const std::regex manKind(R"(\n\.B ([a-z0-9-]+)\n\((note|warning|error))");
    for (std::sregex_iterator it(man.begin(), man.end(), manKind), end; it != end; ++it) {
        EXPECT_NE(kinds.out.find((*it)[1].str() + " (" + (*it)[2].str()), std::string::npos)
            << (*it)[1];
    }
}

}  // namespace
