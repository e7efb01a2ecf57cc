// Every option of dashvane-launcher-check in one table, which both parses
// the command line and writes --help, so the two cannot disagree.
#pragma once

#include <ostream>
#include <string>

#include "cli/CommandLine.h"

// Returns an empty string, or the usage error.
std::string parseCommandLine(int argc, const char* const* argv, CommandLine& line);

void writeHelp(std::ostream& out);

extern const char USAGE[];
