// The pieces of the text report that the findings and the explanation share:
// a finding as compilers write one, the failure of a check, the summary.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "report/Formatter.h"

namespace TextOutput {

// Bytes in double quotes, every invisible one spelled out.
std::string quoted(const std::string& bytes);

// The same, written to a stream in pieces: a line may be as long as the file.
struct Quoted {
    std::string_view bytes;
};
std::ostream& operator<<(std::ostream& out, Quoted quoted);

// FILE:LINE: SEVERITY: MESSAGE [KIND], then a FILE:LINE: note: ADVICE line
// for each note, the severity coloured as gcc and clang colour it when `colour`.
void finding(std::ostream& out, const ShownFinding& shown, bool colour);

// DIR: error: cannot check: PROBLEM
void failure(std::ostream& out, const std::string& shownDir, const std::string& problem,
             bool colour);

// "3 applications checked, 1 could not be checked: 1 error, 0 warnings,
// 0 notes; 2 findings below the threshold not shown"
void summary(std::ostream& out, const Tally& tally);

}  // namespace TextOutput
