// One way an application is started, as read from the file that starts it:
// where the launcher will run, by what name, with what arguments, and what
// the file says about the start besides.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/Finding.h"

enum class StartKind { DesktopEntry, SystemdUnit, Cron, PathLink, ShellWrapper };

inline const char* startKindName(StartKind kind) {
    switch (kind) {
        case StartKind::DesktopEntry:
            return "desktop-entry";
        case StartKind::SystemdUnit:
            return "systemd-unit";
        case StartKind::Cron:
            return "cron";
        case StartKind::PathLink:
            return "path-link";
        case StartKind::ShellWrapper:
            return "shell-wrapper";
    }
    return "";
}

// The kind `name` spells, as startKindName writes it: false for none.
inline bool startKindNamed(const std::string& name, StartKind& kind) {
    for (StartKind each : {StartKind::DesktopEntry, StartKind::SystemdUnit, StartKind::Cron,
                           StartKind::PathLink, StartKind::ShellWrapper}) {
        if (name == startKindName(each)) {
            kind = each;
            return true;
        }
    }
    return false;
}

// Why the desktop or systemd refuses a start's command line.
enum class ExecProblem {
    None,
    QuoteNotClosed,
    NoProgram,
    OwnNameMissing,  // ExecStart=@ without the name the program is to be given
    RelativePath,    // the program named by a relative path
    NoPath,          // ExecStart= naming the program without a path
};

struct ExecRefusal {
    ExecProblem problem = ExecProblem::None;
    char fieldCode = 0;

    bool refused() const { return problem != ExecProblem::None; }
};

struct StartFacts {
    StartKind kind = StartKind::DesktopEntry;
    std::string file;      // the start file, as found (under the --root prefix)
    std::size_t line = 0;  // the line that starts the copy; 0 for a link
    std::string appDir;    // the physical application directory of the copy started
    std::string copy;      // that copy's path in it

    std::string workingDir;       // where the launcher starts; empty when unknown
    bool directoryGiven = false;  // by Path=, WorkingDirectory= or cd
    std::string invocationName;   // the launcher's argv[0]
    std::string user;             // whom it starts as, when the file tells; empty otherwise
    std::vector<std::string> arguments;
    bool inAppDir = false;  // the working directory is the application directory
    // The physical working directory when it is another application's.
    std::string otherApplication;
    // What the file does that the checker cannot follow exactly (D-Bus
    // activation, a variable): the start is then said to be unread, not checked.
    std::string unmodeled;

    std::string program;      // the program as the file names it
    ExecRefusal execProblem;  // why the desktop or systemd refuses the command line
    std::string command;      // the shell command line, for cron and sh -c
    std::string chained;      // "&&" or "||" when the shell line chains on the launcher

    // The environment's VM variables the launch gets ("NAME=VALUE"): a
    // unit or cron gives its own, the others what they are started with.
    bool ownEnvironment = false;
    std::vector<std::string> vmVariables;

    // A systemd unit's [Service] section.
    bool userUnit = false;
    std::string type;  // as written; empty when not set
    std::vector<std::string> successStatus;
    std::string killMode;
    bool remainAfterExit = false;
    bool failureIgnored = false;  // ExecStart=-...

    // Whether the name it is started by has an ini file where it starts, and
    // whether the copy's own name has one there.
    bool iniPresent = true;
    bool copyIniPresent = true;
};

// A start, and the application checked as started that way.
struct StartCheck {
    StartFacts start;
    bool checked = false;  // false when the launch cannot be followed (see problem)
    std::string problem;
    std::vector<std::string> vector;  // the child's argument vector
    std::vector<Finding> findings;
};
