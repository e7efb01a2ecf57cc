#include "rules/ElfRules.h"

#include <utility>

#include "rules/FactText.h"
#include "rules/RuleText.h"

namespace {

// The Debian package of the C library for programs of `kind`, as a hint.
std::string libcPackage(const std::string& kind) {
    const std::pair<const char*, const char*> packages[] = {
        {"32-bit i386", "libc6:i386"},     {"64-bit x86-64", "libc6:amd64"},
        {"64-bit AArch64", "libc6:arm64"}, {"32-bit ARM", "libc6:armhf"},
        {"64-bit s390", "libc6:s390x"},    {"64-bit RISC-V", "libc6:riscv64"}};
    for (const auto& package : packages) {
        if (kind == package.first) {
            return std::string(" (Debian: ") + package.second + ")";
        }
    }
    return std::string();
}

// The loader and the libraries of a program the kernel runs.
void linkWarnings(const ElfCheck& check, const std::string& name, std::size_t line,
                  const std::string& file, Collector& add) {
    const LinkCheck& linking = check.linking;
    if (linking.loaderProblem != LoaderProblem::None) {
        add(line, KindId::LoaderMissing,
            name + " needs the " + check.kind + " loader " + quoted(linking.loader) + ", which " +
                loaderProblemText(linking) +
                ": execv fails with \"No such file or directory\" although the program exists, "
                "and the child reports " +
                LAUNCH_FAILED + "; the " + check.kind + " C library provides it" +
                libcPackage(check.kind),
            file);
    }
    for (const MissingLibrary& missing : linking.missing) {
        add(line, KindId::LibraryMissing,
            "library " + quoted(missing.name) + " (" + check.kind + ")" +
                (missing.neededBy.empty() ? std::string()
                                          : ", needed by " + quoted(missing.neededBy)) +
                (check.systemVerdict ? ", is not found: the system's dynamic loader looks"
                                     : ", is not found: the loader looks") +
                " in RPATH and RUNPATH, "
                "LD_LIBRARY_PATH, its cache and the default directories; execv succeeds "
                "but the child ends at once with \"error while loading shared libraries\"" +
                (missing.name.compare(0, 5, "libc.") == 0
                     ? "; the " + check.kind + " C library provides it" + libcPackage(check.kind)
                     : std::string()),
            file);
    }
    if (!check.loaderRefusal.empty()) {
        add(line, KindId::LoaderRefuses,
            name +
                (check.systemVerdict ? " is refused by the system's dynamic loader: \""
                                     : " is refused by the dynamic loader: \"") +
                check.loaderRefusal + "\"" +
                (check.systemVerdict
                     ? std::string(" (asked as the application's user with the launch's "
                                   "environment)")
                     : std::string()) +
                "; execv succeeds but the child ends at once without starting the "
                "application",
            file);
    }
}

// What the kernel and the dynamic loader make of the ELF program `check`
// describes; `name` says which program it is. A damaged file or one for
// another machine never gets as far as its loader.
void elfProgramWarnings(const ElfCheck& check, const std::string& name, std::size_t line,
                        const std::string& file, const std::string& user, Collector& add) {
    if (!check.checked) {
        return;
    }
    if (check.damage.kind != ElfDamageKind::None) {
        add(line, KindId::ExecutableDamaged,
            name + " is a damaged ELF file, perhaps copied only in part: " +
                elfDamageText(check.damage) +
                (check.execRefused ? ". execv fails with \"Exec format error\" and the child "
                                     "reports " +
                                         LAUNCH_FAILED
                                   : std::string(". execv succeeds, but the program is killed "
                                                 "(SIGSEGV or SIGBUS) as soon as it touches "
                                                 "the missing part")),
            file);
        return;
    }
    if (!check.runs) {
        add(line, KindId::ExecutableForeignMachine,
            name + " is " + kernelRunText(check.howRun) +
                ": execv fails with \"Exec format error\" and the " + "child reports " +
                LAUNCH_FAILED,
            file);
        return;
    }
    if (!check.handlerAccess.granted()) {
        add(line,
            check.handlerAccess.cause == AccessCause::NotFound
                ? KindId::InterpreterMissing
                : accessKind(check.handlerAccess, KindId::InterpreterNotExecutable),
            name + " is run through the binfmt_misc handler " + quoted(check.handler) +
                ", whose interpreter " + quoted(check.handlerInterpreter) + " " +
                accessProblem(check.handlerAccess, user, "is not executable") +
                ": execv fails and the child reports " + LAUNCH_FAILED,
            file);
        return;
    }
    linkWarnings(check, name, line, file, add);
}

}  // namespace

void elfWarnings(const Facts& facts, Collector& add) {
    const ExecutableInfo& info = facts.executableInfo;
    if (!facts.startDirUsable || !info.executable || facts.executable.empty()) {
        return;
    }
    const std::string name = "executable " + quoted(info.resolved);
    const std::string file = facts.launcherLine != 0 ? std::string() : info.resolved;
    if (info.kind == FileKind::Elf) {
        elfProgramWarnings(info.program, name, facts.launcherLine, file, facts.accessUser, add);
    } else if (info.kind == FileKind::Script && info.interpreterUsable) {
        elfProgramWarnings(info.interpreterProgram,
                           "the interpreter " + quoted(info.interpreter) + " of the script " + name,
                           facts.launcherLine, file, facts.accessUser, add);
    }
}
