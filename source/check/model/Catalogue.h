// Every kind of finding the checker reports, with its severity, advice, the
// reason behind it and an example before and after the mend: the one table
// that the rules name kinds from, and that the reports, --list-kinds, the
// manual page and the completion read.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

enum class Severity { Note, Warning, Error };

// Rules name a kind by one of these, so a misspelt kind does not compile.
// The order is the catalogue's: grouped by what the kind is about.
enum class KindId : unsigned char {
    // The ini file as a whole.
    IniMissing,
    IniDirectory,
    IniUnreadable,
    IniNotRegular,
    WideEncoding,
    ByteOrderMark,
    CarriageReturn,
    MissingVmargs,
    UnknownSuppression,
    // Lines.
    NulByte,
    ControlByte,
    NoBreakSpace,
    BlanksAroundEquals,
    LetterCase,
    SecondLauncher,
    NameInHead,
    ArgumentInHead,
    LauncherInVmSection,
    VmargsInVmSection,
    CommentInVmSection,
    DuplicateProperty,
    EmptyApplicationName,
    EmptyPath,
    MissingPath,
    PathIsDirectory,
    PathUnreadable,
    LatentFinding,
    // The launcher copies in the application directory.
    NoLauncherCopy,
    LauncherCopyNotExecutable,
    IniWithoutCopy,
    SeveralLauncherCopies,
    LauncherCopyStale,
    // Permissions, as the application's user meets them.
    JudgedAsRoot,
    PathNotSearchable,
    DanglingLink,
    PathTooLong,
    NoexecMount,
    InterpreterNotExecutable,
    ScriptUnreadable,
    WritableByOthers,
    DataWritableByOthers,
    WritableByOwnGroup,
    // The launch.
    ArgumentTooLong,
    ArgumentsTooLong,
    ArgumentsExceedStack,
    StartDirectory,
    ExecutableMissing,
    ExecutableNotExecutable,
    ExecutableForeignMachine,
    ExecutableDamaged,
    LoaderMissing,
    LibraryMissing,
    LoaderRefuses,
    ExecutableUnknownFormat,
    InterpreterMissing,
    // The Java VM that the executable hands everything after -vmargs to.
    VmNotUsable,
    VmNotFound,
    VmNotAsked,
    VmEnvironment,
    VmMainClass,
    VmUnrecognizedOption,
    VmUnknownFlag,
    VmFlagSetting,
    VmFlagLocked,
    VmSizeInvalid,
    VmSizeTooSmall,
    VmHeapOrder,
    VmHeapUnreservable,
    VmFileUnreadable,
    VmDeprecatedAlias,
    VmHeapOverridden,
    VmUnexpandedPath,
    VmQuotes,
    VmRefused,
    VmLogDirectory,
    VmDumpDirectory,
    VmAgentUnusable,
    InterpreterNotProgram,
    InterpreterOptionCarriageReturn,
    InterpreterRerunsScript,
    // How the application is started: desktop entries, units, cron, PATH, wrappers.
    DesktopEntryWithoutPath,
    DesktopExecRefused,
    UnitWithoutWorkingDirectory,
    UnitRelativeExecStart,
    UnitStopsApplication,
    CronOutsideDirectory,
    WrapperOutsideDirectory,
    LauncherExitStatusTested,
    PathLinkWithoutIni,
    StartNameWithoutIni,
    StartFromOtherApplication,
    StartNotModeled,
    Count
};

constexpr std::size_t KIND_COUNT = static_cast<std::size_t>(KindId::Count);

struct Kind {
    KindId id;
    const char* name;  // the kind's name in every output, in --ignore and in the ini file
    Severity severity;
    const char* summary;  // one line: what is wrong
    const char* advice;   // what to do about it
    bool fixable;         // whether --fix mends it
    const char* example;  // a line of an ini file, or a setup, that gives this finding
    const char* fixed;    // the example as it reads once the advice is followed
    const char* why;      // what the launcher, the kernel or the VM does with the case
};

// Indexed by KindId.
const std::array<Kind, KIND_COUNT>& catalogue();

const Kind& kindOf(KindId id);

// The kind named `name`; false for a name the catalogue does not have.
bool findKind(std::string_view name, KindId& id);

// The kind a misspelt `name` most likely means; empty when none is close.
std::string nearestKind(std::string_view name);

const char* severityName(Severity severity);

// "note", "warning" or "error"; false for anything else.
bool parseSeverity(const std::string& text, Severity& severity);
