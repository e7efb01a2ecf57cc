// The line-by-line explanation of an ini file, by the rules the launcher reads it with.
#pragma once

#include <cstddef>
#include <vector>

#include "Findings.h"
#include "IniFormat.h"

// Reads `in` as the launcher reads its ini file and tells what each line
// does. The elements the lines produce are numbered from `firstArgument` on,
// in the order the launcher appends them.
std::vector<IniLine> classifyIniLines(IniFormat::Reader& in, std::size_t firstArgument);

// How the reports name an effect, for example "path made absolute".
const char* effectText(LineEffect effect);
