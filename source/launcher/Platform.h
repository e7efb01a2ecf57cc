// Platform-dependent names and switches, and the start of the Dashvane child.
#pragma once

#include <string>
#include <vector>

#include <boost/filesystem/path.hpp>

#include "ProgramOptions.h"

class Platform {
public:
    // Keeps the pointer, not a copy: the invocation name outlives the launcher.
    explicit Platform(const char* invocationName) : invocationName(invocationName) {}

    // The invocation name followed by ".ini", with no path resolution.
    std::string GetINIFile() const;

    // Starts the executable of `options` in `startDir` with fork, chdir and
    // execv, without waiting for it. Returns true in the launcher. Returns
    // false when no child could be created, and in a child whose chdir or
    // execv failed; the failure has been written on standard error.
    bool SpawnDashvaneProcess(ProgramOptions& options, boost::filesystem::path startDir) const;

    // The command-line arguments after the invocation name.
    std::vector<std::string> GetAdditionalVMArgs(int argc, const char* const* argv) const;

    std::string GetDashvaneExecutableName() const { return "Dashvane"; }

    // Linux passes each argument as its own string, so nothing is quoted.
    bool NeedQuotes() const { return false; }

private:
    const char* invocationName;
};

// A reader that went away must not kill the launcher while it traces, before
// it has started anything. The child gets the disposition back before exec.
void ignoreBrokenPipe();
