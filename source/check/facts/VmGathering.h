// The Java VM the executable starts, and what it is handed.
#pragma once

#include <string>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/Facts.h"
#include "facts/LaunchVector.h"

// The VM the executable started from the start directory finds, or the one
// named outright; known before the lines are judged.
void findVmOf(Facts& facts, const std::string& named, const AccessJudge& access);

// The installation ini's VM section first, as --launcher.appendVmargs puts
// ours after it, then everything of ours after -vmargs; the last
// `ownArguments` of the vector are the command line's. With `ask`, the VM
// is asked about itself; with `kept`, its description kept from an earlier
// run serves. `variables`, when given, are the VM variables of the launch ("NAME=VALUE")
// in place of this environment's.
void gatherVm(Facts& facts, bool ask, std::size_t ownArguments, const LaunchVector& argv,
              const AccessJudge& access, const std::vector<std::string>* variables = nullptr,
              bool kept = false);

// Whether the VM may be started and described itself: only then is it
// worth working out what to ask it.
bool vmMayBeAsked(const VmFacts& vm);

// The VM's verdict on the arguments at `indexes` (into vm.arguments) and
// on the options of the VM variables of this environment, those with
// effects outside the VM left out; when it was asked about itself and
// answered. With `kept`, a verdict kept from an earlier run serves.
void askVmArguments(VmFacts& vm, const std::vector<std::size_t>& indexes, const AccessJudge& access,
                    bool kept = false);

// The VM asked whether it takes `sizes`, when it was asked about itself and answered.
void askVmSizes(VmFacts& vm, const std::vector<std::string>& sizes, const AccessJudge& access);
