// What the check found out about an application directory: the facts that
// both reports print and that the warnings are drawn from.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/IniText.h"
#include "facts/JavaVm.h"
#include "facts/Kernel.h"
#include "facts/LauncherCopies.h"
#include "facts/LibraryLookup.h"
#include "facts/StackRoom.h"
#include "facts/StartFacts.h"
#include "facts/Writers.h"
#include "model/Finding.h"

// A file a path property names, as the application's user opens it.
struct DataFileAccess {
    PathUse use;
    AccessVerdict verdict;
};

// How the permissions were judged.
enum class AccessMethod {
    Root,      // for root, who bypasses them
    Self,      // as the user who runs the check
    Switched,  // by a process running as the user judged
    Computed,  // from owners, permission bits and ACLs, not asked of the kernel
};

enum class LineEffect {
    IgnoredInHead,
    LauncherTaken,
    VmSectionOpened,
    EmptyIgnored,      // an empty line of the VM section
    Appended,          // passed as written
    PathMadeAbsolute,  // a path property, its value joined to the application directory
    PathAbsolute,      // a path property whose value is absolute already: passed as written
    NameSuppressed,    // an application name, passed as written: no default one is added
};

// What stat() said about the file a path property names, looked at as the
// line is read.
enum class PathState {
    NotLooked,  // not a path property, or its path is empty
    Exists,
    Missing,
    Directory,
    OtherError,  // cannot be judged from here: no search permission, a loop
};

struct IniLine {
    std::size_t number = 0;  // counted from 1
    // As read, without its line feed: in place in the reader's buffer, valid
    // while the line is judged; a line as long as the file is not copied.
    std::string_view raw;
    std::string_view trimmed;  // what the launcher looks at: `raw` without the blanks around it
    bool inHead = true;        // read before the VM section was opened
    LineEffect effect = LineEffect::IgnoredInHead;
    std::size_t argument = 0;  // its element's index in the argument vector; 0 for none
    std::string_view element;  // that element, NUL bytes and all, in the launcher's vector
    PathState pathState = PathState::NotLooked;  // of a path property's path
};

enum class IniState { Read, Missing, Directory, Unreadable, NotRegular };

enum class FileKind { Missing, Directory, Elf, Script, Other };

// An ELF program as the kernel and the dynamic loader will see it.
struct ElfCheck {
    bool checked = false;  // the file is an ELF file and was read
    std::string kind;      // "64-bit x86-64"
    bool runs = true;      // by this kernel, natively or through binfmt_misc
    KernelVerdict howRun;  // why it does not run; or the binfmt_misc handler
    // The binfmt_misc entry that takes it, if any, and the user's access to
    // the interpreter the entry runs in its place.
    std::string handler;
    std::string handlerInterpreter;
    AccessVerdict handlerAccess;
    ElfDamage damage;          // kind None for a sound file
    bool execRefused = false;  // the damage makes the exec fail
    LinkCheck linking;         // its loader and shared libraries
    // Whether the system's loader judged `linking` (else the check's model),
    // and why it refuses the program beyond a library not found.
    bool systemVerdict = false;
    std::string loaderRefusal;
};

// The kernel runs no more scripts in a row than this, each the interpreter
// of the last; a binfmt_misc handler counts as one.
constexpr int SCRIPT_DEPTH_MAX = 5;

// Why an interpreter further down a script's chain fails.
enum class NestedProblem {
    None,
    NotRunnable,         // missing, or not executable
    HandlerTooDeep,      // a binfmt_misc handler one level past the kernel's depth
    EmptyFile,           // neither ELF nor script: empty
    NoProgram,           // neither ELF nor script, and no handler takes it
    NotAlongPath,        // the program "#!/usr/bin/env" names
    DeniedAlongPath,     // found so, but the user may not execute it
    ScriptTooDeep,       // one script past the kernel's depth
    NoInterpreterNamed,  // a "#!" line naming nothing
};

struct ExecutableInfo {
    std::string resolved;  // the file execv would run, relative paths resolved
    FileKind kind = FileKind::Missing;
    bool executable = false;          // by the user permissions are judged for
    int elfClass = 0;                 // 32 or 64 for an ELF file
    std::string interpreter;          // from a script's "#!" line
    std::string interpreterArgument;  // the rest of that line, passed to the interpreter
    // Bytes the kernel adds to the arguments: each interpreter's name and argument.
    std::size_t scriptBytes = 0;
    std::size_t scriptPointers = 0;  // and the pointers to them
    // An interpreter that is a script itself, down to one that fails, and why.
    std::string nestedInterpreter;
    NestedProblem nestedProblem = NestedProblem::None;
    std::string nestedHandler;  // the binfmt_misc entry one level too many, and its program
    std::string nestedHandlerInterpreter;
    bool nestedExecSucceeds = false;  // the exec succeeds; what it runs then fails
    AccessVerdict nestedAccess;       // the user's access to it, where that is the cause
    // "#!/usr/bin/env" naming no program: env runs the script again, for ever.
    bool rerunsItself = false;
    bool interpreterNoProgram = false;  // the failing one is neither ELF nor script
    bool shellOptionRefused = false;    // a shell given an option with a carriage return
    bool interpreterUsable = false;
    // Each interpreter the kernel runs for a script, absolute, in order.
    std::vector<std::string> interpreterChain;
    // The script the interpreter program is given to read: the last of a
    // chain, whose own interpreter is no script.
    std::string scriptRead;
    // The interpreters of a chain that are scripts, in order: each wrapper
    // hands the scripts before it on, so each is read in turn.
    std::vector<std::string> chainScripts;
    ElfCheck program;             // for an ELF file
    ElfCheck interpreterProgram;  // for a script whose interpreter is an ELF file
};

using IniText::Encoding;

struct Facts {
    std::string workingDir;              // the physical application directory
    std::vector<StartCheck> starts;      // the ways it is started, each checked
    std::string invocationName;          // the launcher's argv[0]
    std::vector<std::string> arguments;  // the launcher's own command-line arguments
    std::string iniFile;                 // as the launcher opens it, relative to workingDir
    std::string iniPath;                 // the same, absolute
    std::string readPath;                // where its text is read from: iniPath, or a scratch copy
    std::vector<KindId> silenced;        // by the file's own suppression lines
    IniState iniState = IniState::Missing;
    bool iniReadsEmpty = false;  // NotRegular, but a device every read ends at once: /dev/null
    Encoding encoding = Encoding::Bytes;
    bool byteOrderMark = false;  // in front of a wide encoding
    // Every line, only when the findings are collected whole (see collectFindings),
    // with the text its views point into.
    std::vector<IniLine> lines;
    std::vector<std::shared_ptr<const std::string>> lineTexts;

    std::size_t defaultNameArgument = 0;  // the added default -Ddv.webApp; 0 when none
    bool defaultNameAdded = false;        // known before the lines are judged
    std::string applicationName;          // the value the default one carries

    std::string executable;        // argv[0], as execv gets it
    std::size_t launcherLine = 0;  // the line that named it; 0 for the default
    std::string startDir;          // what the child changes into
    std::string startDirResolved;  // the same, absolute
    bool startDirUsable = false;
    ExecutableInfo executableInfo;

    // Each element as execv receives it (a NUL byte ends it), only when the
    // findings are collected whole.
    std::vector<std::string> argv;
    // What execve copies, as the kernel counts it: each string with its NUL
    // (the executable's path once more, for the kernel's own use) and a
    // pointer of the kernel's size for each argument and variable.
    std::size_t argumentBytes = 0;
    std::size_t environmentBytes = 0;
    std::size_t argumentLimit = 0;  // from the stack limit, as the kernel derives it
    StackRoom stack;                // what the new program's stack holds
    // The pointers in argv and envp the new program gets, after the kernel
    // has given a script's interpreter its own arguments.
    std::size_t stackPointers = 0;
    std::size_t stackStrings = 0;  // and the bytes of their strings, with the path executed

    bool copiesSearched = false;            // whether the launcher copies were looked for
    CopySearch copies;                      // the launcher copies beside the ini files
    std::vector<AccessVerdict> copyAccess;  // the user starting each copy, in their order
    // Where the launcher the application was started as points, when no copy
    // was found because it is a symbolic link to a file that is gone; empty
    // otherwise.
    std::string danglingCopyTarget;

    // Only when the findings are collected whole.
    std::vector<Finding> found;

    // Permissions as the user who starts the application meets them.
    std::string accessUser;           // whom they were judged for
    AccessMethod accessMethod{};      // how
    uid_t accessUid = 0;              // their user id
    bool judgedAsRoot = false;        // for root, no user named
    std::string appDirOwner;          // owner of the application directory
    AccessVerdict iniAccess;          // the launcher opening its ini file
    AccessVerdict startDirAccess;     // the child entering the start directory
    AccessVerdict executableAccess;   // execv of the executable
    AccessVerdict interpreterAccess;  // the kernel starting a script's interpreter
    AccessVerdict scriptAccess;       // that interpreter reading the script

    // Every file and directory the launch reads or executes, and each one on
    // the way to them, with who besides root and the user can change it.
    std::vector<JudgedPath> judgedPaths;
    std::string changer;  // the user who may change them besides root
    // The files the path properties name that the user cannot read.
    std::vector<DataFileAccess> unreadableData;
    // The Java VM the executable hands its VM arguments to, and its command line.
    VmFacts vm;
};
