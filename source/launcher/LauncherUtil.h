// Collection of the launcher's own command-line arguments.
#pragma once

#include <string>
#include <vector>

class LauncherUtil {
public:
    // Copies argv[first] .. argv[count - 1], in order and unchanged. With
    // diagnostics on, echoes them after a heading and leaves the echo line
    // open, so the next trace continues it.
    static std::vector<std::string> getAdditionalArgs(int count, const char* const* argv,
                                                      int first);
};
