// The launch description: which executable to start and the ordered
// arguments that follow it, filled from the launcher ini file and the
// launcher's own command line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem/path.hpp>

class ProgramOptions {
public:
    // Builds the whole description: the default executable (eclipseDir joined
    // with executableName), the two seed arguments, everything the ini file
    // contributes, then additionalArgs. A std::exception while reading the
    // ini file or appending the arguments is reported on standard error and
    // the options built so far are kept.
    ProgramOptions(const std::string& iniFile, const std::string& executableName,
                   const boost::filesystem::path& workingDir,
                   const boost::filesystem::path& eclipseDir, bool needQuotes,
                   const std::vector<std::string>& additionalArgs);

    // The spawner keeps pointers into these strings until it executes the
    // child, so the object is never copied.
    ProgramOptions(const ProgramOptions&) = delete;
    ProgramOptions& operator=(const ProgramOptions&) = delete;

    std::vector<std::string>& GetVMArgs() { return vmArgs; }
    const std::vector<std::string>& GetVMArgs() const { return vmArgs; }

    // The executable path, between double quotes when quoting is on.
    std::string GetLauncher() const;

private:
    void parseConfigFile(const std::string& iniFile);
    void parseAdditionalArgs(const std::vector<std::string>& args);
    std::pair<std::string, std::string> getKeyValue(const std::string& line) const;
    std::string fixRelativePath(const std::string& value) const;
    void addVMArgFromConfigFile(const std::string& line);

    std::vector<std::string> vmArgs;
    bool webAppSet;
    std::string launcherPath;
    std::string webAppName;
    std::string baseDir;
    bool needQuotes;
};
