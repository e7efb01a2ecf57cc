// The check of an application directory, from the ini file to the argument
// vector and on into the Java VM, with nothing written. The only processes
// started are the user-switching access probes and, when asked for, the VM
// itself with none of the application's options but memory sizes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/FindingPolicy.h"
#include "facts/AccessJudge.h"
#include "facts/Facts.h"
#include "facts/LaunchVector.h"

class LaunchParse;

struct CheckRequest {
    // The physical application directory (as getcwd reports it there).
    std::string workingDir;
    std::string invocationName = "./run";
    // The launcher's own command-line arguments.
    std::vector<std::string> arguments;
    // Whose permissions the files are judged by: the running user's unless
    // the user who starts the application is named.
    AccessJudge access;
    // The launcher copies in the directory, when they are to be judged too.
    bool searchCopies = false;
    CopySearch copies;
    // A file whose lines are read in place of the ini file's, such as a
    // text not yet written; the ini file itself still gives its state and
    // permissions. Empty: the ini file's own.
    std::string iniReadPath;
    // What --fix would do, planned before the check, so that each mendable
    // finding it leaves says why.
    MendOutlook mends;
    // What the lines a mechanical mistake hides would meet once it is
    // mended, found before the check, each at its line.
    std::vector<Finding> latent;
    // The attributes of directories read for one run, shared by its
    // applications; a check without one reads its own.
    std::shared_ptr<PathCache> paths;
    // Whether the Java VM is judged: not at all, by rule alone, or also by
    // asking the VM about itself.
    enum class Vm { Off, RulesOnly, Ask };
    Vm vm = Vm::Off;
    // Whether the VM's verdicts are kept across runs (not --no-cache).
    bool vmKept = false;
    // The VM named outright (--java), in place of the one the executable finds.
    std::string java;
    // The VM variables the launch gets ("NAME=VALUE") where a start gives
    // its own environment; otherwise the check's own environment's.
    bool ownVmVariables = false;
    std::vector<std::string> vmVariables;
    // The ways the application is started, each checked as started, and the
    // findings about their start files, reported with the application's.
    std::vector<StartCheck> starts;
    std::vector<Finding> startFindings;
    // The launcher's reading of the ini file, begun before the check
    // (parseAhead); the check takes it over where its launch reads the same.
    std::shared_ptr<LaunchParse> parsedAhead;
};

// Receives what the check finds as it finds it, so that nothing grows with
// the size of the ini file beyond what the launcher itself keeps. Any member
// may be left empty.
struct CheckSink {
    // The paths, the ini file's state and encoding are known.
    std::function<void(const Facts&)> begin;
    // Each line with what the launcher does with it.
    std::function<void(const Facts&, const IniLine&)> line;
    std::function<void(const Facts&, const Finding&)> finding;
    // The executable and the whole vector are known; the last event.
    std::function<void(const Facts&, const LaunchVector&)> end;
    // Lines come in a reading of their own after every finding, instead of
    // each line just before its findings.
    bool linesAfterFindings = false;
};

// The ini file the launcher started as `request.invocationName` in
// `request.workingDir` reads, as an absolute path.
std::string iniPathOf(const CheckRequest& request);

// The launcher's reading of the ini file `request` checks, begun on a thread
// of its own so that it goes on while the caller does other work, such as
// searching the start files; null where the file is too small for a thread
// to be worth it, or where the check forks children that switch user,
// which must not run beside other threads. The caller must not fork until
// it is handed to the check (CheckRequest::parsedAhead) or done (wait()).
std::shared_ptr<LaunchParse> parseAhead(const CheckRequest& request);

// Checks one application. Throws std::exception when the check cannot be
// completed, such as when memory runs out.
void checkApplication(const CheckRequest& request, const CheckSink& sink);

// The application as `start` starts it: from its working directory, by its
// name, with its arguments, permissions judged as in `base`. The Java VM is
// not judged again.
StartCheck checkStart(const StartFacts& start, const CheckRequest& base);

// The whole check kept in memory, lines, vector and findings, for callers
// that want the facts rather than a report. With `copies`, the launcher
// copies found in the directory are judged as well.
Facts inspectApplication(const std::string& workingDir, const std::string& invocationName,
                         const CopySearch* copies = nullptr);
