// One JSON document for the whole run, written as the check goes; with
// --explain each application's lines are in it too. The manual page
// documents every member.
#pragma once

#include "report/Formatter.h"

Formatter jsonFormat(std::ostream& out, const FormatOptions& options, const Tally& tally);
