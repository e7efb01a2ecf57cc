#include "report/Report.h"

#include <algorithm>

#include "report/ShortMessage.h"

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

Report::Report(const ReportOptions& options, FormatFactory make, std::ostream& out,
               const FormatOptions& formatOptions)
    : options(options), format(make(out, formatOptions, counts)) {}

CheckSink Report::sinkFor(const std::string& dir) {
    shownDir = dir;
    ++counts.applications;
    counts.current = STATUS_CLEAN;
    CheckSink sink;
    if (format.begin) {
        sink.begin = [this](const Facts& facts) { format.begin(shownDir, facts); };
    }
    sink.line = format.line;
    sink.finding = [this](const Facts& facts, const Finding& found) { finding(facts, found); };
    sink.end = format.end;
    sink.linesAfterFindings = format.linesAfterFindings;
    return sink;
}

void Report::finding(const Facts& facts, const Finding& found) {
    // A finding without a kind would have no severity or advice: a fault of
    // the checker, never to be hidden.
    Kind unknown{};
    unknown.name = "unknown";
    unknown.severity = Severity::Error;
    unknown.summary = "";
    unknown.advice = "";
    unknown.example = "";
    unknown.fixed = "";
    unknown.why = "";
    const bool known = found.kind < KindId::Count;
    Kind kind = known ? kindOf(found.kind) : unknown;
    if (known) {
        const std::size_t index = static_cast<std::size_t>(found.kind);
        kind.severity =
            options.overridden.test(index) ? options.severities[index] : severityOf(found);
    }
    if (known && options.ignored.test(static_cast<std::size_t>(found.kind))) {
        return;
    }
    if (kind.severity < options.threshold) {
        ++counts.hidden;
        return;
    }
    ++counts.counts[static_cast<int>(kind.severity)];
    counts.current = std::max(counts.current, STATUS_FOUND);
    counts.worst = std::max(counts.worst, STATUS_FOUND);
    const std::string file =
        shownPath(shownDir, facts.workingDir, found.file.empty() ? facts.iniPath : found.file);
    std::string advice = known ? adviceOf(found) : std::string();
    Finding shown = found;
    shortenMessage(shown.message, advice);
    format.finding(facts, ShownFinding{shown, kind, file, advice});
}

void Report::failed(const std::string& dir, const std::string& problem) {
    ++counts.failed;
    counts.current = STATUS_INCOMPLETE;
    counts.worst = STATUS_INCOMPLETE;
    format.failed(dir, problem);
}

void Report::cannotComplete() {
    counts.worst = STATUS_INCOMPLETE;
}

void Report::finish() {
    format.finish();
}
