#include "rules/StartRules.h"

#include <algorithm>

#include "rules/FactText.h"
#include "rules/RuleText.h"

namespace {

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string where(const StartFacts& start) {
    return start.workingDir.empty() ? std::string("an unknown directory")
                                    : quoted(start.workingDir);
}

// The shell line that starts the copy from its directory.
std::string cdLine(const StartFacts& start) {
    std::string line = "cd " + start.appDir + " && ./" + baseName(start.copy);
    for (const std::string& argument : start.arguments) {
        line += ' ' + argument;
    }
    return line;
}

// The line a shell wrapper starts the copy by, with the wrapper's arguments.
std::string wrapperLine(const StartFacts& start) {
    return "cd " + start.appDir + " && exec ./" + baseName(start.copy) + " \"$@\"";
}

// The line that gives the start its directory, in the file's own terms.
std::string directoryLine(const StartFacts& start) {
    switch (start.kind) {
        case StartKind::DesktopEntry:
            return start.command.empty() ? "Path=" + start.appDir : cdLine(start);
        case StartKind::SystemdUnit:
            return "WorkingDirectory=" + start.appDir;
        case StartKind::ShellWrapper:
            return wrapperLine(start);
        case StartKind::Cron:
        case StartKind::PathLink:
            break;
    }
    return cdLine(start);
}

std::string startText(const StartFacts& start) {
    switch (start.kind) {
        case StartKind::DesktopEntry:
            return "the desktop entry";
        case StartKind::SystemdUnit:
            return start.userUnit ? "the user unit" : "the system unit";
        case StartKind::Cron:
            return "the cron line";
        case StartKind::PathLink:
            return "the link";
        case StartKind::ShellWrapper:
            return "the shell wrapper";
    }
    return "";
}

bool exitAccepted(const StartFacts& start) {
    return start.failureIgnored || std::find(start.successStatus.begin(), start.successStatus.end(),
                                             "1") != start.successStatus.end();
}

// What a start outside the application directory does: an absolute name
// still finds the ini file, a relative one finds nothing.
std::string consequence(const StartFacts& start) {
    if (!start.invocationName.empty() && start.invocationName[0] == '/') {
        return ", so the launcher reads its ini file but looks for the installation two levels "
               "above " +
               where(start) + " and makes the ini file's paths absolute against it";
    }
    return ", so the launcher finds neither the application's ini file nor the installation";
}

void unitHealth(const StartFacts& start, Collector& add) {
    const std::string type = start.type.empty() ? "simple" : start.type;
    const bool accepted = exitAccepted(start);
    if (accepted && (type == "forking" || (type == "oneshot" && start.remainAfterExit))) {
        return;
    }
    const std::string killMode = start.killMode.empty() ? "control-group" : start.killMode;
    std::string why;
    if (!accepted) {
        why = "the launcher always exits with status 1, which Type=" + type +
              " without SuccessExitStatus=1 takes for a failed start: the unit is \"failed\"";
        // A failed start ends the unit, and its cgroup with it, whatever the type.
        if (killMode != "none" && killMode != "process") {
            why += " and KillMode=" + killMode + " stops the application with it";
        }
    } else if (killMode == "none" || killMode == "process") {
        why = "with Type=" + type +
              " the unit is over when the launcher exits, and the "
              "application runs on outside it (KillMode=" +
              killMode +
              "): stopping the unit "
              "no longer stops it";
    } else {
        why = "with Type=" + type +
              " the unit is over when the launcher exits, and KillMode=" + killMode +
              " then stops the application";
    }
    // The lines to write are the same for every unit: the advice gives them.
    add(start.line, KindId::UnitStopsApplication, why, start.file);
}

void chainedStatus(const StartFacts& start, Collector& add) {
    if (start.chained.empty()) {
        return;
    }
    const std::string what = start.chained == "&&"
                                 ? "what follows \"&&\" never runs"
                                 : "what follows \"||\" always runs, as if the start had failed";
    add(start.line, KindId::LauncherExitStatusTested,
        quoted(start.command) + " tests the exit status of " + quoted(start.invocationName) +
            ", which is always 1: " + what + "; write " + quoted(cdLine(start)) + " alone",
        start.file);
}

// A start that leaves the launcher outside its application directory.
void outsideDirectory(const StartFacts& start, Collector& add) {
    const std::string copy = quoted(start.copy);
    switch (start.kind) {
        case StartKind::DesktopEntry:
            add(start.line, KindId::DesktopEntryWithoutPath,
                startText(start) + " starts " + copy + " in " + where(start) +
                    (start.directoryGiven ? "" : ", having no Path=") + consequence(start) +
                    "; write " + quoted(directoryLine(start)),
                start.file);
            break;
        case StartKind::SystemdUnit:
            add(start.line, KindId::UnitWithoutWorkingDirectory,
                startText(start) + " starts " + copy + " in " + where(start) +
                    (start.directoryGiven ? "" : ", having no WorkingDirectory=") +
                    consequence(start) + "; write " + quoted(directoryLine(start)),
                start.file);
            break;
        case StartKind::Cron:
            add(start.line, KindId::CronOutsideDirectory,
                startText(start) + " starts " + copy + " in " + where(start) +
                    (start.directoryGiven ? "" : " (cron starts in the user's home)") +
                    ", so the launch fails without a word; write the command as " +
                    quoted(cdLine(start)),
                start.file);
            break;
        case StartKind::ShellWrapper:
            add(start.line, KindId::WrapperOutsideDirectory,
                startText(start) + " starts " + copy + " in " + where(start) +
                    (start.directoryGiven ? "" : ", wherever its caller is") + consequence(start) +
                    "; write " + quoted(wrapperLine(start)),
                start.file);
            break;
        case StartKind::PathLink:
            break;
    }
}

// A start by a name that has no ini file where it starts.
void nameWithoutIni(const StartFacts& start, Collector& add) {
    const std::string copy = quoted(start.copy);
    if (start.kind == StartKind::PathLink && !start.iniPresent) {
        add(0, KindId::PathLinkWithoutIni,
            quoted(start.file) + " starts " + copy + " as " + quoted(start.invocationName) +
                ", so the launcher reads " + quoted(start.invocationName + ".ini") + ", which " +
                quoted(start.appDir) + " does not have, and drops every VM argument of " +
                quoted(baseName(start.copy) + ".ini") +
                "; put a shell wrapper there instead: " + quoted("#!/bin/sh") + " and " +
                quoted("cd " + start.appDir + " && exec ./" + baseName(start.copy) + " \"$@\""),
            start.file);
    }
    // Whatever the application's own check makes of a missing ini file, a
    // start that drops every VM argument its application has is wrong.
    if (start.kind != StartKind::PathLink && start.inAppDir && !start.iniPresent &&
        start.copyIniPresent) {
        add(start.line, KindId::StartNameWithoutIni,
            startText(start) + " starts " + copy + " as " + quoted(start.invocationName) +
                ", so the launcher reads " + quoted(start.invocationName + ".ini") + ", which " +
                quoted(start.appDir) + " does not have, and drops every VM argument of " +
                quoted(baseName(start.copy) + ".ini"),
            start.file);
    }
}

}  // namespace

void startRules(const StartFacts& start, Collector& add) {
    const std::string copy = quoted(start.copy);
    if (start.execProblem.refused()) {
        const KindId kind = start.kind == StartKind::SystemdUnit ? KindId::UnitRelativeExecStart
                                                                 : KindId::DesktopExecRefused;
        const std::string key = start.kind == StartKind::SystemdUnit ? "ExecStart=" : "Exec=";
        add(start.line, kind,
            key + " " + execProblemText(start) + "; write " + key + start.copy +
                (start.inAppDir ? "" : " with " + directoryLine(start)),
            start.file);
    }
    if (!start.otherApplication.empty()) {
        add(start.line, KindId::StartFromOtherApplication,
            startText(start) + " starts " + copy + " from " + quoted(start.otherApplication) +
                ", another application's directory: the launcher reads the ini file " +
                quoted(start.invocationName + ".ini") +
                " there, makes its paths absolute "
                "against that directory and names the application " +
                quoted(baseName(start.otherApplication)) + "; write " +
                quoted(directoryLine(start)),
            start.file);
    } else if (!start.inAppDir) {
        outsideDirectory(start, add);
    }
    nameWithoutIni(start, add);
    if (start.kind == StartKind::SystemdUnit) {
        unitHealth(start, add);
    }
    chainedStatus(start, add);
}
