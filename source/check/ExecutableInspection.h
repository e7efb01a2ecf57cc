// What execv would find at the executable's path.
#pragma once

#include <string>

#include "Findings.h"

// Inspects the file at `path` (absolute, symbolic links followed as execv
// does) without running it. A script's relative interpreter is looked up
// from `startDir`, where the child runs execv.
ExecutableInfo inspectExecutable(const std::string& path, const std::string& startDir);

// 32 or 64: the ELF class of this program itself, which the launcher built
// for the same machine shares.
int ownElfClass();
