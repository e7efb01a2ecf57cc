#include "facts/StartExamination.h"

#include <sys/stat.h>

#include "facts/ExecutableInspection.h"
#include "facts/IniExamination.h"
#include "facts/LaunchPaths.h"

namespace {

// Where the kernel finds a script's interpreter: a relative one in the
// start directory, where the child runs execv.
std::string interpreterPath(const Facts& findings) {
    const std::string& interpreter = findings.executableInfo.interpreter;
    return interpreter.empty() || interpreter[0] == '/'
               ? interpreter
               : findings.startDirResolved + "/" + interpreter;
}

// Each path as the child names it: the start directory from the working
// directory, a relative command from the start directory it is then in.
std::vector<AccessProbe> childProbes(const Facts& findings, bool script) {
    const std::string& command = findings.executable;
    std::vector<AccessProbe> probes = {
        {AccessOperation::Enter, findings.startDir, findings.workingDir}};
    if (!command.empty()) {
        probes.push_back({AccessOperation::Execute, command, findings.startDirResolved});
    }
    if (script) {
        probes.push_back({AccessOperation::Execute, interpreterPath(findings)});
        // The interpreter opens the last script of a chain, and an interpreter
        // that is a script hands the scripts before it on to be read in turn;
        // a relative one is named from the start directory.
        probes.push_back({AccessOperation::Read, command, findings.startDirResolved});
        for (const std::string& chained : findings.executableInfo.chainScripts) {
            probes.push_back({AccessOperation::Read, chained});
        }
    }
    return probes;
}

}  // namespace

void describeStart(Facts& findings, const AccessJudge& access) {
    findings.startDirResolved = absoluteFrom(findings.workingDir, findings.startDir);
    const std::string& command = findings.executable;
    const std::string executable =
        command.empty() ? command : absoluteFrom(findings.startDirResolved, command);
    findings.executableInfo =
        inspectExecutable(reachablePath(executable), findings.startDirResolved, access);
    ExecutableInfo& info = findings.executableInfo;
    info.resolved = executable;
    const bool script = info.kind == FileKind::Script && !interpreterPath(findings).empty();
    std::vector<AccessProbe> probes = childProbes(findings, script);
    // The user starts a launcher copy from the application directory, before
    // anything else happens.
    const std::size_t firstCopy = probes.size();
    for (const LauncherCopy& copy : findings.copies.copies) {
        probes.push_back({AccessOperation::Execute, "./" + copy.name, findings.workingDir});
    }
    const std::vector<AccessVerdict> verdicts = access.judge(probes);
    for (std::size_t i = 0; i < findings.copies.copies.size(); ++i) {
        findings.copyAccess.push_back(verdicts[firstCopy + i]);
        findings.copies.copies[i].executable = verdicts[firstCopy + i].granted();
    }
    findings.startDirAccess = verdicts[0];
    findings.startDirUsable = verdicts[0].granted();
    if (probes.size() > 1) {
        findings.executableAccess = verdicts[1];
        info.executable = verdicts[1].granted();
    }
    if (script) {
        findings.interpreterAccess = verdicts[2];
        info.interpreterUsable = info.interpreterUsable && verdicts[2].granted();
        // The first script of the chain the user cannot read.
        findings.scriptAccess = verdicts[3];
        for (std::size_t i = 4; i < firstCopy && findings.scriptAccess.granted(); ++i) {
            findings.scriptAccess = verdicts[i];
        }
    }
}

void describeWriters(Facts& findings, const LaunchVector& argv, const AccessJudge& access,
                     PathCache& paths) {
    // Once per application, never per line: the walk is over the paths the
    // launch uses, not over what the ini file holds.
    UserIdentity changer = access.user();
    struct stat appDir {};
    if (findings.judgedAsRoot &&
        stat(reachablePath(findings.workingDir, 1).c_str(), &appDir) == 0) {
        // No user named: the application directory's owner stands for them,
        // as the note about root says.
        changer = paths.identityOf(appDir.st_uid);
    }
    findings.changer = changer.name;
    const std::vector<PathUse> uses = launchPaths(findings, argv);
    findings.judgedPaths = judgeWriters(uses, changer, paths);
    // The application opens the files its path properties name as the user,
    // as the launcher opens the ini file. A missing one is said at its line.
    std::vector<PathUse> data;
    std::vector<AccessProbe> probes;
    for (const PathUse& use : uses) {
        if (!use.code && use.line != 0) {
            data.push_back(use);
            probes.push_back({AccessOperation::Read, use.path});
        }
    }
    const std::vector<AccessVerdict> verdicts = access.judge(probes);
    for (std::size_t i = 0; i < verdicts.size() && i < data.size(); ++i) {
        const AccessCause cause = verdicts[i].cause;
        if (cause != AccessCause::Granted && cause != AccessCause::NotFound &&
            cause != AccessCause::DanglingLink) {
            findings.unreadableData.push_back({data[i], verdicts[i]});
        }
    }
}
