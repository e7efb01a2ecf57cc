#include "fix/MendPlan.h"

#include <algorithm>
#include <vector>

#include "model/Catalogue.h"
#include "util/ByteText.h"

namespace {

// Trying each mend alone costs a check each; past this many lines with
// mends, a mend that breaks the launch leaves the whole file as it is.
constexpr std::size_t MOST_TRIED = 24;

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

// The mends weighed against the original's errors.
struct Weighing {
    const LaunchOracle& errorsOf;
    const std::string& original;
    LaunchErrors before;
    FixVetoes vetoed;
    std::map<std::size_t, std::string> reasons;  // by line
};

// Leaves out the mend that brings the new errors: the one whose absence
// takes an error away. Returns false when there is none, or too many to try.
bool leaveOne(Weighing& w, IniFixResult& result, LaunchErrors& after, std::size_t worse,
              const std::string& reason) {
    if (result.fixes.size() > MOST_TRIED) {
        return false;
    }
    for (const AppliedFix& fix : result.fixes) {
        FixVetoes trial = w.vetoed;
        trial.insert(std::make_pair(fix.kind, fix.line));
        IniFixResult without = fixIni(w.original, trial, w.before.silenced);
        LaunchErrors errors = w.errorsOf(without.bytes);
        if (added(w.before, errors).size() < worse) {
            w.vetoed = trial;
            w.reasons.emplace(fix.line, reason);
            result = std::move(without);
            // The text weighed next: its errors are known already.
            after = std::move(errors);
            return true;
        }
    }
    return false;
}

// What the whole mend would have made and this one does not, each with why.
void addRefusals(const IniFixResult& whole, const std::map<std::size_t, std::string>& reasons,
                 IniFixResult& result) {
    if (reasons.empty()) {
        return;
    }
    const std::string waits = "it goes with the mend of line " +
                              std::to_string(reasons.begin()->first) +
                              ", which is left: " + reasons.begin()->second;
    for (const AppliedFix& fix : whole.fixes) {
        const bool made =
            std::any_of(result.fixes.begin(), result.fixes.end(), [&fix](const AppliedFix& kept) {
                return kept.kind == fix.kind && kept.line == fix.line;
            });
        if (made) {
            continue;
        }
        // Left with the mend it needs, such as a key below a -vmargs that
        // is not put in place.
        const auto reason = reasons.find(fix.line);
        result.refused.push_back(
            RefusedFix{fix.kind, fix.line, reason != reasons.end() ? reason->second : waits});
    }
    // Whatever else the file needs waits for the mends that are left.
    result.refused.push_back(RefusedFix{KindId::Count, 0, waits});
}

}  // namespace

IniFixResult planMend(const LaunchOracle& errorsOf, const std::string& original) {
    IniFixResult plain = fixIni(original);
    if (plain.fixes.empty()) {
        return plain;
    }
    Weighing w{errorsOf, original, errorsOf(original), {}, {}};
    const IniFixResult whole = fixIni(original, {}, w.before.silenced);
    if (whole.fixes.empty() || !whole.refusal.empty()) {
        return whole;
    }
    IniFixResult result = whole;
    LaunchErrors after = errorsOf(result.bytes);
    for (;;) {
        const std::vector<KindId> worse = added(w.before, after);
        if (worse.empty()) {
            break;
        }
        const std::string reason = whyNot(w.before, after, worse.front());
        if (!leaveOne(w, result, after, worse.size(), reason)) {
            for (const AppliedFix& fix : result.fixes) {
                w.vetoed.insert(std::make_pair(fix.kind, fix.line));
                w.reasons.emplace(fix.line, reason);
            }
            result = fixIni(original, w.vetoed, w.before.silenced);
            break;
        }
    }
    addRefusals(whole, w.reasons, result);
    return result;
}
