// What execv would find at the executable's path.
#pragma once

#include <string>

#include "facts/Facts.h"

// Inspects the file at `path` (absolute, symbolic links followed as execv
// does) without running it. A script's relative interpreter is looked up
// from `startDir`, where the child runs execv. Libraries are looked for as
// `user` can open them.
ExecutableInfo inspectExecutable(const std::string& path, const std::string& startDir,
                                 const AccessJudge& user);

// The ELF file at `path` as the kernel and the dynamic loader will see it,
// started in `workingDir` by `user` with the checker's own environment.
ElfCheck checkElfProgram(const std::string& path, const std::string& workingDir,
                         const AccessJudge& user);
