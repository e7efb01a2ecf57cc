// What becomes of a finding between the rules and the report: silenced by
// the file's suppression lines, made an error where the Java VM refuses what
// the launcher passes, told why --fix leaves it, and the errors only a start
// meets added at the start file's line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "facts/Facts.h"
#include "model/Collector.h"

// What --fix would do with the ini file, planned before the check: the
// mends it makes, and those it leaves with why.
struct MendOutlook {
    struct Left {
        KindId kind;  // KindId::Count: every mend not made otherwise
        std::size_t line;
        std::string reason;
    };
    std::vector<std::pair<KindId, std::size_t>> made;
    std::vector<Left> left;
};

class FindingPolicy {
public:
    // `starts` are the application's starts, checked as started; their
    // errors are looked for among this check's own findings.
    FindingPolicy(std::vector<KindId> silenced, const MendOutlook& mends,
                  const std::vector<StartCheck>& starts);

    // From now on the VM the executable starts is known.
    void vmFound() { vmKnown = true; }

    // The finding as the report gets it; false when it is silenced.
    bool shown(const Finding& finding, Finding& shown);

    // The errors only a start meets, once the application's own are all made.
    void startOnlyErrors(const std::vector<StartCheck>& starts,
                         const std::vector<Finding>& startFindings, Collector& add) const;

private:
    std::vector<KindId> silenced;
    const MendOutlook& mends;
    bool vmKnown = false;
    // Of the starts' errors, those the application met itself.
    std::vector<std::pair<KindId, std::string>> startErrors;
    std::vector<bool> metToo;
};
