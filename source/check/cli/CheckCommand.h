// The command line of dashvane-launcher-check.
#pragma once

#include <ostream>

// What the checker's output goes to, as the process found it at start: the
// report is coloured only for a terminal, and never when NO_COLOR asks so.
struct OutputTerminal {
    bool isTerminal = false;        // standard output is a terminal
    const char* noColor = nullptr;  // NO_COLOR, when set
    const char* term = nullptr;     // TERM, when set
};

// Exit status: 0 when nothing at or above the severity threshold is found,
// 1 when something is, 2 when a check could not be completed, 3 for a usage
// error. Over several applications the worst status wins.
int runCheckCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                    const OutputTerminal& terminal = OutputTerminal());
