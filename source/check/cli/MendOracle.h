// The check handed to the mender: what a launch from a given text of the ini
// file would meet, and what --fix would do, planned before the check says
// why it leaves a mendable finding.
#pragma once

#include <string>

#include "core/Check.h"
#include "fix/IniFix.h"
#include "fix/MendPlan.h"

// The check of `request`'s application with the ini file holding the text
// asked about, its lines read from a scratch copy. A mend is weighed by what
// the launcher makes of the file; what the VM then makes of the arguments
// the check reports on the mended file.
LaunchOracle launchOracle(const CheckRequest& request);

// What --fix would do with the ini file as it is, for the check to say why
// it leaves a finding; nothing for a file too large to plan in passing, or
// one that is not a regular file the check can read.
IniFixResult plannedMend(const CheckRequest& request, const LaunchOracle& errorsOf);

// The plan as the check takes it.
MendOutlook outlookOf(const IniFixResult& plan);
