#include "LauncherUtil.h"

#include "Options.h"
#include "Output.h"

std::vector<std::string> LauncherUtil::getAdditionalArgs(int count, const char* const* argv,
                                                         int first) {
    std::vector<std::string> args;
    if (first >= count) {
        return args;
    }
    if (DVL_DBG_ENABLE) {
        writeLine(stdout, "Found command line args: ");
    }
    args.reserve(static_cast<std::size_t>(count - first));
    for (int i = first; i < count; ++i) {
        if (DVL_DBG_ENABLE) {
            // One open line: the next trace line continues it.
            std::fputs(argv[i], stdout);
            std::fputc(' ', stdout);
        }
        args.emplace_back(argv[i]);
    }
    return args;
}
