// The command line of dashvane-launcher-check.
#pragma once

#include <ostream>

// Exit status: 0 when nothing at or above the severity threshold is found,
// 1 when something is, 2 for a usage error or a check that could not be
// completed. Over several applications the worst status wins.
int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
