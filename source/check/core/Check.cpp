#include "core/Check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>

#include <boost/filesystem/path.hpp>

#include "core/LaunchParse.h"
#include "core/LinesAhead.h"
#include "facts/ArgumentSizes.h"
#include "facts/IniExamination.h"
#include "facts/IniLines.h"
#include "facts/PropertyPath.h"
#include "facts/StartExamination.h"
#include "facts/VmGathering.h"
#include "facts/VmProbe.h"
#include "launcher/Platform.h"
#include "launcher/ProgramOptions.h"
#include "rules/Registry.h"
#include "rules/VmRules.h"

namespace {

// Where the element after "--launcher.appendVmargs" and "-vmargs" stands.
constexpr std::size_t FIRST_INI_ARGUMENT = 3;

// The longest line the check's own reading may hold beside the launcher's
// parse. It takes a buffer of up to twice as much, and the shape of the head
// copies a line or two of it: 40 MiB at the most, within the 64 MiB the
// check may take over the launcher's own memory.
constexpr std::uintmax_t LONGEST_BESIDE_LAUNCH = std::uintmax_t{8} << 20;

// From this many elements on, the vector's own rules go on beside the other
// launch rules: over a long VM section they cost about as much.
constexpr std::size_t WORTH_JUDGING_BESIDE = std::size_t{1} << 14;

// The longest line the lines' judgement on another thread may meet: its
// findings quote their line, and wait to be taken while the launch's rules
// copy elements of their own.
constexpr std::size_t LONGEST_JUDGED_BESIDE = std::size_t{64} << 10;

// The lines as read again are not those the launcher read: the file changed
// under the check, or memory ran out while the launcher's options were built.
std::runtime_error notReadWhole(const std::string& iniPath) {
    return std::runtime_error("the ini file could not be read whole: " + iniPath);
}

// The findings of the vector's own rules, in their order: judged on another
// thread where the vector is long and there is a second processor, else
// when they are asked for.
std::future<std::vector<Finding>> vectorFindings(const LaunchVector& argv) {
    const auto judge = [&argv] {
        std::vector<Finding> found;
        Collector add([&found](const Finding& finding) { found.push_back(finding); });
        vectorRules(argv, add);
        return found;
    };
    if (argv.size() >= WORTH_JUDGING_BESIDE && std::thread::hardware_concurrency() > 1) {
        try {
            return std::async(std::launch::async, judge);
        } catch (...) {
            // No thread to be had (a process limit, no memory for its stack):
            // judged here instead.
        }
    }
    return std::async(std::launch::deferred, judge);
}

// What is known before a line is read: the paths, the ini file's state and
// encoding, whose permissions. Returns the path the launch options read.
std::string headFacts(const CheckRequest& request, Facts& facts) {
    facts.workingDir = request.workingDir;
    facts.starts = request.starts;
    facts.invocationName = request.invocationName;
    facts.arguments = request.arguments;
    facts.copiesSearched = request.searchCopies;
    facts.copies = request.copies;
    facts.iniFile = Platform(facts.invocationName.c_str()).GetINIFile();
    facts.iniPath = iniPathOf(request);
    if (facts.copiesSearched && facts.copies.copies.empty()) {
        // The launcher started may be a link to one that is gone.
        facts.danglingCopyTarget =
            danglingLinkTarget(facts.iniPath.substr(0, facts.iniPath.size() - 4));
    }
    facts.readPath =
        request.iniReadPath.empty() ? reachablePath(facts.iniPath) : request.iniReadPath;
    describeJudge(facts, request.access);
    const std::string optionsIni = examineIni(facts, request.access);
    const boost::filesystem::path workingPath(facts.workingDir);
    facts.applicationName = workingPath.filename().native();
    facts.startDir = (workingPath.parent_path().parent_path() / "eclipse").native();
    return optionsIni;
}

// The launcher's options are built as the launcher builds them, so that the
// vector is the launcher's own.
LaunchParse::Inputs launchInputs(const CheckRequest& request, const Facts& facts,
                                 const std::string& optionsIni) {
    const Platform platform(facts.invocationName.c_str());
    return LaunchParse::Inputs{optionsIni,
                               platform.GetDashvaneExecutableName(),
                               boost::filesystem::path(facts.workingDir),
                               boost::filesystem::path(facts.startDir),
                               platform.NeedQuotes(),
                               request.arguments};
}

// The parse begun ahead where it reads what this launch reads, else one
// begun now.
std::shared_ptr<LaunchParse> launchFor(const CheckRequest& request, LaunchParse::Inputs inputs) {
    if (request.parsedAhead && request.parsedAhead->handOver(inputs)) {
        return request.parsedAhead;
    }
    return std::make_shared<LaunchParse>(std::move(inputs));
}

// Whether other threads may run while the facts are gathered. The facts
// start programs (the loader, the VM) as the judged user, and may judge
// permissions in a child that becomes that user. As the check's own user,
// each shares the check's memory until it executes (vfork), and other
// threads may go on beside them. Else a child may be forked, which copies
// only the thread that forks, with whatever locks the others hold: then
// nothing runs beside the facts, and the rules begin once they are in.
bool threadsBeside(const AccessJudge& access) {
    return access.user().uid == geteuid() && access.method() != JudgeMethod::Switched;
}

// How a reading of the lines goes: the first finds what the vector needs,
// the second judges each line and shows it, a third only shows them.
enum class Reading { Scan, Judge, Show };

// One check: facts gathered, rules run, each finding through the policy to
// the sink, in one pass. The launch is known before the lines are judged, so
// that its findings go out in line order with the lines' own.
class OneCheck {
public:
    OneCheck(const CheckRequest& request, const CheckSink& sink);
    void run();

private:
    std::string ownReadingPath();
    void emit(const Finding& finding);
    void launchFacts(const LaunchVector& argv);
    void readLines(Reading reading);
    void lineRead(Reading reading, const IniLine& line);
    void completeLine(IniLine& line, bool judge) const;
    void judgeLine(const IniLine& line, Facts& known, Collector& to) const;
    Facts lineFacts() const;
    bool judgeAhead() const;
    void startAhead();
    void judgeLinesAhead(LinesAhead& out, Facts& known);
    void takeAhead();
    void judgeLines();
    void scanLines();
    LaunchVector scan();
    void judgeLaunch(const LaunchVector& argv);
    void emitLater(std::size_t upTo);

    const CheckRequest& request;
    const CheckSink& sink;
    Facts facts;
    std::string optionsIni;
    // Begun before the check's own readings, which go on beside it.
    std::shared_ptr<LaunchParse> launch;
    // Every reading of the check's own goes through it, rewound.
    IniFormat::Reader in;
    IniShape shape;
    FindingPolicy policy;
    Collector add;
    const std::vector<std::string>* vmArgs = nullptr;  // the launcher's own
    std::vector<std::uint32_t> iniLines;
    std::size_t longestLine = 0;  // as the scan read it
    bool nameGiven = false;
    std::size_t launcherLine = 0;
    std::size_t judgedArguments = 0;
    // The launch's findings, by line, each sent once the line it concerns is.
    std::vector<Finding> later;
    std::size_t laterSent = 0;
    // Each reading fills it anew; kept between readings so that a line as
    // long as the file is not given fresh memory each time.
    IniLine reusedLine;
    // What the line rules know, as the lines are judged here.
    Facts ofLines;
    // The lines judged on another thread. Last, so that it stops first.
    std::unique_ptr<LinesAhead> ahead;
};

OneCheck::OneCheck(const CheckRequest& request, const CheckSink& sink)
    : request(request),
      sink(sink),
      optionsIni(headFacts(request, facts)),
      launch(launchFor(request, launchInputs(request, facts, optionsIni))),
      in(ownReadingPath()),
      shape(shapeOf(in)),
      policy(shape.suppressed, request.mends, request.starts),
      add([this](const Finding& finding) { emit(finding); }) {
    facts.silenced = shape.suppressed;
}

// The file the check's own readings read. Beside the launcher's parse they
// read only a file of lines short enough for both to hold one at a time.
std::string OneCheck::ownReadingPath() {
    if (facts.iniState != IniState::Read) {
        return std::string();
    }
    if (!launch->running()) {
        return facts.readPath;
    }
    struct stat status {};
    if (stat(facts.readPath.c_str(), &status) != 0 ||
        (static_cast<std::uintmax_t>(status.st_size) > LONGEST_BESIDE_LAUNCH &&
         !LaunchParse::linesAtMost(facts.readPath, LONGEST_BESIDE_LAUNCH))) {
        launch->wait();
    }
    return facts.readPath;
}

void OneCheck::emit(const Finding& finding) {
    Finding shown;
    if (policy.shown(finding, shown) && sink.finding) {
        sink.finding(facts, shown);
    }
}

void OneCheck::emitLater(std::size_t upTo) {
    for (; laterSent < later.size() && later[laterSent].line <= upTo; ++laterSent) {
        emit(later[laterSent]);
    }
}

void OneCheck::lineRead(Reading reading, const IniLine& line) {
    if (reading == Reading::Scan) {
        if (line.argument != 0) {
            iniLines.push_back(static_cast<std::uint32_t>(line.number));
        }
        nameGiven = nameGiven || line.effect == LineEffect::NameSuppressed;
        launcherLine = line.effect == LineEffect::LauncherTaken ? line.number : launcherLine;
        return;
    }
    if (reading == Reading::Judge) {
        judgedArguments += line.argument != 0 ? 1 : 0;
        if (line.effect == LineEffect::LauncherTaken) {
            facts.launcherLine = line.number;
        }
        // In another encoding every line is a consequence of that one mistake.
        if (facts.encoding == Encoding::Bytes) {
            judgeLine(line, ofLines, add);
        }
        emitLater(line.number);
    }
}

// The element a line adds, from the launcher's own vector, and the state
// of the file a path property names, looked at once, as the line is judged.
void OneCheck::completeLine(IniLine& line, bool judge) const {
    if (line.argument != 0 && line.argument - 1 < vmArgs->size()) {
        line.element = (*vmArgs)[line.argument - 1];
    }
    if (judge &&
        (line.effect == LineEffect::PathMadeAbsolute || line.effect == LineEffect::PathAbsolute)) {
        line.pathState = pathStateOf(propertyPath(line.element));
    }
}

// One line through the line rules, which know the launcher line once it is
// read, not before.
void OneCheck::judgeLine(const IniLine& line, Facts& known, Collector& to) const {
    if (line.effect == LineEffect::LauncherTaken) {
        known.launcherLine = line.number;
    }
    lineRules(known, shape, line, to);
}

void OneCheck::readLines(Reading reading) {
    const bool judge = reading == Reading::Judge && facts.encoding == Encoding::Bytes;
    const bool show =
        reading == Reading::Show || (reading == Reading::Judge && !sink.linesAfterFindings);
    in.rewind();
    IniClassifier classifier(FIRST_INI_ARGUMENT);
    IniLine& line = reusedLine;
    IniFormat::Chars raw;
    while (in.readLine(raw)) {
        classifier.next(raw, line);
        // The scan needs only where each line stands, not a copy of its element.
        if (reading != Reading::Scan) {
            completeLine(line, judge);
        } else {
            longestLine = std::max(longestLine, static_cast<std::size_t>(raw.size()));
        }
        if (show && sink.line) {
            sink.line(facts, line);
        }
        lineRead(reading, line);
    }
}

// The facts the line rules read, and the launcher line once it is read: a
// copy of them costs nothing however large the launch is. They are known
// from the scan, before the launcher's vector.
Facts OneCheck::lineFacts() const {
    Facts known;
    known.iniPath = facts.iniPath;
    known.applicationName = facts.applicationName;
    known.defaultNameAdded = facts.defaultNameAdded;
    return known;
}

// On a long VM section, with a second processor, the lines are judged
// beside the launch's facts and rules, which cost about as much; unless each
// line is shown just before its findings, and only where no line is long.
bool OneCheck::judgeAhead() const {
    const bool shownEach = sink.line && !sink.linesAfterFindings;
    return facts.encoding == Encoding::Bytes && iniLines.size() >= WORTH_JUDGING_BESIDE &&
           longestLine <= LONGEST_JUDGED_BESIDE && !shownEach &&
           std::thread::hardware_concurrency() > 1;
}

void OneCheck::startAhead() {
    if (!judgeAhead()) {
        return;
    }
    try {
        ahead = std::make_unique<LinesAhead>(
            [this, known = lineFacts()](LinesAhead& out) mutable { judgeLinesAhead(out, known); });
        if (vmArgs != nullptr) {
            ahead->open();
        }
    } catch (...) {
        // No thread to be had: the lines are judged as they are read.
        ahead.reset();
    }
}

// On the judging thread: the lines as the judgement reads them, through
// the check's own reader, which nothing else reads meanwhile. It may begin
// while the launcher's options are still built: a line that needs its
// element waits for them.
void OneCheck::judgeLinesAhead(LinesAhead& out, Facts& known) {
    in.rewind();
    IniClassifier classifier(FIRST_INI_ARGUMENT);
    IniLine line;
    IniFormat::Chars raw;
    Collector keep([&out, &line](const Finding& finding) { out.add(line.number, finding); });
    bool opened = false;
    while (in.readLine(raw)) {
        classifier.next(raw, line);
        if (!opened && lineRulesReadElement(line)) {
            out.awaitOpen();
            opened = true;
        }
        if (opened) {
            completeLine(line, true);
        }
        judgeLine(line, known, keep);
        out.judged();
    }
    if (classifier.argumentsSoFar(FIRST_INI_ARGUMENT) != iniLines.size()) {
        throw notReadWhole(known.iniPath);
    }
}

// Sends the findings judged on the other thread as a reading here would:
// each after the launch's findings of the lines before its own.
void OneCheck::takeAhead() {
    for (bool last = false; !last;) {
        const LinesAhead::Batch batch = ahead->take();
        for (const LinesAhead::Judged& judged : batch.found) {
            if (launcherLine != 0 && judged.at >= launcherLine) {
                facts.launcherLine = launcherLine;
            }
            emitLater(judged.at - 1);
            emit(judged.finding);
        }
        last = batch.last;
    }
    facts.launcherLine = launcherLine;
}

// Each line judged, its findings sent with the launch's in line order. A
// judgement on another thread counts the lines' elements itself.
void OneCheck::judgeLines() {
    if (ahead) {
        takeAhead();
        return;
    }
    ofLines = lineFacts();
    readLines(Reading::Judge);
    if (judgedArguments != iniLines.size()) {
        throw notReadWhole(facts.iniPath);
    }
}

// Where each line's element stands in the vector.
void OneCheck::scanLines() {
    // Without a VM section no line adds to the vector, and the shape, read
    // whole, knows the launcher line: a file of head lines is read once less.
    if (shape.vmSectionLine != 0) {
        readLines(Reading::Scan);
    } else {
        launcherLine = shape.launcherLine;
    }
}

// The lines as the launcher read them, checked against the vector it built
// from them: anything else means the file changed under the check or memory
// ran out while the launcher's options were built.
LaunchVector OneCheck::scan() {
    if (!LaunchParse::vectorAgrees(*vmArgs, iniLines.size(), nameGiven, request.arguments.size(),
                                   facts.applicationName)) {
        throw notReadWhole(facts.iniPath);
    }
    if (!nameGiven) {
        facts.defaultNameArgument = FIRST_INI_ARGUMENT + iniLines.size();
    }
    return LaunchVector{facts.executable, *vmArgs, iniLines, facts.launcherLine};
}

void OneCheck::launchFacts(const LaunchVector& argv) {
    describeStart(facts, request.access);
    measureArguments(facts, argv);
    std::shared_ptr<PathCache> paths = request.paths;
    if (!paths) {
        paths = std::make_shared<PathCache>();
    }
    describeWriters(facts, argv, request.access, *paths);
    if (request.vm != CheckRequest::Vm::Off) {
        gatherVm(facts, request.vm == CheckRequest::Vm::Ask, request.arguments.size(), argv,
                 request.access, request.ownVmVariables ? &request.vmVariables : nullptr,
                 request.vmKept);
        // What to ask is worked out only for a VM that can answer: over a
        // long VM section that costs as much as reading it.
        if (vmMayBeAsked(facts.vm)) {
            askVmArguments(facts.vm, argumentsToAsk(facts.vm), request.access, request.vmKept);
        }
        if (vmMayBeAsked(facts.vm) && !facts.vm.verdict.asked) {
            askVmSizes(facts.vm, sizesToAsk(facts.vm), request.access);
        }
    }
}

// The launch judged whole before its lines: its findings wait for theirs.
void OneCheck::judgeLaunch(const LaunchVector& argv) {
    facts.launcherLine = launcherLine;
    // The lines' judgement began after the scan where it may go on beside them.
    const bool early = threadsBeside(request.access);
    std::future<std::vector<Finding>> ofVector;
    if (early) {
        ofVector = vectorFindings(argv);
    }
    launchFacts(argv);
    if (!early) {
        ofVector = vectorFindings(argv);
        startAhead();
    }
    std::vector<Finding> ofLaunch;
    Collector keep([&ofLaunch](const Finding& finding) { ofLaunch.push_back(finding); });
    launchRules(facts, argv, keep);
    vmRules(facts, keep);
    later = ofVector.get();
    later.insert(later.end(), ofLaunch.begin(), ofLaunch.end());
    later.insert(later.end(), request.latent.begin(), request.latent.end());
    std::stable_sort(later.begin(), later.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    facts.launcherLine = 0;
}

void OneCheck::run() {
    if (sink.begin) {
        sink.begin(facts);
    }
    headRules(facts, shape, add);
    for (const Finding& start : request.startFindings) {
        emit(start);
    }
    scanLines();
    // Where no line named the application; scan() checks that the vector
    // ends its own elements with the default name there.
    facts.defaultNameAdded = !nameGiven;
    if (threadsBeside(request.access)) {
        // Beside the launcher's parse as well, where it is still going on.
        startAhead();
    }
    const ProgramOptions& options = launch->options();
    vmArgs = &options.GetVMArgs();
    facts.executable = options.GetLauncher();
    if (ahead) {
        ahead->open();
    }
    if (request.vm != CheckRequest::Vm::Off) {
        // Known before the lines are judged: what the VM refuses fails the launch.
        findVmOf(facts, request.java, request.access);
        if (!facts.vm.path.empty()) {
            policy.vmFound();
        }
    }
    const LaunchVector argv = scan();
    judgeLaunch(argv);
    emitLater(0);
    judgeLines();
    emitLater(SIZE_MAX);
    policy.startOnlyErrors(facts.starts, request.startFindings, add);
    if (sink.linesAfterFindings && sink.line) {
        readLines(Reading::Show);
    }
    if (sink.end) {
        sink.end(facts, argv);
    }
}

// The application as `start` starts it, from its physical directory `dir`.
CheckRequest startRequest(const StartFacts& start, const CheckRequest& base,
                          const std::string& dir) {
    CheckRequest request;
    request.workingDir = dir;
    request.invocationName = start.invocationName;
    request.arguments = start.arguments;
    request.access = base.access;
    UserIdentity identity;
    // Permissions as the user the start file starts it as.
    if (!start.user.empty() && start.user != base.access.user().name &&
        lookUpUser(start.user, identity)) {
        request.access = AccessJudge(identity);
    }
    // The launcher's reading begun ahead, as the check's own user; else
    // ended before a child that becomes the start's user may be forked.
    if (base.parsedAhead && threadsBeside(request.access)) {
        request.parsedAhead = base.parsedAhead;
    } else if (base.parsedAhead) {
        base.parsedAhead->letGo();
    }
    request.paths = base.paths;
    // A start that hands the VM other variables than the check's own
    // environment has the VM judged with them, as the launch reads them.
    if (start.ownEnvironment && start.vmVariables != vmVariables()) {
        request.vm = base.vm;
        request.vmKept = base.vmKept;
        request.java = base.java;
        request.ownVmVariables = true;
        request.vmVariables = start.vmVariables;
    }
    return request;
}

}  // namespace

std::string iniPathOf(const CheckRequest& request) {
    const Platform platform(request.invocationName.c_str());
    return absoluteFrom(request.workingDir, platform.GetINIFile());
}

std::shared_ptr<LaunchParse> parseAhead(const CheckRequest& request) {
    if (!threadsBeside(request.access)) {
        return nullptr;
    }
    Facts facts;
    const std::string optionsIni = headFacts(request, facts);
    if (facts.iniState != IniState::Read || !LaunchParse::worthAThread(optionsIni)) {
        return nullptr;
    }
    return std::make_shared<LaunchParse>(launchInputs(request, facts, optionsIni));
}

void checkApplication(const CheckRequest& request, const CheckSink& sink) {
    OneCheck(request, sink).run();
}

StartCheck checkStart(const StartFacts& start, const CheckRequest& base) {
    StartCheck result;
    result.start = start;
    if (!start.unmodeled.empty()) {
        result.problem = "it is not read exactly: " + start.unmodeled;
        return result;
    }
    char* real = start.workingDir.empty() ? nullptr : realpath(start.workingDir.c_str(), nullptr);
    if (real == nullptr) {
        result.problem = start.workingDir.empty()
                             ? "the directory it starts in is not known"
                             : "the directory it starts in, \"" + start.workingDir +
                                   "\", cannot be entered: " + std::strerror(errno);
        return result;
    }
    const std::string dir = real;
    std::free(real);
    const CheckRequest request = startRequest(start, base, dir);
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
    // The line's views outlive the reading here, so they get their own text.
    sink.line = [&whole](const Facts&, const IniLine& line) {
        whole.lines.push_back(line);
        IniLine& kept = whole.lines.back();
        for (std::string_view* text : {&kept.raw, &kept.trimmed, &kept.element}) {
            whole.lineTexts.push_back(std::make_shared<const std::string>(*text));
            *text = *whole.lineTexts.back();
        }
    };
    sink.finding = [&whole](const Facts&, const Finding& warning) {
        whole.found.push_back(warning);
    };
    sink.end = [&whole](const Facts& findings, const LaunchVector& argv) {
        std::vector<IniLine> lines = std::move(whole.lines);
        std::vector<Finding> warnings = std::move(whole.found);
        std::vector<std::shared_ptr<const std::string>> texts = std::move(whole.lineTexts);
        whole = findings;
        whole.lines = std::move(lines);
        whole.lineTexts = std::move(texts);
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
