#include "Platform.h"

#include <signal.h>
#include <unistd.h>

#include "LauncherUtil.h"
#include "Options.h"
#include "Output.h"

namespace {

struct sigaction inheritedBrokenPipe;
bool brokenPipeIgnored = false;

// One trace line, written in pieces so that tracing allocates nothing.
void traceIndexed(const char* prefix, std::size_t index, std::string_view value) {
    std::fprintf(stdout, "%s%zu : ", prefix, index);
    writeLine(stdout, value);
}

void restoreBrokenPipe() {
    if (brokenPipeIgnored) {
        sigaction(SIGPIPE, &inheritedBrokenPipe, nullptr);
        brokenPipeIgnored = false;
    }
}

}  // namespace

void ignoreBrokenPipe() {
    if (brokenPipeIgnored) {
        return;
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    brokenPipeIgnored = sigaction(SIGPIPE, &ignore, &inheritedBrokenPipe) == 0;
}

std::string Platform::GetINIFile() const {
    return std::string(invocationName) + ".ini";
}

std::vector<std::string> Platform::GetAdditionalVMArgs(int argc, const char* const* argv) const {
    return LauncherUtil::getAdditionalArgs(argc, argv, 1);
}

bool Platform::SpawnDashvaneProcess(ProgramOptions& options,
                                    boost::filesystem::path startDir) const {
    const std::string command = options.GetLauncher();
    std::vector<std::string>& args = options.GetVMArgs();

    // Entries point into the strings of `options`, which outlive the exec.
    std::vector<char*> argv(args.size() + 2);
    if (DVL_DBG_ENABLE) {
        traceIndexed("Adding Arg ", 0, command);
    }
    argv[0] = const_cast<char*>(command.c_str());
    for (std::size_t i = 1; i <= args.size(); ++i) {
        if (DVL_DBG_ENABLE) {
            traceIndexed("Adding Arg ", i, args[i - 1]);
        }
        argv[i] = args[i - 1].data();
    }
    argv[args.size() + 1] = nullptr;

    if (DVL_DBG_ENABLE) {
        writeText(stdout, "Running Command : ");
        writeLine(stdout, command);
        writeLine(stdout, "With args array");
        for (std::size_t i = 0; argv[i] != nullptr; ++i) {
            traceIndexed("", i, argv[i]);
        }
    }

    // Every trace line was flushed, so the child inherits no unwritten output.
    const pid_t pid = fork();
    if (pid < 0) {
        writeLine(stderr, "Failed to launch, could not create process");
        return false;
    }
    if (pid > 0) {
        return true;
    }

    if (chdir(startDir.c_str()) != 0) {
        writeLine(stderr, "Failed to launch, could not set start directory");
        return false;
    }
    restoreBrokenPipe();
    execv(command.c_str(), argv.data());
    ignoreBrokenPipe();
    writeLine(stderr, "Failed to launch");
    return false;
}
