// Asks a Java VM about itself as the application's user: in an empty
// temporary directory, with a time limit, with the variables the VM reads
// options from cleared, and with no option of the application except
// memory sizes on their own. Answers are kept for the rest of the run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/JavaVm.h"

// The VM's version, data model, -XX flags and -X options; once per VM per
// run, and with `kept` once across runs too, until the VM binary changes.
VmInfo probeVm(const std::string& java, const AccessJudge& access, bool kept = false);

// Whether the VM comes up with only `sizes` (such as "-Xmx3g"); once per
// VM and distinct set of sizes per run.
SizeVerdict probeSizes(const std::string& java, const std::vector<std::string>& sizes,
                       const AccessJudge& access);

// Whether the VM comes up with `options` and `variables` ("NAME=VALUE", the
// VM variables it reads options from): started with -version, as the
// application's user, in an empty scratch directory, with a time and a
// memory limit. Once per VM, options and variables per run; with `kept`,
// once across runs too, until the VM binary changes.
VmVerdict probeArguments(const std::string& java, const std::vector<std::string>& options,
                         const std::vector<std::string>& variables, const AccessJudge& access,
                         bool kept = false);

// Verdicts are written to and read from `dir` instead of the user's cache,
// kept or not: how probes run side by side in other processes hand theirs
// to the check. "" returns to the user's cache.
void shareVerdictsIn(const std::string& dir);

// How many times this process has started the VM for a verdict, rather
// than finding one kept.
std::size_t vmStartsForVerdicts();

// The variables of this environment that the VM would read options from,
// as "NAME=VALUE".
std::vector<std::string> vmVariables();
