#include "report/JsonFormat.h"

#include <memory>

#include "facts/ExecutableInspection.h"
#include "facts/IniLines.h"
#include "report/FactWords.h"
#include "report/JsonWriter.h"
#include "report/Report.h"
#include "rules/FactText.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

// Raised when a member changes its meaning or goes; members may be added.
constexpr std::size_t JSON_SCHEMA_VERSION = 1;

// The VM started with its arguments: null when it was not.
void writeVerdict(JsonWriter& json, const VmVerdict& verdict) {
    json.key("verdict");
    if (!verdict.asked && verdict.message.empty()) {
        json.null();
        return;
    }
    json.beginObject();
    json.key("asked");
    json.boolean(verdict.asked);
    json.key("started");
    json.boolean(verdict.started);
    json.key("message");
    json.bytes(verdict.message);
    json.key("left_behind");
    json.beginArray();
    for (const std::string& name : verdict.leftBehind) {
        json.bytes(name);
    }
    json.endArray();
    json.endObject();
}

// Which VM, why, what it said of itself, and every element it is handed.
void writeVm(JsonWriter& json, const VmFacts& vm) {
    json.beginObject();
    json.key("path");
    json.bytes(vm.path);
    json.key("how");
    json.bytes(vm.path.empty() ? vm.problem : vm.how);
    json.key("asked");
    json.boolean(vm.info.asked && vm.info.problem.empty());
    json.key("version");
    json.bytes(vm.info.version);
    json.key("data_model");
    json.number(static_cast<std::size_t>(vm.info.dataModel));
    json.key("kernel_bits");
    json.number(static_cast<std::size_t>(vm.kernelBits));
    json.key("size_verdict");
    if (!vm.sizes.asked) {
        json.null();
    } else {
        json.beginObject();
        json.key("sizes");
        json.beginArray();
        for (const std::string& size : vm.sizes.sizes) {
            json.bytes(size);
        }
        json.endArray();
        json.key("started");
        json.boolean(vm.sizes.started);
        json.key("message");
        json.bytes(vm.sizes.message);
        json.endObject();
    }
    writeVerdict(json, vm.verdict);
    json.key("arguments");
    json.beginArray();
    for (const VmArgumentView argument : vm.arguments) {
        json.beginObject();
        json.key("argument");
        json.bytes(argument.text);
        json.key("origin");
        json.bytes(vmOriginText(argument));
        json.key("line");
        json.number(argument.line);
        json.key("installation_line");
        json.number(argument.iniLine);
        json.key("probed");
        json.boolean(argument.probed);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void writeStrings(JsonWriter& json, const std::vector<std::string>& strings) {
    json.beginArray();
    for (const std::string& text : strings) {
        json.bytes(text);
    }
    json.endArray();
}

// Each way the application is started, and the check of it as started so.
void writeStarts(JsonWriter& json, const std::vector<StartCheck>& starts) {
    json.beginArray();
    for (const StartCheck& check : starts) {
        const StartFacts& start = check.start;
        json.beginObject();
        json.key("kind");
        json.text(startKindName(start.kind));
        json.key("file");
        json.bytes(start.file);
        json.key("line");
        if (start.line == 0) {
            json.null();
        } else {
            json.number(start.line);
        }
        json.key("working_directory");
        json.bytes(start.workingDir);
        json.key("invocation_name");
        json.bytes(start.invocationName);
        json.key("user");
        json.bytes(start.user);
        json.key("arguments");
        writeStrings(json, start.arguments);
        json.key("vector");
        writeStrings(json, check.vector);
        json.key("problem");
        if (check.checked) {
            json.null();
        } else {
            json.bytes(check.problem);
        }
        json.key("findings");
        json.beginArray();
        for (const Finding& finding : check.findings) {
            const Kind& kind = kindOf(finding.kind);
            json.beginObject();
            json.key("file");
            json.bytes(finding.file);
            json.key("line");
            if (finding.line == 0) {
                json.null();
            } else {
                json.number(finding.line);
            }
            json.key("severity");
            json.text(severityName(severityOf(finding)));
            json.key("kind");
            json.text(kind.name);
            json.key("message");
            json.bytes(finding.message);
            json.key("advice");
            json.bytes(adviceOf(finding));
            json.endObject();
        }
        json.endArray();
        json.endObject();
    }
    json.endArray();
}

class JsonReport {
public:
    JsonReport(std::ostream& out, bool pretty, const Tally& tally)
        : json(out, pretty), tally(tally) {}

    void start();
    void begin(const std::string& shownDir, const Facts& facts);
    void line(const IniLine& line);
    void finding(const ShownFinding& shown);
    void end(const Facts& facts, const LaunchVector& argv);
    void failed(const std::string& shownDir, const std::string& problem);
    void finish();

private:
    void closeLists();
    void closeApplication();
    void writeProgram(const ElfCheck& program);
    void writePaths(const std::vector<JudgedPath>& paths);
    void writeExecutable(const Facts& facts);
    void writeCopies(const Facts& facts);

    JsonWriter json;
    const Tally& tally;
    // Where the document stands within the current application.
    bool applicationOpen = false;
    bool findingsOpen = false;
    bool linesOpen = false;
};

void JsonReport::start() {
    json.beginObject();
    json.key("schema_version");
    json.number(JSON_SCHEMA_VERSION);
    json.key("checker");
    json.beginObject();
    json.key("name");
    json.text("dashvane-launcher-check");
    json.key("version");
    json.text(DVL_VERSION);
    json.endObject();
    json.key("applications");
    json.beginArray();
}

void JsonReport::begin(const std::string& shownDir, const Facts& facts) {
    json.beginObject();
    applicationOpen = true;
    json.key("directory");
    json.bytes(shownDir);
    json.key("physical_directory");
    json.bytes(facts.workingDir);
    json.key("invocation_name");
    json.bytes(facts.invocationName);
    json.key("ini_file");
    json.bytes(shownPath(shownDir, facts.workingDir, facts.iniPath));
    json.key("ini_state");
    json.text(iniStateName(facts.iniState));
    json.key("findings");
    json.beginArray();
    findingsOpen = true;
}

void JsonReport::line(const IniLine& line) {
    if (findingsOpen) {
        json.endArray();
        findingsOpen = false;
    }
    if (!linesOpen) {
        json.key("lines");
        json.beginArray();
        linesOpen = true;
    }
    json.beginObject();
    json.key("line");
    json.number(line.number);
    json.key("text");
    json.bytes(line.raw);
    json.key("region");
    json.text(line.inHead ? "head" : "VM section");
    json.key("effect");
    json.text(effectText(line.effect));
    if (line.argument != 0) {
        json.key("argument");
        json.number(line.argument);
        json.key("element");
        json.bytes(line.element);
    }
    json.endObject();
}

void JsonReport::finding(const ShownFinding& shown) {
    json.beginObject();
    json.key("file");
    json.bytes(shown.file);
    json.key("line");
    if (shown.finding.line == 0) {
        json.null();
    } else {
        json.number(shown.finding.line);
    }
    json.key("severity");
    json.text(severityName(shown.kind.severity));
    json.key("kind");
    json.text(shown.kind.name);
    json.key("message");
    json.bytes(shown.finding.message);
    json.key("advice");
    json.bytes(shown.advice);
    json.endObject();
}

void JsonReport::closeLists() {
    if (linesOpen) {
        json.endArray();
        linesOpen = false;
    }
    if (findingsOpen) {
        json.endArray();
        findingsOpen = false;
    }
}

void JsonReport::end(const Facts& facts, const LaunchVector& argv) {
    closeLists();
    json.key("start_directory");
    json.beginObject();
    json.key("path");
    json.bytes(facts.startDirResolved);
    json.key("usable");
    json.boolean(facts.startDirUsable);
    json.endObject();
    writeExecutable(facts);
    writeCopies(facts);
    json.key("starts");
    writeStarts(json, facts.starts);
    json.key("default_name_argument");
    if (facts.defaultNameArgument == 0) {
        json.null();
    } else {
        json.number(facts.defaultNameArgument);
    }
    json.key("argv");
    json.beginArray();
    for (std::size_t i = 0; i < argv.size(); ++i) {
        json.bytes(argv.at(i));
    }
    json.endArray();
    json.key("argument_bytes");
    json.number(facts.argumentBytes);
    json.key("environment_bytes");
    json.number(facts.environmentBytes);
    json.key("argument_limit");
    json.number(facts.argumentLimit);
    writePaths(facts.judgedPaths);
    if (facts.vm.judged) {
        json.key("vm");
        writeVm(json, facts.vm);
    }
    closeApplication();
}

void JsonReport::writeExecutable(const Facts& facts) {
    const ExecutableInfo& info = facts.executableInfo;
    json.key("executable");
    json.beginObject();
    json.key("path");
    json.bytes(facts.executable);
    json.key("from_line");
    if (facts.launcherLine == 0) {
        json.null();
    } else {
        json.number(facts.launcherLine);
    }
    json.key("resolved");
    json.bytes(info.resolved);
    json.key("type");
    json.text(fileKindName(info.kind));
    json.key("executable");
    json.boolean(info.executable);
    if (info.kind == FileKind::Elf) {
        json.key("elf_class");
        json.number(static_cast<std::size_t>(info.elfClass));
        json.key("program");
        writeProgram(info.program);
    }
    if (info.kind == FileKind::Script) {
        json.key("interpreter");
        json.bytes(info.interpreter);
        if (info.interpreterProgram.checked) {
            json.key("interpreter_program");
            writeProgram(info.interpreterProgram);
        }
    }
    json.endObject();
}

void JsonReport::writeCopies(const Facts& facts) {
    json.key("launcher_copies");
    if (!facts.copiesSearched) {
        json.null();
        return;
    }
    json.beginArray();
    for (const LauncherCopy& copy : facts.copies.copies) {
        json.beginObject();
        json.key("name");
        json.bytes(copy.name);
        json.key("version");
        json.bytes(copy.version);
        json.key("executable");
        json.boolean(copy.executable);
        json.key("symlink");
        json.boolean(copy.symlink);
        json.endObject();
    }
    json.endArray();
}

void JsonReport::writePaths(const std::vector<JudgedPath>& paths) {
    json.key("paths");
    json.beginArray();
    for (const JudgedPath& judged : paths) {
        json.beginObject();
        json.key("path");
        json.bytes(judged.path);
        json.key("owner");
        json.bytes(judged.owner);
        json.key("group");
        json.bytes(judged.group);
        json.key("mode");
        json.bytes(modeText(judged.mode));
        json.key("directory");
        json.boolean(judged.directory);
        json.key("acl");
        json.boolean(judged.acl);
        json.key("use");
        json.bytes(judged.use.role);
        json.key("used_path");
        json.bytes(judged.use.path);
        json.key("on_the_way");
        json.boolean(judged.onTheWay);
        json.key("code");
        json.boolean(judged.code);
        json.key("writers");
        json.beginArray();
        for (const PathWriter& writer : judged.writers) {
            json.beginObject();
            json.key("who");
            json.bytes(writer.who);
            json.key("how");
            json.bytes(writer.how);
            json.key("remedy");
            json.bytes(writer.remedy);
            json.endObject();
        }
        json.endArray();
        json.key("own_group");
        if (judged.ownGroup.empty()) {
            json.null();
        } else {
            json.bytes(judged.ownGroup);
        }
        json.endObject();
    }
    json.endArray();
}

void JsonReport::writeProgram(const ElfCheck& program) {
    json.beginObject();
    json.key("kind");
    json.bytes(program.kind);
    json.key("runs");
    json.boolean(program.runs);
    json.key("how_run");
    json.bytes(kernelRunText(program.howRun));
    json.key("damage");
    json.bytes(elfDamageText(program.damage));
    json.key("loader");
    json.bytes(program.linking.loader);
    json.key("loader_problem");
    json.bytes(loaderProblemText(program.linking));
    json.key("missing_libraries");
    json.beginArray();
    for (const MissingLibrary& library : program.linking.missing) {
        json.beginObject();
        json.key("name");
        json.bytes(library.name);
        json.key("needed_by");
        json.bytes(library.neededBy);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

void JsonReport::closeApplication() {
    if (!applicationOpen) {
        return;
    }
    json.key("status");
    json.number(static_cast<std::size_t>(tally.current));
    json.endObject();
    applicationOpen = false;
    // Each application reaches the reader as soon as it is checked.
    json.flush();
}

void JsonReport::failed(const std::string& shownDir, const std::string& problem) {
    if (!applicationOpen) {
        json.beginObject();
        applicationOpen = true;
        json.key("directory");
        json.bytes(shownDir);
    }
    closeLists();
    json.key("error");
    json.bytes(problem);
    closeApplication();
}

void JsonReport::finish() {
    json.endArray();
    json.key("summary");
    json.beginObject();
    json.key("applications");
    json.number(tally.applications);
    json.key("failed");
    json.number(tally.failed);
    json.key("errors");
    json.number(tally.count(Severity::Error));
    json.key("warnings");
    json.number(tally.count(Severity::Warning));
    json.key("notes");
    json.number(tally.count(Severity::Note));
    json.key("below_threshold");
    json.number(tally.hidden);
    json.key("status");
    json.number(static_cast<std::size_t>(tally.worst));
    json.endObject();
    json.endObject();
    json.finish();
}

}  // namespace

Formatter jsonFormat(std::ostream& out, const FormatOptions& options, const Tally& tally) {
    const auto report = std::make_shared<JsonReport>(out, options.pretty, tally);
    report->start();
    Formatter format;
    format.begin = [report](const std::string& shownDir, const Facts& facts) {
        report->begin(shownDir, facts);
    };
    if (options.explain) {
        format.line = [report](const Facts&, const IniLine& line) { report->line(line); };
    }
    format.finding = [report](const Facts&, const ShownFinding& shown) { report->finding(shown); };
    format.end = [report](const Facts& facts, const LaunchVector& argv) {
        report->end(facts, argv);
    };
    format.failed = [report](const std::string& shownDir, const std::string& problem) {
        report->failed(shownDir, problem);
    };
    format.finish = [report]() { report->finish(); };
    // Findings first, so each application's findings are one array.
    format.linesAfterFindings = true;
    return format;
}
