// One output format of the report, as a set of events: the report filters
// and counts the findings, and a format only writes them. A format is a
// plain set of functions, so adding one is one unit and one row of the
// table in Formats.cpp.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "core/Check.h"
#include "model/Catalogue.h"
#include "report/Tally.h"

struct FormatOptions {
    bool explain = false;    // every line and the launch in full
    bool pretty = false;     // indented, for the formats that can be
    bool colour = false;     // escape sequences for a terminal
    bool quiet = false;      // nothing at all when nothing was found
    std::string checkerDir;  // the checker's working directory; empty if unknown
};

// A finding that passed the threshold and --ignore, with its file named as
// it opens from the checker's working directory.
struct ShownFinding {
    const Finding& finding;
    const Kind& kind;
    const std::string& file;
    const std::string& advice;  // the notes, one a line; empty for none
};

struct Formatter {
    // An application's check begins; `shownDir` as the user named it.
    std::function<void(const std::string& shownDir, const Facts&)> begin;
    // Each ini line; left empty when the format does not show lines.
    std::function<void(const Facts&, const IniLine&)> line;
    std::function<void(const Facts&, const ShownFinding&)> finding;
    std::function<void(const Facts&, const LaunchVector&)> end;
    // The check of the application could not be completed.
    std::function<void(const std::string& shownDir, const std::string& problem)> failed;
    // After the last application: the summary, or the end of the document.
    std::function<void()> finish;
    bool linesAfterFindings = false;
};

// Every format is made from the stream it writes to, its options and the
// tally the report keeps, which it reads for statuses and the summary.
using FormatFactory = Formatter (*)(std::ostream& out, const FormatOptions& options,
                                    const Tally& tally);
