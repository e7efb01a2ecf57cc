#include <iostream>

#include "CheckCommand.h"

int main(int argc, char** argv) {
    // The report can be large; the C++ streams buffer it themselves rather
    // than handing each piece to stdio.
    std::ios::sync_with_stdio(false);
    return runCheckCommand(argc, argv, std::cout, std::cerr);
}
