// What the lines a mechanical mistake hides today would do once it is
// mended: a byte-order mark or a -VMARGS that keeps the VM section closed
// keeps the Java VM from refusing the lines below it, until --fix mends it.
#pragma once

#include <string>
#include <vector>

#include "fix/MendPlan.h"
#include "model/Finding.h"

// The findings of the text with every mechanical mistake mended, on lines of
// `original` the launcher does not use today and that have no finding of
// that kind today, each as a latent-finding at its line of `original`. Asks
// `errorsOf` about the original and the mended text; nothing when the
// oracle kept no whole judgement of them, or nothing is to be mended.
std::vector<Finding> latentFindings(const LaunchOracle& errorsOf, const std::string& original);
