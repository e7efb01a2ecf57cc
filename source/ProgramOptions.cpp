#include "ProgramOptions.h"

#include <fstream>
#include <iostream>

#include "IniFormat.h"
#include "Options.h"

namespace {

// Wraps a value in double quotes when the platform wants quoted values.
std::string quotedIf(bool quote, const std::string& value) {
    return quote ? '"' + value + '"' : value;
}

// Bigger than the stream's default so long ini files need fewer reads.
constexpr std::size_t INI_READ_BUFFER = std::size_t{64} * 1024;

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
        std::cerr << "Exception: " << e.what() << std::endl;
    }
}

std::string ProgramOptions::GetLauncher() const {
    return quotedIf(needQuotes, launcherPath);
}

inline std::pair<std::string, std::string> ProgramOptions::getKeyValue(
    const std::string& line) const {
    const IniFormat::Range key = IniFormat::keyOf(line);
    if (key.end() == line.end()) {
        return {line, std::string()};
    }
    return {std::string(key.begin(), key.end()), std::string(key.end() + 1, line.end())};
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
    std::vector<char> buffer(INI_READ_BUFFER);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(iniFile.c_str(), std::ios::in);
    if (!in.good() && DVL_DBG_ENABLE) {
        std::cout << "Unable to properly open and parse file " << iniFile << std::endl;
    }
    // Without this the stream would swallow a failure to allocate a long
    // line and report it as the end of the file.
    in.exceptions(std::ios::badbit);

    const IniFormat::Trimmer trim;
    IniFormat::State state = IniFormat::State::Searching;
    std::string line;
    while (IniFormat::readLine(in, line)) {
        trim(line);
        switch (IniFormat::step(state, line)) {
            case IniFormat::Role::LauncherLine:
                launcherPath = getKeyValue(line).second;
                break;
            case IniFormat::Role::VmArgument:
                addVMArgFromConfigFile(line);
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
