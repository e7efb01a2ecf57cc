#include "facts/StartReading.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "facts/Crontab.h"
#include "facts/DesktopEntry.h"
#include "facts/LauncherCopies.h"
#include "facts/ProgramSearch.h"
#include "facts/ShellLine.h"
#include "facts/StartText.h"
#include "facts/SystemdUnit.h"
#include "util/Directory.h"
#include "util/JavaOptions.h"
#include "util/Passwd.h"

namespace {

// Where cron and systemd look for a program named without a slash; the
// latter is also the PATH a system unit runs with (Debian's systemd keeps
// /sbin and /bin in it).
const char CRON_PATH[] = "/usr/bin:/bin";
const char SYSTEMD_PATH[] = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

// What the manager sets in a service's environment to values that change
// from one start to the next, or that depend on the unit's other settings.
const char MANAGER_SET[] =
    "INVOCATION_ID JOURNAL_STREAM SYSTEMD_EXEC_PID MAINPID MANAGERPID LISTEN_FDS LISTEN_PID "
    "LISTEN_FDNAMES NOTIFY_SOCKET WATCHDOG_PID WATCHDOG_USEC TERM RUNTIME_DIRECTORY "
    "STATE_DIRECTORY CACHE_DIRECTORY LOGS_DIRECTORY CONFIGURATION_DIRECTORY "
    "CREDENTIALS_DIRECTORY LOG_NAMESPACE PIDFILE LANG LANGUAGE LC_ALL LC_CTYPE LC_MESSAGES "
    "LC_NUMERIC LC_TIME LC_COLLATE LC_MONETARY LC_PAPER LC_NAME LC_ADDRESS LC_TELEPHONE "
    "LC_MEASUREMENT LC_IDENTIFICATION";

// Start files are small; anything larger is not read whole.
constexpr std::streamsize MOST_READ = 1024 * 1024;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char buffer[8192];
    while (in && static_cast<std::streamsize>(text.size()) < MOST_READ) {
        in.read(buffer, sizeof buffer);
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

std::string realOf(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::string();
    }
    std::string real = resolved;
    std::free(resolved);
    return real;
}

bool bytesEqual(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    return first && second &&
           std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name the package installs the launcher as: itself no application's copy.
const char INSTALLED_NAME[] = "dashvane-launcher";

// `path` and each file its symbolic links name in turn, each as its physical
// directory and its own name.
std::vector<std::string> linkChain(std::string path) {
    std::vector<std::string> chain;
    for (int hops = 0; hops < 40; ++hops) {
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string real = realOf(dir);
        if (real.empty()) {
            break;
        }
        const std::string hop = (real == "/" ? "" : real) + "/" + name;
        chain.push_back(hop);
        char target[4096];
        const ssize_t size = readlink(hop.c_str(), target, sizeof target - 1);
        if (size <= 0) {
            break;
        }
        const std::string next(target, static_cast<std::size_t>(size));
        path = next[0] == '/' ? next : real + "/" + next;
    }
    return chain;
}

// Line `number` of `text`, counted from 1.
std::string lineOf(const std::string& text, std::size_t number) {
    std::size_t start = 0;
    for (std::size_t line = 1; line < number && start < text.size(); ++line) {
        start = std::min(text.find('\n', start), text.size()) + 1;
    }
    if (start >= text.size()) {
        return std::string();
    }
    return text.substr(start, std::min(text.find('\n', start), text.size()) - start);
}

// The first line of a small file under the prefix, trimmed; empty when missing.
std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return blankTrimmed(line);
}

// The machine's name: the kernel's where the machine is this one, else the
// one its /etc/hostname gives it at boot.
std::string hostName(const std::string& root) {
    char name[256] = {};
    if (root.empty() && gethostname(name, sizeof name - 1) == 0) {
        return name;
    }
    return firstLine(root + "/etc/hostname");
}

std::string machineId(const std::string& root) {
    const std::string id = firstLine(root + "/etc/machine-id");
    return id.size() == 32 && id.find_first_not_of("0123456789abcdef") == std::string::npos
               ? id
               : std::string();
}

std::string groupName(gid_t gid) {
    std::ifstream in("/etc/group");
    const std::string id = ":" + std::to_string(gid);
    for (std::string line; std::getline(in, line);) {
        // name:password:gid:members
        const std::size_t first = line.find(':');
        const std::size_t second = line.find(':', first + (first != std::string::npos ? 1 : 0));
        if (first != std::string::npos && second != std::string::npos &&
            line.compare(second, id.size() + 1, id + ":") == 0) {
            return line.substr(0, first);
        }
    }
    return std::string();
}

bool isShell(const std::string& program) {
    const std::string name = baseName(program);
    return name == "sh" || name == "bash" || name == "dash";
}

// Whether `path` names a program that can be run, as gio asks before it
// loads an entry.
bool runnable(const std::string& path) {
    struct stat status {};
    return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// Whether `shell` is dash, as /bin/sh is on Debian.
bool isDash(const std::string& shell) {
    const std::string real = realOf(shell);
    return baseName(real.empty() ? shell : real) == "dash";
}

bool exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// Whether the regular file `path` names a variable the VM reads options
// from: where it does, what a start hands the VM is not known.
bool mentionsVmVariable(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const std::string text = readText(path);
    return std::any_of(std::begin(VM_VARIABLES), std::end(VM_VARIABLES),
                       [&text](const char* name) { return text.find(name) != std::string::npos; });
}

std::vector<std::string> splitList(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while ((start = text.find_first_not_of(separators, start)) != std::string::npos) {
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end;
    }
    return parts;
}

// The file a command runs: a path from `dir`, or a name along `path` under the prefix.
std::string programPath(ProgramSearch& programs, const std::string& program, const std::string& dir,
                        const std::string& root, const std::string& path) {
    if (program.find('/') != std::string::npos) {
        return joinedPath(dir, program);
    }
    return programs.find(program, root, path);
}

// "env NAME=VALUE... PROGRAM ARGS" starts PROGRAM with ARGS: returns whether
// `argv` began with env, which is then dropped with its assignments.
bool dropEnv(std::vector<std::string>& argv) {
    if (argv.empty() || baseName(argv[0]) != "env") {
        return false;
    }
    std::size_t first = 1;
    while (first < argv.size() && argv[first].find('=') != std::string::npos &&
           argv[first][0] != '=' && argv[first][0] != '/') {
        ++first;
    }
    argv.erase(argv.begin(), argv.begin() + static_cast<std::ptrdiff_t>(first));
    return true;
}

struct Reader {
    const StartFile& file;
    const StartSearch& search;
    const CopyIndex& index;
    ProgramSearch& programs;
    std::vector<StartFacts> starts;
    std::string why;              // why the file starts no copy, when it is plain
    bool dash = false;            // the shell lines are run by dash
    UnitSpecifiers specifiers{};  // of the unit being read
    UnitEnvironment environment{};
    std::string environmentUnread{};  // why the unit's environment is not known

    // A start of the copy `target` is, if it is one.
    bool take(StartFacts start, const std::string& target) {
        const CopyIndex::Copy* copy = target.empty() ? nullptr : index.find(target);
        if (copy == nullptr) {
            return false;
        }
        take(start, copy);
        return true;
    }
    void take(StartFacts start, const CopyIndex::Copy* copy) {
        start.appDir = copy->appDir;
        start.copy = copy->path;
        starts.push_back(start);
    }

    // The commands of a shell line that start a copy, from `dir`.
    void shellLine(StartFacts base, const std::string& line, const std::string& dir,
                   const std::string& home, const std::string& path) {
        base.command = line;
        for (const ShellCommand& command : readShellLine(line, dir, home)) {
            // Most commands start no copy: only those that do are described.
            const std::string target =
                programPath(programs, command.program, command.dir, search.root, path);
            const CopyIndex::Copy* copy = target.empty() ? nullptr : index.find(target);
            if (copy == nullptr) {
                if (!command.dir.empty() && !exists(command.dir)) {
                    why = "it changes into " + command.dir + ", which does not exist";
                } else if (!command.unread.empty() && why.empty()) {
                    why = "it runs " + command.program +
                          (command.unread != command.program ? " after " + command.unread
                                                             : std::string()) +
                          ", which the checker cannot follow without running it";
                }
                continue;
            }
            if (command.renamedByExec && dash) {
                why =
                    "its shell, dash, has no exec -a, so the command fails (\"exec: -a: not "
                    "found\")";
                continue;
            }
            StartFacts start = base;
            if (!command.unread.empty() && start.unmodeled.empty()) {
                start.unmodeled =
                    "the shell word \"" + command.unread + "\" (expanded only as the line runs)";
            }
            start.program = command.program;
            start.workingDir = command.dir;
            start.directoryGiven = base.directoryGiven || command.dir != dir;
            start.invocationName = command.words[0];
            start.arguments.assign(command.words.begin() + 1, command.words.end());
            if (command.after == "&&" || command.after == "||") {
                start.chained = command.after;
            }
            if (base.kind == StartKind::ShellWrapper) {
                start.line = command.line;
                start.command = lineOf(line, command.line);
            }
            take(start, copy);
        }
    }

    void desktopEntry(const std::string& home) {
        const DesktopEntry entry = parseDesktopEntry(readText(file.path));
        const DesktopKey* type = entry.find("Type");
        const DesktopKey* exec = entry.find("Exec");
        // Deleted entries and entries of other types start nothing.
        if (!entry.hasGroup || type == nullptr || type->value != "Application" ||
            entry.flag("Hidden") || exec == nullptr) {
            why = !entry.hasGroup   ? "it has no [Desktop Entry] group"
                  : type == nullptr ? "it has no Type=, so the desktop ignores it"
                  : type->value != "Application"
                      ? "it is of Type=" + type->value + ", not Application"
                  : entry.flag("Hidden") ? "it is deleted (Hidden=true)"
                                         : "it has no Exec=";
            return;
        }
        const DesktopKey* path = entry.find("Path");
        const std::string workingDir = path != nullptr && !path->value.empty() ? path->value : home;
        const DesktopKey* tryExec = entry.find("TryExec");
        if (tryExec != nullptr && !runnable(programPath(programs, tryExec->value, workingDir,
                                                        search.root, desktopPath()))) {
            why =
                "its TryExec= program " + tryExec->value + " is not found, so the desktop hides it";
            return;
        }
        // gio loads no entry whose program it cannot find, actions and all.
        std::vector<std::string> raw;
        ExecRefusal unused;
        if (splitDesktopExec(exec->value, DesktopFields(), raw, unused) && raw[0][0] == '/' &&
            !runnable(raw[0])) {
            why = "its Exec= program " + raw[0] + " is not found, so gio refuses the entry";
            return;
        }
        StartFacts start;
        start.kind = StartKind::DesktopEntry;
        start.file = file.path;
        start.user = file.user;
        start.directoryGiven = path != nullptr && !path->value.empty();
        start.workingDir = workingDir;
        if (entry.flag("DBusActivatable")) {
            start.unmodeled =
                "DBusActivatable=true (the desktop may start the entry by D-Bus instead of Exec=)";
        }
        DesktopFields fields;
        fields.name = entry.name(localeLanguages());
        if (const DesktopKey* icon = entry.find("Icon")) {
            fields.icon = icon->value;
        }
        const std::size_t first = starts.size();
        desktopExec(start, *exec, fields, home);
        // Each action listed in Actions= starts its own Exec= from the same Path=.
        const DesktopKey* actions = entry.find("Actions");
        for (const std::string& name :
             splitList(actions != nullptr ? actions->value : std::string(), ";")) {
            const DesktopGroup* group = entry.action(name);
            const DesktopKey* actionExec = group != nullptr ? group->find("Exec") : nullptr;
            if (actionExec != nullptr) {
                desktopExec(start, *actionExec, fields, home);
            }
        }
        if (starts.size() == first && why.empty()) {
            why = "neither its Exec= nor an action's starts one";
        }
    }

    // One Exec= line of a desktop entry, the entry's settings in `base`.
    void desktopExec(StartFacts start, const DesktopKey& exec, const DesktopFields& fields,
                     const std::string& home) {
        start.line = exec.line;
        std::vector<std::string> argv;
        if (!splitDesktopExec(exec.value, fields, argv, start.execProblem)) {
            // Still the copy it means, to say what is wrong with the line.
            argv = splitList(exec.value, " ");
            if (argv.empty()) {
                return;
            }
        }
        dropEnv(argv);
        if (argv.empty()) {
            return;
        }
        if (isShell(argv[0]) && argv.size() > 2 && argv[1] == "-c") {
            shellLine(start, argv[2], start.workingDir, home, desktopPath());
            return;
        }
        start.program = argv[0];
        if (!start.execProblem.refused() && argv[0][0] != '/' &&
            argv[0].find('/') != std::string::npos) {
            start.execProblem.problem = ExecProblem::RelativePath;
        }
        start.invocationName = argv[0];
        start.arguments.assign(argv.begin() + 1, argv.end());
        take(start, programPath(programs, argv[0], start.workingDir, search.root, desktopPath()));
    }

    // The session's PATH: a login's.
    std::string desktopPath() const {
        std::string path;
        for (const std::string& dir : search.pathDirs) {
            path += (path.empty() ? "" : ":") + dir;
        }
        return path;
    }

    void unit(const std::string& fallbackHome) {
        UnitFile unit;
        readUnitText(unit, readText(file.path), file.path);
        for (const std::string& name : splitList(dropInNames(file.path + ".d"), "\n")) {
            readUnitText(unit, readText(file.path + ".d/" + name), file.path + ".d/" + name);
        }
        const UnitSetting* user = unit.find("Service", "User");
        const std::string home = file.userUnit     ? (file.home.empty() ? fallbackHome : file.home)
                                 : user != nullptr ? homeOf(user->value)
                                                   : homeOf("root");
        StartFacts base;
        base.kind = StartKind::SystemdUnit;
        base.file = file.path;
        base.userUnit = file.userUnit;
        base.user = file.userUnit ? file.user : user != nullptr ? user->value : "root";
        unitSpecifiers(home);
        if (!unitEnvironment(unit, base.user, user != nullptr)) {
            return;
        }
        const UnitSetting* dir = unit.find("Service", "WorkingDirectory");
        base.directoryGiven = dir != nullptr && !dir->value.empty();
        std::string unknown;
        std::string workingDir = base.directoryGiven
                                     ? expandSpecifiers(dir->value, specifiers, &unknown)
                                 : file.userUnit ? home
                                                 : "/";
        if (!workingDir.empty() && workingDir[0] == '-') {
            workingDir.erase(0, 1);
        }
        if (workingDir == "~") {
            workingDir = home;
        }
        base.workingDir = workingDir;
        if (!unknown.empty() && base.unmodeled.empty()) {
            base.unmodeled = "the specifier " + unknown + " in WorkingDirectory=";
        }
        serviceSettings(unit, base);
        for (const UnitSetting* setting : unit.list("Service", "ExecStart")) {
            execStart(base, *setting, workingDir, home);
        }
        why = unit.list("Service", "ExecStart").empty() ? "it has no ExecStart= in [Service]"
                                                        : "no ExecStart= starts one";
    }

    static void serviceSettings(const UnitFile& unit, StartFacts& base) {
        if (const UnitSetting* type = unit.find("Service", "Type")) {
            base.type = type->value;
        }
        for (const UnitSetting* status : unit.list("Service", "SuccessExitStatus")) {
            for (const std::string& value : splitList(status->value, " \t")) {
                base.successStatus.push_back(value);
            }
        }
        if (const UnitSetting* kill = unit.find("Service", "KillMode")) {
            base.killMode = kill->value;
        }
        if (const UnitSetting* remain = unit.find("Service", "RemainAfterExit")) {
            base.remainAfterExit = unitBoolean(remain->value);
        }
    }

    // %u, %h and the others that name the manager's user name root for a
    // system unit, whatever its User=.
    void unitSpecifiers(const std::string& home) {
        specifiers.unitName = baseName(file.path);
        specifiers.fragment = file.path;
        if (!search.root.empty() && file.path.compare(0, search.root.size(), search.root) == 0) {
            specifiers.fragment = file.path.substr(search.root.size());
        }
        specifiers.userManager = file.userUnit;
        specifiers.user = file.userUnit ? file.user : "root";
        specifiers.home = file.userUnit ? home : homeOf("root");
        for (const Passwd::Entry& entry : Passwd::read()) {
            if (entry.name == specifiers.user && !entry.name.empty()) {
                specifiers.uid = std::to_string(entry.uid);
                specifiers.gid = std::to_string(entry.gid);
                specifiers.group = groupName(entry.gid);
            }
        }
        specifiers.hostname = hostName(search.root);
        specifiers.machineId = machineId(search.root);
        specifiers.tmp = exists(search.root + "/tmp") ? "/tmp" : "";
        specifiers.varTmp = exists(search.root + "/var/tmp") ? "/var/tmp" : "";
    }

    // The environment ExecStart= is expanded in: what the manager sets, then
    // Environment=, then EnvironmentFile=, which overrides it. False where
    // systemd fails the unit before it runs a line.
    bool unitEnvironment(const UnitFile& unit, const std::string& user, bool userGiven) {
        environment = managerEnvironment(unit, user, userGiven || file.userUnit);
        std::string unknown;
        for (const UnitSetting* setting : unit.list("Service", "Environment")) {
            for (const std::string& assignment :
                 environmentAssignments(setting->value, specifiers, &unknown)) {
                environment.assign(assignment);
            }
        }
        for (const UnitSetting* setting : unit.list("Service", "EnvironmentFile")) {
            // Its own specifiers only: one of Environment= says nothing of it.
            std::string fileUnknown;
            std::string path = expandSpecifiers(setting->value, specifiers, &fileUnknown);
            const bool optional = !path.empty() && path[0] == '-';
            path.erase(0, optional ? 1 : 0);
            if (path.empty() || path[0] != '/') {
                continue;  // systemd ignores a file not named by an absolute path
            }
            if (path.find_first_of("*?[") != std::string::npos || !fileUnknown.empty()) {
                environmentUnread = "the EnvironmentFile=" + setting->value +
                                    (fileUnknown.empty() ? std::string(" (a pattern of files)")
                                                         : " (its specifier " + fileUnknown + ")");
                continue;
            }
            const std::string real = search.root + path;
            struct stat status {};
            if (stat(real.c_str(), &status) != 0) {
                if (!optional) {
                    why = "its EnvironmentFile=" + path +
                          " is missing, so systemd fails the unit: Failed to load environment "
                          "files: No "
                          "such file or directory";
                    return false;
                }
                continue;
            }
            // A named pipe or a terminal would hold the check up.
            if (!S_ISREG(status.st_mode) || access(real.c_str(), R_OK) != 0) {
                environmentUnread =
                    "the EnvironmentFile=" + path + ", which the checker cannot read";
                continue;
            }
            for (const std::string& assignment : environmentFileAssignments(readText(real))) {
                environment.assign(assignment);
            }
        }
        if (!unknown.empty() && environmentUnread.empty()) {
            environmentUnread = "the specifier " + unknown + " in Environment=";
        }
        return true;
    }

    // What the manager itself puts in a service's environment: PATH, the
    // user's names where the unit runs as a user, and values that change as
    // it starts. A user's manager has the user's own environment besides.
    UnitEnvironment managerEnvironment(const UnitFile& unit, const std::string& user,
                                       bool userNames) const {
        UnitEnvironment known;
        known.othersUnknown = file.userUnit;
        known.unknown = splitList(MANAGER_SET, " ");
        const bool searchPath = unit.find("Service", "ExecSearchPath") != nullptr;
        if (!file.userUnit && !searchPath) {
            known.assign(std::string("PATH=") + SYSTEMD_PATH);
        } else if (!file.userUnit) {
            known.unknown.push_back("PATH");  // ExecSearchPath= sets it
        }
        for (const Passwd::Entry& entry : Passwd::read()) {
            if (userNames && entry.name == user && !entry.name.empty()) {
                known.assign("HOME=" + entry.home);
                known.assign("USER=" + user);
                known.assign("LOGNAME=" + user);
                // systemd gives root a shell of its own choosing, not the
                // password file's.
                if (user != "root" && !entry.shell.empty()) {
                    known.assign("SHELL=" + entry.shell);
                }
                break;
            }
        }
        // Those of a user not in the password file, and root's shell, are
        // not the checker's to tell.
        for (const char* name : {"HOME", "USER", "LOGNAME", "SHELL"}) {
            std::string value;
            bool set = false;
            if (userNames && known.lookUp(name, value, set) && !set) {
                known.unknown.push_back(name);
            }
        }
        // Passed from the manager's own environment, or taken out of it.
        for (const char* key : {"PassEnvironment", "UnsetEnvironment"}) {
            for (const UnitSetting* setting : unit.list("Service", key)) {
                for (const std::string& word : splitList(setting->value, " \t")) {
                    known.unknown.push_back(word.substr(0, word.find('=')));
                }
            }
        }
        return known;
    }

    // One ExecStart= line of a unit, the [Service] settings in `base`.
    void execStart(const StartFacts& base, const UnitSetting& setting,
                   const std::string& workingDir, const std::string& home) {
        StartFacts start = base;
        start.file = setting.file;
        start.line = setting.line;
        ExecLine exec;
        if (!splitExecLine(setting.value, exec, start.execProblem)) {
            return;
        }
        // Specifiers are expanded as the unit is loaded, each word on its own;
        // variables as the line runs, and never in the program's path.
        std::string specifier;
        exec.path = expandSpecifiers(exec.path, specifiers, &specifier);
        for (std::string& word : exec.argv) {
            word = expandSpecifiers(word, specifiers, &specifier);
        }
        if (!specifier.empty() && start.unmodeled.empty()) {
            start.unmodeled = "the specifier " + specifier + " in ExecStart=";
        }
        // What the environment holds matters only to a line that names a variable.
        if (!environmentUnread.empty() && start.unmodeled.empty() &&
            setting.value.find('$') != std::string::npos) {
            start.unmodeled = environmentUnread;
        }
        std::vector<std::string> argv;
        std::string variable;
        if (expandEnvironment(exec.argv, environment, argv, variable)) {
            exec.argv = argv;
        } else if (start.unmodeled.empty()) {
            start.unmodeled = "the variable " + variable + " in ExecStart=, set as the unit starts";
        }
        if (exec.argv.empty()) {
            why = "its ExecStart= leaves no word once its variables are expanded";
            return;
        }
        vmVariablesOf(start);
        start.failureIgnored = exec.failureIgnored();
        if (isShell(exec.path) && exec.argv.size() > 2 && exec.argv[1] == "-c") {
            shellLine(start, exec.argv[2], workingDir, home, SYSTEMD_PATH);
            return;
        }
        execProgram(start, exec, workingDir);
    }

    // The VM variables systemd hands the launch, where they are known: a
    // user's manager may hold any, as may an environment not wholly read or
    // the manager's defaults, and the check's own are then taken.
    void vmVariablesOf(StartFacts& start) const {
        if (!environmentUnread.empty() ||
            mentionsVmVariable(search.root + "/etc/systemd/system.conf")) {
            return;
        }
        std::vector<std::string> set;
        for (const char* name : VM_VARIABLES) {
            std::string value;
            bool isSet = false;
            if (!environment.lookUp(name, value, isSet)) {
                return;
            }
            if (isSet) {
                set.push_back(std::string(name) + "=" + value);
            }
        }
        start.ownEnvironment = true;
        start.vmVariables = set;
    }

    void execProgram(StartFacts& start, ExecLine& exec, const std::string& workingDir) {
        // env runs the rest from the unit's directory, as a shell would.
        const bool throughEnv = dropEnv(exec.argv);
        if (exec.argv.empty()) {
            return;
        }
        if (throughEnv) {
            exec.path = exec.argv[0];
        }
        start.program = exec.path;
        if (exec.path[0] != '/' && !throughEnv) {
            start.execProblem.problem = exec.path.find('/') != std::string::npos
                                            ? ExecProblem::RelativePath
                                            : ExecProblem::NoPath;
        }
        start.invocationName = exec.argv[0];
        start.arguments.assign(exec.argv.begin() + 1, exec.argv.end());
        std::string target =
            programPath(programs, exec.path, workingDir, search.root, SYSTEMD_PATH);
        if (target.empty()) {
            target = joinedPath(workingDir, exec.path);
        }
        take(start, target);
    }

    static std::string dropInNames(const std::string& dir) {
        std::string found;
        std::vector<std::string> names;
        for (const std::string& name : entriesOf(dir)) {
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".conf") == 0) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            found += name + "\n";
        }
        return found;
    }

    void crontab(const std::string& fallbackHome) {
        const std::string dir = file.path.substr(0, file.path.rfind('/') + 1);
        if (dir.size() >= 8 && dir.compare(dir.size() - 8, 8, "/cron.d/") == 0 &&
            !isCrontabName(baseName(file.path))) {
            why =
                "cron skips it: it reads only the names in cron.d made of letters, digits, _ "
                "and -";
            return;
        }
        for (const CronEntry& entry : parseCrontab(readText(file.path), file.cronUser)) {
            const std::string user = !entry.user.empty() ? entry.user : file.user;
            std::string home = !entry.home.empty() ? entry.home : homeOf(user);
            if (home.empty()) {
                home = fallbackHome;
            }
            StartFacts start;
            start.kind = StartKind::Cron;
            start.file = file.path;
            start.user = user;
            start.line = entry.line;
            // pam_env hands cron's commands /etc/environment besides.
            start.ownEnvironment = !mentionsVmVariable(search.root + "/etc/environment");
            start.vmVariables = entry.vmVariables;
            const std::string shell = entry.shell.empty() ? "/bin/sh" : entry.shell;
            dash = isDash(shell);
            if (!isShell(shell)) {
                start.unmodeled = "SHELL=" + shell + " (not a shell the checker reads)";
            }
            shellLine(start, entry.command, home, home,
                      entry.path.empty() ? std::string(CRON_PATH) : entry.path);
        }
        if (why.empty()) {
            why = "no command line of it starts one";
        }
    }

    // A script run by sh from wherever its caller is, with its arguments.
    void shellWrapper(const std::string& home) {
        StartFacts base;
        base.kind = StartKind::ShellWrapper;
        base.file = file.path;
        base.user = file.user;
        const std::string text = readText(file.path);
        // The #! line names the shell, maybe through env; a script for
        // anything else is not read.
        if (text.compare(0, 2, "#!") == 0) {
            std::vector<std::string> interpreter = splitList(lineOf(text, 1).substr(2), " \t");
            dropEnv(interpreter);
            dash = !interpreter.empty() && isDash(interpreter[0]);
            if (interpreter.empty() || !isShell(interpreter[0])) {
                why = "it is a script for " +
                      (interpreter.empty() ? std::string("no interpreter") : interpreter[0]) +
                      ", not for the shell";
                return;
            }
        }
        shellLine(base, text, std::string(), home, desktopPath());
        if (why.empty()) {
            why = "no command of it starts one";
        }
    }

    void pathLink() {
        StartFacts start;
        start.kind = StartKind::PathLink;
        start.file = file.path;
        start.program = file.path;
        const std::size_t first = starts.size();
        if (!take(start, file.path)) {
            if (const CopyIndex::Copy* copy = index.sameBytes(file.path)) {
                take(start, copy);
            }
        }
        if (starts.size() == first) {
            why = baseName(file.path) == INSTALLED_NAME
                      ? "the installed launcher starts no application by its own name"
                      : "it is no link or copy of a launcher copy named after its application";
        }
        // Typed by its name from the application directory: the best place
        // it can be started from.
        for (std::size_t i = first; i < starts.size(); ++i) {
            StartFacts& taken = starts[i];
            taken.workingDir = taken.appDir;
            taken.invocationName = baseName(file.path);
            taken.iniPresent = exists(taken.appDir + "/" + taken.invocationName + ".ini");
        }
    }
};

}  // namespace

void CopyIndex::add(const std::string& appDir, const std::vector<std::string>& copyNames) {
    found.clear();
    for (const std::string& name : copyNames) {
        Copy copy;
        copy.appDir = appDir;
        copy.path = appDir + "/" + name;
        struct stat status {};
        struct stat own {};
        copy.link = lstat(copy.path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        if (stat(copy.path.c_str(), &status) == 0) {
            copy.device = status.st_dev;
            copy.inode = status.st_ino;
            copy.size = status.st_size;
            copies.push_back(copy);
        }
    }
}

const CopyIndex::Copy* CopyIndex::find(const std::string& path) const {
    // The scripts along PATH run the same programs again and again. An open
    // index grows as it finds copies, so its answers are not kept.
    if (open) {
        return lookUp(path);
    }
    const auto known = found.find(path);
    if (known != found.end()) {
        return known->second < copies.size() ? &copies[known->second] : nullptr;
    }
    const Copy* copy = lookUp(path);
    found[path] = copy != nullptr ? static_cast<std::size_t>(copy - copies.data()) : copies.size();
    return copy;
}

const CopyIndex::Copy* CopyIndex::lookUp(const std::string& path) const {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    // A link starts the copy its chain passes through, by the name it is
    // started by: every copy that links to the installed launcher shares its
    // inode, and the installed launcher itself starts none of them.
    const std::vector<std::string> chain = linkChain(path);
    for (const std::string& hop : chain) {
        for (const Copy& copy : copies) {
            if (copy.path == hop) {
                return &copy;
            }
        }
    }
    for (const Copy& copy : copies) {
        if (copy.device == status.st_dev && copy.inode == status.st_ino && !copy.link &&
            baseName(path) != INSTALLED_NAME) {
            return &copy;  // a hard link of the copy
        }
    }
    return open ? findOpen(chain) : nullptr;
}

const CopyIndex::Copy* CopyIndex::findOpen(const std::vector<std::string>& chain) const {
    // The first directory along the chain that holds ini files is the
    // application's; failing that, the last launcher copy but the installed one.
    std::string fallback;
    for (const std::string& hop : chain) {
        const std::size_t slash = hop.rfind('/');
        const std::string dir = slash == 0 ? "/" : hop.substr(0, slash);
        const std::string name = hop.substr(slash + 1);
        if (looked.count(dir) == 0) {
            const CopySearch found = findLauncherCopies(dir);
            Looked& seen = looked[dir];
            seen.holdsIni = !found.iniFiles.empty();
            for (const LauncherCopy& copy : found.copies) {
                seen.names.push_back(copy.name);
            }
        }
        const Looked& seen = looked[dir];
        if (std::find(seen.names.begin(), seen.names.end(), name) == seen.names.end()) {
            continue;
        }
        if (seen.holdsIni) {
            return added(dir, name);
        }
        if (name != INSTALLED_NAME) {
            fallback = hop;
        }
    }
    if (fallback.empty()) {
        return nullptr;
    }
    const std::size_t slash = fallback.rfind('/');
    return added(slash == 0 ? "/" : fallback.substr(0, slash), fallback.substr(slash + 1));
}

const CopyIndex::Copy* CopyIndex::added(const std::string& dir, const std::string& name) const {
    for (const Copy& copy : copies) {
        if (copy.path == (dir == "/" ? "" : dir) + "/" + name) {
            return &copy;
        }
    }
    const_cast<CopyIndex*>(this)->add(dir, looked[dir].names);
    for (const Copy& copy : copies) {
        if (copy.path == (dir == "/" ? "" : dir) + "/" + name) {
            return &copy;
        }
    }
    return nullptr;
}

const CopyIndex::Copy* CopyIndex::sameBytes(const std::string& path) const {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    for (const Copy& copy : copies) {
        if (baseName(copy.appDir) == baseName(path) && copy.size == status.st_size &&
            bytesEqual(copy.path, path)) {
            return &copy;
        }
    }
    return nullptr;
}

std::vector<std::string> CopyIndex::appDirs() const {
    std::vector<std::string> dirs;
    for (const Copy& copy : copies) {
        if (std::find(dirs.begin(), dirs.end(), copy.appDir) == dirs.end()) {
            dirs.push_back(copy.appDir);
        }
    }
    return dirs;
}

std::vector<StartFacts> startsIn(const StartFile& file, const StartSearch& search,
                                 const CopyIndex& index, ProgramSearch& programs,
                                 const std::string& fallbackHome, std::string* why) {
    Reader reader{file, search, index, programs, {}, {}};
    const std::string home = file.home.empty() ? fallbackHome : file.home;
    switch (file.kind) {
        case StartKind::DesktopEntry:
            reader.desktopEntry(home);
            break;
        case StartKind::SystemdUnit:
            reader.unit(fallbackHome);
            break;
        case StartKind::Cron:
            reader.crontab(fallbackHome);
            break;
        case StartKind::PathLink:
            reader.pathLink();
            break;
        case StartKind::ShellWrapper:
            reader.shellWrapper(home);
            break;
    }
    if (why != nullptr) {
        *why = reader.why;
    }
    for (StartFacts& start : reader.starts) {
        // Started from a directory that holds another application's copies or ini files.
        const std::string real =
            start.workingDir.empty() ? std::string() : realOf(start.workingDir);
        start.inAppDir = !real.empty() && real == start.appDir;
        if (start.inAppDir && start.kind != StartKind::PathLink) {
            start.iniPresent = exists(joinedPath(real, start.invocationName + ".ini"));
            start.copyIniPresent = exists(start.copy + ".ini");
        }
        if (!real.empty() && real != start.appDir) {
            const CopySearch there = findLauncherCopies(real);
            if (!there.copies.empty() || !there.iniFiles.empty()) {
                start.otherApplication = real;
            }
        }
    }
    return reader.starts;
}
