#include "Catalogue.h"

#include <cstring>

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;
constexpr Severity N = Severity::Note;

// Errors: the launch fails, or the child does not get what the file plainly
// asks for. Warnings: the launcher reads a line differently from what it
// plainly says. Notes: harmless, or a matter of style.
const std::vector<Kind> KINDS = {
    // The ini file as a whole.
    {"ini-missing", W, "the ini file does not exist",
     "create it beside the launcher copy, named after the copy with \".ini\" appended", false},
    {"ini-directory", E, "the ini file is a directory", "replace the directory with the ini file",
     false},
    {"ini-unreadable", E, "the ini file cannot be read by the application's user",
     "make it readable, and its directory searchable, for that user", false},
    {"ini-not-regular", E, "the ini file is a named pipe or a device",
     "replace it with a regular file", false},
    {"wide-encoding", E, "the ini file is saved as UTF-16 or UTF-32",
     "save the file as UTF-8 without a byte-order mark", true},
    {"byte-order-mark", W, "a byte-order mark starts the file",
     "save the file as UTF-8 without a byte-order mark", true},
    {"carriage-return", E, "lines end in a carriage return alone",
     "save the file with line feeds (Unix) or carriage return and line feed (Windows)", true},
    {"missing-vmargs", E, "there is no -vmargs line, so every line is ignored",
     "insert a line -vmargs before the first argument for the virtual machine", true},
    // Lines.
    {"nul-byte", E, "a NUL byte cuts the argument short", "remove the NUL byte", false},
    {"control-byte", W, "an invisible control byte in the line", "remove the control byte", false},
    {"no-break-space", W, "a no-break space, which the launcher does not trim",
     "replace it with a plain blank, or remove it", false},
    {"blanks-around-equals", W, "blanks around \"=\" in a key the launcher knows",
     "remove the blanks around \"=\", as in launcher=/opt/x", true},
    {"letter-case", W, "a known key or -vmargs in the wrong letter case",
     "write it in lower case as the launcher knows it: launcher, -vmargs, -Ddv.webApp, "
     "-Ddv.appInitScript, -Ddv.appProgramFile, -Ddv.appConfigFile",
     true},
    {"second-launcher", W, "a second launcher line, which is ignored",
     "delete one of the two launcher lines", false},
    {"name-in-head", W, "an application name above -vmargs, which is ignored",
     "move this line below -vmargs", true},
    {"argument-in-head", W, "an argument above -vmargs, which is ignored",
     "move this line below -vmargs", false},
    {"launcher-in-vm-section", E,
     "a launcher line below -vmargs: passed on as an argument, the executable not replaced",
     "move this line above -vmargs", true},
    {"vmargs-in-vm-section", W, "a second -vmargs line, passed on as an argument",
     "delete the second -vmargs line", false},
    {"comment-in-vm-section", W,
     "a comment below -vmargs: the ini file has no comments, so it is passed on",
     "move the comment above -vmargs, where the launcher ignores lines", true},
    {"duplicate-property", W, "a property set again with another value",
     "keep one of the two lines", false},
    {"empty-application-name", E, "a bare -Ddv.webApp gives the application an empty name",
     "write -Ddv.webApp=NAME, or delete the line to get the directory's name", false},
    {"empty-path", W, "a file property without a value becomes the application directory",
     "write the file's path after \"=\", or delete the line", false},
    {"missing-path", W, "a file property names a file that does not exist",
     "create the file, or correct the path", false},
    {"path-is-directory", W, "a file property names a directory", "name the file inside it", false},
    // The launcher copies in the application directory.
    {"no-launcher-copy", E, "no copy of the launcher in the application directory",
     "copy dashvane-launcher into the directory, or link to it, named after the ini file", false},
    {"launcher-copy-not-executable", E, "a launcher copy is not executable",
     "make it executable (chmod +x)", false},
    {"ini-without-copy", E, "the ini file belongs to no launcher copy",
     "rename the copy or the ini file so that the ini file is the copy's name with \".ini\"",
     false},
    {"several-launcher-copies", W, "several launcher copies in one application directory",
     "keep one copy, or check each with --name", false},
    {"launcher-copy-stale", W, "a launcher copy of another version than the checker",
     "replace the copy with the installed launcher, or a symbolic link to it", false},
    // Permissions, as the application's user meets them.
    {"judged-as-root", N, "permissions were judged for root, who bypasses them",
     "run the check with --user and the user who starts the application", false},
    {"path-not-searchable", E, "a directory on the way to a file cannot be searched by the user",
     "give the application's user search (x) permission on that directory", false},
    {"dangling-link", E, "a symbolic link points to nothing",
     "point the link at the real file, or replace it with the file", false},
    {"noexec-mount", E, "the executable lies on a file system mounted noexec",
     "install Dashvane on a file system that allows programs, or remount it without noexec", false},
    {"interpreter-not-executable", E, "the script's interpreter cannot be executed by the user",
     "make the interpreter executable for the application's user", false},
    {"script-unreadable", E, "the script cannot be read by the user, so its interpreter fails",
     "make the script readable for the application's user (chmod +r)", false},
    // The launch.
    {"argument-too-long", E, "an argument is longer than the kernel takes",
     "shorten the argument below 131072 bytes", false},
    {"arguments-too-long", E, "the arguments and the environment are more than the kernel takes",
     "shorten the arguments or the environment, or raise the stack limit (ulimit -s)", false},
    {"start-directory", E, "the start directory cannot be entered",
     "create the installation's eclipse directory two levels above the application directory, "
     "searchable by the application's user",
     false},
    {"executable-missing", E, "the executable does not exist",
     "install Dashvane in the eclipse directory, or correct the launcher line", false},
    {"executable-not-executable", E, "the executable cannot be executed",
     "make it an executable regular file for the application's user (chmod +x)", false},
    {"executable-foreign-machine", E,
     "the executable is built for a machine this kernel does not run",
     "install the Dashvane build for this machine, or enable the kernel's 32-bit support for an "
     "i386 build",
     false},
    {"executable-damaged", E, "the executable is a damaged or truncated ELF file",
     "copy the program again, whole", false},
    {"loader-missing", E, "the program's dynamic loader is missing or unusable",
     "install the C library of the program's architecture (for i386 on Debian: libc6:i386)", false},
    {"library-missing", E, "a shared library the program needs is not found",
     "install the library for the program's architecture, or name its directory in "
     "LD_LIBRARY_PATH or the program's RUNPATH",
     false},
    {"executable-unknown-format", E, "the executable is neither an ELF program nor a script",
     "install the real Dashvane executable", false},
    {"interpreter-missing", E, "the script's interpreter does not exist or cannot be executed",
     "install the interpreter, or correct the script's first line", false},
};

}  // namespace

const std::vector<Kind>& catalogue() {
    return KINDS;
}

const Kind* findKind(const std::string& name) {
    for (const Kind& kind : KINDS) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

const char* severityName(Severity severity) {
    switch (severity) {
        case Severity::Note:
            return "note";
        case Severity::Warning:
            return "warning";
        case Severity::Error:
            return "error";
    }
    return "";
}

bool parseSeverity(const std::string& text, Severity& severity) {
    for (const Severity s : {Severity::Note, Severity::Warning, Severity::Error}) {
        if (text == severityName(s)) {
            severity = s;
            return true;
        }
    }
    return false;
}
