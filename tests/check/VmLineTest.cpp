// A line of the VM section meant as something else reaches the Java VM all
// the same; the line's own finding says so, and the VM's verdict on the
// same argument is not given a second time.
#include <cstdint>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "rules/LineRules.h"
#include "rules/VmRules.h"

namespace {

using K = KindId;
using Said = std::vector<std::pair<std::size_t, KindId>>;

struct Row {
    const char* name;
    std::vector<std::string> section;  // the lines after -vmargs, from line 2
    Said said;                         // line and kind, in order
};

// A failing row is named, not dumped as bytes.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

// The lines judged one by one, then the VM command line they make.
Said judged(const std::vector<std::string>& section) {
    Facts facts;
    facts.iniState = IniState::Read;
    facts.applicationName = "shop";
    facts.vm.path = "/usr/bin/java";
    IniShape shape;
    shape.vmSectionLine = 1;
    Said said;
    Collector add(
        [&said](const Finding& finding) { said.emplace_back(finding.line, finding.kind); });
    for (std::size_t i = 0; i < section.size(); ++i) {
        IniLine line;
        line.number = i + 2;
        line.raw = line.trimmed = line.element = section[i];
        line.inHead = false;
        line.effect = LineEffect::Appended;
        line.argument = i + 3;
        lineWarnings(facts, shape, line, add);
        VmArgument argument;
        argument.text = section[i];
        argument.line = line.number;
        argument.argument = line.argument;
        facts.vm.arguments.push_back(argument);
    }
    vmArgumentRules(facts.vm, add);
    return said;
}

class VmLines : public ::testing::TestWithParam<Row> {};

TEST_P(VmLines, OneFindingPerMistake) {
    EXPECT_EQ(judged(GetParam().section), GetParam().said);
}

const Row ROWS[] = {
    {"HashComment", {"# c", "-Xmx1g"}, {{2, K::CommentInVmSection}}},
    {"SemicolonComment", {"; heap", "-Xmx1g"}, {{2, K::CommentInVmSection}}},
    {"CommentWithQuotes", {"# -Dtitle='x'"}, {{2, K::CommentInVmSection}}},
    {"LauncherLine", {"-Xmx1g", "launcher=/opt/x"}, {{3, K::LauncherInVmSection}}},
    {"LauncherLineInAnotherCase", {"Launcher=/opt/x"}, {{2, K::LauncherInVmSection}}},
    {"SecondVmargs", {"-vmargs", "-Xmx1g"}, {{2, K::VmargsInVmSection}}},
    // The VM still stops at the comment: what follows is the class's.
    {"CommentBeforeAClassName", {"# c", "Main"}, {{2, K::CommentInVmSection}}},
    // Mistakes of the VM's own are still the VM's to say.
    {"ClassNameAlone", {"-Xmx1g", "Main"}, {{3, K::VmMainClass}}},
    {"UnknownOptionAfterSecondVmargs",
     {"-vmargs", "-Xbogus"},
     {{2, K::VmargsInVmSection}, {3, K::VmUnrecognizedOption}}},
    // Long lines are told apart by their start and key alone, however far
    // away their "=" is.
    {"LongLauncherLine",
     {"launcher" + std::string(5000, ' ') + "= /opt/x" + std::string(5000, 'x')},
     {{2, K::LauncherInVmSection}}},
    {"LongLineThatOnlyStartsAsALauncherLine",
     {"launcher" + std::string(5000, ' ') + "x=/opt/x"},
     {{2, K::VmMainClass}}},
    {"LongComment", {"#" + std::string(10000, 'c') + "=v"}, {{2, K::CommentInVmSection}}},
    {"LongPropertyThenClassName",
     {"-Dlong=" + std::string(10000, 'v'), "Main"},
     {{3, K::VmMainClass}}},
};

INSTANTIATE_TEST_SUITE_P(InTheVmSection, VmLines, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

// The launch's elements are read in place, each with where it came from and
// cut at a NUL byte as execv cuts it; a copy holds its own, and outlives
// the vector it was read from.
TEST(VmArguments, LaunchElementsAreReadInPlaceWithTheirOrigin) {
    const std::string command = "/opt/Dashvane";
    auto rest = std::make_unique<std::vector<std::string>>(
        std::vector<std::string>{"--launcher.appendVmargs", "-vmargs", "-Xmx1g",
                                 std::string("-Da=b\0c", 7), "-Ddv.webApp=shop", "--own"});
    const std::vector<std::uint32_t> lines = {4, 6};
    VmArguments list;
    VmArgument installed;
    installed.text = "-Xss1m";
    installed.origin = VmOrigin::InstallationIni;
    installed.iniLine = 2;
    list.push_back(installed);
    list.attach(LaunchVector{command, *rest, lines, 0}, 3, 5, 6);
    list.markProbed(2);
    struct Row {
        std::string text;
        VmOrigin origin;
        std::size_t line, argument, commandLine, iniLine;
    };
    const std::vector<Row> rows = {
        {"-Xss1m", VmOrigin::InstallationIni, 0, 0, 0, 2},
        {"-Xmx1g", VmOrigin::Line, 4, 3, 0, 0},
        {"-Da=b", VmOrigin::Line, 6, 4, 0, 0},
        {"-Ddv.webApp=shop", VmOrigin::DefaultName, 0, 5, 0, 0},
        {"--own", VmOrigin::CommandLine, 0, 6, 1, 0},
    };
    const VmArguments copy = list;
    rest.reset();
    ASSERT_EQ(copy.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const VmArgumentView got = copy[i];
        EXPECT_EQ(got.text, rows[i].text) << i;
        EXPECT_EQ(got.origin, rows[i].origin) << i;
        EXPECT_EQ(got.line, rows[i].line) << i;
        EXPECT_EQ(got.argument, rows[i].argument) << i;
        EXPECT_EQ(got.commandLine, rows[i].commandLine) << i;
        EXPECT_EQ(got.iniLine, rows[i].iniLine) << i;
        EXPECT_EQ(got.probed, i == 2) << i;
    }
    EXPECT_THROW(copy.at(rows.size()), std::out_of_range);
    EXPECT_THROW(list.push_back(installed), std::logic_error);
}

}  // namespace
