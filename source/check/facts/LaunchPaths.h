// The files and directories a launch reads or executes, gathered from the
// facts of one application once its argument vector is known.
#pragma once

#include <vector>

#include "facts/Facts.h"
#include "facts/LaunchVector.h"
#include "facts/Writers.h"

// The ini file, the application directory, the launcher copies, the start
// directory, the executable, its interpreters, loader, libraries and the
// directories searched for them, the agents of the VM arguments and the
// files the path properties name.
std::vector<PathUse> launchPaths(const Facts& facts, const LaunchVector& argv);
