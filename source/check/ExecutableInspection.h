// What execv would find at the executable's path.
#pragma once

#include <string>

#include "Findings.h"

// Inspects the file at `path` (absolute, symbolic links followed as execv
// does) without running it. A script's relative interpreter is looked up
// from `startDir`, where the child runs execv.
ExecutableInfo inspectExecutable(const std::string& path, const std::string& startDir);

// 32 or 64: the ELF class of this machine's own programs, from the kernel's
// machine name (so a 32-bit checker on a 64-bit kernel still says 64).
int machineElfClass();

// Whether the kernel of this machine runs programs of `elfClass`: its own
// class, or 32-bit ones on a 64-bit machine (through its 32-bit support).
bool elfClassRunsHere(int elfClass);
