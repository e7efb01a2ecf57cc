#include "model/Catalogue.h"

#include <algorithm>
#include <vector>

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;
constexpr Severity N = Severity::Note;

using K = KindId;

// Errors: the launch fails, or the child does not get what the file plainly
// asks for. Warnings: the launcher reads a line differently from what it
// plainly says. Notes: harmless, or a matter of style.
constexpr std::array<Kind, KIND_COUNT> KINDS = {{
    // The ini file as a whole.
    {K::IniMissing, "ini-missing", W, "the ini file does not exist",
     "create it beside the launcher copy, named after the copy with \".ini\" appended", false,
     "a copy run without run.ini beside it"},
    {K::IniDirectory, "ini-directory", E, "the ini file is a directory",
     "replace the directory with the ini file", false, "run.ini is a directory"},
    {K::IniUnreadable, "ini-unreadable", E, "the ini file cannot be read by the application's user",
     "make it readable, and its directory searchable, for that user", false,
     "run.ini of mode 0600, owned by another user"},
    {K::IniNotRegular, "ini-not-regular", E, "the ini file is a named pipe or a device",
     "replace it with a regular file", false, "run.ini is a named pipe (mkfifo run.ini)"},
    {K::WideEncoding, "wide-encoding", E, "the ini file is saved as UTF-16 or UTF-32",
     "save the file as UTF-8 without a byte-order mark", true,
     "run.ini saved as UTF-16 by a Windows editor"},
    {K::ByteOrderMark, "byte-order-mark", W, "a byte-order mark starts the file",
     "save the file as UTF-8 without a byte-order mark", true,
     "\\xEF\\xBB\\xBF-vmargs (line 1 saved as \"UTF-8 with BOM\")"},
    {K::CarriageReturn, "carriage-return", E, "lines end in a carriage return alone",
     "save the file with line feeds (Unix) or carriage return and line feed (Windows)", true,
     "-vmargs\\r-Xmx1g\\r (old Mac line ends)"},
    {K::MissingVmargs, "missing-vmargs", E, "there is no -vmargs line, so every line is ignored",
     "insert a line -vmargs before the first argument for the virtual machine", true,
     "-Xmx1g (in a file without a -vmargs line)"},
    {K::UnknownSuppression, "unknown-suppression", W,
     "a suppression line names a kind the checker does not know, so it silences nothing",
     "correct the kind's name (--list-kinds lists them), or delete the line", false,
     "# dashvane-launcher-check: ignore letter-cas"},
    // Lines.
    {K::NulByte, "nul-byte", E, "a NUL byte cuts the argument short", "remove the NUL byte", false,
     "-Dx=a\\0b"},
    {K::ControlByte, "control-byte", W, "an invisible control byte in the line",
     "remove the control byte", false, "-Dx=a\\x1Bb"},
    {K::NoBreakSpace, "no-break-space", W, "a no-break space, which the launcher does not trim",
     "replace it with a plain blank, or remove it", false, "-Xmx1g\\u{00A0}"},
    {K::BlanksAroundEquals, "blanks-around-equals", W,
     "blanks around \"=\" in a key the launcher knows", "remove the blanks around \"=\"", true,
     "-Ddv.appInitScript = scripts/init.js"},
    {K::LetterCase, "letter-case", W, "a known key or -vmargs in the wrong letter case",
     "write it in the letter case the message names: keys are case-sensitive", true,
     "-Ddv.webapp=shop"},
    {K::SecondLauncher, "second-launcher", W, "a second launcher line, which is ignored",
     "delete one of the two launcher lines", false,
     "launcher=/opt/b (after launcher=/opt/a, above -vmargs)"},
    {K::NameInHead, "name-in-head", W, "an application name above -vmargs, which is ignored",
     "move this line below -vmargs", true, "-Ddv.webApp=shop (above -vmargs)"},
    {K::ArgumentInHead, "argument-in-head", W, "an argument above -vmargs, which is ignored",
     "move this line below -vmargs", false, "-clean (above -vmargs)"},
    {K::LauncherInVmSection, "launcher-in-vm-section", E,
     "a launcher line below -vmargs: passed on as an argument, the executable not replaced",
     "move this line above -vmargs", true, "launcher=/opt/x (below -vmargs)"},
    {K::VmargsInVmSection, "vmargs-in-vm-section", W,
     "a second -vmargs line, passed on as an argument", "delete the second -vmargs line", false,
     "-vmargs (below -vmargs)"},
    {K::CommentInVmSection, "comment-in-vm-section", W,
     "a comment below -vmargs: the ini file has no comments, so it is passed on",
     "move the comment above -vmargs, where the launcher ignores lines", true,
     "# heap size (below -vmargs)"},
    {K::DuplicateProperty, "duplicate-property", W, "a property set again with another value",
     "keep one of the two lines", false, "-Dmode=a, then -Dmode=b"},
    {K::EmptyApplicationName, "empty-application-name", E,
     "a bare -Ddv.webApp gives the application an empty name",
     "write -Ddv.webApp=NAME, or delete the line to get the directory's name", false,
     "-Ddv.webApp"},
    {K::EmptyPath, "empty-path", W,
     "a file property without a value becomes the application directory",
     "write the file's path after \"=\", or delete the line", false, "-Ddv.appConfigFile="},
    {K::MissingPath, "missing-path", W, "a file property names a file that does not exist",
     "create the file, or correct the path", false, "-Ddv.appInitScript=scripts/nothing-here.js"},
    {K::PathIsDirectory, "path-is-directory", W, "a file property names a directory",
     "name the file inside it", false, "-Ddv.appConfigFile=scripts"},
    {K::PathUnreadable, "path-unreadable", W,
     "a file property names a file the application's user cannot read",
     "make the file readable, and its directories searchable, for that user", false,
     "-Ddv.appConfigFile=/etc/dv/app.conf of mode 0600 in a directory of mode 0700, owned by "
     "root, checked with --user nobody"},
    {K::LatentFinding, "latent-finding", W,
     "a line a mechanical mistake hides today has a finding of its own once that mistake is "
     "mended",
     "correct the line as its finding says before the mistake that hides it is mended; until "
     "then --fix leaves a mend that would break the launch",
     false,
     "\\xEF\\xBB\\xBF-vmargs, then -Xmx1.5g (the mark hides -vmargs, the VM refuses "
     "-Xmx1.5g)"},
    // The launcher copies in the application directory.
    {K::NoLauncherCopy, "no-launcher-copy", E,
     "no copy of the launcher in the application directory",
     "copy dashvane-launcher into the directory, or link to it, named after the ini file", false,
     "an application directory with run.ini and no program run"},
    {K::LauncherCopyNotExecutable, "launcher-copy-not-executable", E,
     "a launcher copy is not executable", "make it executable (chmod +x)", false,
     "run of mode 0644"},
    {K::IniWithoutCopy, "ini-without-copy", E, "the ini file belongs to no launcher copy",
     "rename the copy or the ini file so that the ini file is the copy's name with \".ini\"", false,
     "a copy shop beside run.ini"},
    {K::SeveralLauncherCopies, "several-launcher-copies", W,
     "several launcher copies in one application directory",
     "keep one copy, or check each with --name", false, "copies run and shop in one directory"},
    {K::LauncherCopyStale, "launcher-copy-stale", W,
     "a launcher copy of another version than the checker",
     "replace the copy with the installed launcher, or a symbolic link to it", false,
     "a copy run of an older release"},
    // Permissions, as the application's user meets them.
    {K::JudgedAsRoot, "judged-as-root", N, "permissions were judged for root, who bypasses them",
     "run the check with --user and the user who starts the application", false,
     "the check run as root without --user"},
    {K::PathNotSearchable, "path-not-searchable", E,
     "a directory on the way to a file cannot be searched by the user",
     "give the application's user search (x) permission on that directory", false,
     "launcher=/opt/dv/Dashvane with /opt/dv of mode 0700, owned by root, checked with --user "
     "nobody"},
    {K::DanglingLink, "dangling-link", E, "a symbolic link points to nothing",
     "point the link at the real file, or replace it with the file", false,
     "eclipse/Dashvane -> /opt/gone/Dashvane"},
    {K::PathTooLong, "path-too-long", E,
     "a path the launch uses is longer than the system takes in one call",
     "move the installation to a shorter directory, or name the program relative to the start "
     "directory with launcher=",
     false, "an application directory 4,093 bytes long, and no launcher= line"},
    {K::NoexecMount, "noexec-mount", E, "the executable lies on a file system mounted noexec",
     "install Dashvane on a file system that allows programs, or remount it without noexec", false,
     "launcher=/tmp/Dashvane with /tmp mounted noexec"},
    {K::InterpreterNotExecutable, "interpreter-not-executable", E,
     "the script's interpreter cannot be executed by the user",
     "make the interpreter executable for the application's user", false,
     "Dashvane a script whose #!/opt/sh is of mode 0700"},
    {K::ScriptUnreadable, "script-unreadable", E,
     "the script cannot be read by the user, so its interpreter fails",
     "make the script readable for the application's user (chmod +r)", false,
     "Dashvane a script of mode 0711"},
    {K::WritableByOthers, "writable-by-others", E,
     "someone besides root and the application's user can change what the launch runs",
     "take write permission from everyone but root and the application's user (chmod go-w, "
     "setfacl -x, chown root)",
     false, "run.ini of mode 0666"},
    {K::DataWritableByOthers, "data-writable-by-others", W,
     "someone besides root and the application's user can change a file a path property names",
     "take write permission from everyone but root and the application's user (chmod go-w, "
     "setfacl -x, chown root)",
     false, "-Ddv.appInitScript=init.js, with init.js of mode 0666"},
    {K::WritableByOwnGroup, "writable-by-own-group", N,
     "a file or directory of the launch is writable by a group whose only member is the "
     "application's user (root aside)",
     "nothing to do while no one else joins the group; chmod g-w keeps it so", false,
     "run.ini of mode 0664 in the user's own group"},
    // The launch.
    {K::ArgumentTooLong, "argument-too-long", E, "an argument is longer than the kernel takes",
     "shorten the argument below 131072 bytes", false, "-Dx=... (a line of 131072 bytes)"},
    {K::ArgumentsTooLong, "arguments-too-long", E,
     "the arguments and the environment are more than the kernel takes",
     "shorten the arguments or the environment, or raise the stack limit (ulimit -s)", false,
     "many long lines with ulimit -s 1024"},
    {K::ArgumentsExceedStack, "arguments-exceed-stack", E,
     "the arguments and the environment leave the new program no stack to start on",
     "raise the stack limit (ulimit -s) to 160 or more, or shorten the arguments or the "
     "environment",
     false, "a 58 KB line below -vmargs, under ulimit -s 64"},
    {K::StartDirectory, "start-directory", E, "the start directory cannot be entered",
     "create the installation's eclipse directory two levels above the application directory, "
     "searchable by the application's user",
     false, "an application directory not two levels below the installation"},
    {K::ExecutableMissing, "executable-missing", E, "the executable does not exist",
     "install Dashvane in the eclipse directory, or correct the launcher line", false,
     "launcher=/opt/nothing-here"},
    {K::ExecutableNotExecutable, "executable-not-executable", E,
     "the executable cannot be executed",
     "make it an executable regular file for the application's user (chmod +x)", false,
     "eclipse/Dashvane of mode 0644"},
    {K::ExecutableForeignMachine, "executable-foreign-machine", E,
     "the executable is built for a machine this kernel does not run",
     "install the Dashvane build for this machine, or enable the kernel's 32-bit support for an "
     "i386 build",
     false, "an AArch64 Dashvane on an x86-64 kernel"},
    {K::ExecutableDamaged, "executable-damaged", E,
     "the executable is a damaged or truncated ELF file", "copy the program again, whole", false,
     "eclipse/Dashvane cut short by a failed copy"},
    {K::LoaderMissing, "loader-missing", E, "the program's dynamic loader is missing or unusable",
     "install the C library of the program's architecture (for i386 on Debian: libc6:i386)", false,
     "an i386 Dashvane without libc6:i386"},
    {K::LibraryMissing, "library-missing", E, "a shared library the program needs is not found",
     "install the library for the program's architecture, or name its directory in "
     "LD_LIBRARY_PATH or the program's RUNPATH",
     false, "Dashvane needs libgtk-3.so.0, which is not installed"},
    {K::LoaderRefuses, "loader-refuses", E,
     "the system's dynamic loader finds the libraries but cannot start the program",
     "install the library version the program was built against (a missing symbol version "
     "means an older library), or move the library to a mount that allows execution",
     false, "Dashvane needs LIB_2 of libdv.so, whose copy found provides only LIB_1"},
    {K::ExecutableUnknownFormat, "executable-unknown-format", E,
     "the executable is neither an ELF program nor a script",
     "install the real Dashvane executable", false, "eclipse/Dashvane a text file without #!"},
    {K::InterpreterMissing, "interpreter-missing", E,
     "the script's interpreter does not exist or cannot be executed",
     "install the interpreter, or correct the script's first line", false,
     "Dashvane a script starting #!/bin/nothing-here"},
    // The Java VM that the executable hands everything after -vmargs to.
    {K::VmNotUsable, "vm-not-usable", E, "the Java VM named by -vm or --java cannot be run",
     "name what the application's user can run: for -vm a java binary, a JRE's bin "
     "directory, the VM's library or an .ee file; for --java a java binary or a Java home",
     false, "-vm /opt/jdk-gone/bin/java in eclipse/Dashvane.ini"},
    {K::VmNotFound, "vm-not-found", W, "no Java VM was found, so its arguments go unjudged",
     "install a Java VM, add a -vm line to the installation's ini file, or give --java", false,
     "no -vm line, no eclipse/jre, no java along PATH"},
    {K::VmNotAsked, "vm-not-asked", W,
     "the Java VM could not be asked about itself, so its arguments are judged by rule alone",
     "make sure the VM runs for the application's user", false,
     "-vm naming a java that crashes at start"},
    {K::VmEnvironment, "vm-environment", W,
     "the environment sets options the VM reads besides its arguments",
     "unset JAVA_TOOL_OPTIONS, _JAVA_OPTIONS and JDK_JAVA_OPTIONS, or move their options into "
     "the ini file",
     false, "JAVA_TOOL_OPTIONS=-Xmx1g in the launch's environment"},
    {K::VmMainClass, "vm-main-class", E,
     "an argument that is no option, which the VM takes as the class to run",
     "delete it, or move a comment above -vmargs; arguments for the application go above -vmargs",
     false, "./run clean (an option for the application without its dash)"},
    {K::VmUnrecognizedOption, "vm-unrecognized-option", E, "an option the Java VM does not know",
     "delete it; an argument for the application goes above -vmargs, not on the command line",
     false, "./run -clean"},
    {K::VmUnknownFlag, "vm-unknown-flag", E, "a -XX flag the Java VM does not know",
     "delete the flag: it was removed from this Java", false, "-XX:MaxPermSize=256m"},
    {K::VmFlagSetting, "vm-flag-setting", E, "a -XX flag set in a way its type does not take",
     "write -XX:+NAME or -XX:-NAME for a boolean flag, -XX:NAME=VALUE for any other", false,
     "-XX:UseG1GC=true"},
    {K::VmFlagLocked, "vm-flag-locked", E,
     "a diagnostic or experimental -XX flag without its unlock option before it",
     "put -XX:+UnlockExperimentalVMOptions or -XX:+UnlockDiagnosticVMOptions on a line before "
     "it",
     false, "-XX:+UseEpsilonGC"},
    {K::VmSizeInvalid, "vm-size-invalid", E, "a memory size the VM cannot read",
     "write whole numbers with at most one unit: k, m, g or t", false, "-Xmx1.5g"},
    {K::VmSizeTooSmall, "vm-size-too-small", E, "a heap or stack size below the VM's minimum",
     "give the unit: a size without one is in bytes", false, "-Xmx512"},
    {K::VmHeapOrder, "vm-heap-order", E,
     "the initial heap is larger than the maximum heap, the last of each counting",
     "make -Xms at most -Xmx", false, "-Xms2g, then -Xmx1g"},
    {K::VmHeapUnreservable, "vm-heap-unreservable", E,
     "the VM cannot reserve the memory sizes given", "give a smaller heap, or use a 64-bit VM",
     false, "-Xmx4g for a 32-bit VM"},
    {K::VmFileUnreadable, "vm-file-unreadable", E,
     "an agent or options file that the application's user cannot read",
     "correct the path: a relative one is taken from the eclipse directory", false,
     "-javaagent:lib/agent.jar"},
    {K::VmDeprecatedAlias, "vm-deprecated-alias", W,
     "a deprecated spelling of an option, which a later Java will refuse",
     "use the option that replaces it, or delete it", false, "-noverify"},
    {K::VmHeapOverridden, "vm-heap-overridden", W,
     "a later -Xmx overrides an earlier one, so the earlier one has no effect", "keep one -Xmx",
     false, "-Xmx1g in eclipse/Dashvane.ini, then -Xmx2g"},
    {K::VmUnexpandedPath, "vm-unexpanded-path", W,
     "a \"~\" or $VARIABLE in a value, which nothing expands", "write the path out in full", false,
     "-Dlog.dir=~/logs"},
    {K::VmQuotes, "vm-quotes", W, "quotes inside an argument, which reach the VM as they are",
     "delete the quotes: each line is one argument already", false, "-Dtitle=\"My shop\""},
    {K::VmRefused, "vm-refused", E,
     "the Java VM refuses to come up with its arguments, for a reason no other kind names",
     "correct the option the VM names, as its own words say", false, "-XX:MaxRAMPercentage=150"},
    {K::VmLogDirectory, "vm-log-directory", E,
     "a file the VM writes at start (a log, a flight recording, a class-data archive) in a "
     "directory the application's user cannot write to",
     "create the directory, or name one the user can write to; a relative one is taken from "
     "the eclipse directory",
     false, "-Xlog:gc:file=/var/log/shop/gc.log, without /var/log/shop"},
    {K::VmDumpDirectory, "vm-dump-directory", W,
     "a heap dump or crash report would go to a directory the application's user cannot write "
     "to, so it would be lost",
     "create the directory, or name one the user can write to; a relative one is taken from "
     "the eclipse directory",
     false,
     "-XX:+HeapDumpOnOutOfMemoryError with -XX:HeapDumpPath=/var/dumps/shop.hprof, without "
     "/var/dumps"},
    {K::VmAgentUnusable, "vm-agent-unusable", E,
     "an agent the VM cannot load: a jar without the manifest entry its option needs, or a "
     "library that is not found or is of another kind",
     "name a jar whose manifest has Premain-Class, or a library of the VM's kind; -agentlib "
     "looks in the VM's lib directory, then where the system's loader looks",
     false, "-javaagent:lib/agent.jar, a jar without Premain-Class"},
    {K::InterpreterNotProgram, "interpreter-not-a-program", E,
     "the script's interpreter is neither an ELF program nor a script",
     "name a real interpreter in the script's first line, or give the interpreter its own "
     "\"#!\" line",
     false, "Dashvane starting #!/opt/run.sh, where /opt/run.sh is an empty file"},
    {K::InterpreterOptionCarriageReturn, "interpreter-option-carriage-return", E,
     "a script saved with CRLF line ends gives its shell an option it refuses",
     "save the script with LF line ends (dos2unix)", false,
     "Dashvane starting \"#!/bin/sh -e\" and a carriage return"},
    {K::InterpreterRerunsScript, "interpreter-reruns-script", E,
     "the script's \"#!/usr/bin/env\" line names no program, so env runs the script again "
     "for ever",
     "name the program after env, as in \"#!/usr/bin/env sh\"", false,
     "Dashvane starting \"#!/usr/bin/env\" alone"},
    // How the application is started.
    {K::DesktopEntryWithoutPath, "desktop-entry-without-path", E,
     "a desktop entry starts a launcher copy without Path= its application directory, so the "
     "launcher starts in the session's directory, where it finds no installation two levels "
     "up",
     "add the line Path=APPDIR (the application directory) to the entry's [Desktop Entry] "
     "group, and start the copy by its absolute path",
     false, "Exec=/srv/ws/apps/shop/run without a Path= line"},
    {K::DesktopExecRefused, "desktop-exec-refused", E,
     "the desktop refuses the entry's Exec= or cannot run it as the launcher needs",
     "write Exec= with the copy's absolute path, and Path= the application directory", false,
     "Exec=./run (gio: \"Unable to load application information\")"},
    {K::UnitWithoutWorkingDirectory, "unit-without-working-directory", E,
     "a systemd unit starts a launcher copy without WorkingDirectory= its application "
     "directory (a system unit starts in /, a user unit in the user's home)",
     "add the line WorkingDirectory=APPDIR (the application directory) to the [Service] "
     "section",
     false, "ExecStart=/srv/ws/apps/shop/run without a WorkingDirectory= line"},
    {K::UnitRelativeExecStart, "unit-relative-exec-start", E,
     "ExecStart= does not name the launcher copy by an absolute path, which systemd refuses "
     "or looks up elsewhere",
     "write the copy's absolute path in ExecStart=, with WorkingDirectory= the application "
     "directory",
     false, "ExecStart=./run"},
    {K::UnitStopsApplication, "unit-stops-application", E,
     "the unit's type and exit handling take the launcher's exit status 1 for a failed "
     "start, or stop the application when the launcher exits",
     "write Type=forking and SuccessExitStatus=1 in the [Service] section and keep the "
     "default KillMode=control-group: the launcher's exit then ends a clean start, systemd "
     "takes the application for the main process, the unit stays \"active (running)\", and "
     "stopping the unit stops the application (Type=oneshot with RemainAfterExit=yes and "
     "SuccessExitStatus=1 keeps it running too, as \"active (exited)\")",
     false, "a [Service] section with Type=simple (or none) starting a launcher copy"},
    {K::CronOutsideDirectory, "cron-outside-directory", E,
     "a cron line starts a launcher copy outside its application directory (cron starts "
     "commands in the user's home)",
     "change into the application directory first: cd APPDIR && ./run", false,
     "@reboot /srv/ws/apps/report/run"},
    {K::WrapperOutsideDirectory, "wrapper-outside-directory", E,
     "a shell wrapper starts a launcher copy without changing into its application directory, "
     "so the copy runs wherever the wrapper's caller is",
     "change into the application directory first: cd APPDIR && exec ./run \"$@\"", false,
     "#!/bin/sh, then exec /srv/ws/apps/shop/run \"$@\""},
    {K::LauncherExitStatusTested, "launcher-exit-status-tested", W,
     "a shell command line chains on the launcher's exit status, which is always 1",
     "do not chain on the launcher's status (write ; in place of && or ||); to know whether "
     "the application came up, test what it does, such as its process or its port",
     false, "cd /srv/ws/apps/report && ./run && echo started"},
    {K::PathLinkWithoutIni, "path-link-without-ini", E,
     "a link or copy of a launcher copy along PATH is started by a name that has no ini file "
     "where it starts, so the application's ini file is not read",
     "start the copy by its own name from the application directory, or put a shell wrapper "
     "along PATH in place of the link: #!/bin/sh, then cd APPDIR && exec ./run \"$@\"",
     false, "/usr/local/bin/shop -> /srv/ws/apps/shop/run, run as shop"},
    {K::StartNameWithoutIni, "start-name-without-ini", E,
     "a start file starts a launcher copy by a name that has no ini file where it starts, so "
     "every VM argument of the application's ini file is dropped",
     "start the copy by its own name, as in ExecStart=APPDIR/run, or give the name "
     "an ini file (ln -s run.ini NAME.ini in the application directory)",
     false, "ExecStart=@/srv/ws/apps/shop/run shop, without shop.ini"},
    {K::StartFromOtherApplication, "start-from-other-application", E,
     "a launcher copy is started from another application's directory, so the launch mixes "
     "the two applications' files",
     "start each copy from its own application directory: cd APPDIR && ./run", false,
     "cd /srv/ws/apps/report && ../shop/run"},
    {K::StartNotModeled, "start-not-modeled", N,
     "a start file starts a launcher copy in a way the checker cannot follow without running "
     "it (D-Bus activation, a shell variable, a systemd specifier it does not expand), so "
     "that start is not checked",
     "start the copy by a plain command line, such as Exec=APPDIR/run with Path=APPDIR, or "
     "check the application with --name and the directory the start gives it",
     false, "DBusActivatable=true in a desktop entry that starts a launcher copy"},
}};

constexpr bool inOrder() {
    for (std::size_t i = 0; i < KINDS.size(); ++i) {
        if (static_cast<std::size_t>(KINDS[i].id) != i) {
            return false;
        }
    }
    return true;
}
// A row out of place would give a finding another kind's name and advice.
static_assert(inOrder(), "the catalogue's rows follow KindId");

}  // namespace

const std::array<Kind, KIND_COUNT>& catalogue() {
    return KINDS;
}

const Kind& kindOf(KindId id) {
    return KINDS[static_cast<std::size_t>(id)];
}

bool findKind(std::string_view name, KindId& id) {
    for (const Kind& kind : KINDS) {
        if (name == kind.name) {
            id = kind.id;
            return true;
        }
    }
    return false;
}

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Edits (a byte added, removed or changed) that turn `a` into `b`; a letter
// in the other case is no edit, as kinds are all lower case.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(a[i - 1]) != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string nearestKind(std::string_view name) {
    // A few slips, not a different word: at most a third of the name.
    std::size_t best = name.size() / 3 + 1;
    std::string nearest;
    for (const Kind& kind : KINDS) {
        const std::size_t distance = editDistance(name, kind.name);
        if (distance < best) {
            best = distance;
            nearest = kind.name;
        }
    }
    return nearest;
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
