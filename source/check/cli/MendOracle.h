// The check handed to the mender: what a launch from a given text of the ini
// file would meet, and what --fix would do, planned before the check says
// why it leaves a mendable finding.
#pragma once

#include <string>
#include <vector>

#include "core/Check.h"
#include "fix/IniFix.h"
#include "fix/MendPlan.h"

// The check of `request`'s application with the ini file holding the text
// asked about, its lines read from a scratch copy, the Java VM judged as
// `request` judges it: with its verdict, unless --no-vm keeps to the rules.
// The VM's verdicts are kept for the run, so a trial starts it only for an
// argument list not asked about yet.
LaunchOracle launchOracle(const CheckRequest& request);

// How the ini file `request` checks stands for the mend plan: not a regular
// file (never opened: a named pipe would wait for a writer), small enough to
// mend in memory, or larger, for which no candidate text is checked.
enum class MendSize { NotRegular, Small, TooLarge };
MendSize mendSizeOf(const CheckRequest& request);

// What --fix would do with the ini file as it is, for the check to say why
// it leaves a finding; nothing for a file too large to plan in passing, or
// one that is not a regular file the check can read.
IniFixResult plannedMend(const CheckRequest& request, const LaunchOracle& errorsOf);

// What the lines a mechanical mistake hides would meet once it is mended,
// for the check to report; nothing where plannedMend plans nothing.
std::vector<Finding> latentOf(const CheckRequest& request, const LaunchOracle& errorsOf);

// The plan as the check takes it.
MendOutlook outlookOf(const IniFixResult& plan);
