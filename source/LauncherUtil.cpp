#include "LauncherUtil.h"

#include <iostream>

#include "Options.h"

std::vector<std::string> LauncherUtil::getAdditionalArgs(int count, const char* const* argv,
                                                         int first) {
    std::vector<std::string> args;
    if (first >= count) {
        return args;
    }
    if (DVL_DBG_ENABLE) {
        std::cout << "Found command line args: " << std::endl;
    }
    args.reserve(static_cast<std::size_t>(count - first));
    for (int i = first; i < count; ++i) {
        if (DVL_DBG_ENABLE) {
            std::cout << argv[i] << ' ';
        }
        args.emplace_back(argv[i]);
    }
    return args;
}
