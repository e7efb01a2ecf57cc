#include "CheckCommand.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "ByteText.h"
#include "Catalogue.h"
#include "Check.h"
#include "LauncherCopies.h"
#include "Mend.h"
#include "Report.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

constexpr int CANNOT_CHECK = 2;

const char USAGE[] = "usage: dashvane-launcher-check [OPTIONS] [APPDIR...] [-- ARGS...]\n";

const char HELP[] =
    "Checks Dashvane application directories: tells, without starting anything, what their\n"
    "launcher copy will do and every mistake that makes its launch fail or differ from\n"
    "what the ini file plainly says. Without APPDIR the working directory is checked.\n"
    "\n"
    "Options:\n"
    "  --name NAME          the launcher copy's name, as it is started (default: the one\n"
    "                       copy of the launcher in the directory, else ./run)\n"
    "  --user USER          judge permissions as USER (a login name or a number), the user\n"
    "                       who starts the application; as root the check runs as that user\n"
    "  --installation DIR   check every application directory under DIR/apps that holds\n"
    "                       a launcher copy or an ini file\n"
    "  --explain            explain each application in full: its lines and what the\n"
    "                       launcher does with each, the start directory, the executable\n"
    "                       and the argument vector\n"
    "  --json               write one JSON document for the whole run (see the manual page)\n"
    "  --pretty             indent the JSON document\n"
    "  --severity LEVEL     the lowest severity shown and counted: note, warning (the\n"
    "                       default) or error\n"
    "  --ignore KIND[,KIND...]\n"
    "                       do not report these kinds of findings\n"
    "  --diff               print, as a unified diff, what --fix would write; change nothing\n"
    "  --fix                mend the mechanical mistakes of each ini file (--list-kinds says\n"
    "                       which), then report what is left; the original is kept as\n"
    "                       NAME.ini~\n"
    "  --no-backup          with --fix, keep no NAME.ini~\n"
    "  --list-kinds         list every kind of finding with its severity and advice\n"
    "  --version            print the version\n"
    "  -h, --help           print this help\n"
    "  -- ARGS...           the arguments the launcher itself is started with (by a\n"
    "                       desktop entry or a script); they join the argument vector\n"
    "\n"
    "Facts are written one per line, as FILE:LINE: SEVERITY: MESSAGE; ADVICE [KIND],\n"
    "then a summary line. Exit status: 0 when nothing at or above the severity is found,\n"
    "1 when something is, 2 for a usage error or a check that could not be completed.\n";

int usageError(std::ostream& err, const std::string& problem) {
    err << "dashvane-launcher-check: " << problem << '\n' << USAGE;
    return CANNOT_CHECK;
}

// A report that did not reach its reader (a full disk, a closed pipe) must
// not pass for a clean check.
int reportLost(std::ostream& err) {
    err << "dashvane-launcher-check: cannot write the report\n";
    return CANNOT_CHECK;
}

std::string joined(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir == ".") {
        return name;
    }
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

// The application directories of an installation: those under DIR/apps that
// hold a launcher copy or an ini file, in the order of their names.
bool applicationsOf(const std::string& installation, std::vector<std::string>& dirs,
                    std::string& problem) {
    const std::string apps = joined(installation, "apps");
    DIR* listing = opendir(apps.c_str());
    if (listing == nullptr) {
        problem = "cannot read the installation's applications \"" + ByteText::visible(apps) +
                  "\": " + std::strerror(errno);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string dir = joined(apps, name);
        struct stat status {};
        if (stat(dir.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            continue;
        }
        const CopySearch found = findLauncherCopies(dir);
        // One the user can search but not list is looked into by the usual
        // names, not passed over in silence.
        struct stat named {};
        const bool holdsIni =
            !found.copies.empty() || !found.iniFiles.empty() ||
            (!found.listed && (stat(joined(dir, "run").c_str(), &named) == 0 ||
                               stat(joined(dir, "run.ini").c_str(), &named) == 0));
        if (holdsIni) {
            dirs.push_back(dir);
        }
    }
    return true;
}

void listKinds(std::ostream& out) {
    for (const Kind& kind : catalogue()) {
        out << kind.name << " (" << severityName(kind.severity)
            << (kind.fixable ? ", mended by --fix" : "") << ")\n    " << kind.summary
            << "\n    advice: " << kind.advice << '\n';
    }
}

struct CommandLine {
    std::string name;  // empty: the copy found in each directory, else ./run
    std::string user;
    bool haveUser = false;
    std::vector<std::string> dirs;
    std::vector<std::string> installations;
    std::vector<std::string> arguments;
    ReportOptions report;
    bool json = false;
    bool explain = false;
    bool help = false;
    bool version = false;
    bool kinds = false;
    bool diff = false;
    bool fix = false;
    bool keepBackup = true;
};

// Returns an empty string, or the usage error.
std::string parse(int argc, const char* const* argv, CommandLine& line) {
    const auto value = [&](int& i, const std::string& arg, const char* option, std::string& into) {
        const std::string withEquals = std::string(option) + '=';
        if (arg == option) {
            if (i + 1 == argc) {
                return std::string(option) + " needs a value";
            }
            into = argv[++i];
        } else {
            into = arg.substr(withEquals.size());
        }
        return std::string();
    };
    const auto is = [](const std::string& arg, const char* option) {
        return arg == option ||
               arg.compare(0, std::strlen(option) + 1, std::string(option) + '=') == 0;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string problem;
        std::string text;
        if (arg == "--") {
            line.arguments.assign(argv + i + 1, argv + argc);
            break;
        } else if (arg == "--json") {
            line.json = true;
        } else if (arg == "--explain") {
            line.explain = true;
        } else if (arg == "--pretty") {
            line.report.pretty = true;
        } else if (arg == "--list-kinds") {
            line.kinds = true;
        } else if (arg == "--diff") {
            line.diff = true;
        } else if (arg == "--fix") {
            line.fix = true;
        } else if (arg == "--no-backup") {
            line.keepBackup = false;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (is(arg, "--name")) {
            problem = value(i, arg, "--name", line.name);
        } else if (is(arg, "--user")) {
            problem = value(i, arg, "--user", line.user);
            line.haveUser = true;
        } else if (is(arg, "--installation")) {
            problem = value(i, arg, "--installation", text);
            line.installations.push_back(text);
        } else if (is(arg, "--severity")) {
            problem = value(i, arg, "--severity", text);
            if (problem.empty() && !parseSeverity(text, line.report.threshold)) {
                problem = "--severity takes note, warning or error, not \"" +
                          ByteText::visible(text) + "\"";
            }
        } else if (is(arg, "--ignore")) {
            problem = value(i, arg, "--ignore", text);
            std::string::size_type start = 0;
            while (problem.empty() && start <= text.size()) {
                const std::string::size_type comma = std::min(text.find(',', start), text.size());
                const std::string kind = text.substr(start, comma - start);
                KindId id = KindId::Count;
                if (!findKind(kind, id)) {
                    problem = "--ignore: no kind \"" + ByteText::visible(kind) +
                              "\" (--list-kinds lists them)";
                }
                line.report.ignored.insert(id);
                start = comma + 1;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            problem = "unknown option " + ByteText::visible(arg);
        } else {
            line.dirs.push_back(arg);
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    if (line.diff && line.fix) {
        return "--diff and --fix exclude each other";
    }
    if (!line.keepBackup && !line.fix) {
        return "--no-backup goes with --fix";
    }
    return std::string();
}

// The physical directory, as the launcher started there sees it through getcwd.
bool physicalDirectory(const std::string& dir, std::string& physical, std::string& problem) {
    char* resolved = realpath(dir.c_str(), nullptr);
    if (resolved == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    physical = resolved;
    std::free(resolved);
    struct stat status {};
    if (stat(physical.c_str(), &status) != 0) {
        // Such as a path longer than the system takes.
        problem = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        problem = "not a directory";
        return false;
    }
    return true;
}

void checkOne(const CommandLine& line, const AccessJudge& access, const std::string& dir,
              Report& report, std::ostream& out, std::ostream& err) {
    CheckRequest request;
    request.access = access;
    std::string problem;
    if (!physicalDirectory(dir, request.workingDir, problem)) {
        report.sinkFor(dir);
        report.failed(dir, "cannot enter the application directory: " + problem);
        return;
    }
    // The copy in the directory names the ini file, as it will when started.
    request.copies = findLauncherCopies(request.workingDir);
    // Copies in a directory that cannot be listed are not known to be missing.
    request.searchCopies = request.copies.listed;
    request.invocationName = !line.name.empty() ? line.name
                             : request.copies.copies.size() == 1
                                 ? "./" + request.copies.copies[0].name
                                 : "./run";
    request.arguments = line.arguments;
    MendOptions mend;
    mend.diff = line.diff;
    mend.keepBackup = line.keepBackup;
    mend.listFixes = !line.json;
    const bool mended =
        !(line.diff || line.fix) ||
        mendIni(mend, ByteText::visible(shownPath(dir, request.workingDir, iniPathOf(request))),
                request, out, err);
    const CheckSink sink = report.sinkFor(dir);
    try {
        checkApplication(request, sink);
        if (!mended) {
            // Said on standard error already; the run must not pass.
            report.cannotComplete();
        }
    } catch (const std::bad_alloc&) {
        report.failed(dir, "out of memory");
    } catch (const std::exception& e) {
        report.failed(dir, e.what());
    }
}

}  // namespace

int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CommandLine line;
    const std::string problem = parse(argc, argv, line);
    if (!problem.empty()) {
        return usageError(err, problem);
    }
    if (line.help || line.version || line.kinds) {
        if (line.help) {
            out << USAGE << '\n' << HELP;
        } else if (line.version) {
            out << "dashvane-launcher-check " << DVL_VERSION << '\n';
        } else {
            listKinds(out);
        }
        out.flush();
        return out ? 0 : reportLost(err);
    }
    line.report.mode = line.json      ? OutputMode::Json
                       : line.explain ? OutputMode::Explain
                                      : OutputMode::Facts;
    line.report.explainJson = line.json && line.explain;

    AccessJudge access;
    if (line.haveUser) {
        UserIdentity identity;
        if (!lookUpUser(line.user, identity)) {
            return usageError(err, "unknown user " + ByteText::visible(line.user));
        }
        access = AccessJudge(identity);
    }

    std::vector<std::string> dirs = line.dirs;
    for (const std::string& installation : line.installations) {
        std::string why;
        if (!applicationsOf(installation, dirs, why)) {
            err << "dashvane-launcher-check: " << why << '\n';
            return CANNOT_CHECK;
        }
    }
    if (dirs.empty() && line.installations.empty()) {
        dirs.push_back(".");
    }

    try {
        // --diff prints the diffs alone; the exit status is still the check's.
        std::ostream nowhere(nullptr);
        Report report(line.diff ? nowhere : out, line.report);
        for (const std::string& dir : dirs) {
            checkOne(line, access, dir, report, out, err);
        }
        report.finish();
        out.flush();
        if (!out) {
            return reportLost(err);
        }
        return report.status();
    } catch (const std::exception& e) {
        // Even the report itself could not be written out, e.g. out of memory.
        err << "dashvane-launcher-check: cannot check: " << e.what() << '\n';
        return CANNOT_CHECK;
    }
}
