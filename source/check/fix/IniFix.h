// The mechanical mistakes of an ini file mended where the line plainly says
// what it means, so that the launcher reading the mended file does what the
// original said. Works on bytes alone: reading and writing files is the
// caller's business.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Catalogue.h"

struct AppliedFix {
    KindId kind = KindId::Count;  // the kind of finding the fix mends
    std::size_t line = 0;         // in the original, counted by its line feeds from 1
};

struct IniFixResult {
    std::string bytes;              // the mended file; the original when nothing applies
    std::vector<AppliedFix> fixes;  // in the order of their lines
    std::string refusal;  // why a wide encoding was not converted; then bytes is the original
};

// Mends `original`. Idempotent: mending the result again changes nothing.
// Every line is kept, with its own line end; only the lines a fix moves
// change places, and a missing "-vmargs" is the only line ever added.
IniFixResult fixIni(const std::string& original);
