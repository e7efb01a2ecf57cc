#include "cli/MendOracle.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "facts/ScratchIni.h"
#include "fix/LatentFindings.h"
#include "fix/Mend.h"
#include "model/Catalogue.h"

namespace {

// Files up to MOST_MENDED are mended in memory when the check plans what
// --fix would do; a larger one is not mended at all, so the check's memory
// stays bounded and its findings say why --fix leaves them.

// The check of one text, as the oracle answers; `whole` keeps every
// finding and the lines the launcher uses as well as the errors.
LaunchErrors judged(const CheckRequest& request, const std::string& text, bool whole) {
    const ScratchIni scratch(text);
    CheckRequest asked = request;
    asked.iniReadPath = scratch.path;
    LaunchErrors errors;
    errors.kept = whole;
    CheckSink sink;
    sink.begin = [&errors](const Facts& facts) {
        errors.silenced.insert(facts.silenced.begin(), facts.silenced.end());
    };
    sink.finding = [&errors, whole](const Facts&, const Finding& finding) {
        if (severityOf(finding) == Severity::Error) {
            ++errors.counts[finding.kind];
            errors.messages.emplace(finding.kind, finding.message);
        }
        if (whole) {
            errors.findings.push_back(finding);
        }
    };
    if (whole) {
        sink.line = [&errors](const Facts&, const IniLine& line) {
            if (line.argument != 0 || line.effect == LineEffect::LauncherTaken ||
                line.effect == LineEffect::VmSectionOpened) {
                errors.used.insert(line.number);
            }
        };
    }
    sink.end = [&errors](const Facts& facts, const LaunchVector&) {
        errors.executable = facts.executableInfo.resolved;
    };
    checkApplication(asked, sink);
    return errors;
}

// The text the file holds, when it is a regular file small enough to
// mend; false otherwise, with `tooLarge` set when it is regular but larger.
bool smallText(const CheckRequest& request, std::string& text, bool& tooLarge) {
    const MendSize size = mendSizeOf(request);
    tooLarge = size == MendSize::TooLarge;
    if (size != MendSize::Small) {
        return false;
    }
    std::ifstream in(reachablePath(iniPathOf(request)), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

LaunchOracle launchOracle(const CheckRequest& base) {
    auto request = std::make_shared<CheckRequest>(base);
    request->mends = MendOutlook();
    request->latent.clear();
    // Each candidate is a text of its own, read for itself.
    request->parsedAhead = nullptr;
    // Every text weighed is checked in the same directories: read them once.
    if (!request->paths) {
        request->paths = std::make_shared<PathCache>();
    }
    // The plan, its trials and the latent findings ask about the same texts.
    auto asked = std::make_shared<std::map<std::string, LaunchErrors>>();
    return [request, asked](const std::string& text) {
        const bool small = text.size() <= static_cast<std::size_t>(MOST_MENDED);
        const auto known = small ? asked->find(text) : asked->end();
        if (known != asked->end()) {
            return known->second;
        }
        LaunchErrors errors = judged(*request, text, small);
        if (small) {
            asked->emplace(text, errors);
        }
        return errors;
    };
}

MendSize mendSizeOf(const CheckRequest& request) {
    struct stat status {};
    if (stat(reachablePath(iniPathOf(request)).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return MendSize::NotRegular;
    }
    return status.st_size > MOST_MENDED ? MendSize::TooLarge : MendSize::Small;
}

IniFixResult plannedMend(const CheckRequest& request, const LaunchOracle& errorsOf) {
    std::string text;
    bool tooLarge = false;
    if (smallText(request, text, tooLarge)) {
        return planToTheEnd(errorsOf, text);
    }
    return tooLarge ? notMended(tooLargeToMend()) : IniFixResult();
}

std::vector<Finding> latentOf(const CheckRequest& request, const LaunchOracle& errorsOf) {
    std::string text;
    bool tooLarge = false;
    return smallText(request, text, tooLarge) ? latentFindings(errorsOf, text)
                                              : std::vector<Finding>();
}

MendOutlook outlookOf(const IniFixResult& plan) {
    MendOutlook outlook;
    for (const AppliedFix& fix : plan.fixes) {
        outlook.made.emplace_back(fix.kind, fix.line);
    }
    for (const RefusedFix& refused : plan.refused) {
        outlook.left.push_back(MendOutlook::Left{refused.kind, refused.line, refused.reason});
    }
    return outlook;
}
