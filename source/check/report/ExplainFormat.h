// --explain as text: each application in full, its lines and what the
// launcher does with each, the start directory, the executable, the
// argument vector and the launcher copies, each finding below its line.
#pragma once

#include "report/Formatter.h"

Formatter explainFormat(std::ostream& out, const FormatOptions& options, const Tally& tally);
