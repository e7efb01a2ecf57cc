// The checker's output in the conventions of linters, read back the way an
// editor, a CI log or a script reads it, over several applications.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
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
        writeFile(inst.root + "/ws/apps/styled/run.ini", "-vmargs\n# heap\n-Xmx1g\n");
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
        {{"--ignore", "comment-in-vm-section", "apps/styled"}, 0, nullptr},
        {{"apps/demo", "apps/styled", "apps/broken"},
         1,
         "3 applications checked: 1 error, 1 warning, 0 notes"},
        {{"--installation", "."}, 1, "3 applications checked: 1 error, 1 warning, 0 notes"},
        // A directory that cannot be checked is the worst outcome, whatever the rest found.
        {{"apps/broken", "apps/none", "apps/demo"},
         2,
         "3 applications checked: 1 error, 0 warnings, 0 notes"},
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
        R"(^([^:]+):(?:([0-9]+):)? (error|warning|note): (.+); (.+) \[([a-z0-9-]+)\]$)");
    const std::regex summary(
        R"(^[0-9]+ applications? checked: [0-9]+ errors?, [0-9]+ warnings?, [0-9]+ notes?)"
        R"((; [0-9]+ findings? below the threshold not shown)?$)");
    const Result kinds = runCheck(inst, {"--list-kinds"});
    std::istringstream lines(result.out);
    std::string line;
    std::vector<std::string> files;
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (std::regex_match(line, parts, finding)) {
            files.push_back(parts[1]);
            EXPECT_NE(kinds.out.find("\n" + parts[6].str() + " (" + parts[3].str()),
                      std::string::npos)
                << line;
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
