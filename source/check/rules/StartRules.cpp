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

// The lines that start the copy in a way every reader follows.
std::string plainLines(const StartFacts& start) {
    switch (start.kind) {
        case StartKind::DesktopEntry:
            return quoted("Exec=" + start.copy) + " and " + quoted("Path=" + start.appDir);
        case StartKind::SystemdUnit:
            return quoted("ExecStart=" + start.copy) + " and " +
                   quoted("WorkingDirectory=" + start.appDir);
        case StartKind::Cron:
        case StartKind::PathLink:
        case StartKind::ShellWrapper:
            break;
    }
    return quoted(directoryLine(start));
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
        return ": the installation is sought there";
    }
    return ": the launcher finds neither the ini file nor the installation";
}

// The note after an absolute start: what else goes wrong there.
std::string consequenceNote(const StartFacts& start) {
    if (!start.invocationName.empty() && start.invocationName[0] == '/') {
        return "the launcher reads the ini file, but looks for the installation two levels above " +
               where(start) + " and makes the ini file's paths absolute against it\n";
    }
    return std::string();
}

void unitHealth(const StartFacts& start, Collector& add) {
    const std::string type = start.type.empty() ? "simple" : start.type;
    const bool accepted = exitAccepted(start);
    if (accepted && (type == "forking" || (type == "oneshot" && start.remainAfterExit))) {
        return;
    }
    const std::string killMode = start.killMode.empty() ? "control-group" : start.killMode;
    std::string why;
    std::string stops;
    if (!accepted) {
        why = "Type=" + type + " takes the launcher's exit status 1 for a failure: the unit fails";
        // A failed start ends the unit, and its cgroup with it, whatever the type.
        if (killMode != "none" && killMode != "process") {
            why += ", stopping the application";
            stops = "KillMode=" + killMode + " stops the application with the unit\n";
        }
    } else if (killMode == "none" || killMode == "process") {
        why = "with Type=" + type + " and KillMode=" + killMode +
              " the application runs on outside the unit: stopping the unit does not stop it";
    } else {
        why = "with Type=" + type +
              " the unit is over when the launcher exits, and KillMode=" + killMode +
              " then stops the application";
    }
    // The lines to write are the same for every unit.
    add(start.line, KindId::UnitStopsApplication, why, start.file,
        stops +
            "write Type=forking and SuccessExitStatus=1 in [Service], and keep the default "
            "KillMode=control-group\n"
            "the launcher's exit then ends a clean start, the unit stays \"active (running)\", "
            "and stopping it stops the application");
}

void chainedStatus(const StartFacts& start, Collector& add) {
    if (start.chained.empty()) {
        return;
    }
    const std::string what = start.chained == "&&"
                                 ? "what follows \"&&\" never runs"
                                 : "what follows \"||\" always runs, as if the start had failed";
    add(start.line, KindId::LauncherExitStatusTested,
        "the command tests the launcher's exit status, which is always 1: " + what, start.file,
        "write " + quoted(cdLine(start)) + " alone; to know whether the application came up, " +
            "test what it does, such as its process or its port");
}

// A start in a directory other than the application's.
void outsideDirectory(const StartFacts& start, Collector& add) {
    const std::string starts =
        startText(start) + " starts " + quoted(start.copy) + " in " + where(start);
    const std::string write = consequenceNote(start) + "write " + quoted(directoryLine(start));
    switch (start.kind) {
        case StartKind::DesktopEntry:
            add(start.line, KindId::DesktopEntryWithoutPath,
                starts + (start.directoryGiven ? "" : " (no Path=)") + consequence(start),
                start.file, write);
            break;
        case StartKind::SystemdUnit:
            add(start.line, KindId::UnitWithoutWorkingDirectory,
                starts + (start.directoryGiven ? "" : " (no WorkingDirectory=)") +
                    consequence(start),
                start.file, write);
            break;
        case StartKind::Cron:
            add(start.line, KindId::CronOutsideDirectory,
                starts + ": the launch fails without a word", start.file,
                (start.directoryGiven ? std::string()
                                      : "cron starts commands in the user's home\n") +
                    "write the command as " + quoted(cdLine(start)));
            break;
        case StartKind::ShellWrapper:
            add(start.line, KindId::WrapperOutsideDirectory,
                starts + (start.directoryGiven ? "" : ", wherever its caller is") +
                    consequence(start),
                start.file, write);
            break;
        case StartKind::PathLink:
            break;
    }
}

// A start by a name that has no ini file beside the copy.
void nameWithoutIni(const StartFacts& start, Collector& add) {
    const std::string copy = quoted(start.copy);
    if (start.kind == StartKind::PathLink && !start.iniPresent) {
        add(0, KindId::PathLinkWithoutIni,
            "starts " + copy + " as " + quoted(start.invocationName) + ", which has no ini file " +
                "there: every VM argument of " + quoted(baseName(start.copy) + ".ini") +
                " is dropped",
            start.file,
            "put a shell wrapper there instead: " + quoted("#!/bin/sh") + " and " +
                quoted("cd " + start.appDir + " && exec ./" + baseName(start.copy) + " \"$@\""));
    }
    // Whatever the application's own check makes of a missing ini file, a
    // start that drops every VM argument its application has is wrong.
    if (start.kind != StartKind::PathLink && start.inAppDir && !start.iniPresent &&
        start.copyIniPresent) {
        add(start.line, KindId::StartNameWithoutIni,
            startText(start) + " starts " + copy + " as " + quoted(start.invocationName) +
                ", which has no ini file: every VM argument of " +
                quoted(baseName(start.copy) + ".ini") + " is dropped",
            start.file,
            "start the copy by its own name, " + quoted(baseName(start.copy)) +
                ", or give the name an ini file: " +
                quoted("ln -s " + baseName(start.copy) + ".ini " + baseName(start.invocationName) +
                       ".ini") +
                " in " + quoted(start.appDir));
    }
}

}  // namespace

void startRules(const StartFacts& start, Collector& add) {
    const std::string copy = quoted(start.copy);
    // Nothing is guessed about a start that is not read exactly.
    if (!start.unmodeled.empty()) {
        add(start.line, KindId::StartNotModeled,
            startText(start) + " is not checked, since it cannot be followed without running it: " +
                start.unmodeled,
            start.file,
            "it starts " + copy + "; to have it checked, start the copy by a plain command line: " +
                plainLines(start));
        return;
    }
    if (start.execProblem.refused()) {
        const KindId kind = start.kind == StartKind::SystemdUnit ? KindId::UnitRelativeExecStart
                                                                 : KindId::DesktopExecRefused;
        const std::string key = start.kind == StartKind::SystemdUnit ? "ExecStart=" : "Exec=";
        add(start.line, kind, key + " " + execProblemText(start), start.file,
            "write " + key + start.copy +
                (start.inAppDir ? "" : " with " + quoted(directoryLine(start))));
    }
    if (!start.otherApplication.empty()) {
        add(start.line, KindId::StartFromOtherApplication,
            startText(start) + " starts " + copy + " from another application's directory, " +
                quoted(start.otherApplication),
            start.file,
            "the launcher reads " + quoted(start.invocationName + ".ini") +
                " there, makes its paths absolute against that directory and names the "
                "application " +
                quoted(baseName(start.otherApplication)) + "\nwrite " +
                quoted(directoryLine(start)));
    } else if (!start.inAppDir) {
        outsideDirectory(start, add);
    }
    nameWithoutIni(start, add);
    if (start.kind == StartKind::SystemdUnit) {
        unitHealth(start, add);
    }
    chainedStatus(start, add);
}
