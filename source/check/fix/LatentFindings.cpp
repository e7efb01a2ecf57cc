#include "fix/LatentFindings.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace {

// The longest first line of a finding that still reads at a glance.
constexpr std::size_t SHORT_MESSAGE = 120;

// Mends of the whole file, or of what keeps the VM section closed: the line
// they are counted at is hidden by them, not mistaken itself.
bool hidesOthers(KindId kind) {
    return kind == KindId::WideEncoding || kind == KindId::ByteOrderMark ||
           kind == KindId::CarriageReturn || kind == KindId::MissingVmargs;
}

std::string mendText(const AppliedFix& fix) {
    const std::string line = "line " + std::to_string(fix.line);
    switch (fix.kind) {
        case KindId::WideEncoding:
            return "the file is saved as UTF-8";
        case KindId::ByteOrderMark:
            return "the byte-order mark is removed";
        case KindId::CarriageReturn:
            return "the carriage returns of " + line + " end lines";
        case KindId::MissingVmargs:
            return "-vmargs is inserted above " + line;
        case KindId::LetterCase:
            return line + " is written in lower case";
        case KindId::BlanksAroundEquals:
            return "the blanks around \"=\" on " + line + " are removed";
        case KindId::NameInHead:
            return line + " is moved below -vmargs";
        case KindId::LauncherInVmSection:
        case KindId::CommentInVmSection:
            return line + " is moved above -vmargs";
        default:
            return line + " is mended";
    }
}

// The mends that bring out line `line` (0: the application as a whole), in words.
std::string mendsBefore(const IniFixResult& whole, std::size_t line) {
    constexpr std::size_t MOST_NAMED = 3;
    std::vector<std::string> named;
    std::size_t more = 0;
    for (const bool any : {false, true}) {
        for (const AppliedFix& fix : whole.fixes) {
            const bool before =
                line == 0 || fix.line < line || (hidesOthers(fix.kind) && fix.line <= line);
            const std::string text = mendText(fix);
            if (fix.with != 0 || !(before || any) ||
                std::find(named.begin(), named.end(), text) != named.end()) {
                continue;
            }
            if (named.size() < MOST_NAMED) {
                named.push_back(text);
            } else {
                ++more;
            }
        }
        if (!named.empty()) {
            break;
        }
    }
    std::string said;
    for (std::size_t i = 0; i < named.size(); ++i) {
        said += (i == 0 ? "" : i + 1 == named.size() && more == 0 ? " and " : ", ") + named[i];
    }
    return more == 0 ? said
                     : said + " and " + std::to_string(more) + " more mend" + (more > 1 ? "s" : "");
}

// Whether a finding of `kind` at `line` of the original is one the launch
// does not meet today only because a mechanical mistake hides the line.
bool hiddenToday(const LaunchErrors& today, const IniFixResult& whole, std::size_t line,
                 KindId kind) {
    if (line != 0 && today.used.count(line) != 0) {
        return false;
    }
    const bool found =
        std::any_of(today.findings.begin(), today.findings.end(), [&](const Finding& known) {
            return known.kind == kind && (line == 0 || known.line == line);
        });
    // A line mended for its own mistake has that finding today, and says why
    // --fix leaves it where its mend would break the launch.
    const bool ownMend =
        line != 0 && std::any_of(whole.fixes.begin(), whole.fixes.end(), [&](const AppliedFix& f) {
            return f.line == line && f.with == 0 && !hidesOthers(f.kind);
        });
    return !found && !ownMend;
}

}  // namespace

std::vector<Finding> latentFindings(const LaunchOracle& errorsOf, const std::string& original) {
    if (fixIni(original).fixes.empty()) {
        return {};
    }
    const LaunchErrors today = errorsOf(original);
    // Every mend made, whatever it does to the launch: what it would do is
    // what is asked.
    const LaunchOracle anything = [&today](const std::string&) {
        LaunchErrors none;
        none.silenced = today.silenced;
        return none;
    };
    const IniFixResult whole = planToTheEnd(anything, original);
    if (!today.kept || whole.bytes == original) {
        return {};
    }
    const LaunchErrors mended = errorsOf(whole.bytes);
    std::vector<Finding> latent;
    std::set<std::tuple<std::size_t, KindId, std::string>> said;
    for (const Finding& finding : mended.findings) {
        const std::size_t at = finding.line;
        const std::size_t line = at == 0 || at > whole.from.size() ? 0 : whole.from[at - 1];
        // Not about the ini file's lines, or about the -vmargs the mend inserts.
        if (!finding.file.empty() || (at != 0 && line == 0) ||
            !hiddenToday(today, whole, line, finding.kind) ||
            !said.emplace(line, finding.kind, finding.message).second) {
            continue;
        }
        const Kind& kind = kindOf(finding.kind);
        Finding shown;
        shown.line = line;
        shown.kind = KindId::LatentFinding;
        const std::string head = std::string(line == 0 ? "" : "ignored today; ") + "once " +
                                 mendsBefore(whole, line) + ": ";
        // The hidden finding's words on the line where they fit, else in a note.
        const bool fits = head.size() + finding.message.size() <= SHORT_MESSAGE;
        shown.message = head + (fits ? finding.message : std::string(kind.name) + ", below");
        shown.advice =
            (fits ? std::string() : finding.message + "\n") + kind.name + ": " + adviceOf(finding);
        // Harmless once mended, harmless now; anything worse waits for the mend.
        shown.lowered = severityOf(finding) == Severity::Note;
        latent.push_back(shown);
    }
    return latent;
}
