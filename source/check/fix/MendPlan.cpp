#include "fix/MendPlan.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "model/Catalogue.h"
#include "util/ByteText.h"
#include "util/Text.h"

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

// The errors `after` adds that its own text's next pass would not mend: an
// error a mend exposes, such as the letter case of -VMARGS once the file's
// encoding is mended, is mended with it, and is no reason to leave it.
std::vector<KindId> addedToStay(const LaunchErrors& before, const LaunchErrors& after,
                                const std::string& text) {
    std::vector<KindId> kinds = added(before, after);
    if (kinds.empty()) {
        return kinds;
    }
    const IniFixResult next = fixIni(text, {}, after.silenced);
    kinds.erase(std::remove_if(kinds.begin(), kinds.end(),
                               [&next](KindId kind) {
                                   return std::any_of(
                                       next.fixes.begin(), next.fixes.end(),
                                       [kind](const AppliedFix& fix) { return fix.kind == kind; });
                               }),
                kinds.end());
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
        if (addedToStay(w.before, errors, without.bytes).size() < worse) {
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
        // A line that moves only with another's mend is no finding today.
        if (made || fix.with != 0) {
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
        const std::vector<KindId> worse = addedToStay(w.before, after, result.bytes);
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

namespace {

std::size_t lineCount(const std::string& text) {
    const auto feeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return feeds + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// For each line of what a pass wrote (from 1), its line in what it read. A
// pass that parts lines at carriage returns writes the same bytes, but for
// the marks it drops at the start and a line feed for each return; one that
// converts the encoding keeps every line. One that moves lines keeps their
// count, and a line is taken for the one at its place.
std::vector<std::size_t> linesBack(const std::string& before, const std::string& after) {
    std::vector<std::size_t> back(lineCount(after) + 1);
    const std::size_t skipped = before.size() >= after.size() ? before.size() - after.size() : 0;
    bool parted = skipped % Text::BYTE_ORDER_MARK.size() == 0 && before.size() >= after.size();
    for (std::size_t i = 0; parted && i < after.size(); ++i) {
        const char was = before[skipped + i];
        parted = was == after[i] || (was == '\r' && after[i] == '\n');
    }
    for (std::size_t i = 0; i < back.size(); ++i) {
        back[i] = i;
    }
    std::size_t read = 1;
    std::size_t written = 1;
    for (std::size_t i = 0; parted && i < after.size(); ++i) {
        read += before[skipped + i] == '\n' ? 1 : 0;
        if (after[i] == '\n' && ++written < back.size()) {
            back[written] = read;
        }
    }
    return back;
}

std::size_t lineBack(const std::vector<std::size_t>& back, std::size_t line) {
    return line < back.size() ? back[line] : line;
}

// `from` (each line of the text a pass read, its line of the original)
// carried over to what the pass wrote.
std::vector<std::size_t> carried(const std::vector<std::size_t>& from, const std::string& read,
                                 const IniFixResult& plan) {
    std::vector<std::size_t> step = plan.from;
    if (step.empty()) {
        const std::vector<std::size_t> back = linesBack(read, plan.bytes);
        step.assign(back.begin() + 1, back.end());
    }
    std::vector<std::size_t> next;
    for (const std::size_t line : step) {
        next.push_back(line == 0 ? 0 : line <= from.size() ? from[line - 1] : line);
    }
    return next;
}

}  // namespace

IniFixResult planToTheEnd(const LaunchOracle& errorsOf, const std::string& original,
                          std::vector<MendRound>* rounds, std::size_t mostRounds) {
    std::map<std::string, LaunchErrors> asked;
    const LaunchOracle cached = [&asked, &errorsOf](const std::string& text) {
        auto found = asked.find(text);
        if (found == asked.end()) {
            found = asked.emplace(text, errorsOf(text)).first;
        }
        return found->second;
    };
    IniFixResult whole;
    whole.bytes = original;
    std::vector<std::size_t> toOriginal;  // empty: every line where it was
    whole.from.resize(lineCount(original));
    std::iota(whole.from.begin(), whole.from.end(), 1);
    std::string text = original;
    for (std::size_t round = 0; round < mostRounds; ++round) {
        IniFixResult plan = planMend(cached, text);
        if (rounds != nullptr) {
            rounds->push_back(MendRound{text, plan});
        }
        const auto back = [&toOriginal](std::size_t line) {
            return toOriginal.empty() || line == 0 ? line : lineBack(toOriginal, line);
        };
        whole.refused.clear();
        for (RefusedFix refused : plan.refused) {
            refused.line = back(refused.line);
            whole.refused.push_back(refused);
        }
        if (!plan.refusal.empty() || plan.fixes.empty() || plan.bytes == text) {
            // Only the encoding is ever refused, and only the first pass meets it.
            whole.refusal = round == 0 ? plan.refusal : std::string();
            break;
        }
        for (AppliedFix fix : plan.fixes) {
            fix.line = back(fix.line);
            fix.with = back(fix.with);
            whole.fixes.push_back(fix);
        }
        whole.bytes = plan.bytes;
        whole.from = carried(whole.from, text, plan);
        if (round + 1 == mostRounds) {
            whole.refused.push_back(
                RefusedFix{KindId::Count, 0,
                           "--fix stops after " + std::to_string(mostRounds) +
                               " passes over the file; run it again to mend the rest"});
            break;
        }
        std::vector<std::size_t> next = linesBack(text, plan.bytes);
        for (std::size_t& line : next) {
            line = back(line);
        }
        toOriginal = std::move(next);
        text = plan.bytes;
    }
    std::stable_sort(whole.fixes.begin(), whole.fixes.end(),
                     [](const AppliedFix& a, const AppliedFix& b) { return a.line < b.line; });
    return whole;
}
