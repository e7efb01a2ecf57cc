// What the checker prints: findings in the compiler format that editors and
// CI logs understand, the full explanation, or one JSON document, written
// as the check goes so that its size never has to fit in memory.
#pragma once

#include <cstddef>
#include <ostream>
#include <set>
#include <string>

#include "Catalogue.h"
#include "Check.h"
#include "JsonWriter.h"

enum class OutputMode { Facts, Explain, Json };

struct ReportOptions {
    OutputMode mode = OutputMode::Facts;
    bool explainJson = false;  // --json with --explain: each application's lines too
    bool pretty = false;
    Severity threshold = Severity::Warning;
    std::set<KindId> ignored;
};

// A file inside the application directory named from where the user named
// that directory (`shownDir`), so it opens from the checker's own directory;
// any other file by its absolute path.
std::string shownPath(const std::string& shownDir, const std::string& workingDir,
                      const std::string& path);

class Report {
public:
    Report(std::ostream& out, const ReportOptions& options);

    // The sink for the check of one application. `shownDir` is the
    // application directory as the user named it, so the files of the
    // findings can be opened from where the checker runs.
    CheckSink sinkFor(const std::string& shownDir);

    // The check of the application that `sinkFor` was last called for could
    // not be completed; the report says why and the status becomes 2.
    void failed(const std::string& shownDir, const std::string& problem);

    // Something the run was asked to do failed, and said so itself.
    void cannotComplete() { worst = 2; }

    // The summary line, or the end of the JSON document.
    void finish();

    // 0 when nothing at or above the threshold was found, 1 when something
    // was, 2 when a check could not be completed.
    int status() const { return worst; }

private:
    void begin(const Facts& findings);
    void line(const Facts& findings, const IniLine& line);
    void finding(const Facts& findings, const Finding& warning);
    void end(const Facts& findings, const LaunchVector& argv);
    std::string shownFile(const Facts& findings, const std::string& file) const;
    void writeFinding(const std::string& file, const Finding& warning, const Kind& kind);
    void closeApplication();
    void writeProgram(const ElfCheck& program);

    std::ostream& out;
    ReportOptions options;
    JsonWriter json;
    std::string shownDir;
    std::size_t applications = 0;
    std::size_t counts[3] = {0, 0, 0};
    std::size_t hidden = 0;  // findings below the threshold
    int current = 0;         // the status of the application being checked
    int worst = 0;
    // Where the JSON document stands within the current application.
    bool applicationOpen = false;
    bool findingsOpen = false;
    bool linesOpen = false;
};
