// The mechanical mistakes of an ini file mended where the line plainly says
// what it means, so that the launcher reading the mended file does what the
// original said. Works on bytes alone: reading and writing files is the
// caller's business.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/Catalogue.h"

struct AppliedFix {
    KindId kind = KindId::Count;  // the kind of finding the fix mends
    std::size_t line = 0;         // in the original, counted by its line feeds from 1
    // The line whose mend moves this one too, as it would otherwise join the
    // VM section that mend opens; 0 for a line the check reports today.
    std::size_t with = 0;
};

// A mistake the check reports that the mending leaves, and why. KindId::Count
// at line 0 stands for every mistake the mending does not make this time.
struct RefusedFix {
    KindId kind = KindId::Count;
    std::size_t line = 0;
    std::string reason;
};

struct IniFixResult {
    std::string bytes;              // the mended file; the original when nothing applies
    std::vector<AppliedFix> fixes;  // in the order of their lines
    std::vector<RefusedFix> refused;
    std::string refusal;  // why a wide encoding was not converted; then bytes is the original
    // For each line of `bytes`, the line of the original it comes from, 0 for
    // an inserted one; empty where the whole file was converted.
    std::vector<std::size_t> from;
};

// Mends `original`. Idempotent: mending the result again changes nothing.
// Every line is kept, with its own line end; only the lines a fix moves
// change places, and a missing "-vmargs" is the only line ever added.
// Mends the caller forbids, by kind and line (0 for the file's encoding).
using FixVetoes = std::set<std::pair<KindId, std::size_t>>;

// Mends `original`, but for the mends in `vetoed` and those of the kinds the
// file itself silences.
IniFixResult fixIni(const std::string& original, const FixVetoes& vetoed = {},
                    const std::set<KindId>& silenced = {});
