#include "rules/ExecutableRules.h"

#include <algorithm>

#include "rules/FactText.h"
#include "rules/RuleText.h"

namespace {

// Where a finding about the executable is put: on the launcher line when
// there is one, else on the executable itself.
struct Target {
    std::size_t line;
    std::string file;
    std::string name;  // "executable "..."", to begin a message with
};

// An interpreter further down the chain that fails: no program at all, or
// one that does not start for its own reason.
void nestedWarning(const Facts& facts, const Target& at, Collector& add) {
    const ExecutableInfo& info = facts.executableInfo;
    const std::string fails = ": the child fails with " + LAUNCH_FAILED;
    if (info.interpreterNoProgram) {
        add(at.line, KindId::InterpreterNotProgram,
            at.name + " is a script whose interpreter " +
                (info.nestedInterpreter == info.interpreter
                     ? quoted(info.interpreter)
                     : quoted(info.interpreter) + " runs " + quoted(info.nestedInterpreter)) +
                " " + nestedProblemText(info, facts.accessUser) +
                ": no handler of the kernel takes it, execv fails with \"Exec format error\" "
                "and the child reports " +
                LAUNCH_FAILED,
            at.file);
    } else {
        const AccessVerdict& nested = info.nestedAccess;
        add(at.line,
            nested.granted() || nested.cause == AccessCause::NotFound
                ? KindId::InterpreterMissing
                : accessKind(nested, KindId::InterpreterNotExecutable),
            at.name + " is a script whose interpreter " + quoted(info.interpreter) + " runs " +
                quoted(info.nestedInterpreter) + " in turn, which " +
                (nested.granted() || info.nestedExecSucceeds
                     ? nestedProblemText(info, facts.accessUser)
                     : accessProblem(nested, facts.accessUser, "is not executable")) +
                (info.nestedExecSucceeds ? std::string() : fails),
            at.file);
    }
}

// A script that execv accepts but whose interpreter, or its reading of the
// script, fails. Only the first fault is reported: the later ones would
// only be reached once it is mended.
void scriptWarnings(const Facts& facts, const Target& at, Collector& add) {
    const ExecutableInfo& info = facts.executableInfo;
    const AccessVerdict& interpreter = facts.interpreterAccess;
    const std::string& user = facts.accessUser;
    const std::string fails = ": the child fails with " + LAUNCH_FAILED;
    if (info.rerunsItself && interpreter.granted()) {
        add(at.line, KindId::InterpreterRerunsScript,
            at.name + " is a script whose interpreter " + quoted(info.interpreter) +
                (info.interpreterArgument.empty() ? std::string()
                                                  : " with " + quoted(info.interpreterArgument)) +
                " names no program: env runs the script again, which starts env again, for "
                "ever; execv succeeds, the application never starts, the child keeps running "
                "and the launcher reports nothing",
            at.file);
    } else if ((info.interpreterNoProgram || !info.nestedInterpreter.empty()) &&
               interpreter.granted()) {
        nestedWarning(facts, at, add);
    } else if (!info.interpreterUsable) {
        const KindId kind = interpreter.cause == AccessCause::NotFound || info.interpreter.empty()
                                ? KindId::InterpreterMissing
                                : accessKind(interpreter, KindId::InterpreterNotExecutable);
        add(at.line, kind,
            at.name + " is a script" +
                (info.interpreter.empty()
                     ? std::string(" whose \"#!\" line names no interpreter")
                     : " whose interpreter " + quoted(info.interpreter) + " " +
                           accessProblem(interpreter, user, "is not executable")) +
                fails,
            at.file);
    } else if (info.shellOptionRefused) {
        add(at.line, KindId::InterpreterOptionCarriageReturn,
            at.name +
                " is a script whose \"#!\" line ends in a carriage return (CRLF line "
                "ends): the shell " +
                quoted(info.interpreter) + " gets the option " + quoted(info.interpreterArgument) +
                ", which it refuses: execv succeeds, the application does not start and the "
                "launcher reports nothing",
            at.file);
    } else if (!facts.scriptAccess.granted()) {
        const bool nested = std::find(info.chainScripts.begin(), info.chainScripts.end(),
                                      facts.scriptAccess.path) != info.chainScripts.end();
        add(at.line, accessKind(facts.scriptAccess, KindId::ScriptUnreadable),
            at.name + " is a script, and " +
                (nested ? "its interpreter " + quoted(facts.scriptAccess.path) +
                              ", a script the next interpreter reads, "
                        : std::string("it ")) +
                accessProblem(facts.scriptAccess, user, "cannot be read") +
                ": execv starts its interpreter, which cannot read it, so the application does "
                "not start and the launcher reports nothing",
            at.file);
    }
}

}  // namespace

void executableWarnings(const Facts& facts, Collector& add) {
    const std::string& user = facts.accessUser;
    if (!facts.startDirUsable) {
        // The child fails at its change of directory and never runs execv.
        add(0, accessKind(facts.startDirAccess, KindId::StartDirectory),
            "start directory " + quoted(facts.startDirResolved) + " " +
                accessProblem(facts.startDirAccess, user, "cannot be entered") +
                ": the child fails with \"Failed to launch, could not set start directory\"",
            facts.startDirResolved);
        return;
    }
    const ExecutableInfo& info = facts.executableInfo;
    const AccessVerdict& verdict = facts.executableAccess;
    const std::size_t line = facts.launcherLine;
    const Target at{line, line != 0 ? std::string() : info.resolved,
                    "executable " + quoted(info.resolved)};
    const std::string fails = ": the child fails with " + LAUNCH_FAILED;
    // The first fault execv meets decides.
    if (facts.executable.empty()) {
        add(line, KindId::ExecutableMissing, "the launcher line names no executable" + fails,
            at.file);
    } else if (verdict.cause == AccessCause::NotFound) {
        add(line, KindId::ExecutableMissing,
            at.name + " " + accessProblem(verdict, user, "") + fails, at.file);
    } else if (info.kind == FileKind::Directory) {
        add(line, KindId::ExecutableNotExecutable, at.name + " is a directory" + fails, at.file);
    } else if (verdict.cause == AccessCause::TooLong && verdict.at == verdict.path) {
        // A path this long would fill the line: it goes on a note.
        add(line, KindId::PathTooLong, "executable " + accessProblem(verdict, user, "") + fails,
            at.file,
            "the executable is " + quoted(verdict.path) + '\n' +
                kindOf(KindId::PathTooLong).advice);
    } else if (!verdict.granted()) {
        add(line, accessKind(verdict, KindId::ExecutableNotExecutable),
            at.name + " " + accessProblem(verdict, user, "is not executable") + fails, at.file);
    } else if (info.kind == FileKind::Script) {
        scriptWarnings(facts, at, add);
    } else if (info.kind == FileKind::Other) {
        add(line, KindId::ExecutableUnknownFormat,
            at.name +
                " is neither an ELF file nor a script with an interpreter line: the child "
                "fails with " +
                LAUNCH_FAILED,
            at.file);
    }
}
