#include "Launcher.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <boost/filesystem/exception.hpp>
#include <boost/filesystem/operations.hpp>

#include "Options.h"
#include "Output.h"
#include "Platform.h"
#include "ProgramOptions.h"

namespace {

// Status for a run that could not even attempt a launch, so scripts can tell
// it from 1, which every attempted launch returns.
constexpr int NOTHING_ATTEMPTED = 2;
constexpr int LAUNCH_ATTEMPTED = 1;

const char UNEXPECTED_ERROR[] = "Failed to launch, unexpected error\n";

// The runtime can still end in std::terminate, for instance when memory is
// so short that not even an exception object can be allocated. Report it
// like any other unexpected error instead of dying by SIGABRT.
[[noreturn]] void onTerminate() {
    std::fflush(stdout);
    const ssize_t ignored = write(STDERR_FILENO, UNEXPECTED_ERROR, sizeof UNEXPECTED_ERROR - 1);
    static_cast<void>(ignored);
    _exit(NOTHING_ATTEMPTED);
}

int launch(int argc, char** argv) {
    DVL_DBG_ENABLE = std::getenv("DVL_DBG_ENABLE") != nullptr;
    ignoreBrokenPipe();

    if (argc < 1 || argv[0] == nullptr) {
        writeLine(stderr, "Failed to launch, no invocation name");
        return NOTHING_ATTEMPTED;
    }
    const Platform platform(argv[0]);
    const std::vector<std::string> args = platform.GetAdditionalVMArgs(argc, argv);

    boost::filesystem::path workingDir;
    try {
        // getcwd: the physical directory; PWD is never consulted.
        workingDir = boost::filesystem::current_path();
    } catch (const boost::filesystem::filesystem_error&) {
        writeLine(stderr, "Failed to launch, could not determine the working directory");
        return NOTHING_ATTEMPTED;
    }
    const boost::filesystem::path eclipseDir = workingDir.parent_path().parent_path() / "eclipse";
    const std::string iniFile = platform.GetINIFile();

    ProgramOptions options(iniFile, platform.GetDashvaneExecutableName(), workingDir, eclipseDir,
                           platform.NeedQuotes(), args);

    if (!platform.SpawnDashvaneProcess(options, eclipseDir) && !DVL_DBG_ENABLE) {
        // Left without a final newline: the hint is the last thing written.
        writeLine(stdout, "");
        writeText(stdout,
                  "Failed to execute command. Set DVL_DBG_ENABLE env variable to get "
                  "addtional diagnostics information");
    }
    return LAUNCH_ATTEMPTED;
}

}  // namespace

int runLauncher(int argc, char** argv) {
    std::set_terminate(onTerminate);
    try {
        return launch(argc, argv);
    } catch (...) {
        writeText(stderr, UNEXPECTED_ERROR);
        return NOTHING_ATTEMPTED;
    }
}
