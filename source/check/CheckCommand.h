// The command line of dashvane-launcher-check.
#pragma once

#include <ostream>

// Exit status: 0 without warnings, 1 with warnings, 2 for a usage error or
// an application directory that cannot be entered.
int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
