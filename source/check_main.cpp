#include <iostream>

#include "CheckCommand.h"

int main(int argc, char** argv) {
    return runCheckCommand(argc, argv, std::cout, std::cerr);
}
