#include "report/TextOutput.h"

#include <algorithm>

#include "util/ByteText.h"

namespace TextOutput {

namespace {

constexpr std::size_t PIECE = Buffered::PIECE;

// The bytes spelled out into `spelled` a piece at a time, each handed to
// `put` before the next: a line may be as long as the file.
template <typename Put>
void spellInPieces(std::string_view bytes, std::string& spelled, Put put) {
    while (!bytes.empty()) {
        // A piece ends before an ASCII byte, which no character continues.
        std::size_t end = std::min(bytes.size(), PIECE);
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            ++end;
        }
        spelled.clear();
        ByteText::appendVisible(spelled, bytes.substr(0, end));
        put(spelled);
        bytes.remove_prefix(end);
    }
}

// The colours of gcc's and clang's diagnostics, so a terminal shows the
// checker's findings as it shows theirs.
const char BOLD[] = "\033[1m";
const char RESET[] = "\033[0m";

const char* severityColour(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "\033[1;31m";
        case Severity::Warning:
            return "\033[1;35m";
        case Severity::Note:
            return "\033[1;36m";
    }
    return BOLD;
}

void severityWord(std::ostream& out, Severity severity, bool colour) {
    if (colour) {
        out << severityColour(severity) << severityName(severity) << ':' << RESET;
    } else {
        out << severityName(severity) << ':';
    }
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// "FILE:LINE: ", the line left out when the finding is about no one line.
void location(std::ostream& out, const ShownFinding& shown, bool colour) {
    if (colour) {
        out << BOLD;
    }
    out << ByteText::visible(shown.file) << ':';
    if (shown.finding.line != 0) {
        out << shown.finding.line << ':';
    }
    if (colour) {
        out << RESET;
    }
    out << ' ';
}

}  // namespace

std::string quoted(const std::string& bytes) {
    return '"' + ByteText::visible(bytes) + '"';
}

std::ostream& operator<<(std::ostream& out, Quoted quoted) {
    std::string spelled;
    out << '"';
    spellInPieces(quoted.bytes, spelled, [&out](const std::string& piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    });
    return out << '"';
}

// After what is gathered: a long piece as it is, rather than as a copy.
void Buffered::putLong(std::string_view text) {
    flush();
    if (text.size() < PIECE) {
        text.copy(buffer.get(), text.size());
        used = text.size();
        return;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

Buffered& Buffered::operator<<(Quoted quoted) {
    *this << '"';
    // Nearly every line of an ini file is shown as it is, without a copy.
    if (ByteText::isVisible(quoted.bytes)) {
        *this << quoted.bytes;
    } else {
        spellInPieces(quoted.bytes, spelled, [this](const std::string& piece) { *this << piece; });
    }
    return *this << '"';
}

void Buffered::flush() {
    if (used != 0) {
        out.write(buffer.get(), static_cast<std::streamsize>(used));
        used = 0;
    }
}

void finding(std::ostream& out, const ShownFinding& shown, bool colour) {
    location(out, shown, colour);
    severityWord(out, shown.kind.severity, colour);
    out << ' ' << shown.finding.message << " [" << shown.kind.name << "]\n";
    // The advice as gcc and clang give theirs: a note a line, at the same place.
    std::size_t start = 0;
    while (start < shown.advice.size()) {
        std::size_t end = shown.advice.find('\n', start);
        if (end == std::string::npos) {
            end = shown.advice.size();
        }
        if (end > start) {
            location(out, shown, colour);
            severityWord(out, Severity::Note, colour);
            out << ' ' << shown.advice.substr(start, end - start) << '\n';
        }
        start = end + 1;
    }
}

void failure(std::ostream& out, const std::string& shownDir, const std::string& problem,
             bool colour) {
    if (colour) {
        out << BOLD << ByteText::visible(shownDir) << ':' << RESET << ' ';
    } else {
        out << ByteText::visible(shownDir) << ": ";
    }
    severityWord(out, Severity::Error, colour);
    out << " cannot check: " << ByteText::visible(problem) << '\n';
}

void summary(std::ostream& out, const Tally& tally) {
    out << counted(tally.applications, "application", "applications") << " checked";
    if (tally.failed != 0) {
        // Said, so that a run where nothing could be checked never reads as clean.
        out << ", " << tally.failed << " could not be checked";
    }
    out << ": " << counted(tally.count(Severity::Error), "error", "errors") << ", "
        << counted(tally.count(Severity::Warning), "warning", "warnings") << ", "
        << counted(tally.count(Severity::Note), "note", "notes");
    if (tally.hidden != 0) {
        // Said, so that a finding below the threshold is never quite lost.
        out << "; " << counted(tally.hidden, "finding", "findings")
            << " below the threshold not shown";
    }
    out << '\n';
}

}  // namespace TextOutput
