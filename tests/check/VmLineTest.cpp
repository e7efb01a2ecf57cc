// A line of the VM section meant as something else reaches the Java VM all
// the same; the line's own finding says so, and the VM's verdict on the
// same argument is not given a second time.
#include <ostream>
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
};

INSTANTIATE_TEST_SUITE_P(InTheVmSection, VmLines, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
