#include "cli/CheckCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Configuration.h"
#include "cli/MendOracle.h"
#include "cli/OptionTable.h"
#include "cli/ProbeAhead.h"
#include "cli/Targets.h"
#include "core/Check.h"
#include "core/LaunchParse.h"
#include "facts/LauncherCopies.h"
#include "facts/StartReading.h"
#include "facts/StartSearch.h"
#include "fix/Mend.h"
#include "model/Catalogue.h"
#include "report/Formats.h"
#include "report/KindList.h"
#include "report/Report.h"
#include "rules/StartRules.h"
#include "util/ByteText.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

int usageError(std::ostream& err, const std::string& problem) {
    err << "dashvane-launcher-check: " << problem << '\n' << USAGE;
    return STATUS_USAGE;
}

// A report that did not reach its reader (a full disk, a closed pipe) must
// not pass for a clean check.
int reportLost(std::ostream& err) {
    err << "dashvane-launcher-check: cannot write the report\n";
    return STATUS_INCOMPLETE;
}

// Colour as gcc decides it: asked for, or on a terminal that can show it,
// unless NO_COLOR is set to anything (no-color.org); --color=always wins.
bool colourFor(ColourChoice choice, const OutputTerminal& terminal) {
    switch (choice) {
        case ColourChoice::Always:
            return true;
        case ColourChoice::Never:
            return false;
        case ColourChoice::Auto:
            break;
    }
    const bool noColor = terminal.noColor != nullptr && terminal.noColor[0] != '\0';
    const bool dumb = terminal.term != nullptr && std::strcmp(terminal.term, "dumb") == 0;
    return terminal.isTerminal && !noColor && !dumb;
}

std::string currentDirectory() {
    char* dir = getcwd(nullptr, 0);
    if (dir == nullptr) {
        return std::string();
    }
    std::string path = dir;
    std::free(dir);
    return path;
}

// getcwd inside `dir`, after which this process returns where it was.
char* physicalFromInside(const std::string& dir) {
    const int home = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (home < 0 || chdir(dir.c_str()) != 0) {
        const int error = errno;
        if (home >= 0) {
            close(home);
        }
        errno = error;
        return nullptr;
    }
    char* inside = getcwd(nullptr, 0);
    const int error = errno;
    if (fchdir(home) != 0) {
        std::free(inside);
        inside = nullptr;
    }
    close(home);
    errno = error;
    return inside;
}

// The physical directory, as the launcher started there sees it through getcwd.
bool physicalDirectory(const std::string& dir, std::string& physical, std::string& problem) {
    char* resolved = realpath(dir.c_str(), nullptr);
    if (resolved == nullptr && errno == ENAMETOOLONG) {
        // Longer than realpath takes, yet getcwd in it answers, as it does
        // for the launcher started there.
        resolved = physicalFromInside(dir);
    }
    if (resolved == nullptr) {
        problem = std::strerror(errno);
        return false;
    }
    physical = resolved;
    std::free(resolved);
    struct stat status {};
    // As given, not as resolved: the user may be in a directory whose
    // ancestors they cannot search, and the physical path may be longer
    // than the system takes in one call.
    if (stat(dir.c_str(), &status) != 0) {
        problem = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        problem = "not a directory";
        return false;
    }
    return true;
}

struct RunPlan {
    const CommandLine& line;
    const Format& format;
    AccessJudge access;
    // Directories such as the installation's, read once for all its applications.
    std::shared_ptr<PathCache> paths = std::make_shared<PathCache>();
    // Every start of the applications checked, found once for the run.
    std::vector<StartFacts> starts;
    bool onTerminal = false;  // standard output is a terminal
    // The launcher's reading of a lone application's ini file, begun before
    // the start files are searched, and handed to its checks.
    std::shared_ptr<LaunchParse> firstParse = nullptr;
};

// The index of the launcher copies in the directories `targets` names.
void indexTargets(const std::vector<Target>& targets, CopyIndex& index) {
    for (const Target& target : targets) {
        std::string physical;
        std::string ignored;
        if (!physicalDirectory(target.dir, physical, ignored)) {
            continue;
        }
        std::vector<std::string> names;
        for (const LauncherCopy& copy : findLauncherCopies(physical).copies) {
            names.push_back(copy.name);
        }
        index.add(physical, names);
    }
}

// The files --start names, each read and its kind told; false with `problem`
// for one that cannot be read or whose kind cannot be told.
bool namedStartFiles(const CommandLine& line, const StartSearch& search,
                     std::vector<StartFile>& files, std::string& problem) {
    const StartKind* forced = line.haveStartKind ? &line.startKind : nullptr;
    for (const std::string& path : line.starts) {
        StartFile file;
        if (!startFileOf(path, search, forced, file, problem)) {
            return false;
        }
        files.push_back(file);
    }
    return true;
}

// The starts of the applications `targets` names, from the files --start
// names or else from the search; with --start alone, the applications are
// the ones its files start, added to `targets`. Returns false with `problem`
// for a --start file that cannot be read, or that starts no launcher copy:
// a file asked about must not pass for a sound one.
bool findStarts(RunPlan& plan, std::vector<Target>& targets, std::string& problem) {
    const CommandLine& line = plan.line;
    const StartSearch search = startSearch(line.root, line.haveUser ? line.user : std::string());
    std::vector<StartFile> files;
    if (!namedStartFiles(line, search, files, problem)) {
        return false;
    }
    if (line.starts.empty()) {
        files = findStartFiles(search);
    }
    const bool startsAlone = !line.starts.empty() && targets.empty();
    CopyIndex index(startsAlone);
    indexTargets(targets, index);
    ProgramSearch programs;
    const std::string home = homeOf(plan.access.user().name);
    for (const StartFile& file : files) {
        std::string why;
        const std::vector<StartFacts> found = startsIn(file, search, index, programs, home, &why);
        if (found.empty() && !line.starts.empty()) {
            problem = "the " + std::string(startKindName(file.kind)) + " \"" +
                      ByteText::visible(file.path) + "\" starts " +
                      (startsAlone ? "no launcher copy" : "none of the applications checked") +
                      (why.empty() ? std::string() : ": " + ByteText::visible(why));
            return false;
        }
        plan.starts.insert(plan.starts.end(), found.begin(), found.end());
    }
    if (startsAlone) {
        for (const std::string& dir : index.appDirs()) {
            targets.push_back(Target{dir, line.name});
        }
    }
    return true;
}

// The starts of the application in `physicalDir`, each checked as started,
// and the findings about their files.
void addStarts(const RunPlan& plan, CheckRequest& request) {
    Collector add([&request](const Finding& finding) { request.startFindings.push_back(finding); });
    for (const StartFacts& start : plan.starts) {
        if (start.appDir == request.workingDir) {
            startRules(start, add);
            request.starts.push_back(checkStart(start, request));
        }
    }
}

// --diff and --fix, then what --fix would do with the file as the check
// finds it, so that the check says why it leaves a mendable finding, and
// what the lines a mechanical mistake hides would meet once it is mended.
// Returns false when the file could not be mended, said on `err`.
bool planMends(const RunPlan& plan, const std::string& dir, CheckRequest& request,
               std::ostream& out, std::ostream& err) {
    const CommandLine& line = plan.line;
    const LaunchOracle errorsOf = launchOracle(request);
    if (!line.diff && !line.fix) {
        request.mends = outlookOf(plannedMend(request, errorsOf));
        request.latent = latentOf(request, errorsOf);
        return true;
    }
    MendOptions mend;
    mend.diff = line.diff;
    mend.readable = plan.onTerminal;
    mend.backup = line.backup;
    // A document must stay whole: the formats for programs do not say each mend.
    mend.listFixes = plan.format.listsMends;
    IniFixResult planned;
    const std::string path = iniPathOf(request);
    const bool mended = mendIni(mend, ByteText::visible(shownPath(dir, request.workingDir, path)),
                                path, errorsOf, out, err, &planned);
    // --diff leaves the file as planned; after --fix the check reads the
    // mended one, whose lines the plan may no longer match.
    const bool unchanged = line.diff || planned.fixes.empty();
    request.mends = outlookOf(unchanged ? planned : plannedMend(request, errorsOf));
    request.latent = latentOf(request, errorsOf);
    return mended;
}

// The request that checks `target` as the run asks; false with `problem`
// when its directory cannot be entered.
bool requestFor(const RunPlan& plan, const Target& target, CheckRequest& request,
                std::string& problem, bool withStarts = true) {
    const CommandLine& line = plan.line;
    request.access = plan.access;
    request.paths = plan.paths;
    if (!physicalDirectory(target.dir, request.workingDir, problem)) {
        return false;
    }
    // The copy in the directory names the ini file, as it will when started.
    request.copies = findLauncherCopies(reachablePath(request.workingDir, NAME_MAX + 1));
    // Copies in a directory that cannot be listed are not known to be missing.
    request.searchCopies = request.copies.listed;
    request.invocationName = !target.name.empty() ? target.name
                             : request.copies.copies.size() == 1
                                 ? "./" + request.copies.copies[0].name
                                 : "./run";
    request.arguments = line.arguments;
    request.vm = line.noVm ? CheckRequest::Vm::RulesOnly : CheckRequest::Vm::Ask;
    request.vmKept = !line.noCache;
    request.java = line.java;
    if (withStarts) {
        // Taken over by the first check that reads the same: a start's, or
        // else the application's own.
        request.parsedAhead = plan.firstParse;
        addStarts(plan, request);
    }
    return true;
}

void checkOne(const RunPlan& plan, const Target& target, Report& report, std::ostream& out,
              std::ostream& err) {
    const std::string& dir = target.dir;
    CheckRequest request;
    std::string problem;
    if (!requestFor(plan, target, request, problem)) {
        report.sinkFor(dir);
        report.failed(dir, "cannot enter the application directory: " + problem);
        return;
    }
    bool mended = true;
    try {
        mended = planMends(plan, dir, request, out, err);
    } catch (const std::bad_alloc&) {
        report.sinkFor(dir);
        report.failed(dir, "out of memory");
        return;
    } catch (const std::exception& e) {
        report.sinkFor(dir);
        report.failed(dir, e.what());
        return;
    }
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

int listKinds(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const std::string format = line.formatName();
    std::vector<KindId> pages;
    for (const std::string& name : line.paths) {
        KindId id{};
        if (!findKind(name, id)) {
            const std::string nearest = nearestKind(name);
            return usageError(err,
                              "--list-kinds: no kind \"" + ByteText::visible(name) + "\"" +
                                  (nearest.empty() ? "" : " (did you mean \"" + nearest + "\"?)"));
        }
        pages.push_back(id);
    }
    if (!pages.empty()) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            out << (i == 0 ? "" : "\n");
            kindPage(out, kindOf(pages[i]));
        }
    } else if (format == "json") {
        listKindsJson(out, line.pretty);
    } else if (format == "man") {
        listKindsMan(out);
    } else {
        listKindsText(out);
    }
    out.flush();
    return out ? STATUS_CLEAN : reportLost(err);
}

// The configuration's ignored kinds and severities added to the command
// line's: --config's file, or the one found for the first installation
// checked. Returns the mistake in the file, if any.
std::string configure(const CommandLine& line, const std::vector<Target>& targets,
                      ReportOptions& options) {
    if (line.noConfig) {
        return std::string();
    }
    const std::string installation = !line.installations.empty() ? line.installations.front()
                                     : !targets.empty()          ? targets.front().dir + "/../.."
                                                                 : std::string(".");
    const std::string path = !line.config.empty() ? line.config : findConfiguration(installation);
    Configuration config;
    std::string problem;
    if (path.empty() || readConfiguration(path, config, problem)) {
        // --ignore and each ini file's suppression line silence a kind
        // whatever severity the configuration gives it.
        options.ignored |= config.ignored;
        options.overridden = config.overridden;
        options.severities = config.severities;
    }
    return problem;
}

// The search for start files reads much of the system; a large ini file is
// read meanwhile. Not with --fix, which may rewrite it first, nor for several
// applications, whose VMs may be asked in forked processes, nor for a file
// small enough to mend, which the mend plan checks in full several times
// first, each with a reading of its own.
void beginFirstParse(RunPlan& plan, const std::vector<Target>& targets) {
    CheckRequest first;
    std::string problem;
    try {
        if (targets.size() == 1 && !plan.line.fix &&
            requestFor(plan, targets.front(), first, problem, false) &&
            mendSizeOf(first) == MendSize::TooLarge) {
            plan.firstParse = parseAhead(first);
        }
    } catch (...) {
        // Nothing begun: the check meets the same problem and reports it.
    }
}

// The applications the line names, those of its installations, else the
// current directory, with their starts found; false, with the exit status,
// when one cannot be had.
bool targetsOf(const CommandLine& line, RunPlan& plan, std::vector<Target>& targets,
               std::ostream& err, int& status) {
    std::string problem;
    for (const std::string& path : line.paths) {
        Target target;
        if (!targetOf(path, line.name, line.haveName, target, problem)) {
            status = usageError(err, problem);
            return false;
        }
        targets.push_back(target);
    }
    for (const std::string& installation : line.installations) {
        std::vector<std::string> dirs;
        if (!applicationsOf(installation, dirs, problem)) {
            err << "dashvane-launcher-check: " << problem << '\n';
            status = STATUS_INCOMPLETE;
            return false;
        }
        for (const std::string& dir : dirs) {
            targets.push_back(Target{dir, line.name});
        }
    }
    if (targets.empty() && line.installations.empty() && line.starts.empty()) {
        problem = installationProblem(".");
        if (!problem.empty()) {
            status = usageError(err, problem);
            return false;
        }
        targets.push_back(Target{".", line.name});
    }
    beginFirstParse(plan, targets);
    if (!findStarts(plan, targets, problem)) {
        err << "dashvane-launcher-check: " << problem << '\n';
        status = STATUS_INCOMPLETE;
        return false;
    }
    if (targets.empty() && line.installations.empty()) {
        err << "dashvane-launcher-check: the start files start no launcher copy\n";
    }
    return true;
}

// Checks every target into one report; the exit status.
int checkTargets(const RunPlan& plan, const std::vector<Target>& targets, std::ostream& out,
                 std::ostream& err, const OutputTerminal& terminal) {
    const CommandLine& line = plan.line;
    const Format& format = plan.format;
    ReportOptions reportOptions;
    reportOptions.threshold = line.threshold;
    reportOptions.ignored = line.ignored;
    const std::string problem = configure(line, targets, reportOptions);
    if (!problem.empty()) {
        err << "dashvane-launcher-check: " << problem << '\n';
        return STATUS_USAGE;
    }
    FormatOptions formatOptions;
    formatOptions.explain = line.explain;
    formatOptions.pretty = line.pretty;
    formatOptions.quiet = line.quiet;
    formatOptions.colour = format.forPeople && colourFor(line.colour, terminal);
    formatOptions.checkerDir = currentDirectory();
    try {
        // --diff prints the diffs alone; the exit status is still the check's.
        std::ostream nowhere(nullptr);
        // Mends change what the VM is asked, so only a plain check asks ahead.
        const bool ahead = !line.noVm && !line.fix && !line.diff;
        const ProbeAhead probes(ahead ? targets.size() : 0, !line.noCache,
                                [&plan, &targets](std::size_t i) {
                                    CheckRequest request;
                                    std::string problem;
                                    // The starts are checked without the VM.
                                    if (requestFor(plan, targets[i], request, problem, false)) {
                                        checkApplication(request, CheckSink());
                                    }
                                });
        Report report(reportOptions, line.explain ? format.explained : format.make,
                      line.diff ? nowhere : out, formatOptions);
        for (const Target& target : targets) {
            checkOne(plan, target, report, out, err);
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
        return STATUS_INCOMPLETE;
    }
}

}  // namespace

int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                    const OutputTerminal& terminal) {
    CommandLine line;
    std::string problem = parseCommandLine(argc, argv, line);
    if (!problem.empty()) {
        return usageError(err, problem);
    }
    // --help and --version answer whatever else the line says.
    if (line.help || line.version) {
        if (line.help) {
            writeHelp(out);
        } else {
            out << "dashvane-launcher-check " << DVL_VERSION << '\n';
        }
        out.flush();
        return out ? STATUS_CLEAN : reportLost(err);
    }
    problem = combinationProblem(line);
    if (!problem.empty()) {
        return usageError(err, problem);
    }
    if (line.kinds) {
        return listKinds(line, out, err);
    }
    const Format& format = *findFormat(line.formatName());

    RunPlan plan{line, format, AccessJudge(), std::make_shared<PathCache>(), {}};
    plan.onTerminal = terminal.isTerminal;
    if (line.haveUser) {
        UserIdentity identity;
        if (!lookUpUser(line.user, identity)) {
            return usageError(err, "unknown user " + ByteText::visible(line.user));
        }
        plan.access = AccessJudge(identity);
    }

    std::vector<Target> targets;
    int status = STATUS_CLEAN;
    if (!targetsOf(line, plan, targets, err, status)) {
        return status;
    }
    return checkTargets(plan, targets, out, err, terminal);
}
