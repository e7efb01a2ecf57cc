#include "Platform.h"

#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "LauncherUtil.h"
#include "Options.h"

namespace {

struct sigaction inheritedBrokenPipe;
bool brokenPipeIgnored = false;

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
        std::cout << "Adding Arg " << 0 << " : " << command << std::endl;
    }
    argv[0] = const_cast<char*>(command.c_str());
    for (std::size_t i = 1; i <= args.size(); ++i) {
        if (DVL_DBG_ENABLE) {
            std::cout << "Adding Arg " << i << " : " << args[i - 1] << std::endl;
        }
        argv[i] = args[i - 1].data();
    }
    argv[args.size() + 1] = nullptr;

    if (DVL_DBG_ENABLE) {
        std::cout << "Running Command : " << command << std::endl;
        std::cout << "With args array" << std::endl;
        for (std::size_t i = 0; argv[i] != nullptr; ++i) {
            std::cout << i << " : " << argv[i] << std::endl;
        }
    }

    // Every trace line was flushed, so the child inherits no unwritten output.
    const pid_t pid = fork();
    if (pid < 0) {
        std::cerr << "Failed to launch, could not create process" << std::endl;
        return false;
    }
    if (pid > 0) {
        return true;
    }

    if (chdir(startDir.c_str()) != 0) {
        std::cerr << "Failed to launch, could not set start directory" << std::endl;
        return false;
    }
    restoreBrokenPipe();
    execv(command.c_str(), argv.data());
    ignoreBrokenPipe();
    std::cerr << "Failed to launch" << std::endl;
    return false;
}
