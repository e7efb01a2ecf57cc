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
     "a copy run without run.ini beside it",
     "run.ini beside the copy run, with -vmargs and the VM's arguments",
     "the launcher reads the file named after the name it was started by, with \".ini\" appended; "
     "a missing one is no error to it, so the application starts without the VM arguments meant "
     "for it"},
    {K::IniDirectory, "ini-directory", E, "the ini file is a directory",
     "replace the directory with the ini file", false, "run.ini is a directory",
     "run.ini a regular file",
     "opened as the ini file, a directory gives the launcher no lines and no message, so every VM "
     "argument meant for the application is lost"},
    {K::IniUnreadable, "ini-unreadable", E, "the ini file cannot be read by the application's user",
     "make it readable, and its directory searchable, for that user", false,
     "run.ini of mode 0600, owned by another user",
     "run.ini of mode 0644, checked with --user nobody",
     "the launcher runs as the application's user; a file it cannot open gives it no lines and no "
     "message (only DVL_DBG_ENABLE shows one), so every VM argument is lost"},
    {K::IniNotRegular, "ini-not-regular", E, "the ini file is a named pipe or a device",
     "replace it with a regular file", false, "run.ini is a named pipe (mkfifo run.ini)",
     "run.ini a regular file",
     "the launcher reads whatever the name opens: a named pipe holds the launch until something "
     "writes to it, and a device gives bytes that are no ini file"},
    {K::WideEncoding, "wide-encoding", E, "the ini file is saved as UTF-16 or UTF-32",
     "save the file as UTF-8 without a byte-order mark", true,
     "run.ini saved as UTF-16 by a Windows editor", "run.ini saved as UTF-8: -vmargs, then -Xmx1g",
     "the launcher reads bytes, with no character set: in UTF-16 every other byte is NUL, so no "
     "line is ever exactly -vmargs and every VM argument is lost"},
    {K::ByteOrderMark, "byte-order-mark", W, "a byte-order mark starts the file",
     "save the file as UTF-8 without a byte-order mark", true,
     "\\xEF\\xBB\\xBF-vmargs (line 1 saved as \"UTF-8 with BOM\")",
     "-vmargs as the file's first bytes (saved as \"UTF-8\")",
     "the launcher does not skip a byte-order mark: it belongs to the first line, so a first line "
     "-vmargs or launcher=... is not recognised (in front of a head comment it does no harm)"},
    {K::CarriageReturn, "carriage-return", E, "lines end in a carriage return alone",
     "save the file with line feeds (Unix) or carriage return and line feed (Windows)", true,
     "-vmargs\\r-Xmx1g\\r (old Mac line ends)", "-vmargs\\n-Xmx1g\\n (line feeds)",
     "the launcher ends lines at line feeds only, so the whole file is one line with carriage "
     "returns inside it, and -vmargs is never a line of its own"},
    {K::MissingVmargs, "missing-vmargs", E, "there is no -vmargs line, so every line is ignored",
     "insert a line -vmargs before the first argument for the virtual machine", true,
     "-Xmx1g (in a file without a -vmargs line)", "-vmargs, then -Xmx1g",
     "only the lines below a line that is exactly -vmargs go to the VM; without one the whole file "
     "is head, which the launcher ignores but for a launcher= line"},
    {K::UnknownSuppression, "unknown-suppression", W,
     "a suppression line names a kind the checker does not know, so it silences nothing",
     "correct the kind's name (--list-kinds lists them), or delete the line", false,
     "# dashvane-launcher-check: ignore letter-cas",
     "# dashvane-launcher-check: ignore letter-case",
     "a suppression line silences the kinds it names exactly; a misspelt name matches no finding, "
     "so the finding it was meant for is still reported (the launcher ignores the line, as any "
     "head line)"},
    // Lines.
    {K::NulByte, "nul-byte", E, "a NUL byte cuts the argument short", "remove the NUL byte", false,
     "-Dx=a\\0b", "-Dx=ab",
     "the launcher hands each line to the kernel as a C string, which ends at the first NUL byte, "
     "so the VM gets only the part before it"},
    {K::ControlByte, "control-byte", W, "an invisible control byte in the line",
     "remove the control byte", false, "-Dx=a\\x1Bb", "-Dx=ab",
     "the launcher passes the byte on as it is: an editor hardly shows it, but the VM and the "
     "application get it as part of the argument"},
    {K::NoBreakSpace, "no-break-space", W, "a no-break space, which the launcher does not trim",
     "replace it with a plain blank, or remove it", false, "-Xmx1g\\u{00A0}", "-Xmx1g",
     "the launcher trims only the blanks of the C locale; a no-break space (UTF-8 C2 A0) stays in "
     "the argument, so -Xmx1g followed by one is a size the VM cannot read"},
    {K::BlanksAroundEquals, "blanks-around-equals", W,
     "blanks around \"=\" in a key the launcher knows", "remove the blanks around \"=\"", true,
     "-Ddv.appInitScript = scripts/init.js", "-Ddv.appInitScript=scripts/init.js",
     "the launcher splits a line at its first \"=\" and trims only the line's ends: "
     "\"-Ddv.appInitScript \" is no key it knows, so the path is not made absolute against the "
     "application directory"},
    {K::LetterCase, "letter-case", W, "a known key or -vmargs in the wrong letter case",
     "write it in the letter case the message names: keys are case-sensitive", true,
     "-Ddv.webapp=shop", "-Ddv.webApp=shop",
     "the launcher compares keys byte for byte, letter case included: -Ddv.webapp is an ordinary "
     "property to it, so the application gets the directory's name, not the one written"},
    {K::SecondLauncher, "second-launcher", W, "a second launcher line, which is ignored",
     "delete one of the two launcher lines", false,
     "launcher=/opt/b (after launcher=/opt/a, above -vmargs)",
     "launcher=/opt/a alone, above -vmargs",
     "the launcher takes the first launcher line of the head and ignores every later one, so the "
     "second program is never started"},
    {K::NameInHead, "name-in-head", W, "an application name above -vmargs, which is ignored",
     "move this line below -vmargs", true, "-Ddv.webApp=shop (above -vmargs)",
     "-vmargs, then -Ddv.webApp=shop",
     "above -vmargs the launcher reads only a launcher line; -Ddv.webApp there is ignored, so the "
     "application gets the directory's name"},
    {K::ArgumentInHead, "argument-in-head", W, "an argument above -vmargs, which is ignored",
     "move this line below -vmargs", false, "-clean (above -vmargs)",
     "the line deleted, or -Xmx1g below -vmargs for an option of the VM",
     "the launcher ignores every head line but the first launcher line, so the argument reaches "
     "neither Dashvane nor the VM"},
    {K::LauncherInVmSection, "launcher-in-vm-section", E,
     "a launcher line below -vmargs: passed on as an argument, the executable not replaced",
     "move this line above -vmargs", true, "launcher=/opt/x (below -vmargs)",
     "launcher=/opt/x above -vmargs",
     "below -vmargs every line goes to the VM as it is: the launcher line becomes an argument the "
     "VM refuses, and the default executable is started"},
    {K::VmargsInVmSection, "vmargs-in-vm-section", W,
     "a second -vmargs line, passed on as an argument", "delete the second -vmargs line", false,
     "-vmargs (below -vmargs)", "one -vmargs line",
     "the launcher opens its VM section at the first -vmargs; a later one is passed on to the VM "
     "as an argument like any other line"},
    {K::CommentInVmSection, "comment-in-vm-section", W,
     "a comment below -vmargs: the ini file has no comments, so it is passed on",
     "move the comment above -vmargs, where the launcher ignores lines", true,
     "# heap size (below -vmargs)", "# heap size above -vmargs",
     "the ini file has no comments: below -vmargs a line starting with \"#\" goes to the VM, which "
     "takes it as the class to run"},
    {K::DuplicateProperty, "duplicate-property", W, "a property set again with another value",
     "keep one of the two lines", false, "-Dmode=a, then -Dmode=b", "-Dmode=b alone",
     "the launcher passes both lines on; the VM sets the property twice and keeps the last value, "
     "so the first is lost without a word"},
    {K::EmptyApplicationName, "empty-application-name", E,
     "a bare -Ddv.webApp gives the application an empty name",
     "write -Ddv.webApp=NAME, or delete the line to get the directory's name", false, "-Ddv.webApp",
     "-Ddv.webApp=shop",
     "a bare -Ddv.webApp counts as a name to the launcher, which then adds no default name, so the "
     "application starts with an empty one"},
    {K::EmptyPath, "empty-path", W,
     "a file property without a value becomes the application directory",
     "write the file's path after \"=\", or delete the line", false, "-Ddv.appConfigFile=",
     "-Ddv.appConfigFile=app.conf, with app.conf in the application directory",
     "the launcher joins an empty value to the application directory, so the property names the "
     "directory itself"},
    {K::MissingPath, "missing-path", W, "a file property names a file that does not exist",
     "create the file, or correct the path", false, "-Ddv.appInitScript=scripts/nothing-here.js",
     "-Ddv.appInitScript=scripts/init.js, with that file present",
     "the launcher makes the path absolute against the application directory but does not look for "
     "the file; the application finds nothing there when it starts"},
    {K::PathIsDirectory, "path-is-directory", W, "a file property names a directory",
     "name the file inside it", false, "-Ddv.appConfigFile=scripts",
     "-Ddv.appConfigFile=scripts/app.conf, a file in that directory",
     "the launcher passes the path on without looking at it, so the application opens a directory "
     "where it expects a file"},
    {K::PathUnreadable, "path-unreadable", W,
     "a file property names a file the application's user cannot read",
     "make the file readable, and its directories searchable, for that user", false,
     "-Ddv.appConfigFile=/etc/dv/app.conf of mode 0600 in a directory of mode 0700, owned by "
     "root, checked with --user nobody",
     "/etc/dv/app.conf of mode 0644 in a directory of mode 0755, checked with --user nobody",
     "the application reads the file itself, as its user; the launcher passes the path on without "
     "trying to read it"},
    {K::LatentFinding, "latent-finding", W,
     "a line a mechanical mistake hides today has a finding of its own once that mistake is "
     "mended",
     "correct the line as its finding says before the mistake that hides it is mended; until "
     "then --fix leaves a mend that would break the launch",
     false,
     "\\xEF\\xBB\\xBF-vmargs, then -Xmx1.5g (the mark hides -vmargs, the VM refuses "
     "-Xmx1.5g)",
     "-vmargs, then -Xmx1536m, saved without the mark",
     "mending the mistake that hides a line hands that line to the VM; with a fault of its own, "
     "the mend turns a launch without VM arguments into one the VM refuses"},
    // The launcher copies in the application directory.
    {K::NoLauncherCopy, "no-launcher-copy", E,
     "no copy of the launcher in the application directory",
     "copy dashvane-launcher into the directory, or link to it, named after the ini file", false,
     "an application directory with run.ini and no program run",
     "run, a copy of dashvane-launcher, beside run.ini",
     "the launcher reads the ini file named after the name it is started by; without a copy in the "
     "directory nothing reads run.ini or starts the application"},
    {K::LauncherCopyNotExecutable, "launcher-copy-not-executable", E,
     "a launcher copy is not executable", "make it executable (chmod +x)", false,
     "run of mode 0644", "run of mode 0755",
     "the kernel starts only files with execute permission, so starting the copy fails before the "
     "launcher runs"},
    {K::IniWithoutCopy, "ini-without-copy", E, "the ini file belongs to no launcher copy",
     "rename the copy or the ini file so that the ini file is the copy's name with \".ini\"", false,
     "a copy shop beside run.ini", "the copy named run, beside run.ini",
     "the launcher reads its start name with \".ini\" appended; no copy is started by the name "
     "run, so nothing reads run.ini"},
    {K::SeveralLauncherCopies, "several-launcher-copies", W,
     "several launcher copies in one application directory",
     "keep one copy, or check each with --name", false, "copies run and shop in one directory",
     "run alone beside run.ini",
     "each copy reads the ini file of its own name, so the copies start the application "
     "differently, or one of them not at all"},
    {K::LauncherCopyStale, "launcher-copy-stale", W,
     "a launcher copy of another version than the checker",
     "replace the copy with the installed launcher, or a symbolic link to it", false,
     "a copy run of an older release", "run a copy of, or a link to, the installed launcher",
     "the checker judges the ini file as this version of the launcher reads it; a copy of another "
     "version may read it differently"},
    // Permissions, as the application's user meets them.
    {K::JudgedAsRoot, "judged-as-root", N, "permissions were judged for root, who bypasses them",
     "run the check with --user and the user who starts the application", false,
     "the check run as root without --user",
     "the check run with --user and the user who starts the application",
     "root bypasses file permissions, so a file only root can read or reach passes the check and "
     "still fails the user who starts the application"},
    {K::PathNotSearchable, "path-not-searchable", E,
     "a directory on the way to a file cannot be searched by the user",
     "give the application's user search (x) permission on that directory", false,
     "launcher=/opt/dv/Dashvane with /opt/dv of mode 0700, owned by root, checked with --user "
     "nobody",
     "/opt/dv of mode 0755",
     "opening a file needs search permission on every directory above it; the kernel refuses the "
     "launch (EACCES) for a user without it"},
    {K::DanglingLink, "dangling-link", E, "a symbolic link points to nothing",
     "point the link at the real file, or replace it with the file", false,
     "eclipse/Dashvane -> /opt/gone/Dashvane",
     "eclipse/Dashvane the program itself, or a link to it",
     "the kernel follows the link when it starts the file and finds nothing there, so the start "
     "fails with \"No such file or directory\""},
    {K::PathTooLong, "path-too-long", E,
     "a path the launch uses is longer than the system takes in one call",
     "move the installation to a shorter directory, or name the program relative to the start "
     "directory with launcher=",
     false, "an application directory 4,093 bytes long, and no launcher= line",
     "the installation in a directory of ordinary length",
     "the kernel takes no path of 4,096 bytes or more in one call, and the launcher starts the "
     "executable by its full path, so the start fails (ENAMETOOLONG)"},
    {K::NoexecMount, "noexec-mount", E, "the executable lies on a file system mounted noexec",
     "install Dashvane on a file system that allows programs, or remount it without noexec", false,
     "launcher=/tmp/Dashvane with /tmp mounted noexec",
     "Dashvane on a file system mounted without noexec",
     "the kernel starts no program from a file system mounted noexec (EACCES), whatever the file's "
     "permissions"},
    {K::InterpreterNotExecutable, "interpreter-not-executable", E,
     "the script's interpreter cannot be executed by the user",
     "make the interpreter executable for the application's user", false,
     "Dashvane a script whose #!/opt/sh is of mode 0700", "#!/opt/sh of mode 0755",
     "the kernel starts a script by running its #! interpreter, which must be executable for the "
     "user; otherwise the start fails with EACCES"},
    {K::ScriptUnreadable, "script-unreadable", E,
     "the script cannot be read by the user, so its interpreter fails",
     "make the script readable for the application's user (chmod +r)", false,
     "Dashvane a script of mode 0711", "Dashvane a script of mode 0755",
     "the kernel hands a script's path to its interpreter, which must read the script; execute "
     "permission alone starts nothing"},
    {K::WritableByOthers, "writable-by-others", E,
     "someone besides root and the application's user can change what the launch runs",
     "take write permission from everyone but root and the application's user (chmod go-w, "
     "setfacl -x, chown root)",
     false, "run.ini of mode 0666", "run.ini of mode 0644",
     "whoever can change the ini file, the executable or a directory on their way can make the "
     "launch run a program of their own as the application's user"},
    {K::DataWritableByOthers, "data-writable-by-others", W,
     "someone besides root and the application's user can change a file a path property names",
     "take write permission from everyone but root and the application's user (chmod go-w, "
     "setfacl -x, chown root)",
     false, "-Ddv.appInitScript=init.js, with init.js of mode 0666", "init.js of mode 0644",
     "the application reads and runs what the path property names, as its user; whoever can change "
     "that file changes what the application does"},
    {K::WritableByOwnGroup, "writable-by-own-group", N,
     "a file or directory of the launch is writable by a group whose only member is the "
     "application's user (root aside)",
     "nothing to do while no one else joins the group; chmod g-w keeps it so", false,
     "run.ini of mode 0664 in the user's own group", "run.ini of mode 0644",
     "today only the application's user writes through the group, but anyone added to it later "
     "could change what the launch runs"},
    // The launch.
    {K::ArgumentTooLong, "argument-too-long", E, "an argument is longer than the kernel takes",
     "shorten the argument below 131072 bytes", false, "-Dx=... (a line of 131072 bytes)",
     "-Dx=... (a line of 1,000 bytes)",
     "the kernel takes no single argument of 131,072 bytes (32 pages) or more; the start fails "
     "with E2BIG and nothing runs"},
    {K::ArgumentsTooLong, "arguments-too-long", E,
     "the arguments and the environment are more than the kernel takes",
     "shorten the arguments or the environment, or raise the stack limit (ulimit -s)", false,
     "many long lines with ulimit -s 1024", "the same lines under ulimit -s 8192",
     "the kernel takes arguments and environment together up to a quarter of the stack limit; "
     "beyond it the start fails with E2BIG"},
    {K::ArgumentsExceedStack, "arguments-exceed-stack", E,
     "the arguments and the environment leave the new program no stack to start on",
     "raise the stack limit (ulimit -s) to 160 or more, or shorten the arguments or the "
     "environment",
     false, "a 58 KB line below -vmargs, under ulimit -s 64", "the same line under ulimit -s 8192",
     "the kernel copies the arguments and the environment onto the new program's stack; when they "
     "fill nearly all of it, the program dies (SIGSEGV) before it starts"},
    {K::StartDirectory, "start-directory", E, "the start directory cannot be entered",
     "create the installation's eclipse directory two levels above the application directory, "
     "searchable by the application's user",
     false, "an application directory not two levels below the installation",
     "the application directory at INSTALLATION/apps/NAME, beside INSTALLATION/eclipse",
     "the launcher changes into the eclipse directory two levels above its working directory "
     "before it starts Dashvane; when it cannot, nothing starts"},
    {K::ExecutableMissing, "executable-missing", E, "the executable does not exist",
     "install Dashvane in the eclipse directory, or correct the launcher line", false,
     "launcher=/opt/nothing-here", "launcher=/opt/dv/Dashvane, where that program is installed",
     "the launcher starts the program its launcher line names, or Dashvane in the eclipse "
     "directory, with no search along PATH; a missing one fails the start"},
    {K::ExecutableNotExecutable, "executable-not-executable", E,
     "the executable cannot be executed",
     "make it an executable regular file for the application's user (chmod +x)", false,
     "eclipse/Dashvane of mode 0644", "eclipse/Dashvane of mode 0755",
     "the kernel starts only regular files the user may execute; anything else fails the start "
     "with EACCES"},
    {K::ExecutableForeignMachine, "executable-foreign-machine", E,
     "the executable is built for a machine this kernel does not run",
     "install the Dashvane build for this machine, or enable the kernel's 32-bit support for an "
     "i386 build",
     false, "an AArch64 Dashvane on an x86-64 kernel", "an x86-64 Dashvane on an x86-64 kernel",
     "the kernel starts ELF programs only for the machines it runs (an i386 one needs its 32-bit "
     "support); any other fails with ENOEXEC"},
    {K::ExecutableDamaged, "executable-damaged", E,
     "the executable is a damaged or truncated ELF file", "copy the program again, whole", false,
     "eclipse/Dashvane cut short by a failed copy", "eclipse/Dashvane copied whole",
     "the kernel reads the ELF header and program headers to load a program; a file cut short "
     "fails the start, or the program crashes at once"},
    {K::LoaderMissing, "loader-missing", E, "the program's dynamic loader is missing or unusable",
     "install the C library of the program's architecture (for i386 on Debian: libc6:i386)", false,
     "an i386 Dashvane without libc6:i386", "an i386 Dashvane with libc6:i386 installed",
     "the kernel starts a dynamic program through the loader its header names; a missing loader "
     "fails the start with ENOENT, as if the program were missing"},
    {K::LibraryMissing, "library-missing", E, "a shared library the program needs is not found",
     "install the library for the program's architecture, or name its directory in "
     "LD_LIBRARY_PATH or the program's RUNPATH",
     false, "Dashvane needs libgtk-3.so.0, which is not installed",
     "Dashvane needs libgtk-3.so.0, which is installed",
     "the loader looks for each library the program needs along its RUNPATH, LD_LIBRARY_PATH and "
     "the system's directories; one not found stops the program before it runs"},
    {K::LoaderRefuses, "loader-refuses", E,
     "the system's dynamic loader finds the libraries but cannot start the program",
     "install the library version the program was built against (a missing symbol version "
     "means an older library), or move the library to a mount that allows execution",
     false, "Dashvane needs LIB_2 of libdv.so, whose copy found provides only LIB_1",
     "Dashvane needs LIB_2 of libdv.so, and the copy found provides it",
     "the loader checks every symbol version the program needs against the library it finds; a "
     "version missing stops the program before it runs"},
    {K::ExecutableUnknownFormat, "executable-unknown-format", E,
     "the executable is neither an ELF program nor a script",
     "install the real Dashvane executable", false, "eclipse/Dashvane a text file without #!",
     "eclipse/Dashvane the real program",
     "the kernel starts only ELF programs and scripts starting \"#!\"; the launcher runs no shell "
     "over another file, so the start fails with ENOEXEC"},
    {K::InterpreterMissing, "interpreter-missing", E,
     "the script's interpreter does not exist or cannot be executed",
     "install the interpreter, or correct the script's first line", false,
     "Dashvane a script starting #!/bin/nothing-here", "Dashvane a script starting #!/bin/sh",
     "the kernel runs the interpreter a script's #! line names; when it does not exist, the start "
     "fails with ENOENT"},
    // The Java VM that the executable hands everything after -vmargs to.
    {K::VmNotUsable, "vm-not-usable", E, "the Java VM named by -vm or --java cannot be run",
     "name what the application's user can run: for -vm a java binary, a JRE's bin "
     "directory, the VM's library or an .ee file; for --java a java binary or a Java home",
     false, "-vm /opt/jdk-gone/bin/java in eclipse/Dashvane.ini",
     "no -vm line and a java along PATH, or -vm naming a java that runs",
     "Dashvane starts the VM that -vm names; when the application's user cannot run it, the "
     "application does not start"},
    {K::VmNotFound, "vm-not-found", W, "no Java VM was found, so its arguments go unjudged",
     "install a Java VM, add a -vm line to the installation's ini file, or give --java", false,
     "no -vm line, no eclipse/jre, no java along PATH", "a java along PATH",
     "without -vm, Dashvane looks for a VM in eclipse/jre and along PATH, and so does the checker; "
     "with none, no VM can be asked what it takes"},
    {K::VmNotAsked, "vm-not-asked", W,
     "the Java VM could not be asked about itself, so its arguments are judged by rule alone",
     "make sure the VM runs for the application's user", false,
     "-vm naming a java that crashes at start", "-vm naming a java that starts",
     "the checker asks the VM itself which options and flags it takes; a VM that fails at start "
     "cannot answer, nor start the application"},
    {K::VmEnvironment, "vm-environment", W,
     "the environment sets options the VM reads besides its arguments",
     "unset JAVA_TOOL_OPTIONS, _JAVA_OPTIONS and JDK_JAVA_OPTIONS, or move their options into "
     "the ini file",
     false, "JAVA_TOOL_OPTIONS=-Xmx1g in the launch's environment",
     "-Xmx1g in run.ini, and no JAVA_TOOL_OPTIONS",
     "the VM reads JAVA_TOOL_OPTIONS, _JAVA_OPTIONS and JDK_JAVA_OPTIONS from its environment as "
     "well as its arguments, so the ini file alone does not say what it gets"},
    {K::VmMainClass, "vm-main-class", E,
     "an argument that is no option, which the VM takes as the class to run",
     "delete it, or move a comment above -vmargs: every argument of the launch goes to the VM, "
     "and none reaches the application as its own",
     false, "./run clean (an option for the application without its dash)",
     "./run, with no argument",
     "the launcher puts its own arguments after the ini file's, among the VM's; the VM takes the "
     "first one without a dash as the class to run"},
    {K::VmUnrecognizedOption, "vm-unrecognized-option", E, "an option the Java VM does not know",
     "delete it: the launcher hands its own arguments to the VM, and none reaches the application "
     "as its own",
     false, "./run -clean", "./run, with no argument",
     "the launcher puts its own arguments after the ini file's, among the VM's; the VM refuses an "
     "option it does not know and does not start"},
    {K::VmUnknownFlag, "vm-unknown-flag", E, "a -XX flag the Java VM does not know",
     "delete the flag: it was removed from this Java", false, "-XX:MaxPermSize=256m",
     "-XX:MaxMetaspaceSize=256m",
     "the VM stops at start on a -XX flag it does not have (\"Unrecognized VM option\"); a flag "
     "removed from Java is not ignored"},
    {K::VmFlagSetting, "vm-flag-setting", E, "a -XX flag set in a way its type does not take",
     "write -XX:+NAME or -XX:-NAME for a boolean flag, -XX:NAME=VALUE for any other", false,
     "-XX:UseG1GC=true", "-XX:+UseG1GC",
     "the VM reads a boolean flag only as -XX:+NAME or -XX:-NAME, and any other as -XX:NAME=VALUE; "
     "another form stops it at start"},
    {K::VmFlagLocked, "vm-flag-locked", E,
     "a diagnostic or experimental -XX flag without its unlock option before it",
     "put -XX:+UnlockExperimentalVMOptions or -XX:+UnlockDiagnosticVMOptions on a line before "
     "it",
     false, "-XX:+UseEpsilonGC", "-XX:+UnlockExperimentalVMOptions, then -XX:+UseEpsilonGC",
     "the VM refuses experimental and diagnostic flags unless their unlock option comes before "
     "them among its arguments"},
    {K::VmSizeInvalid, "vm-size-invalid", E, "a memory size the VM cannot read",
     "write whole numbers with at most one unit: k, m, g or t", false, "-Xmx1.5g", "-Xmx1536m",
     "the VM reads a size as a whole number with at most one unit letter; anything else stops it "
     "at start"},
    {K::VmSizeTooSmall, "vm-size-too-small", E, "a heap or stack size below the VM's minimum",
     "give the unit: a size without one is in bytes", false, "-Xmx512", "-Xmx512m",
     "a size without a unit is in bytes, and the VM refuses a heap or a thread stack below its "
     "minimum"},
    {K::VmHeapOrder, "vm-heap-order", E,
     "the initial heap is larger than the maximum heap, the last of each counting",
     "make -Xms at most -Xmx", false, "-Xms2g, then -Xmx1g", "-Xms1g, then -Xmx2g",
     "the VM takes the last -Xms and the last -Xmx, and refuses to start with an initial heap "
     "larger than the maximum"},
    {K::VmHeapUnreservable, "vm-heap-unreservable", E,
     "the VM cannot reserve the memory sizes given", "give a smaller heap, or use a 64-bit VM",
     false, "-Xmx4g for a 32-bit VM", "-Xmx1g for a 32-bit VM",
     "the VM reserves its whole maximum heap at start; a 32-bit VM has no room for several "
     "gigabytes, so it does not start"},
    {K::VmFileUnreadable, "vm-file-unreadable", E,
     "an agent or options file that the application's user cannot read",
     "correct the path: a relative one is taken from the eclipse directory", false,
     "-javaagent:lib/agent.jar",
     "-javaagent:lib/agent.jar, with lib/agent.jar in the eclipse directory",
     "the VM opens an agent or options file at start, a relative path from its working directory, "
     "the eclipse directory; a file it cannot read stops it"},
    {K::VmDeprecatedAlias, "vm-deprecated-alias", W,
     "a deprecated spelling of an option, which a later Java will refuse",
     "use the option that replaces it, or delete it", false, "-noverify",
     "the line deleted: the verifier stays on",
     "the VM still takes the old spelling but warns at every start, and a later Java refuses it "
     "and does not start"},
    {K::VmHeapOverridden, "vm-heap-overridden", W,
     "a later -Xmx overrides an earlier one, so the earlier one has no effect", "keep one -Xmx",
     false, "-Xmx1g in eclipse/Dashvane.ini, then -Xmx2g", "-Xmx2g in run.ini alone",
     "Dashvane hands the VM the installation's ini arguments before the application's, and the VM "
     "keeps the last -Xmx, so the earlier one does nothing"},
    {K::VmUnexpandedPath, "vm-unexpanded-path", W,
     "a \"~\" or $VARIABLE in a value, which nothing expands", "write the path out in full", false,
     "-Dlog.dir=~/logs", "-Dlog.dir=/home/shop/logs",
     "neither the launcher nor the VM runs a shell over the arguments, so \"~\" and $VARIABLE "
     "reach the application as written"},
    {K::VmQuotes, "vm-quotes", W, "quotes inside an argument, which reach the VM as they are",
     "delete the quotes: each line is one argument already", false, "-Dtitle=\"My shop\"",
     "-Dtitle=My shop",
     "no shell reads the ini file: each line is one argument, and quotes in it reach the VM and "
     "the application as characters"},
    {K::VmRefused, "vm-refused", E,
     "the Java VM refuses to come up with its arguments, for a reason no other kind names",
     "correct the option the VM names, as its own words say", false, "-XX:MaxRAMPercentage=150",
     "-XX:MaxRAMPercentage=50",
     "the VM checks its arguments at start and stops with its own message, which the launcher does "
     "not show, as it exits with status 1 in any case"},
    {K::VmLogDirectory, "vm-log-directory", E,
     "a file the VM writes at start (a log, a flight recording, a class-data archive) in a "
     "directory the application's user cannot write to",
     "create the directory, or name one the user can write to; a relative one is taken from "
     "the eclipse directory",
     false, "-Xlog:gc:file=/var/log/shop/gc.log, without /var/log/shop",
     "-Xlog:gc:file=/var/log/shop/gc.log, with /var/log/shop writable by the user",
     "the VM opens the files it writes at start, a relative path from the eclipse directory, and "
     "does not start when it cannot create one"},
    {K::VmDumpDirectory, "vm-dump-directory", W,
     "a heap dump or crash report would go to a directory the application's user cannot write "
     "to, so it would be lost",
     "create the directory, or name one the user can write to; a relative one is taken from "
     "the eclipse directory",
     false,
     "-XX:+HeapDumpOnOutOfMemoryError with -XX:HeapDumpPath=/var/dumps/shop.hprof, without "
     "/var/dumps",
     "-XX:+HeapDumpOnOutOfMemoryError with -XX:HeapDumpPath=/var/dumps/shop.hprof, with "
     "/var/dumps writable by the user",
     "the VM starts without the directory, but when it runs out of memory or crashes it cannot "
     "write the dump or the report there, and what would explain the failure is lost"},
    {K::VmAgentUnusable, "vm-agent-unusable", E,
     "an agent the VM cannot load: a jar without the manifest entry its option needs or the "
     "class it names, or a library that is not found, is of another kind or lacks its entry point",
     "name a jar whose manifest has Premain-Class and that holds that class, or a library of the "
     "VM's kind exporting Agent_OnLoad (JVM_OnLoad for -Xrun); -agentlib and -Xrun look in the "
     "VM's lib directory, then where the system's loader looks",
     false, "-javaagent:lib/agent.jar, a jar without Premain-Class",
     "-javaagent:lib/agent.jar, a jar whose manifest has Premain-Class and that holds the class",
     "the VM loads every agent before the application and does not start when one cannot be "
     "loaded: a jar needs the manifest entry its option names and the class it names, a library "
     "must be found, be of the VM's kind and export the function the VM calls"},
    {K::InterpreterNotProgram, "interpreter-not-a-program", E,
     "the script's interpreter is neither an ELF program nor a script",
     "name a real interpreter in the script's first line, or give the interpreter its own "
     "\"#!\" line",
     false, "Dashvane starting #!/opt/run.sh, where /opt/run.sh is an empty file",
     "Dashvane starting #!/bin/sh",
     "the kernel runs the #! interpreter as a program; one that is neither an ELF program nor a "
     "script of its own fails the start with ENOEXEC"},
    {K::InterpreterOptionCarriageReturn, "interpreter-option-carriage-return", E,
     "a script saved with CRLF line ends gives its shell an option it refuses",
     "save the script with LF line ends (dos2unix)", false,
     "Dashvane starting \"#!/bin/sh -e\" and a carriage return",
     "Dashvane starting \"#!/bin/sh -e\", saved with LF line ends",
     "the kernel passes everything after the interpreter on the #! line as one option, the "
     "carriage return included: the shell gets \"-e\\r\" and refuses it"},
    {K::InterpreterRerunsScript, "interpreter-reruns-script", E,
     "the script's \"#!/usr/bin/env\" line names no program, so env runs the script again "
     "for ever",
     "name the program after env, as in \"#!/usr/bin/env sh\"", false,
     "Dashvane starting \"#!/usr/bin/env\" alone", "Dashvane starting \"#!/usr/bin/env sh\"",
     "the kernel runs /usr/bin/env with the script's path, env runs the script again, and the "
     "kernel hands it to env again: the start never ends"},
    // How the application is started.
    {K::DesktopEntryWithoutPath, "desktop-entry-without-path", E,
     "a desktop entry starts a launcher copy without Path= its application directory, so the "
     "launcher starts in the session's directory, where it finds no installation two levels "
     "up",
     "add the line Path=APPDIR (the application directory) to the entry's [Desktop Entry] "
     "group, and start the copy by its absolute path",
     false, "Exec=/srv/ws/apps/shop/run without a Path= line", "Exec=APPDIR/run with Path=APPDIR",
     "the desktop starts Exec= in the session's directory unless Path= names another, and the "
     "launcher looks for the installation two levels above its working directory"},
    {K::DesktopExecRefused, "desktop-exec-refused", E,
     "the desktop refuses the entry's Exec= or cannot run it as the launcher needs",
     "write Exec= with the copy's absolute path, and Path= the application directory", false,
     "Exec=./run (gio: \"Unable to load application information\")",
     "Exec=APPDIR/run with Path=APPDIR",
     "the desktop runs Exec= without a shell and looks a relative program up along PATH, not in "
     "Path=, so ./run is refused or not found"},
    {K::UnitWithoutWorkingDirectory, "unit-without-working-directory", E,
     "a systemd unit starts a launcher copy without WorkingDirectory= its application "
     "directory (a system unit starts in /, a user unit in the user's home)",
     "add the line WorkingDirectory=APPDIR (the application directory) to the [Service] "
     "section",
     false, "ExecStart=/srv/ws/apps/shop/run without a WorkingDirectory= line",
     "ExecStart=APPDIR/run with WorkingDirectory=APPDIR",
     "systemd starts a service in / (a user service in the home directory) unless "
     "WorkingDirectory= names another, and the launcher looks for the installation two levels "
     "above its working directory"},
    {K::UnitRelativeExecStart, "unit-relative-exec-start", E,
     "ExecStart= does not name the launcher copy by an absolute path, which systemd refuses "
     "or looks up elsewhere",
     "write the copy's absolute path in ExecStart=, with WorkingDirectory= the application "
     "directory",
     false, "ExecStart=./run", "ExecStart=APPDIR/run with WorkingDirectory=APPDIR",
     "systemd takes the program of ExecStart= by its absolute path or looks a bare name up in its "
     "own directories; ./run is refused, whatever WorkingDirectory= says"},
    {K::UnitStopsApplication, "unit-stops-application", E,
     "the unit's type and exit handling take the launcher's exit status 1 for a failed "
     "start, or stop the application when the launcher exits",
     "write Type=forking and SuccessExitStatus=1 in the [Service] section and keep the "
     "default KillMode=control-group: the launcher's exit then ends a clean start, systemd "
     "takes the application for the main process, the unit stays \"active (running)\", and "
     "stopping the unit stops the application (Type=oneshot with RemainAfterExit=yes and "
     "SuccessExitStatus=1 keeps it running too, as \"active (exited)\")",
     false, "a [Service] section with Type=simple (or none) starting a launcher copy",
     "Type=forking and SuccessExitStatus=1 in the [Service] section",
     "the launcher starts the application and exits with status 1: with Type=simple systemd takes "
     "that for a failure and stops the unit, the application with it"},
    {K::CronOutsideDirectory, "cron-outside-directory", E,
     "a cron line starts a launcher copy outside its application directory (cron starts "
     "commands in the user's home)",
     "change into the application directory first: cd APPDIR && ./run", false,
     "@reboot /srv/ws/apps/report/run", "@reboot cd APPDIR && ./run",
     "cron runs each command in the user's home directory, and the launcher looks for the "
     "installation two levels above its working directory"},
    {K::WrapperOutsideDirectory, "wrapper-outside-directory", E,
     "a shell wrapper starts a launcher copy without changing into its application directory, "
     "so the copy runs wherever the wrapper's caller is",
     "change into the application directory first: cd APPDIR && exec ./run \"$@\"", false,
     "#!/bin/sh, then exec /srv/ws/apps/shop/run \"$@\"",
     "#!/bin/sh, then cd APPDIR && exec ./run \"$@\"",
     "the launcher finds the installation from its working directory, which a wrapper takes over "
     "from whoever runs it"},
    {K::LauncherExitStatusTested, "launcher-exit-status-tested", W,
     "a shell command line chains on the launcher's exit status, which is always 1",
     "do not chain on the launcher's status (write ; in place of && or ||); to know whether "
     "the application came up, test what it does, such as its process or its port",
     false, "cd /srv/ws/apps/report && ./run && echo started", "cd APPDIR && ./run; echo started",
     "the launcher exits with status 1 when it has started the application as well as when the "
     "start failed: what follows && never runs, what follows || always does"},
    {K::PathLinkWithoutIni, "path-link-without-ini", E,
     "a link or copy of a launcher copy along PATH is started by a name that has no ini file "
     "where it starts, so the application's ini file is not read",
     "start the copy by its own name from the application directory, or put a shell wrapper "
     "along PATH in place of the link: #!/bin/sh, then cd APPDIR && exec ./run \"$@\"",
     false, "/usr/local/bin/shop -> /srv/ws/apps/shop/run, run as shop",
     "a wrapper along PATH: #!/bin/sh, then cd APPDIR && exec ./run \"$@\"",
     "the launcher reads the ini file of the name it is started by, as written: started as shop "
     "along PATH, it looks for shop.ini in its working directory, not run.ini"},
    {K::StartNameWithoutIni, "start-name-without-ini", E,
     "a start file starts a launcher copy by a name that has no ini file where it starts, so "
     "every VM argument of the application's ini file is dropped",
     "start the copy by its own name, as in ExecStart=APPDIR/run, or give the name "
     "an ini file (ln -s run.ini NAME.ini in the application directory)",
     false, "ExecStart=@/srv/ws/apps/shop/run shop, without shop.ini",
     "ExecStart=APPDIR/run, started by its own name",
     "the launcher reads the ini file of the name it is started by: systemd's \"@\" starts it as "
     "shop, which reads shop.ini, not run.ini"},
    {K::StartFromOtherApplication, "start-from-other-application", E,
     "a launcher copy is started from another application's directory, so the launch mixes "
     "the two applications' files",
     "start each copy from its own application directory: cd APPDIR && ./run", false,
     "cd /srv/ws/apps/report && ../shop/run", "cd APPDIR && ./run, from the copy's own directory",
     "the launcher reads its ini file by the path it was started by, but takes the application's "
     "name and relative paths from its working directory, so the two applications' files mix"},
    {K::StartNotModeled, "start-not-modeled", N,
     "a start file starts a launcher copy in a way the checker cannot follow without running "
     "it (D-Bus activation, a shell variable, a systemd specifier it does not expand), so "
     "that start is not checked",
     "start the copy by a plain command line, such as Exec=APPDIR/run with Path=APPDIR, or "
     "check the application with --name and the directory the start gives it",
     false, "DBusActivatable=true in a desktop entry that starts a launcher copy",
     "Exec=APPDIR/run with Path=APPDIR, without DBusActivatable",
     "the checker reads start files without running them; a command line that D-Bus, the shell "
     "or systemd only completes at start is one it cannot know, so it says so rather than guess"},
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
