#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/CheckCommand.h"
#include "cli/OwnStack.h"

int main(int argc, char** argv) {
    // The report can be large; the C++ streams buffer it themselves rather
    // than handing each piece to stdio.
    std::ios::sync_with_stdio(false);
    OutputTerminal terminal;
    terminal.isTerminal = isatty(STDOUT_FILENO) == 1;
    terminal.noColor = std::getenv("NO_COLOR");
    terminal.term = std::getenv("TERM");
    return runOnOwnStack(
        [&] { return runCheckCommand(argc, argv, std::cout, std::cerr, terminal); });
}
