// What the check found out about an application directory: the facts that
// both reports print and that the warnings are drawn from.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

enum class LineEffect {
    IgnoredInHead,
    LauncherTaken,
    VmSectionOpened,
    EmptyIgnored,      // an empty line of the VM section
    Appended,          // passed as written
    PathMadeAbsolute,  // a path property, its value joined to the application directory
    NameSuppressed,    // an application name, passed as written: no default one is added
};

struct IniLine {
    std::size_t number = 0;  // counted from 1
    std::string raw;         // as read, without its line feed
    std::string trimmed;     // what the launcher looks at
    bool inHead = true;      // read before the VM section was opened
    LineEffect effect = LineEffect::IgnoredInHead;
    std::size_t argument = 0;  // its element's index in the argument vector; 0 for none
    std::string element;       // that element, NUL bytes and all
};

enum class IniState { Read, Missing, Directory, Unreadable, NotRegular };

enum class FileKind { Missing, Directory, Elf, Script, Other };

struct ExecutableInfo {
    std::string resolved;  // the file execv would run, relative paths resolved
    FileKind kind = FileKind::Missing;
    bool executable = false;  // by the user running the check
    int elfClass = 0;         // 32 or 64 for an ELF file
    std::string interpreter;  // from a script's "#!" line
    bool interpreterUsable = false;
};

struct Warning {
    std::size_t line = 0;  // 0 when the warning is not about one line
    std::string kind;      // a stable name for scripts
    std::string message;   // printable: every byte from the ini file made visible
};

struct Findings {
    std::string workingDir;      // the physical application directory
    std::string invocationName;  // the launcher's argv[0]
    std::string iniFile;         // as the launcher opens it, relative to workingDir
    std::string iniPath;         // the same, absolute
    IniState iniState = IniState::Missing;
    std::vector<IniLine> lines;

    std::size_t defaultNameArgument = 0;  // the added default -Ddv.webApp; 0 when none
    std::string applicationName;          // the value the default one carries

    std::string executable;        // argv[0], as execv gets it
    std::size_t launcherLine = 0;  // the line that named it; 0 for the default
    std::string startDir;          // what the child changes into
    std::string startDirResolved;  // the same, absolute
    bool startDirUsable = false;
    ExecutableInfo executableInfo;

    // Each element as execv receives it: a NUL byte ends it.
    std::vector<std::string> argv;
    std::size_t argumentBytes = 0;     // strings with their NULs, their pointers, and the file name
    std::size_t environmentBytes = 0;  // the same for the environment the child inherits
    std::size_t argumentLimit = 0;     // sysconf(_SC_ARG_MAX)

    std::vector<Warning> warnings;
};
