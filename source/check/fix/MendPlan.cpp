#include "MendPlan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ByteText.h"
#include "Catalogue.h"

namespace {

// Trying each mend alone costs a check each; past this many lines with
// mends, a mend that breaks the launch leaves the whole file as it is.
constexpr std::size_t MOST_TRIED = 24;

// The errors of a launch from one text of the ini file.
struct LaunchErrors {
    std::map<KindId, std::size_t> counts;
    std::map<KindId, std::string> messages;  // the first of each kind
    std::string executable;                  // what execv runs
    std::set<KindId> silenced;               // by the file itself
};

LaunchErrors errorsOf(const CheckRequest& base, const std::string& text) {
    CheckRequest request = base;
    request.planMends = false;
    request.iniText = &text;
    // A mend is weighed by what the launcher makes of the file; what the VM
    // then makes of the arguments the check reports on the mended file.
    request.vm = CheckRequest::Vm::Off;
    LaunchErrors errors;
    CheckSink sink;
    sink.begin = [&errors](const Facts& facts) {
        errors.silenced.insert(facts.silenced.begin(), facts.silenced.end());
    };
    sink.finding = [&errors](const Facts&, const Finding& finding) {
        if (kindOf(finding.kind).severity == Severity::Error) {
            ++errors.counts[finding.kind];
            errors.messages.emplace(finding.kind, finding.message);
        }
    };
    sink.end = [&errors](const Facts& facts, const LaunchVector&) {
        errors.executable = facts.executableInfo.resolved;
    };
    checkApplication(request, sink);
    return errors;
}

// The kinds of error `after` has more of than `before`.
std::vector<KindId> added(const LaunchErrors& before, const LaunchErrors& after) {
    std::vector<KindId> kinds;
    for (const auto& count : after.counts) {
        const auto was = before.counts.find(count.first);
        if (was == before.counts.end() || was->second < count.second) {
            kinds.push_back(count.first);
        }
    }
    return kinds;
}

std::string whyNot(const LaunchErrors& before, const LaunchErrors& after, KindId kind) {
    std::string reason = "mending it would break the launch";
    if (after.executable != before.executable && !after.executable.empty()) {
        reason += ": the application starts \"" + ByteText::visible(before.executable) +
                  "\" today, after the mend \"" + ByteText::visible(after.executable) + "\"";
    }
    return reason + "; then " + after.messages.at(kind);
}

}  // namespace

IniFixResult planMend(const CheckRequest& given, const std::string& original) {
    if (fixIni(original).fixes.empty()) {
        return fixIni(original);
    }
    // Every mend weighed is checked in the same directories: read them once.
    CheckRequest request = given;
    if (!request.paths) {
        request.paths = std::make_shared<PathCache>();
    }
    const LaunchErrors before = errorsOf(request, original);
    const IniFixResult whole = fixIni(original, {}, before.silenced);
    if (whole.fixes.empty() || !whole.refusal.empty()) {
        return whole;
    }
    FixVetoes vetoed;
    std::map<std::size_t, std::string> reasons;  // by line
    IniFixResult result = whole;
    for (;;) {
        const LaunchErrors after = errorsOf(request, result.bytes);
        const std::vector<KindId> worse = added(before, after);
        if (worse.empty()) {
            break;
        }
        const std::string reason = whyNot(before, after, worse.front());
        // The mend that brings the new error: the one whose absence takes
        // an error away.
        bool found = false;
        if (result.fixes.size() <= MOST_TRIED) {
            for (const AppliedFix& fix : result.fixes) {
                FixVetoes trial = vetoed;
                trial.insert(std::make_pair(fix.kind, fix.line));
                IniFixResult without = fixIni(original, trial, before.silenced);
                if (added(before, errorsOf(request, without.bytes)).size() < worse.size()) {
                    vetoed = trial;
                    reasons.emplace(fix.line, reason);
                    result = std::move(without);
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            for (const AppliedFix& fix : result.fixes) {
                vetoed.insert(std::make_pair(fix.kind, fix.line));
                reasons.emplace(fix.line, reason);
            }
            result = fixIni(original, vetoed, before.silenced);
            break;
        }
    }
    // What the whole mend would have made and this one does not.
    for (const AppliedFix& fix : whole.fixes) {
        const bool made =
            std::any_of(result.fixes.begin(), result.fixes.end(), [&fix](const AppliedFix& kept) {
                return kept.kind == fix.kind && kept.line == fix.line;
            });
        if (made || reasons.empty()) {
            continue;
        }
        // Left with the mend it needs, such as a key below a -vmargs that
        // is not put in place.
        const auto reason = reasons.find(fix.line);
        result.refused.push_back(RefusedFix{
            fix.kind, fix.line,
            reason != reasons.end()
                ? reason->second
                : "it goes with the mend of line " + std::to_string(reasons.begin()->first) +
                      ", which is left: " + reasons.begin()->second});
    }
    if (!reasons.empty()) {
        // Whatever else the file needs waits for the mends that are left.
        result.refused.push_back(RefusedFix{KindId::Count, 0,
                                            "it goes with the mend of line " +
                                                std::to_string(reasons.begin()->first) +
                                                ", which is left: " + reasons.begin()->second});
    }
    return result;
}
