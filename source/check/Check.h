// The check of an application directory, from the ini file to the argument
// vector, with no process started and nothing written.
#pragma once

#include <string>

#include "Findings.h"

// What the launcher would do when started as `invocationName` in
// `workingDir`, an absolute path without symbolic links (as getcwd reports
// it), with no command-line arguments and the environment of this process.
// With `copies`, the launcher copies found there are judged as well.
Findings inspectApplication(const std::string& workingDir, const std::string& invocationName,
                            const CopySearch* copies = nullptr);
