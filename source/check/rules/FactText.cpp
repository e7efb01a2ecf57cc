#include "rules/FactText.h"

#include <elf.h>

std::string kernelRunText(const KernelVerdict& verdict) {
    switch (verdict.how) {
        case KernelRun::Natively:
            return std::string();
        case KernelRun::Binfmt:
            return "run through the binfmt_misc handler " + verdict.handlerInterpreter;
        case KernelRun::NoIa32Emulation:
            return "a " + verdict.kind +
                   " program, and this 64-bit kernel runs no 32-bit programs (its IA32 "
                   "emulation is not built in or is switched off with ia32_emulation=0)";
        case KernelRun::OtherMachine:
            return "a " + verdict.kind + " program, which this " + verdict.machine +
                   " kernel does not run";
    }
    return std::string();
}

std::string elfDamageText(const ElfDamage& damage) {
    switch (damage.kind) {
        case ElfDamageKind::None:
            return std::string();
        case ElfDamageKind::EndsInIdentification:
            return "it ends inside the ELF identification";
        case ElfDamageKind::UndefinedClassOrOrder:
            return "its ELF class or byte order is not one the format defines";
        case ElfDamageKind::EndsInHeader:
            return "it ends inside the ELF header";
        case ElfDamageKind::NotAProgram:
            return "it is an ELF object of type " + std::to_string(damage.type) +
                   (damage.type == ET_REL    ? " (a relocatable object file)"
                    : damage.type == ET_CORE ? " (a core dump)"
                                             : "") +
                   ", not a program or a shared library";
        case ElfDamageKind::NoProgramHeaders:
            return "it has no program headers";
        case ElfDamageKind::MalformedHeaderTable:
            return "its program header table is malformed";
        case ElfDamageKind::HeadersPastEnd:
            return "its program headers lie past the end of the file (" +
                   std::to_string(damage.size) + " bytes)";
        case ElfDamageKind::SegmentPastEnd:
            return "a loadable segment reaches past the end of the file (byte " +
                   std::to_string(damage.at) + " of " + std::to_string(damage.size) + ")";
        case ElfDamageKind::MalformedLoaderName:
            return "its loader name (PT_INTERP) is malformed or lies past the end of the file";
    }
    return std::string();
}

std::string nestedProblemText(const ExecutableInfo& info, const std::string& user) {
    const std::string depth = std::to_string(SCRIPT_DEPTH_MAX);
    switch (info.nestedProblem) {
        case NestedProblem::None:
            return std::string();
        case NestedProblem::NotRunnable:
            return "does not exist or cannot be executed";
        case NestedProblem::HandlerTooDeep:
            return "is run through the binfmt_misc handler \"" + info.nestedHandler + "\" (" +
                   info.nestedHandlerInterpreter +
                   "), one level too many: the kernel follows at most " + depth +
                   " levels in a row, each script and each binfmt_misc handler one";
        case NestedProblem::EmptyFile:
            return "is an empty file";
        case NestedProblem::NoProgram:
            return "is a file without \"#!\" and no program";
        case NestedProblem::NotAlongPath:
            return "is not found along PATH: execv succeeds, but env ends at once with \"No "
                   "such file or directory\"";
        case NestedProblem::DeniedAlongPath:
            return "is found along PATH, but execute permission is denied to user " + user +
                   ": execv succeeds, but env ends at once with \"Permission denied\"";
        case NestedProblem::ScriptTooDeep:
            return "is one script too many: the kernel follows at most " + depth +
                   " scripts in a row";
        case NestedProblem::NoInterpreterNamed:
            return "is a script whose \"#!\" line names no interpreter";
    }
    return std::string();
}

std::string loaderProblemText(const LinkCheck& linking) {
    switch (linking.loaderProblem) {
        case LoaderProblem::None:
            return std::string();
        case LoaderProblem::Unreadable:
            return "cannot be read";
        case LoaderProblem::Missing:
            return "does not exist";
        case LoaderProblem::NotUsableElf:
            return "is not a usable ELF file";
        case LoaderProblem::OtherKind:
            return "is a " + linking.loaderKind + " file";
        case LoaderProblem::NotExecutable:
            return "is not executable";
    }
    return std::string();
}

std::string vmOriginText(const VmArgumentView& argument) {
    if (argument.origin == VmOrigin::Environment) {
        const std::string variable = std::string(argument.variable) + " of the environment";
        return argument.file.empty() ? "in " + variable
                                     : "line " + std::to_string(argument.fileLine) + " of " +
                                           argument.file + ", named in " + variable;
    }
    if (!argument.file.empty()) {
        return "line " + std::to_string(argument.fileLine) + " of " + argument.file;
    }
    switch (argument.origin) {
        case VmOrigin::Line:
            return "line " + std::to_string(argument.line);
        case VmOrigin::InstallationIni:
            return "installation ini line " + std::to_string(argument.iniLine);
        case VmOrigin::DefaultName:
            return "the default application name";
        case VmOrigin::CommandLine:
            return "command-line argument " + std::to_string(argument.commandLine);
        case VmOrigin::Environment:
            break;
    }
    return std::string();
}

std::string execProblemText(const StartFacts& start) {
    const bool unit = start.kind == StartKind::SystemdUnit;
    const std::string program = "\"" + start.program + "\"";
    switch (start.execProblem.problem) {
        case ExecProblem::None:
            return std::string();
        case ExecProblem::QuoteNotClosed:
            return unit ? "a quote is not closed" : "a double quote is not closed";
        case ExecProblem::NoProgram:
            return unit ? "ExecStart= names no program" : "Exec= names no program";
        case ExecProblem::OwnNameMissing:
            return "\"@\" is not followed by the program and the name it is given";
        case ExecProblem::RelativePath:
            return unit ? program +
                              " is a relative path, which systemd refuses (\"Neither a valid "
                              "executable name nor an absolute path\")"
                        : program +
                              " is a relative path: gio refuses the entry (\"Unable to load "
                              "application information\"), whatever Path= says";
        case ExecProblem::NoPath:
            return program +
                   " has no path: systemd looks for it in its own directories, never in the "
                   "application directory";
    }
    return std::string();
}
