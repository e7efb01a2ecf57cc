// What --fix would write for an application, judged before it is written:
// a mend that would add an error to the launch the original does not have
// is not made, and the finding it leaves says why.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fix/IniFix.h"
#include "model/Finding.h"

// The errors of a launch from one text of the ini file.
struct LaunchErrors {
    std::map<KindId, std::size_t> counts;
    std::map<KindId, std::string> messages;  // the first of each kind
    std::string executable;                  // what execv runs
    std::set<KindId> silenced;               // by the file itself
    // The whole judgement, kept only for a text small enough to plan in
    // passing: every finding about the ini file, and the lines the launcher
    // uses (passed on, taken as the launcher line, opening the VM section).
    bool kept = false;
    std::vector<Finding> findings;
    std::set<std::size_t> used;
};

// What the launch would meet with the ini file holding a given text: the
// check, run on that text in the application's directory.
using LaunchOracle = std::function<LaunchErrors(const std::string& iniText)>;

// `original` is what the application's ini file holds now. The oracle is
// asked once for the original and once for each mend weighed.
IniFixResult planMend(const LaunchOracle& errorsOf, const std::string& original);

// One pass of the mender over the text an earlier one wrote.
struct MendRound {
    std::string before;  // the text the round read
    IniFixResult plan;   // its lines counted in `before`
};

// Mends of the whole file (its encoding, its line ends) are made alone, and
// bring out lines the next pass mends: this many passes reach the end for
// any file, with room to spare.
constexpr std::size_t MOST_ROUNDS = 6;

// What one --fix writes: planMend again on what each pass wrote, until a
// pass mends nothing, at most `mostRounds` times. The fixes and refusals are
// counted in the lines of `original`; the refusals are those of the last
// pass, and `from` gives each line written its line of `original`. `rounds`, when given, gets every
// pass. The check is asked once for each text, however many passes weigh it.
IniFixResult planToTheEnd(const LaunchOracle& errorsOf, const std::string& original,
                          std::vector<MendRound>* rounds = nullptr,
                          std::size_t mostRounds = MOST_ROUNDS);
