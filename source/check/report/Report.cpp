#include "Report.h"

#include <algorithm>

#include "ByteText.h"
#include "ExecutableInspection.h"
#include "IniLines.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

constexpr int FOUND = 1;
constexpr int CANNOT_CHECK = 2;
constexpr std::size_t JSON_SCHEMA_VERSION = 1;

std::string quoted(const std::string& bytes) {
    return '"' + ByteText::visible(bytes) + '"';
}

// How the JSON document names a state of the ini file, and what --explain
// says of it, by the order of IniState.
struct StateWords {
    const char* name;
    const char* text;
};
constexpr StateWords INI_STATES[] = {{"read", "read"},
                                     {"missing", "missing: read as empty"},
                                     {"directory", "a directory: read as empty"},
                                     {"unreadable", "cannot be opened: read as empty"},
                                     {"not regular", "a named pipe or a device: not read"}};

const char* iniStateName(IniState state) {
    return INI_STATES[static_cast<int>(state)].name;
}

const char* iniStateText(IniState state) {
    return INI_STATES[static_cast<int>(state)].text;
}

const char* fileKindName(FileKind kind) {
    switch (kind) {
        case FileKind::Missing:
            return "missing";
        case FileKind::Directory:
            return "directory";
        case FileKind::Elf:
            return "elf";
        case FileKind::Script:
            return "script";
        case FileKind::Other:
            return "other";
    }
    return "";
}

std::string fileText(const ExecutableInfo& info) {
    switch (info.kind) {
        case FileKind::Missing:
            return "does not exist";
        case FileKind::Directory:
            return "a directory";
        case FileKind::Elf:
            return std::string(info.executable ? "executable" : "not executable") + ", " +
                   (info.program.kind.empty() ? std::string("ELF") : info.program.kind) +
                   " ELF file" +
                   (!info.program.damage.empty()   ? " (damaged)"
                    : !info.program.runs           ? " (not run by this kernel)"
                    : !info.program.howRun.empty() ? " (" + info.program.howRun + ")"
                                                   : "");
        case FileKind::Script:
            return std::string(info.executable ? "executable" : "not executable") +
                   ", script for " + quoted(info.interpreter) +
                   (info.interpreterUsable ? "" : " (not found or not executable)");
        case FileKind::Other:
            return std::string(info.executable ? "executable" : "not executable") +
                   ", neither an ELF file nor a script";
    }
    return "";
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

}  // namespace

std::string shownPath(const std::string& shownDir, const std::string& workingDir,
                      const std::string& path) {
    const std::string& base = workingDir;
    if (path == base) {
        return shownDir;
    }
    // Inside the application directory: named from where the user named that
    // directory, so the name opens from the checker's own directory.
    if (path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
        path[base.size()] == '/') {
        const std::string rest = path.substr(base.size() + 1);
        return shownDir.empty() || shownDir == "." ? rest
               : shownDir.back() == '/'            ? shownDir + rest
                                                   : shownDir + '/' + rest;
    }
    return path;
}

Report::Report(std::ostream& out, const ReportOptions& options)
    : out(out), options(options), json(out, options.pretty) {
    if (options.mode == OutputMode::Json) {
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
}

CheckSink Report::sinkFor(const std::string& dir) {
    shownDir = dir;
    ++applications;
    current = 0;
    CheckSink sink;
    sink.begin = [this](const Facts& findings) { begin(findings); };
    sink.line = [this](const Facts& findings, const IniLine& line) { this->line(findings, line); };
    sink.finding = [this](const Facts& findings, const Finding& warning) {
        finding(findings, warning);
    };
    sink.end = [this](const Facts& findings, const LaunchVector& argv) { end(findings, argv); };
    sink.linesAfterFindings = options.mode == OutputMode::Json;
    if (options.mode == OutputMode::Json && !options.explainJson) {
        sink.line = nullptr;
    }
    if (options.mode == OutputMode::Facts) {
        sink.line = nullptr;
    }
    return sink;
}

std::string Report::shownFile(const Facts& findings, const std::string& file) const {
    return shownPath(shownDir, findings.workingDir, file.empty() ? findings.iniPath : file);
}

void Report::begin(const Facts& findings) {
    switch (options.mode) {
        case OutputMode::Facts:
            break;
        case OutputMode::Explain:
            if (applications > 1) {
                out << '\n';
            }
            out << "Application directory: " << quoted(findings.workingDir) << '\n'
                << "Invocation name: " << quoted(findings.invocationName) << '\n'
                << "Ini file: " << quoted(findings.iniFile) << " ("
                << iniStateText(findings.iniState) << ")\n"
                << "Permissions: " << findings.accessMethod << "\n\nLines:\n";
            break;
        case OutputMode::Json:
            json.beginObject();
            applicationOpen = true;
            json.key("directory");
            json.bytes(shownDir);
            json.key("physical_directory");
            json.bytes(findings.workingDir);
            json.key("invocation_name");
            json.bytes(findings.invocationName);
            json.key("ini_file");
            json.bytes(shownFile(findings, std::string()));
            json.key("ini_state");
            json.text(iniStateName(findings.iniState));
            json.key("findings");
            json.beginArray();
            findingsOpen = true;
            break;
    }
}

void Report::line(const Facts& findings, const IniLine& line) {
    (void)findings;
    if (options.mode == OutputMode::Explain) {
        out << "  " << line.number << ' ' << quoted(line.raw) << "\n      "
            << effectText(line.effect);
        if (line.argument != 0) {
            out << " as argument " << line.argument << ' ' << quoted(line.element);
        }
        out << '\n';
        return;
    }
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

void Report::finding(const Facts& findings, const Finding& warning) {
    const Kind* kind = &kindOf(warning.kind);
    if (options.ignored.count(warning.kind) != 0) {
        return;
    }
    if (kind->severity < options.threshold) {
        ++hidden;
        return;
    }
    ++counts[static_cast<int>(kind->severity)];
    current = std::max(current, FOUND);
    worst = std::max(worst, FOUND);
    writeFinding(shownFile(findings, warning.file), warning, *kind);
}

void Report::writeFinding(const std::string& file, const Finding& warning, const Kind& kind) {
    if (options.mode == OutputMode::Json) {
        json.beginObject();
        json.key("file");
        json.bytes(file);
        json.key("line");
        if (warning.line == 0) {
            json.null();
        } else {
            json.number(warning.line);
        }
        json.key("severity");
        json.text(severityName(kind.severity));
        json.key("kind");
        json.text(kind.name);
        json.key("message");
        json.bytes(warning.message);
        json.key("advice");
        json.text(kind.advice);
        json.endObject();
        return;
    }
    out << ByteText::visible(file) << ':';
    if (warning.line != 0) {
        out << warning.line << ':';
    }
    out << ' ' << severityName(kind.severity) << ": " << warning.message;
    if (kind.advice[0] != '\0') {
        out << "; " << kind.advice;
    }
    out << " [" << kind.name << "]\n";
}

void Report::end(const Facts& findings, const LaunchVector& argv) {
    const ExecutableInfo& info = findings.executableInfo;
    if (options.mode == OutputMode::Explain) {
        out << "  end of file: ";
        if (findings.defaultNameArgument != 0) {
            out << "default application name added as argument " << findings.defaultNameArgument
                << ' ' << quoted(argv.at(findings.defaultNameArgument)) << '\n';
        } else {
            out << "no default application name\n";
        }
        out << "\nStart directory: " << quoted(findings.startDirResolved)
            << (findings.startDirUsable ? "" : " (missing or cannot be entered)") << '\n'
            << "Executable: " << quoted(findings.executable);
        if (findings.launcherLine != 0) {
            out << " (from line " << findings.launcherLine << ')';
        }
        out << '\n';
        if (!findings.executable.empty()) {
            out << "  " << quoted(info.resolved) << ": " << fileText(info) << '\n';
        }
        out << "\nArgument vector (" << argv.size() << " elements, " << findings.argumentBytes
            << " bytes, environment " << findings.environmentBytes << " bytes, limit "
            << findings.argumentLimit << " bytes):\n";
        for (std::size_t i = 0; i < argv.size(); ++i) {
            out << "  " << i << ' ' << quoted(argv.at(i)) << '\n';
        }
        if (findings.copiesSearched) {
            out << "\nLauncher copies:" << (findings.copies.copies.empty() ? " none" : "") << '\n';
            for (const LauncherCopy& copy : findings.copies.copies) {
                out << "  " << quoted(copy.name) << ": version " << quoted(copy.version)
                    << (copy.symlink ? ", a symbolic link" : "")
                    << (copy.executable ? "" : ", not executable") << '\n';
            }
        }
        return;
    }
    if (options.mode != OutputMode::Json) {
        return;
    }
    if (linesOpen) {
        json.endArray();
        linesOpen = false;
    }
    if (findingsOpen) {
        json.endArray();
        findingsOpen = false;
    }
    json.key("start_directory");
    json.beginObject();
    json.key("path");
    json.bytes(findings.startDirResolved);
    json.key("usable");
    json.boolean(findings.startDirUsable);
    json.endObject();
    json.key("executable");
    json.beginObject();
    json.key("path");
    json.bytes(findings.executable);
    json.key("from_line");
    if (findings.launcherLine == 0) {
        json.null();
    } else {
        json.number(findings.launcherLine);
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
    json.key("launcher_copies");
    if (!findings.copiesSearched) {
        json.null();
    } else {
        json.beginArray();
        for (const LauncherCopy& copy : findings.copies.copies) {
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
    json.key("default_name_argument");
    if (findings.defaultNameArgument == 0) {
        json.null();
    } else {
        json.number(findings.defaultNameArgument);
    }
    json.key("argv");
    json.beginArray();
    for (std::size_t i = 0; i < argv.size(); ++i) {
        json.bytes(argv.at(i));
    }
    json.endArray();
    json.key("argument_bytes");
    json.number(findings.argumentBytes);
    json.key("environment_bytes");
    json.number(findings.environmentBytes);
    json.key("argument_limit");
    json.number(findings.argumentLimit);
    closeApplication();
}

void Report::writeProgram(const ElfCheck& program) {
    json.beginObject();
    json.key("kind");
    json.bytes(program.kind);
    json.key("runs");
    json.boolean(program.runs);
    json.key("how_run");
    json.bytes(program.howRun);
    json.key("damage");
    json.bytes(program.damage);
    json.key("loader");
    json.bytes(program.linking.loader);
    json.key("loader_problem");
    json.bytes(program.linking.loaderProblem);
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

void Report::closeApplication() {
    if (!applicationOpen) {
        return;
    }
    json.key("status");
    json.number(static_cast<std::size_t>(current));
    json.endObject();
    applicationOpen = false;
}

void Report::failed(const std::string& dir, const std::string& problem) {
    current = CANNOT_CHECK;
    worst = CANNOT_CHECK;
    if (options.mode != OutputMode::Json) {
        out << ByteText::visible(dir) << ": error: cannot check: " << ByteText::visible(problem)
            << '\n';
        return;
    }
    if (!applicationOpen) {
        json.beginObject();
        applicationOpen = true;
        json.key("directory");
        json.bytes(dir);
    }
    if (linesOpen) {
        json.endArray();
        linesOpen = false;
    }
    if (findingsOpen) {
        json.endArray();
        findingsOpen = false;
    }
    json.key("error");
    json.bytes(problem);
    closeApplication();
}

void Report::finish() {
    const std::size_t errors = counts[static_cast<int>(Severity::Error)];
    const std::size_t warnings = counts[static_cast<int>(Severity::Warning)];
    const std::size_t notes = counts[static_cast<int>(Severity::Note)];
    if (options.mode == OutputMode::Json) {
        json.endArray();
        json.key("summary");
        json.beginObject();
        json.key("applications");
        json.number(applications);
        json.key("errors");
        json.number(errors);
        json.key("warnings");
        json.number(warnings);
        json.key("notes");
        json.number(notes);
        json.key("below_threshold");
        json.number(hidden);
        json.key("status");
        json.number(static_cast<std::size_t>(worst));
        json.endObject();
        json.endObject();
        json.finish();
        return;
    }
    if (options.mode == OutputMode::Explain) {
        out << '\n';
    }
    out << counted(applications, "application", "applications")
        << " checked: " << counted(errors, "error", "errors") << ", "
        << counted(warnings, "warning", "warnings") << ", " << counted(notes, "note", "notes");
    if (hidden != 0) {
        // Said, so that a finding below the threshold is never quite lost.
        out << "; " << counted(hidden, "finding", "findings") << " below the threshold not shown";
    }
    out << '\n';
}
