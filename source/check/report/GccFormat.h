// The default format: one line per finding in the format of compilers and
// linters, which editors and CI logs understand, then a summary line.
#pragma once

#include "report/Formatter.h"

Formatter gccFormat(std::ostream& out, const FormatOptions& options, const Tally& tally);
