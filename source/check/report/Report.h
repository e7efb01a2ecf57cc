// The report of a run: it filters the findings by --severity and --ignore,
// counts them, keeps the exit status, and hands what is shown to the
// format chosen, which writes it as the check goes so that its size never
// has to fit in memory.
#pragma once

#include <array>
#include <bitset>
#include <ostream>
#include <string>

#include "core/Check.h"
#include "model/Catalogue.h"
#include "report/Formatter.h"
#include "report/Tally.h"

struct ReportOptions {
    Severity threshold = Severity::Warning;
    std::bitset<KIND_COUNT> ignored;
    // A severity the configuration gives every finding of a kind.
    std::bitset<KIND_COUNT> overridden;
    std::array<Severity, KIND_COUNT> severities{};
};

// A file inside the application directory named from where the user named
// that directory (`shownDir`), so it opens from the checker's own directory;
// any other file by its absolute path.
std::string shownPath(const std::string& shownDir, const std::string& workingDir,
                      const std::string& path);

class Report {
public:
    // The format is made here, on the tally the report keeps.
    Report(const ReportOptions& options, FormatFactory make, std::ostream& out,
           const FormatOptions& formatOptions);
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // The sink for the check of one application. `shownDir` is the
    // application directory as the user named it, so the files of the
    // findings can be opened from where the checker runs.
    CheckSink sinkFor(const std::string& shownDir);

    // The check of the application that `sinkFor` was last called for could
    // not be completed; the report says why and the status becomes 2.
    void failed(const std::string& shownDir, const std::string& problem);

    // Something the run was asked to do failed, and said so itself.
    void cannotComplete();

    // The summary, or the end of the document.
    void finish();

    const Tally& tally() const { return counts; }

    // 0 when nothing at or above the threshold was found, 1 when something
    // was, 2 when a check could not be completed.
    int status() const { return counts.worst; }

private:
    void finding(const Facts& facts, const Finding& finding);

    ReportOptions options;
    Tally counts;  // before the format, which keeps a reference to it
    Formatter format;
    std::string shownDir;
};
