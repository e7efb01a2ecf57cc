#include "ProgramOptions.h"

#include "IniFormat.h"
#include "Options.h"
#include "Output.h"

namespace {

// Wraps a value in double quotes when the platform wants quoted values.
std::string quotedIf(bool quote, const std::string& value) {
    return quote ? '"' + value + '"' : value;
}

}  // namespace

ProgramOptions::ProgramOptions(const std::string& iniFile, const std::string& executableName,
                               const boost::filesystem::path& workingDir,
                               const boost::filesystem::path& eclipseDir, bool needQuotes,
                               const std::vector<std::string>& additionalArgs)
    : webAppSet(false), needQuotes(false) {
    boost::filesystem::path launcher(eclipseDir);
    launcher /= executableName;
    launcherPath = launcher.native();
    webAppName = workingDir.filename().native();
    baseDir = workingDir.native();
    vmArgs.push_back(VMARGSAPPEND);
    vmArgs.push_back(VMARGS);
    // The ini reader quotes what it rebuilds, so the switch is set first.
    this->needQuotes = needQuotes;
    try {
        parseConfigFile(iniFile);
        parseAdditionalArgs(additionalArgs);
    } catch (const std::exception& e) {
        writeText(stderr, "Exception: ");
        writeLine(stderr, e.what());
    }
}

std::string ProgramOptions::GetLauncher() const {
    return quotedIf(needQuotes, launcherPath);
}

inline std::pair<std::string, std::string> ProgramOptions::getKeyValue(
    const std::string& line) const {
    const IniFormat::Chars all = IniFormat::charsOf(line);
    const IniFormat::Chars key = IniFormat::keyOf(all);
    if (key.end() == all.end()) {
        return {line, std::string()};
    }
    return {std::string(key.begin(), key.end()), std::string(key.end() + 1, all.end())};
}

inline std::string ProgramOptions::fixRelativePath(const std::string& value) const {
    if (!boost::filesystem::path(value).root_directory().empty()) {
        return value;
    }
    boost::filesystem::path joined(baseDir);
    joined /= value;
    return joined.native();
}

inline void ProgramOptions::addVMArgFromConfigFile(const std::string& line) {
    switch (IniFormat::vmKindOf(line)) {
        case IniFormat::VmKind::WebApp:
            // The application name is passed exactly as written, never quoted.
            webAppSet = true;
            vmArgs.push_back(line);
            break;
        case IniFormat::VmKind::PathProperty: {
            const std::pair<std::string, std::string> keyValue = getKeyValue(line);
            vmArgs.push_back(keyValue.first + '=' +
                             quotedIf(needQuotes, fixRelativePath(keyValue.second)));
            break;
        }
        case IniFormat::VmKind::Plain:
            vmArgs.push_back(line);
            break;
        case IniFormat::VmKind::Empty:
            break;
    }
}

void ProgramOptions::parseConfigFile(const std::string& iniFile) {
    // Only one line is held at a time, so a huge ini file costs time, not memory.
    IniFormat::Reader in(iniFile);
    if (!in.isOpen() && DVL_DBG_ENABLE) {
        writeText(stdout, "Unable to properly open and parse file ");
        writeLine(stdout, iniFile);
    }

    IniFormat::State state = IniFormat::State::Searching;
    IniFormat::Chars raw;
    while (in.readLine(raw)) {
        // Head lines are mostly ignored, so a line is copied only when used.
        const IniFormat::Chars line = IniFormat::trim(raw);
        switch (IniFormat::step(state, line)) {
            case IniFormat::Role::LauncherLine:
                launcherPath = getKeyValue(std::string(line.begin(), line.end())).second;
                break;
            case IniFormat::Role::VmArgument:
                addVMArgFromConfigFile(std::string(line.begin(), line.end()));
                break;
            case IniFormat::Role::IgnoredInHead:
            case IniFormat::Role::OpensVmSection:
                break;
        }
    }

    if (!webAppSet) {
        vmArgs.push_back(Options::WebApp + '=' + quotedIf(needQuotes, webAppName));
        webAppSet = true;
    }
}

void ProgramOptions::parseAdditionalArgs(const std::vector<std::string>& args) {
    // One at a time, so arguments appended before a failure stay.
    for (const std::string& arg : args) {
        vmArgs.push_back(arg);
    }
}
