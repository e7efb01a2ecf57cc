#include "Check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <boost/filesystem/path.hpp>

#include "ExecutableInspection.h"
#include "IniLines.h"
#include "Platform.h"
#include "ProgramOptions.h"
#include "Warnings.h"

extern char** environ;

namespace {

// Where the element after "--launcher.appendVmargs" and "-vmargs" stands.
constexpr std::size_t FIRST_INI_ARGUMENT = 3;

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

// Bytes execve copies for a vector of strings: each with its NUL, plus the pointer to it.
std::size_t vectorBytes(const std::vector<std::string>& strings) {
    std::size_t bytes = 0;
    for (const std::string& s : strings) {
        bytes += s.size() + 1 + sizeof(char*);
    }
    return bytes;
}

std::size_t environmentBytes() {
    std::size_t bytes = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bytes += std::char_traits<char>::length(*entry) + 1 + sizeof(char*);
    }
    return bytes;
}

// Reads the ini file's lines unless opening it could block or never end:
// a named pipe waits for a writer, a device may never stop. Returns the
// path the launch options are to read, empty for such a file.
std::string readIni(Findings& findings) {
    struct stat status {};
    if (stat(findings.iniPath.c_str(), &status) != 0) {
        findings.iniState =
            errno == ENOENT || errno == ENOTDIR ? IniState::Missing : IniState::Unreadable;
        return findings.iniPath;
    }
    if (S_ISDIR(status.st_mode)) {
        findings.iniState = IniState::Directory;
        return findings.iniPath;
    }
    if (!S_ISREG(status.st_mode)) {
        findings.iniState = IniState::NotRegular;
        return std::string();
    }
    IniFormat::Reader in(findings.iniPath);
    if (!in.isOpen()) {
        findings.iniState = IniState::Unreadable;
        return findings.iniPath;
    }
    findings.iniState = IniState::Read;
    findings.lines = classifyIniLines(in, FIRST_INI_ARGUMENT);
    return findings.iniPath;
}

}  // namespace

Findings inspectApplication(const std::string& workingDir, const std::string& invocationName) {
    Findings findings;
    findings.workingDir = workingDir;
    findings.invocationName = invocationName;
    const Platform platform(findings.invocationName.c_str());
    findings.iniFile = platform.GetINIFile();
    findings.iniPath = absoluteFrom(workingDir, findings.iniFile);
    const std::string optionsIni = readIni(findings);

    // Built as the launcher builds it, so the vector is the launcher's own.
    const boost::filesystem::path workingPath(workingDir);
    const boost::filesystem::path eclipseDir = workingPath.parent_path().parent_path() / "eclipse";
    const ProgramOptions options(optionsIni, platform.GetDashvaneExecutableName(), workingPath,
                                 eclipseDir, platform.NeedQuotes(), std::vector<std::string>());
    const std::vector<std::string>& vmArgs = options.GetVMArgs();

    std::size_t iniArguments = 0;
    bool nameGiven = false;
    for (IniLine& line : findings.lines) {
        if (line.argument != 0) {
            ++iniArguments;
            if (line.argument - 1 < vmArgs.size()) {
                line.element = vmArgs[line.argument - 1];
            }
        }
        nameGiven = nameGiven || line.effect == LineEffect::NameSuppressed;
        if (line.effect == LineEffect::LauncherTaken) {
            findings.launcherLine = line.number;
        }
    }
    findings.applicationName = workingPath.filename().native();
    const std::size_t defaultName = FIRST_INI_ARGUMENT + iniArguments;
    if (!nameGiven && defaultName - 1 < vmArgs.size()) {
        findings.defaultNameArgument = defaultName;
    }

    findings.executable = options.GetLauncher();
    findings.argv.push_back(findings.executable.c_str());
    for (const std::string& arg : vmArgs) {
        findings.argv.push_back(arg.c_str());
    }
    // execve copies the file name it runs as well, ahead of the vector.
    findings.argumentBytes = vectorBytes(findings.argv) + findings.executable.size() + 1;
    findings.environmentBytes = environmentBytes();
    const long limit = sysconf(_SC_ARG_MAX);
    findings.argumentLimit = limit > 0 ? static_cast<std::size_t>(limit) : 0;

    // The child changes into the start directory, then runs execv there.
    findings.startDir = eclipseDir.native();
    findings.startDirResolved = absoluteFrom(workingDir, findings.startDir);
    struct stat status {};
    findings.startDirUsable = stat(findings.startDirResolved.c_str(), &status) == 0 &&
                              S_ISDIR(status.st_mode) &&
                              access(findings.startDirResolved.c_str(), X_OK) == 0;
    const std::string command = findings.argv.front();
    findings.executableInfo = inspectExecutable(
        command.empty() ? command : absoluteFrom(findings.startDirResolved, command),
        findings.startDirResolved);

    findings.warnings = findWarnings(findings);
    return findings;
}
