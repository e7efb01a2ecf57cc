// What --fix would write for an application, judged before it is written:
// a mend that would add an error to the launch the original does not have
// is not made, and the finding it leaves says why.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "fix/IniFix.h"

// The errors of a launch from one text of the ini file.
struct LaunchErrors {
    std::map<KindId, std::size_t> counts;
    std::map<KindId, std::string> messages;  // the first of each kind
    std::string executable;                  // what execv runs
    std::set<KindId> silenced;               // by the file itself
};

// What the launch would meet with the ini file holding a given text: the
// check, run on that text in the application's directory.
using LaunchOracle = std::function<LaunchErrors(const std::string& iniText)>;

// `original` is what the application's ini file holds now. The oracle is
// asked once for the original and once for each mend weighed.
IniFixResult planMend(const LaunchOracle& errorsOf, const std::string& original);
