#include "facts/IniExamination.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

std::string absoluteFrom(const std::string& base, std::string path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    // "./run.ini" is "run.ini" in the base: said shorter, the same file.
    while (path.compare(0, 2, "./") == 0) {
        path.erase(0, 2);
    }
    if (path.empty()) {
        return base;
    }
    return base + (!base.empty() && base.back() == '/' ? "" : "/") + path;
}

namespace {

// The null device (character device 1:3 on Linux): opened, it ends at once,
// so the launcher reads it as an empty file and starts with the default vector.
bool readsEmpty(const struct stat& status) {
    return S_ISCHR(status.st_mode) && major(status.st_rdev) == 1 && minor(status.st_rdev) == 3;
}

std::string ownerOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return std::string();
    }
    return userName(status.st_uid);
}

}  // namespace

std::string examineIni(Facts& findings, const AccessJudge& access) {
    const std::string reach = reachablePath(findings.iniPath);
    struct stat status {};
    const bool exists = stat(reach.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        findings.iniState = IniState::Directory;
        return findings.iniPath;
    }
    if (exists && !S_ISREG(status.st_mode)) {
        findings.iniState = IniState::NotRegular;
        findings.iniReadsEmpty = readsEmpty(status);
        return std::string();
    }
    // Opened as the launcher opens it: a relative name from the working
    // directory, whose ancestors the user need not be able to search.
    findings.iniAccess =
        access.judge({AccessProbe{AccessOperation::Read, findings.iniFile, findings.workingDir}})
            .front();
    if (!findings.iniAccess.granted()) {
        findings.iniState = findings.iniAccess.cause == AccessCause::NotFound
                                ? IniState::Missing
                                : IniState::Unreadable;
        return std::string();
    }
    if (::access(reach.c_str(), R_OK) != 0) {
        // Readable for the user judged, but not for the check itself.
        findings.iniState = IniState::Unreadable;
        return std::string();
    }
    findings.iniState = IniState::Read;
    const IniText::TextForm form = IniText::detectFile(findings.readPath);
    findings.encoding = form.encoding;
    findings.byteOrderMark = form.markSize != 0;
    return findings.readPath;
}

void describeJudge(Facts& findings, const AccessJudge& access) {
    const UserIdentity& user = access.user();
    findings.accessUser = user.name;
    findings.accessUid = user.uid;
    if (!access.named() && user.uid == 0) {
        findings.judgedAsRoot = true;
        findings.appDirOwner = ownerOf(reachablePath(findings.workingDir, 1));
        findings.accessMethod = AccessMethod::Root;
        return;
    }
    switch (access.method()) {
        case JudgeMethod::Self:
            findings.accessMethod = AccessMethod::Self;
            break;
        case JudgeMethod::Switched:
            findings.accessMethod = AccessMethod::Switched;
            break;
        case JudgeMethod::Computed:
            findings.accessMethod = AccessMethod::Computed;
            break;
    }
}
