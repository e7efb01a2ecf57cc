#include "report/SarifFormat.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "report/JsonWriter.h"
#include "report/KindList.h"
#include "report/Report.h"
#include "util/ByteText.h"
#include "util/Text.h"

#ifndef DVL_VERSION
#define DVL_VERSION "unknown"
#endif

namespace {

// Relative URIs resolve against the directory the checker ran in.
const char BASE_ID[] = "%SRCROOT%";

const char* levelOf(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Note:
            return "note";
    }
    return "error";
}

bool plainInUri(unsigned char c) {
    // Unreserved characters and the delimiters a path may hold; ':' is left
    // out, as in a first segment it would read as a scheme.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-._~!$&'()*+,;=@/").find(static_cast<char>(c)) !=
               std::string_view::npos;
}

using Text::sentence;

// Message text must be a JSON string: a message with bytes that are not
// UTF-8 is shown as the text report shows them.
std::string utf8(const std::string& text) {
    return ByteText::isValidUtf8(text) ? text : ByteText::visible(text);
}

class SarifReport {
public:
    SarifReport(std::ostream& out, const FormatOptions& options, const Tally& tally)
        : json(out, options.pretty), tally(tally), checkerDir(options.checkerDir) {}

    void start();
    void finding(const ShownFinding& shown);
    void failed(const std::string& shownDir, const std::string& problem);
    void finish();

private:
    void rule(const Kind& kind);
    void message(const std::string& text);
    void location(const std::string& path, std::size_t line);

    JsonWriter json;
    const Tally& tally;
    std::string checkerDir;
    // Kept for the invocation, which follows the results: one entry per
    // application that could not be checked, never per line.
    std::vector<std::pair<std::string, std::string>> failures;
};

void SarifReport::start() {
    json.beginObject();
    json.key("$schema");
    json.text("https://json.schemastore.org/sarif-2.1.0.json");
    json.key("version");
    json.text("2.1.0");
    json.key("runs");
    json.beginArray();
    json.beginObject();
    json.key("tool");
    json.beginObject();
    json.key("driver");
    json.beginObject();
    json.key("name");
    json.text("dashvane-launcher-check");
    json.key("version");
    json.text(DVL_VERSION);
    json.key("rules");
    json.beginArray();
    for (const Kind& kind : catalogue()) {
        rule(kind);
    }
    json.endArray();
    json.endObject();
    json.endObject();
    if (!checkerDir.empty() && checkerDir[0] == '/') {
        json.key("originalUriBaseIds");
        json.beginObject();
        json.key(BASE_ID);
        json.beginObject();
        json.key("uri");
        const std::string dir = sarifUri(checkerDir);
        json.text((dir.back() == '/' ? dir : dir + '/').c_str());
        json.endObject();
        json.endObject();
    }
    json.key("results");
    json.beginArray();
}

// The tool's rule for one kind of finding.
void SarifReport::rule(const Kind& kind) {
    // The kind's page, as --list-kinds KIND prints it: a viewer shows it
    // beside each result of the rule.
    std::ostringstream page;
    kindPage(page, kind);
    json.beginObject();
    json.key("id");
    json.text(kind.name);
    json.key("shortDescription");
    message(sentence(kind.summary));
    json.key("fullDescription");
    message(page.str());
    json.key("help");
    message(page.str());
    json.key("defaultConfiguration");
    json.beginObject();
    json.key("level");
    json.text(levelOf(kind.severity));
    json.endObject();
    json.key("properties");
    json.beginObject();
    json.key("fixable");
    json.boolean(kind.fixable);
    json.endObject();
    json.endObject();
}

void SarifReport::message(const std::string& text) {
    json.beginObject();
    json.key("text");
    json.text(utf8(text).c_str());
    json.endObject();
}

void SarifReport::location(const std::string& path, std::size_t line) {
    json.key("locations");
    json.beginArray();
    json.beginObject();
    json.key("physicalLocation");
    json.beginObject();
    json.key("artifactLocation");
    json.beginObject();
    json.key("uri");
    json.text(sarifUri(path).c_str());
    if (!path.empty() && path[0] != '/' && !checkerDir.empty() && checkerDir[0] == '/') {
        json.key("uriBaseId");
        json.text(BASE_ID);
    }
    json.endObject();
    if (line != 0) {
        json.key("region");
        json.beginObject();
        json.key("startLine");
        json.number(line);
        json.endObject();
    }
    json.endObject();
    json.endObject();
    json.endArray();
}

void SarifReport::finding(const ShownFinding& shown) {
    json.beginObject();
    json.key("ruleId");
    json.text(shown.kind.name);
    json.key("ruleIndex");
    json.number(static_cast<std::size_t>(shown.finding.kind));
    json.key("level");
    json.text(levelOf(shown.kind.severity));
    json.key("message");
    message(shown.finding.message);
    location(shown.file, shown.finding.line);
    if (!shown.advice.empty()) {
        json.key("properties");
        json.beginObject();
        json.key("advice");
        json.text(utf8(shown.advice).c_str());
        json.endObject();
    }
    json.endObject();
}

void SarifReport::failed(const std::string& shownDir, const std::string& problem) {
    failures.emplace_back(shownDir, problem);
}

void SarifReport::finish() {
    json.endArray();
    json.key("invocations");
    json.beginArray();
    json.beginObject();
    // False too when a check completed but its --fix could not mend the file.
    json.key("executionSuccessful");
    json.boolean(tally.worst < STATUS_INCOMPLETE);
    json.key("exitCode");
    json.number(static_cast<std::size_t>(tally.worst));
    if (!failures.empty()) {
        json.key("toolExecutionNotifications");
        json.beginArray();
        for (const auto& failure : failures) {
            json.beginObject();
            json.key("level");
            json.text("error");
            json.key("message");
            message("cannot check: " + ByteText::visible(failure.second));
            location(failure.first, 0);
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
    json.endArray();
    json.endObject();
    json.endArray();
    json.endObject();
    json.finish();
}

}  // namespace

std::string sarifUri(const std::string& path) {
    std::string uri = !path.empty() && path[0] == '/' ? "file://" : "";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (plainInUri(byte)) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri;
}

Formatter sarifFormat(std::ostream& out, const FormatOptions& options, const Tally& tally) {
    const auto report = std::make_shared<SarifReport>(out, options, tally);
    report->start();
    Formatter format;
    format.finding = [report](const Facts&, const ShownFinding& shown) { report->finding(shown); };
    format.failed = [report](const std::string& shownDir, const std::string& problem) {
        report->failed(shownDir, problem);
    };
    format.finish = [report]() { report->finish(); };
    return format;
}
