// The words of facts that are data, each written in one place: the rules'
// messages and the reports quote them byte for byte, so each is pinned here,
// from the fact as its gatherer leaves it.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "facts/DesktopEntry.h"
#include "facts/SystemdUnit.h"
#include "rules/FactText.h"

namespace {

struct Row {
    const char* name;
    std::function<std::string()> words;
    std::string expected;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

std::string kernel(KernelRun how) {
    KernelVerdict verdict;
    verdict.how = how;
    verdict.handlerInterpreter = "/usr/bin/qemu-aarch64";
    verdict.kind = "64-bit AArch64 big-endian";
    verdict.machine = "x86_64";
    return kernelRunText(verdict);
}

std::string nested(NestedProblem problem) {
    ExecutableInfo info;
    info.nestedProblem = problem;
    info.nestedHandler = "qemu-arm";
    info.nestedHandlerInterpreter = "/usr/bin/qemu-arm";
    return nestedProblemText(info, "shop");
}

// An Exec= or ExecStart= value as the start's reader splits it.
std::string refused(StartKind kind, const std::string& value) {
    StartFacts start;
    start.kind = kind;
    if (kind == StartKind::SystemdUnit) {
        ExecLine exec;
        splitExecLine(value, exec, start.execProblem);
    } else {
        std::vector<std::string> argv;
        splitDesktopExec(value, DesktopFields(), argv, start.execProblem);
    }
    return execProblemText(start);
}

std::string relative(StartKind kind, ExecProblem problem) {
    StartFacts start;
    start.kind = kind;
    start.program = "bin/run";
    start.execProblem.problem = problem;
    return execProblemText(start);
}

std::string origin(VmOrigin from) {
    VmArgument argument;
    argument.origin = from;
    argument.line = 3;
    argument.iniLine = 4;
    argument.commandLine = 2;
    return vmOriginText(argument);
}

using K = KernelRun;
using N = NestedProblem;
using S = StartKind;

const Row ROWS[] = {
    {"KernelNatively", [] { return kernel(K::Natively); }, ""},
    {"KernelBinfmt", [] { return kernel(K::Binfmt); },
     "run through the binfmt_misc handler /usr/bin/qemu-aarch64"},
    {"KernelNoIa32", [] { return kernel(K::NoIa32Emulation); },
     "a 64-bit AArch64 big-endian program, and this 64-bit kernel runs no 32-bit programs (its "
     "IA32 emulation is not built in or is switched off with ia32_emulation=0)"},
    {"KernelOtherMachine", [] { return kernel(K::OtherMachine); },
     "a 64-bit AArch64 big-endian program, which this x86_64 kernel does not run"},
    {"NestedNone", [] { return nested(N::None); }, ""},
    {"NestedHandlerTooDeep", [] { return nested(N::HandlerTooDeep); },
     "is run through the binfmt_misc handler \"qemu-arm\" (/usr/bin/qemu-arm), one level too "
     "many: the kernel follows at most 5 levels in a row, each script and each binfmt_misc "
     "handler one"},
    {"NestedDeniedAlongPath", [] { return nested(N::DeniedAlongPath); },
     "is found along PATH, but execute permission is denied to user shop: execv succeeds, but "
     "env ends at once with \"Permission denied\""},
    {"NestedNotAlongPath", [] { return nested(N::NotAlongPath); },
     "is not found along PATH: execv succeeds, but env ends at once with \"No such file or "
     "directory\""},
    {"NestedScriptTooDeep", [] { return nested(N::ScriptTooDeep); },
     "is one script too many: the kernel follows at most 5 scripts in a row"},
    {"LoaderOfAnotherKind",
     [] {
         LinkCheck linking;
         linking.loaderProblem = LoaderProblem::OtherKind;
         linking.loaderKind = "32-bit i386";
         return loaderProblemText(linking);
     },
     "is a 32-bit i386 file"},
    {"ElfSegmentPastEnd",
     [] {
         ElfDamage damage;
         damage.kind = ElfDamageKind::SegmentPastEnd;
         damage.at = 9000;
         damage.size = 4096;
         return elfDamageText(damage);
     },
     "a loadable segment reaches past the end of the file (byte 9000 of 4096)"},
    {"ElfCoreDump",
     [] {
         ElfDamage damage;
         damage.kind = ElfDamageKind::NotAProgram;
         damage.type = 4;
         return elfDamageText(damage);
     },
     "it is an ELF object of type 4 (a core dump), not a program or a shared library"},
    {"DesktopQuoteOpen", [] { return refused(S::DesktopEntry, "\"/srv/run"); },
     "a double quote is not closed"},
    {"DesktopNoProgram", [] { return refused(S::DesktopEntry, "%F"); }, "Exec= names no program"},
    {"DesktopSound", [] { return refused(S::DesktopEntry, "/srv/run %f"); }, ""},
    {"UnitQuoteOpen", [] { return refused(S::SystemdUnit, "/srv/run 'open"); },
     "a quote is not closed"},
    {"UnitOwnNameMissing", [] { return refused(S::SystemdUnit, "@/srv/run"); },
     "\"@\" is not followed by the program and the name it is given"},
    {"UnitNoProgram", [] { return refused(S::SystemdUnit, "-"); }, "ExecStart= names no program"},
    {"DesktopRelativePath", [] { return relative(S::DesktopEntry, ExecProblem::RelativePath); },
     "\"bin/run\" is a relative path: gio refuses the entry (\"Unable to load application "
     "information\"), whatever Path= says"},
    {"UnitRelativePath", [] { return relative(S::SystemdUnit, ExecProblem::RelativePath); },
     "\"bin/run\" is a relative path, which systemd refuses (\"Neither a valid executable name "
     "nor an absolute path\")"},
    {"UnitNoPath", [] { return relative(S::SystemdUnit, ExecProblem::NoPath); },
     "\"bin/run\" has no path: systemd looks for it in its own directories, never in the "
     "application directory"},
    {"VmFromLine", [] { return origin(VmOrigin::Line); }, "line 3"},
    {"VmFromInstallation", [] { return origin(VmOrigin::InstallationIni); },
     "installation ini line 4"},
    {"VmDefaultName", [] { return origin(VmOrigin::DefaultName); }, "the default application name"},
    {"VmCommandLine", [] { return origin(VmOrigin::CommandLine); }, "command-line argument 2"},
};

class FactWordsOnce : public ::testing::TestWithParam<Row> {};

TEST_P(FactWordsOnce, AreTheReportedText) {
    EXPECT_EQ(GetParam().words(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(OfEachFact, FactWordsOnce, ::testing::ValuesIn(ROWS),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
