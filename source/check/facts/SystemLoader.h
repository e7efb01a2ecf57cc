// The system's own dynamic loader, asked what it would load for a program
// without running it: its verdict on libraries, symbol versions, symbols
// bound at start, hwcaps directories and mapping, where it may be asked.
#pragma once

#include <string>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/ElfFile.h"

struct LoaderAnswer {
    bool asked = false;                // the system's loader gave the verdict
    std::vector<std::string> missing;  // libraries it finds nowhere
    std::string refusal;               // any other reason it stops the program; "" for none
};

// Asks only where the answer is the launch's own: the program's PT_INTERP is
// a system loader (root's, not writable by others), the program is not
// set-user-ID or set-group-ID (its loader then runs in secure mode), and the
// check can run as the application's user. Asked in `workingDir` with this
// process's environment, which the launcher hands on.
LoaderAnswer askSystemLoader(const std::string& program, const ElfFile& elf,
                             const std::string& workingDir, const AccessJudge& user);
