// The rules on facts written out here: no file is read, no directory made.
// Each row starts from a sound application, changes the few facts that make
// one mistake, and expects exactly the findings that mistake gives, in order.
#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rules/AccessRules.h"
#include "rules/CopyRules.h"
#include "rules/ElfRules.h"
#include "rules/ExecutableRules.h"
#include "rules/IniFileRules.h"
#include "rules/LaunchRules.h"
#include "rules/LineRules.h"
#include "rules/Registry.h"

namespace {

struct Scene {
    Facts facts;
    IniShape shape;
    std::vector<IniLine> lines;
    std::vector<std::string> rest = {"--launcher.appendVmargs", "-vmargs"};
    std::vector<std::uint32_t> iniLines;
};

// An application that starts: its ini file read, its ELF executable found
// and executable, nothing else looked at.
Scene sound() {
    Scene scene;
    Facts& facts = scene.facts;
    facts.workingDir = "/srv/ws/apps/shop";
    facts.iniFile = "run.ini";
    facts.iniPath = "/srv/ws/apps/shop/run.ini";
    facts.invocationName = "./run";
    facts.iniState = IniState::Read;
    facts.accessUser = "shop";
    facts.applicationName = "shop";
    facts.executable = "/srv/ws/eclipse/Dashvane";
    facts.startDirResolved = "/srv/ws/eclipse";
    facts.startDirUsable = true;
    facts.executableInfo.resolved = facts.executable;
    facts.executableInfo.kind = FileKind::Elf;
    facts.executableInfo.executable = true;
    scene.shape.vmSectionLine = 1;
    return scene;
}

// A line of the file as the launcher reads it, already trimmed.
IniLine line(std::size_t number, const std::string& text, LineEffect effect,
             PathState path = PathState::NotLooked) {
    IniLine made;
    made.number = number;
    // The line's views need text that outlives it.
    static std::deque<std::string> texts;
    texts.push_back(text);
    made.trimmed = made.raw = made.element = texts.back();
    made.inHead = effect == LineEffect::IgnoredInHead || effect == LineEffect::LauncherTaken;
    made.effect = effect;
    made.argument = made.inHead ? 0 : number + 1;  // after the two seed arguments
    made.pathState = path;
    return made;
}

// Three head lines and no -vmargs; line 2 is the first that belongs below it.
void noVmargs(Scene& scene) {
    scene.shape.lines = 3;
    scene.shape.vmSectionLine = 0;
    scene.shape.firstVmArgumentLine = 2;
}

void addVm(Scene& scene, const std::string& text, LineEffect effect = LineEffect::Appended,
           PathState path = PathState::NotLooked) {
    scene.lines.push_back(line(scene.lines.size() + 2, text, effect, path));
    scene.rest.push_back(text);
    scene.iniLines.push_back(static_cast<std::uint32_t>(scene.lines.size() + 1));
}

AccessVerdict refused(AccessCause cause, const std::string& path) {
    AccessVerdict verdict;
    verdict.path = verdict.at = path;
    verdict.cause = cause;
    return verdict;
}

std::vector<Finding> findingsOf(const Scene& scene) {
    std::vector<Finding> found;
    Collector add([&found](const Finding& finding) { found.push_back(finding); });
    headRules(scene.facts, scene.shape, add);
    for (const IniLine& each : scene.lines) {
        lineRules(scene.facts, scene.shape, each, add);
    }
    const LaunchVector argv{scene.facts.executable, scene.rest, scene.iniLines,
                            scene.facts.launcherLine};
    vectorRules(argv, add);
    launchRules(scene.facts, argv, add);
    vmRules(scene.facts, add);
    return found;
}

struct Row {
    const char* name;
    void (*mistake)(Scene&);
    std::vector<KindId> kinds;
    const char* says;  // part of the first message; "" for none
};

// A failing row is named, not dumped as bytes.
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

class Rules : public ::testing::TestWithParam<Row> {};

TEST_P(Rules, GiveExactlyTheFindingsOfTheMistake) {
    const Row& row = GetParam();
    Scene scene = sound();
    row.mistake(scene);
    const std::vector<Finding> found = findingsOf(scene);
    std::vector<KindId> kinds;
    for (const Finding& finding : found) {
        kinds.push_back(finding.kind);
    }
    EXPECT_EQ(kinds, row.kinds);
    if (!found.empty()) {
        EXPECT_NE(found[0].message.find(row.says), std::string::npos) << found[0].message;
    }
    for (const Finding& finding : found) {
        EXPECT_EQ(finding.message.find(" 0 lines"), std::string::npos) << finding.message;
    }
}

using K = KindId;
using E = LineEffect;
using P = PathState;

const Row ROWS[] = {
    {"Sound", [](Scene&) {}, {}, ""},
    {"PathFactDirectory",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile=/etc", E::PathAbsolute, P::Directory); },
     {K::PathIsDirectory},
     "\"/etc\", which is a directory"},
    {"PathFactMissing",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile=/gone", E::PathAbsolute, P::Missing); },
     {K::MissingPath},
     "\"/gone\", which does not exist"},
    {"PathFactOtherErrorSaysNothing",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile=/root/x", E::PathAbsolute, P::OtherError); },
     {},
     ""},
    {"PathFactExists",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile=/etc/hostname", E::PathAbsolute, P::Exists); },
     {},
     ""},
    {"EmptyPathBeforeItsFile",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile=", E::PathMadeAbsolute, P::Directory); },
     {K::EmptyPath},
     "application directory itself"},
    {"BlankPathBeforeItsFile",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile= /x", E::PathAbsolute, P::Missing); },
     {K::BlanksAroundEquals},
     "part of the path"},
    {"LauncherInVmSection",
     [](Scene& s) { addVm(s, "launcher=/opt/x"); },
     {K::LauncherInVmSection},
     ""},
    {"LauncherInOtherCaseInVmSection",
     [](Scene& s) { addVm(s, "Launcher=/opt/x"); },
     {K::LauncherInVmSection},
     ""},
    {"SecondVmargs", [](Scene& s) { addVm(s, "-vmargs"); }, {K::VmargsInVmSection}, ""},
    {"VmargsInOtherCaseInVmSection",
     [](Scene& s) { addVm(s, "-VMArgs"); },
     {K::LetterCase},
     "\"-VMArgs\""},
    {"CommentInVmSection", [](Scene& s) { addVm(s, "; -Xmx1g"); }, {K::CommentInVmSection}, ""},
    {"PathKeyWithBlanksNotMadeAbsolute",
     [](Scene& s) { addVm(s, "-Ddv.appConfigFile =x"); },
     {K::BlanksAroundEquals},
     "not made absolute"},
    {"EmptyApplicationName",
     [](Scene& s) { addVm(s, "-Ddv.webApp=", E::NameSuppressed); },
     {K::EmptyApplicationName},
     "\"-Ddv.webApp=shop\" is not added"},
    {"NulByteEndsTheArgument",
     [](Scene& s) {
         addVm(s, std::string("-Da=b\0c", 7));
         s.lines.back().element = "-Da=b";
     },
     {K::NulByte},
     "as \"-Da=b\""},
    {"SecondLauncherLine",
     [](Scene& s) {
         s.facts.launcherLine = 1;
         s.shape.vmSectionLine = 3;
         s.lines = {line(2, "launcher=/opt/y", E::IgnoredInHead)};
     },
     {K::SecondLauncher},
     "line 1 already"},
    {"LauncherKeptByByteOrderMarkSaidOnce",
     [](Scene& s) { s.lines = {line(1, "\xEF\xBB\xBFlauncher=/opt/y", E::IgnoredInHead)}; },
     {K::ByteOrderMark},
     "byte-order mark: this is not a launcher line"},
    // Nothing after the line: no count of lines ignored (see the test).
    {"VmargsKeptByByteOrderMarkOnTheLastLine",
     [](Scene& s) {
         s.shape.lines = 1;
         s.shape.vmSectionLine = 0;
         s.lines = {line(1, "\xEF\xBB\xBF-vmargs", E::IgnoredInHead)};
     },
     {K::ByteOrderMark},
     "byte-order mark: this line does not open the VM section"},
    {"VmargsInOtherCaseOnTheLastLine",
     [](Scene& s) {
         s.shape.lines = 1;
         s.shape.vmSectionLine = 0;
         s.lines = {line(1, "-VMARGS", E::IgnoredInHead)};
     },
     {K::LetterCase},
     "it does not open the VM section"},
    {"LauncherInOtherCaseInHead",
     [](Scene& s) { s.lines = {line(1, "LAUNCHER=/opt/y", E::IgnoredInHead)}; },
     {K::LetterCase},
     "keys are case-sensitive, so ignored"},
    {"ArgumentInHead",
     [](Scene& s) { s.lines = {line(1, "-Xmx1g", E::IgnoredInHead)}; },
     {K::ArgumentInHead},
     ""},
    {"NameInHeadBeforeArgumentInHead",
     [](Scene& s) { s.lines = {line(1, "-Ddv.webApp=x", E::IgnoredInHead)}; },
     {K::NameInHead},
     ""},
    {"MissingVmargsHidesWhatFollowsFromIt",
     [](Scene& s) {
         noVmargs(s);
         s.lines = {line(1, "# shop", E::IgnoredInHead), line(2, "-Xmx1g", E::IgnoredInHead),
                    line(3, "-Ddv.webApp=x", E::IgnoredInHead)};
     },
     {K::MissingVmargs},
     "all 3 lines"},
    {"PropertyBelowMissingVmargsJudgedAsTheVmSectionWillReadIt",
     [](Scene& s) {
         noVmargs(s);
         s.lines = {line(2, "-Xmx1g", E::IgnoredInHead),
                    line(3, "-Ddv.AppConfigFile=/x", E::IgnoredInHead)};
     },
     {K::MissingVmargs, K::LetterCase},
     "all 3 lines"},
    {"DuplicatePropertyOnTheLaterLine",
     [](Scene& s) {
         addVm(s, "-Da=1");
         addVm(s, "-Db=1");
         addVm(s, "-Da=2");
         addVm(s, "-Db=1");
     },
     {K::DuplicateProperty},
     "(line 2 gives \"-Da=1\")"},
    {"ArgumentTooLong",
     [](Scene& s) { addVm(s, "-Dx=" + std::string(ARGUMENT_LIMIT, 'x')); },
     {K::ArgumentTooLong},
     "argument 3 (line 2)"},
    {"StartDirectoryHidesTheExecutable",
     [](Scene& s) {
         s.facts.startDirUsable = false;
         s.facts.startDirAccess = refused(AccessCause::NotSearchable, "/srv/ws/eclipse");
         s.facts.executable.clear();
         s.facts.executableInfo.program.checked = true;
         s.facts.executableInfo.program.runs = false;
     },
     {K::PathNotSearchable},
     "start directory"},
    {"ExecutableMissing",
     [](Scene& s) {
         s.facts.executableAccess = refused(AccessCause::NotFound, s.facts.executable);
         s.facts.executableInfo.kind = FileKind::Missing;
         s.facts.executableInfo.executable = false;
     },
     {K::ExecutableMissing},
     "does not exist"},
    {"InterpreterNotExecutableForTheUser",
     [](Scene& s) {
         ExecutableInfo& info = s.facts.executableInfo;
         info.kind = FileKind::Script;
         info.interpreter = "/opt/py/bin/python";
         s.facts.interpreterAccess = refused(AccessCause::Denied, info.interpreter);
     },
     {K::InterpreterNotExecutable},
     "\"/opt/py/bin/python\" is not executable by shop"},
    {"ScriptUnreadableForTheUser",
     [](Scene& s) {
         s.facts.executableInfo.kind = FileKind::Script;
         s.facts.executableInfo.interpreterUsable = true;
         s.facts.scriptAccess = refused(AccessCause::Denied, s.facts.executable);
     },
     {K::ScriptUnreadable},
     "cannot be read by shop"},
    {"DamagedElfHidesItsLibraries",
     [](Scene& s) {
         ElfCheck& program = s.facts.executableInfo.program;
         program.checked = true;
         program.damage.kind = ElfDamageKind::HeadersPastEnd;
         program.linking.missing = {{"libc.so.6", "Dashvane"}};
     },
     {K::ExecutableDamaged},
     "damaged ELF file"},
    {"LoaderAndLibraryMissing",
     [](Scene& s) {
         ElfCheck& program = s.facts.executableInfo.program;
         program.checked = true;
         program.kind = "32-bit i386";
         program.linking.loader = "/lib/ld-linux.so.2";
         program.linking.loaderProblem = LoaderProblem::Missing;
         program.linking.missing = {{"libc.so.6", "Dashvane"}};
     },
     {K::LoaderMissing, K::LibraryMissing},
     "libc6:i386"},
    {"DanglingLauncherCopy",
     [](Scene& s) {
         s.facts.copiesSearched = true;
         s.facts.danglingCopyTarget = "/opt/old/dashvane-launcher";
     },
     {K::DanglingLink},
     "-> \"/opt/old/dashvane-launcher\""},
    {"NoLauncherCopy", [](Scene& s) { s.facts.copiesSearched = true; }, {K::NoLauncherCopy}, ""},
    {"MisnamedIniSaidOnceAsIniWithoutCopy",
     [](Scene& s) {
         s.facts.iniState = IniState::Missing;
         s.facts.copiesSearched = true;
         s.facts.copies.copies = {{"run", DVL_VERSION, true, false}};
         s.facts.copies.iniFiles = {"Run.ini"};
     },
     {K::IniWithoutCopy},
     "reads \"run.ini\", which does not exist, while \"Run.ini\""},
    {"StaleAndSeveralCopies",
     [](Scene& s) {
         s.facts.copiesSearched = true;
         s.facts.copies.copies = {{"run", DVL_VERSION, true, false}, {"start", "0.1", true, true}};
         s.facts.copies.iniFiles = {"run.ini", "start.ini"};
     },
     {K::LauncherCopyStale, K::SeveralLauncherCopies},
     "version \"0.1\""},
    {"IniReadableForTheUserNotTheCheck",
     [](Scene& s) { s.facts.iniState = IniState::Unreadable; },
     {K::IniUnreadable},
     "run the check as root"},
    {"JudgedAsRoot",
     [](Scene& s) {
         s.facts.judgedAsRoot = true;
         s.facts.appDirOwner = "shop";
     },
     {K::JudgedAsRoot},
     "--user shop"},
};

INSTANTIATE_TEST_SUITE_P(OnWrittenFacts, Rules, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

// A kind's advice is the note of every finding that has none of its own,
// so it must hold for any installation: no sample path of one.
TEST(KindAdvice, NamesNoSampleInstallation) {
    for (const Kind& kind : catalogue()) {
        const std::string advice = kind.advice;
        EXPECT_FALSE(advice.empty()) << kind.name;
        EXPECT_EQ(advice.find("/srv/"), std::string::npos) << kind.name << ": " << advice;
        EXPECT_EQ(advice.find('\n'), std::string::npos) << kind.name << ": one note";
    }
}

}  // namespace
