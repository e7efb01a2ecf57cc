#include "Check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>

#include <boost/filesystem/path.hpp>

#include "AccessRules.h"
#include "CopyRules.h"
#include "ElfRules.h"
#include "ExecutableInspection.h"
#include "ExecutableRules.h"
#include "IniFileRules.h"
#include "IniLines.h"
#include "Kernel.h"
#include "LaunchPaths.h"
#include "LaunchRules.h"
#include "LineRules.h"
#include "MendPlan.h"
#include "Options.h"
#include "Platform.h"
#include "ProgramOptions.h"
#include "PropertyPath.h"
#include "StackRules.h"
#include "SuppressionRules.h"
#include "VmProbe.h"
#include "VmRules.h"
#include "WriterRules.h"

extern char** environ;

namespace {

// Where the element after "--launcher.appendVmargs" and "-vmargs" stands.
constexpr std::size_t FIRST_INI_ARGUMENT = 3;

// The kernel's own figures for execve: the stack limit it assumes when there
// is none, and the floor of the argument space.
constexpr std::uint64_t KERNEL_STACK_LIMIT = std::uint64_t{8} * 1024 * 1024;
constexpr std::uint64_t KERNEL_ARG_MAX = 131072;

std::string absoluteFrom(const std::string& base, std::string path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    // "./run.ini" is "run.ini" in the base: said shorter, the same file.
    while (path.compare(0, 2, "./") == 0) {
        path.erase(0, 2);
    }
    if (path.empty()) {
        return base;
    }
    return base + (!base.empty() && base.back() == '/' ? "" : "/") + path;
}

// The room execve gives the strings and their pointers: a quarter of the
// stack limit, at most three quarters of the kernel's default stack, and
// never less than 128 KiB.
std::size_t argumentLimit() {
    std::uint64_t limit = KERNEL_STACK_LIMIT / 4 * 3;
    rlimit64 stack{};
    if (getrlimit64(RLIMIT_STACK, &stack) == 0 && stack.rlim_cur != RLIM64_INFINITY) {
        limit = std::min<std::uint64_t>(limit, stack.rlim_cur / 4);
    }
    return static_cast<std::size_t>(std::max(limit, KERNEL_ARG_MAX));
}

std::size_t environmentCount() {
    std::size_t count = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        ++count;
    }
    return count;
}

std::size_t environmentBytes(std::size_t pointer) {
    std::size_t bytes = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bytes += std::strlen(*entry) + 1 + pointer;
    }
    return bytes;
}

std::size_t vectorBytes(const LaunchVector& argv, std::size_t pointer) {
    // The kernel copies the path it executes as well as every argument.
    std::size_t bytes = std::strlen(argv.command.c_str()) + 1;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        bytes += std::strlen((i == 0 ? argv.command : argv.rest[i - 1]).c_str()) + 1 + pointer;
    }
    return bytes;
}

// The null device (character device 1:3 on Linux): opened, it ends at once,
// so the launcher reads it as an empty file and starts with the default vector.
bool readsEmpty(const struct stat& status) {
    return S_ISCHR(status.st_mode) && major(status.st_rdev) == 1 && minor(status.st_rdev) == 3;
}

// Looks at the ini file without reading it, unless opening it could block
// or never end: a named pipe waits for a writer, a device may never stop.
// Returns the path the launch options are to read, empty for such a file.
// A file the user cannot open the launcher reads as empty, and so does the check.
std::string examineIni(Facts& findings, const AccessJudge& access) {
    const std::string reach = reachablePath(findings.iniPath);
    struct stat status {};
    const bool exists = stat(reach.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        findings.iniState = IniState::Directory;
        return findings.iniPath;
    }
    if (exists && !S_ISREG(status.st_mode)) {
        findings.iniState = IniState::NotRegular;
        findings.iniReadsEmpty = readsEmpty(status);
        return std::string();
    }
    // Opened as the launcher opens it: a relative name from the working
    // directory, whose ancestors the user need not be able to search.
    findings.iniAccess =
        access.judge({AccessProbe{AccessOperation::Read, findings.iniFile, findings.workingDir}})
            .front();
    if (!findings.iniAccess.granted()) {
        findings.iniState = findings.iniAccess.cause == AccessCause::NotFound
                                ? IniState::Missing
                                : IniState::Unreadable;
        return std::string();
    }
    if (::access(reach.c_str(), R_OK) != 0) {
        // Readable for the user judged, but not for the check itself.
        findings.iniState = IniState::Unreadable;
        return std::string();
    }
    findings.iniState = IniState::Read;
    const IniText::TextForm form = IniText::detectFile(findings.readPath);
    findings.encoding = form.encoding;
    findings.byteOrderMark = form.markSize != 0;
    return findings.readPath;
}

std::string ownerOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::string();
    }
    return userName(status.st_uid);
}

// Whom permissions are judged for, and how, in words for the report.
void describeJudge(Facts& findings, const AccessJudge& access) {
    const UserIdentity& user = access.user();
    findings.accessUser = user.name;
    const std::string who = user.name + " (uid " + std::to_string(user.uid) + ")";
    if (!access.named() && user.uid == 0) {
        findings.judgedAsRoot = true;
        findings.appDirOwner = ownerOf(reachablePath(findings.workingDir, 1));
        findings.accessMethod =
            "judged for root, who bypasses them; the application directory belongs to " +
            (findings.appDirOwner.empty() ? std::string("no one known") : findings.appDirOwner);
        return;
    }
    switch (access.method()) {
        case JudgeMethod::Self:
            findings.accessMethod = "judged for " + who + ", who runs the check";
            break;
        case JudgeMethod::Switched:
            findings.accessMethod = "judged for " + who + " by a process running as that user";
            break;
        case JudgeMethod::Computed:
            findings.accessMethod =
                "computed for " + who +
                " from owners, permission bits and ACLs, not asked of the kernel: run the check "
                "as root to judge them as that user";
            break;
    }
}

// Where the kernel finds a script's interpreter: a relative one in the
// start directory, where the child runs execv.
std::string interpreterPath(const Facts& findings) {
    const std::string& interpreter = findings.executableInfo.interpreter;
    return interpreter.empty() || interpreter[0] == '/'
               ? interpreter
               : findings.startDirResolved + "/" + interpreter;
}

// The child changes into the start directory, then runs execv there: both
// judged as the user, in one go.
void describeStart(Facts& findings, const AccessJudge& access) {
    findings.startDirResolved = absoluteFrom(findings.workingDir, findings.startDir);
    const std::string& command = findings.executable;
    const std::string executable =
        command.empty() ? command : absoluteFrom(findings.startDirResolved, command);
    findings.executableInfo =
        inspectExecutable(reachablePath(executable), findings.startDirResolved, access);
    ExecutableInfo& info = findings.executableInfo;
    info.resolved = executable;
    const bool script = info.kind == FileKind::Script && !interpreterPath(findings).empty();
    // Each path as the child names it: the start directory from the working
    // directory, a relative command from the start directory it is then in.
    std::vector<AccessProbe> probes = {
        {AccessOperation::Enter, findings.startDir, findings.workingDir}};
    if (!command.empty()) {
        probes.push_back({AccessOperation::Execute, command, findings.startDirResolved});
    }
    if (script) {
        probes.push_back({AccessOperation::Execute, interpreterPath(findings)});
        // The interpreter opens the last script of a chain, and an interpreter
        // that is a script hands the scripts before it on to be read in turn;
        // a relative one is named from the start directory.
        probes.push_back({AccessOperation::Read, command, findings.startDirResolved});
        for (const std::string& chained : info.chainScripts) {
            probes.push_back({AccessOperation::Read, chained});
        }
    }
    // The user starts a launcher copy from the application directory, before
    // anything else happens.
    const std::size_t firstCopy = probes.size();
    for (const LauncherCopy& copy : findings.copies.copies) {
        probes.push_back({AccessOperation::Execute, "./" + copy.name, findings.workingDir});
    }
    const std::vector<AccessVerdict> verdicts = access.judge(probes);
    for (std::size_t i = 0; i < findings.copies.copies.size(); ++i) {
        findings.copyAccess.push_back(verdicts[firstCopy + i]);
        findings.copies.copies[i].executable = verdicts[firstCopy + i].granted();
    }
    findings.startDirAccess = verdicts[0];
    findings.startDirUsable = verdicts[0].granted();
    if (probes.size() > 1) {
        findings.executableAccess = verdicts[1];
        info.executable = verdicts[1].granted();
    }
    if (script) {
        findings.interpreterAccess = verdicts[2];
        info.interpreterUsable = info.interpreterUsable && verdicts[2].granted();
        // The first script of the chain the user cannot read.
        findings.scriptAccess = verdicts[3];
        for (std::size_t i = 4; i < firstCopy && findings.scriptAccess.granted(); ++i) {
            findings.scriptAccess = verdicts[i];
        }
    }
}

// The text a mend would write, where the launcher's own reader can open it:
// a file in memory, or else an unlinked temporary one.
class ScratchIni {
public:
    explicit ScratchIni(const std::string& text) {
        descriptor = memfd_create("dashvane-launcher-check", MFD_CLOEXEC);
        std::string candidate = "/proc/self/fd/" + std::to_string(descriptor);
        if (descriptor >= 0 && !writeAll(text) && ::access(candidate.c_str(), R_OK) == 0) {
            path = candidate;
            return;
        }
        close();
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                           "/dashvane-launcher-check-XXXXXX";
        descriptor = mkostemp(&name[0], O_CLOEXEC);
        if (descriptor < 0 || writeAll(text)) {
            throw std::runtime_error("cannot judge the mended ini file: no scratch file: " +
                                     std::string(std::strerror(errno)));
        }
        path = name;
        unlinkAtEnd = true;
    }
    ~ScratchIni() {
        if (unlinkAtEnd) {
            unlink(path.c_str());
        }
        close();
    }
    ScratchIni(const ScratchIni&) = delete;
    ScratchIni& operator=(const ScratchIni&) = delete;

    std::string path;

private:
    // Returns true on failure.
    bool writeAll(const std::string& text) {
        for (std::size_t done = 0; done < text.size();) {
            const ssize_t written = write(descriptor, text.data() + done, text.size() - done);
            if (written < 0) {
                return true;
            }
            done += static_cast<std::size_t>(written);
        }
        return false;
    }
    void close() {
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        descriptor = -1;
    }
    int descriptor = -1;
    bool unlinkAtEnd = false;
};

// Files up to this size are mended in memory when the check plans what
// --fix would do, which costs some times the file's size; a larger one, far
// beyond any ini file written by hand, is planned only when --fix or --diff
// asks, so the check's memory stays bounded.
constexpr off_t MOST_PLANNED = 1024 * 1024;

// What --fix would do with the file, to say why it would leave a mendable
// finding; nothing for a file too large or not read.
IniFixResult plannedMend(const CheckRequest& request, const Facts& facts) {
    struct stat status {};
    if (!request.planMends || facts.iniState != IniState::Read ||
        stat(facts.readPath.c_str(), &status) != 0 || status.st_size > MOST_PLANNED) {
        return IniFixResult();
    }
    std::ifstream in(facts.readPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CheckRequest inner = request;
    inner.planMends = false;
    inner.vm = CheckRequest::Vm::Off;
    IniFixResult plan = planMend(inner, text);
    plan.bytes.clear();
    return plan;
}

// Lines the launcher passes on that the Java VM then refuses: with a VM
// known, they fail the launch.
bool refusedByVm(KindId kind) {
    return kind == KindId::CommentInVmSection || kind == KindId::VmargsInVmSection ||
           kind == KindId::LauncherInVmSection;
}

// Why --fix leaves the finding, or "" when it mends it or it is no mendable kind.
std::string leftBecause(const IniFixResult& plan, const Finding& finding) {
    if (!kindOf(finding.kind).fixable) {
        return std::string();
    }
    for (const AppliedFix& fix : plan.fixes) {
        if (fix.kind == finding.kind && fix.line == finding.line) {
            return std::string();
        }
    }
    for (const RefusedFix& refused : plan.refused) {
        if ((refused.kind == finding.kind && refused.line == finding.line) ||
            refused.kind == KindId::Count) {
            return refused.reason;
        }
    }
    return std::string();
}

// The VM the executable finds, and what it is handed: the installation ini's
// VM section first, as --launcher.appendVmargs puts ours after it, then
// everything of ours after -vmargs.
void describeVm(Facts& findings, const CheckRequest& request, const LaunchVector& argv) {
    VmFacts& vm = findings.vm;
    vm.judged = true;
    vm.mayStart = request.vm == CheckRequest::Vm::Ask;
    vm.kernelBits = static_cast<int>(kernelPointerSize() * 8);
    vm.environment = vmEnvironment();
    // The VM itself was found before the lines were judged.
    for (const auto& line : readInstallationIni(vm.installationIni).vmArgs) {
        VmArgument argument;
        argument.text = line.second;
        argument.iniLine = line.first;
        argument.origin = VmOrigin::InstallationIni;
        vm.arguments.push_back(argument);
    }
    const std::size_t firstOwn = argv.size() - request.arguments.size();
    for (std::size_t i = FIRST_INI_ARGUMENT; i < argv.size(); ++i) {
        VmArgument argument;
        argument.text = argv.at(i);
        argument.argument = i;
        if (i == findings.defaultNameArgument) {
            argument.origin = VmOrigin::DefaultName;
        } else if (i >= firstOwn) {
            argument.origin = VmOrigin::CommandLine;
            argument.commandLine = i - firstOwn + 1;
        } else {
            argument.line = argv.lineOf(i);
        }
        vm.arguments.push_back(argument);
    }
    judgeVmFiles(vm, findings.startDirResolved, request.access);
    if (vm.mayStart && !vm.path.empty()) {
        vm.info = probeVm(vm.path, request.access);
        const std::vector<std::string> sizes = sizesToAsk(vm);
        if (!sizes.empty() && vm.info.problem.empty()) {
            vm.sizes = probeSizes(vm.path, sizes, request.access);
        }
    }
}

// An error that only a start meets (another user, another directory) fails
// that launch: it counts, at the start file's line, unless a finding about
// that file already says why. Those the application meets anyway stay once.
void startOnlyErrors(const Facts& findings, const CheckRequest& request,
                     const std::vector<std::pair<KindId, std::string>>& emitted, Collector& add) {
    for (const StartCheck& start : findings.starts) {
        const bool explained = std::any_of(
            request.startFindings.begin(), request.startFindings.end(), [&](const Finding& f) {
                return f.file == start.start.file && f.line == start.start.line &&
                       kindOf(f.kind).severity == Severity::Error;
            });
        if (explained) {
            continue;
        }
        for (const Finding& finding : start.findings) {
            const bool error =
                finding.escalated || kindOf(finding.kind).severity == Severity::Error;
            const std::pair<KindId, std::string> key(finding.kind, finding.message);
            if (!error || std::find(emitted.begin(), emitted.end(), key) != emitted.end()) {
                continue;
            }
            add(start.start.line, finding.kind, "as started by this file: " + finding.message,
                start.start.file);
        }
    }
}

}  // namespace

std::string iniPathOf(const CheckRequest& request) {
    const Platform platform(request.invocationName.c_str());
    return absoluteFrom(request.workingDir, platform.GetINIFile());
}

void checkApplication(const CheckRequest& request, const CheckSink& sink) {
    Facts findings;
    findings.workingDir = request.workingDir;
    findings.starts = request.starts;
    findings.invocationName = request.invocationName;
    findings.arguments = request.arguments;
    findings.copiesSearched = request.searchCopies;
    findings.copies = request.copies;
    const Platform platform(findings.invocationName.c_str());
    findings.iniFile = platform.GetINIFile();
    findings.iniPath = iniPathOf(request);
    if (findings.copiesSearched && findings.copies.copies.empty()) {
        // The launcher started may be a link to one that is gone.
        findings.danglingCopyTarget =
            danglingLinkTarget(findings.iniPath.substr(0, findings.iniPath.size() - 4));
    }
    std::unique_ptr<ScratchIni> scratch;
    if (request.iniText != nullptr) {
        scratch = std::make_unique<ScratchIni>(*request.iniText);
    }
    findings.readPath = scratch ? scratch->path : reachablePath(findings.iniPath);
    describeJudge(findings, request.access);
    const std::string optionsIni = examineIni(findings, request.access);
    const boost::filesystem::path workingPath(findings.workingDir);
    findings.applicationName = workingPath.filename().native();
    const boost::filesystem::path eclipseDir = workingPath.parent_path().parent_path() / "eclipse";
    findings.startDir = eclipseDir.native();
    IniShape shape;
    if (findings.iniState == IniState::Read) {
        IniFormat::Reader in(findings.readPath);
        shape = shapeOf(in);
    }
    findings.silenced = shape.suppressed;
    if (sink.begin) {
        sink.begin(findings);
    }

    // The checks that plan the mend read the same directories as this one.
    CheckRequest withPaths = request;
    if (!withPaths.paths) {
        withPaths.paths = std::make_shared<PathCache>();
    }
    PathCache& paths = *withPaths.paths;
    const IniFixResult plan = plannedMend(withPaths, findings);
    bool vmKnown = false;  // once the VM the executable starts is found
    std::vector<std::pair<KindId, std::string>> emitted;
    const auto emit = [&sink, &findings, &shape, &plan, &vmKnown,
                       &emitted](const Finding& finding) {
        emitted.emplace_back(finding.kind, finding.message);
        if (!sink.finding || std::find(shape.suppressed.begin(), shape.suppressed.end(),
                                       finding.kind) != shape.suppressed.end()) {
            return;
        }
        Finding shown = finding;
        if (vmKnown && refusedByVm(finding.kind)) {
            shown.escalated = true;
            shown.message += "; the Java VM refuses it, so the application does not start";
        }
        const std::string reason = leftBecause(plan, finding);
        if (!reason.empty()) {
            shown.message += "; --fix leaves it: " + reason;
        }
        sink.finding(findings, shown);
    };
    Collector add(emit);
    judgeWarnings(findings, add);
    iniFileWarnings(findings, add);
    suppressionWarnings(shape, add);
    for (const Finding& start : request.startFindings) {
        emit(start);
    }

    // Built as the launcher builds it, so the vector is the launcher's own.
    const ProgramOptions options(optionsIni, platform.GetDashvaneExecutableName(), workingPath,
                                 eclipseDir, platform.NeedQuotes(), request.arguments);
    const std::vector<std::string>& vmArgs = options.GetVMArgs();
    findings.executable = options.GetLauncher();
    // The default name stands last before the command-line arguments; the
    // lines are judged knowing whether another line named the application.
    const std::size_t ownEnd = vmArgs.size() - std::min(vmArgs.size(), request.arguments.size());
    findings.defaultNameAdded =
        ownEnd > 2 && vmArgs[ownEnd - 1] == Options::WebApp + '=' + findings.applicationName;

    // In another encoding every line is a consequence of that one mistake.
    const bool judgeLines = findings.encoding == Encoding::Bytes;
    std::vector<std::uint32_t> iniLines;
    bool nameGiven = false;
    const auto readLines = [&](bool judge, bool show) {
        IniFormat::Reader in(findings.iniState == IniState::Read ? findings.readPath
                                                                 : std::string());
        IniClassifier classifier(FIRST_INI_ARGUMENT);
        IniLine line;
        IniFormat::Chars raw;
        while (in.readLine(raw)) {
            classifier.next(raw, line);
            if (line.argument != 0 && line.argument - 1 < vmArgs.size()) {
                line.element = vmArgs[line.argument - 1];
            }
            // The file a path property names, looked at once, as the line is judged.
            if (judge && judgeLines &&
                (line.effect == LineEffect::PathMadeAbsolute ||
                 line.effect == LineEffect::PathAbsolute)) {
                line.pathState = pathStateOf(propertyPath(line.element));
            }
            if (show && sink.line) {
                sink.line(findings, line);
            }
            if (!judge) {
                continue;
            }
            if (line.argument != 0) {
                iniLines.push_back(static_cast<std::uint32_t>(line.number));
            }
            nameGiven = nameGiven || line.effect == LineEffect::NameSuppressed;
            if (line.effect == LineEffect::LauncherTaken) {
                findings.launcherLine = line.number;
            }
            if (judgeLines) {
                lineWarnings(findings, shape, line, add);
            }
        }
    };
    if (request.vm != CheckRequest::Vm::Off) {
        // Known before the lines are judged: what the VM refuses fails the launch.
        const std::string startDir = absoluteFrom(findings.workingDir, findings.startDir);
        const std::string& command = findings.executable;
        findJavaVm(findings.vm, request.java,
                   command.empty() ? command : absoluteFrom(startDir, command), startDir,
                   request.access);
        vmKnown = !findings.vm.path.empty();
    }
    readLines(true, !sink.linesAfterFindings);

    // The launcher read the same lines: anything else means the file changed
    // under the check or memory ran out while the launcher's options were built.
    const std::size_t expected =
        2 + iniLines.size() + (nameGiven ? 0 : 1) + request.arguments.size();
    if (vmArgs.size() != expected) {
        throw std::runtime_error("the ini file could not be read whole: " + findings.iniPath);
    }
    if (!nameGiven) {
        findings.defaultNameArgument = FIRST_INI_ARGUMENT + iniLines.size();
    }

    const LaunchVector argv{findings.executable, vmArgs, iniLines, findings.launcherLine};
    const std::size_t pointer = kernelPointerSize();
    findings.argumentBytes = vectorBytes(argv, pointer);
    findings.environmentBytes = environmentBytes(pointer);
    findings.argumentLimit = argumentLimit();
    findings.stack = stackRoom();
    describeStart(findings, request.access);
    // For a script the kernel copies its interpreter's name and argument too,
    // within the same limit.
    findings.argumentBytes += findings.executableInfo.scriptBytes;
    // The kernel drops argv[0] for a script, gives the path executed in its
    // place, and puts the interpreter and its one argument before it.
    const std::size_t environment = environmentCount();
    findings.stackPointers = argv.size() + environment + findings.executableInfo.scriptPointers;
    findings.stackStrings =
        findings.argumentBytes + findings.environmentBytes - (argv.size() + environment) * pointer;

    duplicateWarnings(argv, add);
    sizeWarnings(findings, argv, add);
    stackWarnings(findings, add);
    executableWarnings(findings, add);
    elfWarnings(findings, add);
    copyWarnings(findings, add);
    // Once per application, never per line: the walk is over the paths the
    // launch uses, not over what the ini file holds.
    UserIdentity changer = request.access.user();
    struct stat appDir {};
    if (findings.judgedAsRoot &&
        stat(reachablePath(findings.workingDir, 1).c_str(), &appDir) == 0) {
        // No user named: the application directory's owner stands for them,
        // as the note about root says.
        changer = paths.identityOf(appDir.st_uid);
    }
    findings.changer = changer.name;
    findings.judgedPaths = judgeWriters(launchPaths(findings, argv), changer, paths);
    writerWarnings(findings, add);
    if (request.vm != CheckRequest::Vm::Off) {
        describeVm(findings, request, argv);
        vmSourceRules(findings.vm, add);
        if (!findings.vm.path.empty()) {
            vmArgumentRules(findings.vm, add);
            vmSizeRules(findings.vm, add);
        }
    }
    startOnlyErrors(findings, request, emitted, add);
    if (sink.linesAfterFindings && sink.line) {
        readLines(false, true);
    }
    if (sink.end) {
        sink.end(findings, argv);
    }
}

StartCheck checkStart(const StartFacts& start, const CheckRequest& base) {
    StartCheck result;
    result.start = start;
    char* real = start.workingDir.empty() ? nullptr : realpath(start.workingDir.c_str(), nullptr);
    if (real == nullptr) {
        result.problem = start.workingDir.empty()
                             ? "the directory it starts in is not known"
                             : "the directory it starts in, \"" + start.workingDir +
                                   "\", cannot be entered: " + std::strerror(errno);
        return result;
    }
    CheckRequest request;
    request.workingDir = real;
    std::free(real);
    request.invocationName = start.invocationName;
    request.arguments = start.arguments;
    request.access = base.access;
    UserIdentity identity;
    // Permissions as the user the start file starts it as.
    if (!start.user.empty() && start.user != base.access.user().name &&
        lookUpUser(start.user, identity)) {
        request.access = AccessJudge(identity);
    }
    request.paths = base.paths;
    request.planMends = false;
    CheckSink sink;
    sink.finding = [&result](const Facts& facts, const Finding& finding) {
        result.findings.push_back(finding);
        if (finding.file.empty()) {
            result.findings.back().file = facts.iniPath;
        }
    };
    sink.end = [&result](const Facts&, const LaunchVector& argv) {
        for (std::size_t i = 0; i < argv.size(); ++i) {
            result.vector.push_back(argv.at(i));
        }
    };
    try {
        checkApplication(request, sink);
        result.checked = true;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        result.problem = e.what();
    }
    return result;
}

Facts inspectApplication(const std::string& workingDir, const std::string& invocationName,
                         const CopySearch* copies) {
    Facts whole;
    CheckSink sink;
    sink.line = [&whole](const Facts&, const IniLine& line) { whole.lines.push_back(line); };
    sink.finding = [&whole](const Facts&, const Finding& warning) {
        whole.found.push_back(warning);
    };
    sink.end = [&whole](const Facts& findings, const LaunchVector& argv) {
        std::vector<IniLine> lines = std::move(whole.lines);
        std::vector<Finding> warnings = std::move(whole.found);
        whole = findings;
        whole.lines = std::move(lines);
        whole.found = std::move(warnings);
        for (std::size_t i = 0; i < argv.size(); ++i) {
            whole.argv.push_back(argv.at(i));
        }
    };
    CheckRequest request;
    request.workingDir = workingDir;
    request.invocationName = invocationName;
    if (copies != nullptr) {
        request.searchCopies = true;
        request.copies = *copies;
    }
    checkApplication(request, sink);
    return whole;
}
