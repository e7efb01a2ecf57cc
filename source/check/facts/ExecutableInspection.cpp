#include "facts/ExecutableInspection.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "facts/ElfFile.h"
#include "facts/Kernel.h"
#include "facts/LibraryLookup.h"
#include "facts/SystemLoader.h"

namespace {

// The kernel reads no more of a script's "#!" line than this.
constexpr std::size_t INTERPRETER_LINE_MAX = 256;

// The interpreter of a "#!" line: the first word after optional blanks.
std::string interpreterOf(const std::string& head) {
    const std::string::size_type end = head.find('\n');
    const std::string line = head.substr(2, end == std::string::npos ? end : end - 2);
    const std::string::size_type start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::string();
    }
    return line.substr(start, line.find_first_of(std::string(" \t\0", 3), start) - start);
}

// The one argument the kernel passes the interpreter: the rest of the "#!"
// line after the interpreter's name, without the blanks around it.
std::string interpreterArgumentOf(const std::string& head, const std::string& interpreter) {
    const std::string::size_type end = head.find('\n');
    std::string line = head.substr(2, end == std::string::npos ? end : end - 2);
    line = line.substr(0, line.find('\0'));
    const std::string::size_type name = line.find_first_not_of(" \t");
    if (interpreter.empty() || name == std::string::npos) {
        return std::string();
    }
    const std::string::size_type start = line.find_first_not_of(" \t", name + interpreter.size());
    if (start == std::string::npos) {
        return std::string();
    }
    return line.substr(start, line.find_last_not_of(" \t") + 1 - start);
}

// A line saved with CRLF ends "#!/bin/sh -e\r": the kernel passes "-e\r",
// and the shells take no option of that name, so they stop before the
// script. Judged only for the shells, whose option parsing is known.
bool shellRefuses(const std::string& interpreter, const std::string& argument) {
    const std::string base = interpreter.substr(interpreter.rfind('/') + 1);
    return (base == "sh" || base == "dash" || base == "bash") && argument.size() > 1 &&
           argument[0] == '-' && argument.find('\r') != std::string::npos;
}

// What "#!/usr/bin/env ARGUMENT" has env run. The kernel passes the rest of
// the line as one argument: env takes it as a program's name, however many
// blanks it holds, or as an assignment when it holds "=". With -S it splits
// the words itself. Anything else is not judged.
struct EnvCommand {
    bool env = false;     // the interpreter is env, and its argument understood
    std::string program;  // the program env looks up; empty: env runs the script again
};

EnvCommand envCommandOf(const std::string& interpreter, const std::string& argument) {
    EnvCommand command;
    const std::string::size_type slash = interpreter.rfind('/');
    if (interpreter.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "env") !=
        0) {
        return command;
    }
    if (argument.empty() || (argument[0] != '-' && argument.find('=') != std::string::npos)) {
        command.env = true;
        return command;
    }
    if (argument[0] != '-') {
        command.env = true;
        command.program = argument;
        return command;
    }
    std::string split;
    if (argument.compare(0, 2, "-S") == 0) {
        split = argument.substr(2);
    } else if (argument.compare(0, 15, "--split-string=") == 0) {
        split = argument.substr(15);
    } else {
        return command;
    }
    // Quotes, escapes, variables and comments have rules of their own.
    if (split.find_first_of("'\"\\$#") != std::string::npos) {
        return command;
    }
    std::string::size_type start = split.find_first_not_of(" \t\n\v\f\r");
    while (start != std::string::npos) {
        const std::string::size_type end = split.find_first_of(" \t\n\v\f\r", start);
        const std::string word = split.substr(start, end == std::string::npos ? end : end - start);
        if (word[0] == '-') {
            return command;  // another option
        }
        if (word.find('=') == std::string::npos) {
            command.program = word;
            break;
        }
        start = split.find_first_not_of(" \t\n\v\f\r", end);
    }
    command.env = true;
    return command;
}

// How env, started in `startDir` by `user` with the launch's environment,
// fares with execvp for `program`: the path it runs, or why it fails. A
// candidate the user may not run is passed over, as execvp passes it.
struct EnvLookup {
    std::string found;
    bool denied = false;  // some candidate exists, but the user may run none
};

EnvLookup foundAlongPath(const std::string& program, const std::string& startDir,
                         const AccessJudge& user) {
    EnvLookup lookup;
    const auto tryPath = [&lookup, &user](const std::string& path) {
        struct stat status {};
        if (stat(path.c_str(), &status) != 0) {
            return false;
        }
        const bool runs =
            S_ISREG(status.st_mode) && user.judge(AccessOperation::Execute, path).granted();
        lookup.denied = lookup.denied || !runs;
        lookup.found = runs ? path : std::string();
        return runs;
    };
    if (program.find('/') != std::string::npos) {
        tryPath(program[0] == '/' ? program : startDir + "/" + program);
        return lookup;
    }
    const char* variable = getenv("PATH");
    const std::string path = variable != nullptr ? variable : "/bin:/usr/bin";
    std::string::size_type start = 0;
    while (start <= path.size()) {
        const std::string::size_type end = std::min(path.find(':', start), path.size());
        const std::string dir = path.substr(start, end - start);
        const std::string base = dir.empty()     ? startDir
                                 : dir[0] == '/' ? dir
                                                 : startDir + "/" + dir;
        if (tryPath(base + "/" + program)) {
            return lookup;
        }
        start = end + 1;
    }
    return lookup;
}

// Where the system's loader was asked, its verdict replaces the model's:
// it knows the hwcaps directories, symbol versions and mounts the model may
// not. The model names who needs a library it also misses.
void takeSystemVerdict(ElfCheck& check, const LoaderAnswer& answer) {
    if (!answer.asked || check.linking.loaderProblem != LoaderProblem::None) {
        return;
    }
    check.systemVerdict = true;
    check.loaderRefusal = answer.refusal;
    std::vector<MissingLibrary> missing;
    for (const std::string& name : answer.missing) {
        MissingLibrary library{name, std::string()};
        for (const MissingLibrary& modelled : check.linking.missing) {
            library.neededBy = modelled.name == name ? modelled.neededBy : library.neededBy;
        }
        missing.push_back(library);
    }
    check.linking.missing = missing;
}

// The loader maps each library's code executable, which a noexec mount
// refuses: it gives up at the first such library, as it says it does.
std::string noexecRefusal(const std::vector<std::string>& libraries) {
    for (const std::string& library : libraries) {
        struct statvfs mount {};
        if (statvfs(library.c_str(), &mount) == 0 && (mount.f_flag & ST_NOEXEC) != 0) {
            return library.substr(library.rfind('/') + 1) +
                   ": failed to map segment from shared object";
        }
    }
    return std::string();
}

}  // namespace

ElfCheck checkElfProgram(const std::string& path, const std::string& workingDir,
                         const AccessJudge& user) {
    ElfCheck check;
    const ElfFile elf = readElfFile(path);
    if (!elf.isElf) {
        return check;
    }
    check.checked = true;
    check.kind = programKind(elf);
    check.damage = elf.damaged ? elf.damage : ElfDamage();
    check.execRefused = elf.execRefused;
    check.howRun = kernelRuns(elf, KernelInfo::current());
    check.runs = check.howRun.runs();
    // A binfmt_misc handler runs its interpreter in the program's place,
    // opened as the user unless the kernel opened it when it was registered.
    const BinfmtEntry handler = binfmtEntryFor(KernelInfo::current(), path, elf.header);
    if (!handler.name.empty()) {
        check.handler = handler.name;
        check.handlerInterpreter = handler.interpreter;
        if (!handler.preopened) {
            check.handlerAccess = user.judge(AccessOperation::Execute, handler.interpreter);
        }
    }
    if (check.runs && !elf.damaged) {
        LookupPlaces places;
        const char* libraryPath = getenv("LD_LIBRARY_PATH");
        places.ldLibraryPath = libraryPath != nullptr ? libraryPath : "";
        places.workingDir = workingDir;
        struct stat status {};
        const UserIdentity& who = user.user();
        places.secure = stat(path.c_str(), &status) == 0 &&
                        (((status.st_mode & S_ISUID) != 0 && status.st_uid != who.uid) ||
                         ((status.st_mode & S_ISGID) != 0 && status.st_gid != who.gid));
        if (user.named()) {
            // What the check itself can read, another user may not.
            places.readable = [&user](const std::string& library) {
                return user.judge(AccessOperation::Read, library).granted();
            };
        }
        check.linking = checkLinking(path, elf, places);
        takeSystemVerdict(check, askSystemLoader(path, elf, workingDir, user));
        if (!check.systemVerdict) {
            check.loaderRefusal = noexecRefusal(check.linking.libraries);
        }
    }
    return check;
}

namespace {

// The first bytes of a file, as far as the kernel reads a "#!" line.
std::string headOf(const std::string& path) {
    std::string head(INTERPRETER_LINE_MAX, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

bool isElfHead(const std::string& head) {
    return head.compare(0, 4,
                        "\x7f"
                        "ELF") == 0;
}

// Whether the kernel starts the interpreter `name`, at `interpreter` from
// the start directory, as the user; why not where it does not. The first
// interpreter's failure is the script's own, said without a cause here.
bool interpreterStarts(ExecutableInfo& info, const std::string& name,
                       const std::string& interpreter, int scripts, const AccessJudge& user) {
    struct stat status {};
    const bool exists =
        !interpreter.empty() && stat(interpreter.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    const AccessVerdict verdict =
        exists ? user.judge(AccessOperation::Execute, interpreter) : AccessVerdict();
    if (exists && verdict.granted()) {
        info.interpreterChain.push_back(interpreter);
        return true;
    }
    info.interpreterUsable = false;
    if (scripts > 1) {
        info.nestedInterpreter = name;
        info.nestedAccess = verdict;
        info.nestedProblem = NestedProblem::NotRunnable;
    }
    return false;
}

// Whether the kernel runs the binfmt_misc `handler` that takes the
// interpreter `name` (none is fine); why not where it does not.
bool handlerStarts(ExecutableInfo& info, const std::string& name, const BinfmtEntry& handler,
                   int scripts, const AccessJudge& user) {
    if (!handler.name.empty() && scripts == SCRIPT_DEPTH_MAX) {
        // The handler is one more level, like a script: execve fails with ELOOP.
        info.interpreterUsable = false;
        info.nestedInterpreter = name;
        info.nestedProblem = NestedProblem::HandlerTooDeep;
        info.nestedHandler = handler.name;
        info.nestedHandlerInterpreter = handler.interpreter;
        return false;
    }
    const AccessVerdict handlerRuns =
        handler.name.empty() || handler.preopened
            ? AccessVerdict()
            : user.judge(AccessOperation::Execute, handler.interpreter);
    if (!handlerRuns.granted()) {
        // The kernel opens the handler's interpreter as the user.
        info.interpreterUsable = false;
        info.nestedInterpreter = handler.interpreter;
        info.nestedAccess = handlerRuns;
        return false;
    }
    return true;
}

// The chain ends at a program, `interpreter` given `argument`: unless it is
// env, which looks for the program it names along PATH.
void programEnds(ExecutableInfo& info, const std::string& interpreter, const std::string& argument,
                 const std::string& startDir, const AccessJudge& user) {
    info.interpreterUsable = true;
    info.interpreterProgram = checkElfProgram(interpreter, startDir, user);
    const EnvCommand command = envCommandOf(interpreter, argument);
    if (command.env && command.program.empty()) {
        // env is given the script alone, and runs it: env again.
        info.interpreterUsable = false;
        info.rerunsItself = true;
        return;
    }
    const EnvLookup lookup =
        command.program.empty() ? EnvLookup() : foundAlongPath(command.program, startDir, user);
    if (!lookup.found.empty()) {
        // The program env runs is the script's interpreter in truth.
        info.interpreterChain.push_back(lookup.found);
    }
    if (!command.program.empty() && lookup.found.empty()) {
        // env fails where the user finds no program to run.
        info.interpreterUsable = false;
        info.nestedInterpreter = command.program;
        info.nestedProblem =
            lookup.denied ? NestedProblem::DeniedAlongPath : NestedProblem::NotAlongPath;
        info.nestedExecSucceeds = true;
        info.nestedAccess.cause = lookup.denied ? AccessCause::Denied : AccessCause::NotFound;
    }
}

// An interpreter may be a script in turn, which the kernel follows to a
// depth of five scripts; each adds its own name and argument.
void followInterpreters(ExecutableInfo& info, const std::string& path, const std::string& startDir,
                        const AccessJudge& user) {
    std::string name = info.interpreter;
    std::string argument = info.interpreterArgument;
    info.scriptRead = path;
    for (int scripts = 1;; ++scripts) {
        const std::string interpreter =
            name.empty() || name[0] == '/' ? name : startDir + "/" + name;
        if (!interpreterStarts(info, name, interpreter, scripts, user)) {
            return;
        }
        const std::string next = headOf(interpreter);
        const bool script = next.compare(0, 2, "#!") == 0;
        const BinfmtEntry handler =
            script ? BinfmtEntry() : binfmtEntryFor(KernelInfo::current(), interpreter, next);
        if (!handlerStarts(info, name, handler, scripts, user)) {
            return;
        }
        if (!script && !isElfHead(next) && handler.name.empty()) {
            // No handler takes it: execve fails with ENOEXEC, and
            // execv, unlike execvp, tries no shell.
            info.interpreterUsable = false;
            info.nestedInterpreter = name;
            info.interpreterNoProgram = true;
            info.nestedProblem = next.empty() ? NestedProblem::EmptyFile : NestedProblem::NoProgram;
            return;
        }
        if (!script) {
            programEnds(info, interpreter, argument, startDir, user);
            return;
        }
        // A script's interpreter reads that script; the scripts before
        // it are only arguments.
        info.scriptRead = interpreter;
        info.chainScripts.push_back(interpreter);
        if (scripts == SCRIPT_DEPTH_MAX || interpreterOf(next).empty()) {
            info.interpreterUsable = false;
            info.nestedInterpreter = name;
            info.nestedProblem = scripts == SCRIPT_DEPTH_MAX ? NestedProblem::ScriptTooDeep
                                                             : NestedProblem::NoInterpreterNamed;
            return;
        }
        name = interpreterOf(next);
        argument = interpreterArgumentOf(next, name);
        info.scriptBytes += name.size() + 1 + (argument.empty() ? 0 : argument.size() + 1);
        info.scriptPointers += argument.empty() ? 1 : 2;
    }
}

}  // namespace

ExecutableInfo inspectExecutable(const std::string& path, const std::string& startDir,
                                 const AccessJudge& user) {
    ExecutableInfo info;
    info.resolved = path;
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0) {
        return info;
    }
    if (S_ISDIR(status.st_mode)) {
        info.kind = FileKind::Directory;
        return info;
    }
    info.executable = S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
    info.kind = FileKind::Other;
    if (!S_ISREG(status.st_mode)) {
        // execv runs regular files only; opening a named pipe or a terminal
        // to look inside could wait for ever.
        return info;
    }

    const std::string head = headOf(path);
    if (head.size() >= 5 && isElfHead(head)) {
        info.kind = FileKind::Elf;
        info.elfClass = head[4] == 1 ? 32 : head[4] == 2 ? 64 : 0;
        info.program = checkElfProgram(path, startDir, user);
    } else if (head.compare(0, 2, "#!") == 0) {
        info.kind = FileKind::Script;
        info.interpreter = interpreterOf(head);
        info.interpreterArgument = interpreterArgumentOf(head, info.interpreter);
        info.shellOptionRefused = shellRefuses(info.interpreter, info.interpreterArgument);
        info.scriptBytes =
            info.interpreter.size() + 1 +
            (info.interpreterArgument.empty() ? 0 : info.interpreterArgument.size() + 1);
        info.scriptPointers = info.interpreterArgument.empty() ? 1 : 2;
        followInterpreters(info, path, startDir, user);
    }
    return info;
}
