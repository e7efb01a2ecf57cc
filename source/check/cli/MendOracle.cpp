#include "cli/MendOracle.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "facts/ScratchIni.h"
#include "model/Catalogue.h"

namespace {

// Files up to this size are mended in memory when the check plans what
// --fix would do, which costs some times the file's size; a larger one, far
// beyond any ini file written by hand, is planned only when --fix or --diff
// asks, so the check's memory stays bounded.
constexpr off_t MOST_PLANNED = 1024 * 1024;

}  // namespace

LaunchOracle launchOracle(const CheckRequest& base) {
    auto request = std::make_shared<CheckRequest>(base);
    request->vm = CheckRequest::Vm::Off;
    request->mends = MendOutlook();
    // Every text weighed is checked in the same directories: read them once.
    if (!request->paths) {
        request->paths = std::make_shared<PathCache>();
    }
    return [request](const std::string& text) {
        const ScratchIni scratch(text);
        CheckRequest asked = *request;
        asked.iniReadPath = scratch.path;
        LaunchErrors errors;
        CheckSink sink;
        sink.begin = [&errors](const Facts& facts) {
            errors.silenced.insert(facts.silenced.begin(), facts.silenced.end());
        };
        sink.finding = [&errors](const Facts&, const Finding& finding) {
            if (severityOf(finding) == Severity::Error) {
                ++errors.counts[finding.kind];
                errors.messages.emplace(finding.kind, finding.message);
            }
        };
        sink.end = [&errors](const Facts& facts, const LaunchVector&) {
            errors.executable = facts.executableInfo.resolved;
        };
        checkApplication(asked, sink);
        return errors;
    };
}

IniFixResult plannedMend(const CheckRequest& request, const LaunchOracle& errorsOf) {
    const std::string path = reachablePath(iniPathOf(request));
    struct stat status {};
    // Never opened unless regular: a named pipe would wait for a writer.
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > MOST_PLANNED) {
        return IniFixResult();
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return planToTheEnd(errorsOf, text);
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
