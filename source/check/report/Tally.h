// What a run has found so far, counted as the report goes: the numbers of
// its summary and the exit status.
#pragma once

#include <cstddef>

#include "model/Catalogue.h"

// Exit statuses, like the linters administrators already use: a script can
// tell a setup with findings from a check that could not be made, and both
// from a command line it got wrong.
constexpr int STATUS_CLEAN = 0;
constexpr int STATUS_FOUND = 1;
constexpr int STATUS_INCOMPLETE = 2;
constexpr int STATUS_USAGE = 3;

struct Tally {
    std::size_t applications = 0;       // begun, whether or not they could be checked
    std::size_t failed = 0;             // applications that could not be checked
    std::size_t counts[3] = {0, 0, 0};  // shown findings, by Severity
    std::size_t hidden = 0;             // findings below the threshold
    int current = STATUS_CLEAN;         // the application being checked
    int worst = STATUS_CLEAN;           // the whole run: the exit status

    std::size_t count(Severity severity) const { return counts[static_cast<int>(severity)]; }
    std::size_t shown() const { return counts[0] + counts[1] + counts[2]; }
};
