// --diff and --fix of one application's ini file: --diff prints what --fix
// would write and changes nothing; --fix writes it and says what it mended.
#pragma once

#include <ostream>
#include <string>

#include "fix/IniFix.h"
#include "fix/MendPlan.h"
#include "fix/SafeRewrite.h"

// The largest file --diff and --fix mend. A plan holds the file several
// times over and checks each candidate text in full, so a larger one, far
// beyond any ini file written by hand, would cost memory and time out of
// all proportion; it is left to be mended by hand, as its findings say.
constexpr long long MOST_MENDED = 1024 * 1024;

// Why a file over MOST_MENDED is not mended.
std::string tooLargeToMend();

// The plan for a file too large to mend: every mend left, with the reason.
IniFixResult notMended(const std::string& reason);

struct MendOptions {
    bool diff = false;      // print the mend as a unified diff, write nothing
    bool readable = false;  // the diff goes to a terminal: bytes it cannot show are escaped
    SafeRewrite::Backup backup = SafeRewrite::Backup::Existing;  // how the original is kept
    bool listFixes = true;  // say each mend made, one line each
};

// `path` is the ini file, `name` the ini file as the report names it; each
// mend is weighed with `errorsOf`. Returns false when the file cannot be
// mended, after saying why on `err`. `planned`, when given, gets the plan
// made for the file as it was read, empty when there was none.
bool mendIni(const MendOptions& options, const std::string& name, const std::string& path,
             const LaunchOracle& errorsOf, std::ostream& out, std::ostream& err,
             IniFixResult* planned = nullptr);
