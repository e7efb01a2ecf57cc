#include "core/FindingPolicy.h"

#include <algorithm>

#include "model/Catalogue.h"

namespace {

// Lines the launcher passes on that the Java VM then refuses: with a VM
// known, they fail the launch.
bool refusedByVm(KindId kind) {
    return kind == KindId::CommentInVmSection || kind == KindId::VmargsInVmSection ||
           kind == KindId::LauncherInVmSection;
}

bool isError(const Finding& finding) {
    return severityOf(finding) == Severity::Error;
}

// Why --fix leaves the finding, or "" when it mends it or it is no mendable kind.
std::string leftBecause(const MendOutlook& mends, const Finding& finding) {
    if (!kindOf(finding.kind).fixable) {
        return std::string();
    }
    for (const auto& made : mends.made) {
        if (made.first == finding.kind && made.second == finding.line) {
            return std::string();
        }
    }
    for (const MendOutlook::Left& left : mends.left) {
        if ((left.kind == finding.kind && left.line == finding.line) ||
            left.kind == KindId::Count) {
            return left.reason;
        }
    }
    return std::string();
}

}  // namespace

FindingPolicy::FindingPolicy(std::vector<KindId> silenced, const MendOutlook& mends,
                             const std::vector<StartCheck>& starts)
    : silenced(std::move(silenced)), mends(mends) {
    // Only these are remembered of what the application meets, so that
    // nothing kept grows with the ini file.
    for (const StartCheck& start : starts) {
        for (const Finding& finding : start.findings) {
            if (isError(finding)) {
                startErrors.emplace_back(finding.kind, finding.message);
            }
        }
    }
    metToo.assign(startErrors.size(), false);
}

bool FindingPolicy::shown(const Finding& finding, Finding& shown) {
    for (std::size_t i = 0; i < startErrors.size(); ++i) {
        metToo[i] = metToo[i] || (startErrors[i].first == finding.kind &&
                                  startErrors[i].second == finding.message);
    }
    if (std::find(silenced.begin(), silenced.end(), finding.kind) != silenced.end()) {
        return false;
    }
    shown = finding;
    if (vmKnown && refusedByVm(finding.kind)) {
        shown.escalated = true;
        // An error says the launch fails: which program refuses is all that is added.
        shown.message += "; the Java VM refuses it";
    }
    const std::string reason = leftBecause(mends, finding);
    if (!reason.empty()) {
        // The kind's advice is the very mend refused here: only why is said.
        shown.advice = "--fix leaves it: " + reason;
    }
    return true;
}

// An error that only a start meets (another user, another directory) fails
// that launch: it counts, at the start file's line, unless a finding about
// that file already says why. Those the application meets anyway stay once.
void FindingPolicy::startOnlyErrors(const std::vector<StartCheck>& starts,
                                    const std::vector<Finding>& startFindings,
                                    Collector& add) const {
    std::size_t at = 0;  // the start's first error among startErrors
    for (const StartCheck& start : starts) {
        const bool explained =
            std::any_of(startFindings.begin(), startFindings.end(), [&](const Finding& f) {
                return f.file == start.start.file && f.line == start.start.line &&
                       severityOf(f) == Severity::Error;
            });
        for (const Finding& finding : start.findings) {
            if (!isError(finding)) {
                continue;
            }
            const bool met = metToo[at++];
            if (!explained && !met) {
                add(start.start.line, finding.kind, "as started by this file: " + finding.message,
                    start.start.file);
            }
        }
    }
}
