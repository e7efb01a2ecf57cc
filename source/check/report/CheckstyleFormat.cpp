#include "report/CheckstyleFormat.h"

#include <cstdio>
#include <memory>

#include "util/ByteText.h"

namespace {

const char* severityOf(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Note:
            return "info";
    }
    return "error";
}

class CheckstyleReport {
public:
    explicit CheckstyleReport(std::ostream& out) : out(out) {}

    void start();
    void error(const std::string& file, std::size_t line, const char* severity,
               const std::string& message, const std::string& advice, const char* kind);
    void finish();

private:
    std::ostream& out;
    // Findings come in the check's order, not grouped by file: a new <file>
    // element starts whenever the file changes, so nothing is held back.
    bool fileOpen = false;
    std::string file;
};

void CheckstyleReport::start() {
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<checkstyle version=\"4.3\">\n";
}

void CheckstyleReport::error(const std::string& path, std::size_t line, const char* severity,
                             const std::string& message, const std::string& advice,
                             const char* kind) {
    if (!fileOpen || path != file) {
        if (fileOpen) {
            out << "</file>\n";
        }
        file = path;
        fileOpen = true;
        out << "<file name=\"" << xmlAttribute(path) << "\">\n";
    }
    out << "<error";
    if (line != 0) {
        out << " line=\"" << line << '"';
    }
    out << " severity=\"" << severity << "\" message=\"" << xmlAttribute(message) << '"';
    if (!advice.empty()) {
        out << " advice=\"" << xmlAttribute(advice) << '"';
    }
    out << " source=\"dashvane-launcher-check." << kind << "\"/>\n";
}

void CheckstyleReport::finish() {
    if (fileOpen) {
        out << "</file>\n";
    }
    out << "</checkstyle>\n";
}

}  // namespace

std::string xmlAttribute(const std::string& bytes) {
    const std::string text = ByteText::isValidUtf8(bytes) ? bytes : ByteText::visible(bytes);
    std::string xml;
    xml.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '&':
                xml += "&amp;";
                continue;
            case '<':
                xml += "&lt;";
                continue;
            case '>':
                xml += "&gt;";
                continue;
            case '"':
                xml += "&quot;";
                continue;
            case '\t':
                xml += "&#9;";
                continue;
            case '\n':
                xml += "&#10;";
                continue;
            case '\r':
                xml += "&#13;";
                continue;
            default:
                break;
        }
        if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            xml += escaped;
        } else if (c == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            xml += text[i + 2] == '\xBE' ? "\\u{FFFE}" : "\\u{FFFF}";
            i += 2;
        } else {
            xml += static_cast<char>(c);
        }
    }
    return xml;
}

Formatter checkstyleFormat(std::ostream& out, const FormatOptions&, const Tally&) {
    const auto report = std::make_shared<CheckstyleReport>(out);
    report->start();
    Formatter format;
    format.finding = [report](const Facts&, const ShownFinding& shown) {
        // A CI server shows one line: the notes are joined on it.
        std::string advice = shown.advice;
        for (std::size_t at; (at = advice.find('\n')) != std::string::npos;) {
            advice.replace(at, 1, "; ");
        }
        report->error(shown.file, shown.finding.line, severityOf(shown.kind.severity),
                      shown.finding.message, advice, shown.kind.name);
    };
    // As linters report a file they could not parse: an error on the
    // application directory, so the CI server shows it.
    format.failed = [report](const std::string& shownDir, const std::string& problem) {
        report->error(shownDir, 0, "error", "cannot check: " + ByteText::visible(problem),
                      std::string(), "cannot-check");
    };
    format.finish = [report]() { report->finish(); };
    return format;
}
