// The line-by-line explanation of an ini file, by the rules the launcher reads it with.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/Catalogue.h"

#include "facts/Facts.h"
#include "launcher/IniFormat.h"

// What the launcher's IniFormat::step says of a trimmed line, and the state
// it moves on to, sparing the search for the key of a head line that cannot
// be the launcher line. The key is the text before the line's first "=", so
// only a line that begins "launcher" can be it; any other steps as it would
// once the launcher line is taken, and is ignored outright unless it is as
// long as "-vmargs".
IniFormat::Role stepOf(IniFormat::State& state, IniFormat::Chars line);

// Tells what each line does, one line at a time, so a file of any length
// needs the memory of one line. The elements the lines produce are numbered
// from `firstArgument` on, in the order the launcher appends them.
class IniClassifier {
public:
    explicit IniClassifier(std::size_t firstArgument) : nextArgument(firstArgument) {}

    // Fills `line` (its element is left to the caller) for the next raw line.
    void next(IniFormat::Chars raw, IniLine& line);

    std::size_t argumentsSoFar(std::size_t firstArgument) const {
        return nextArgument - firstArgument;
    }

private:
    IniFormat::State state = IniFormat::State::Searching;
    std::size_t number = 0;
    std::size_t nextArgument;
};

// What a first reading of the whole file tells about its shape, so that a
// mistake that changes the meaning of many lines is reported once, where
// it is made, and not again on every line it affects.
struct IniShape {
    std::size_t lines = 0;          // all of them without a VM section; else up to it
    std::size_t vmSectionLine = 0;  // the line that opens the VM section; 0 for none
    // Without a VM section: the line that was meant to open it (a
    // byte-order mark, a letter case or a carriage return kept it from
    // doing so), or else the first head line that is plainly an argument
    // for the virtual machine. 0 for neither.
    std::size_t meantVmSectionLine = 0;
    std::size_t firstVmArgumentLine = 0;
    std::size_t launcherLine = 0;  // the head line the launcher takes its path from; 0 for none
    // Kinds that head lines "# dashvane-launcher-check: ignore KIND[,KIND...]"
    // silence for this file, and the names in such lines that are no kind.
    std::vector<KindId> suppressed;
    std::vector<std::pair<std::size_t, std::string>> unknownSuppressions;
};

IniShape shapeOf(IniFormat::Reader& in);

// Whether a trimmed line is plainly an argument for the virtual machine:
// one that only a Java virtual machine takes (a system property, an -X
// option, an agent, assertions and the like). Options of other programs that
// look alike ("-v", "-d", "-data") are left out on purpose.
bool looksLikeVmArgument(std::string_view trimmed);

// Whether a trimmed line would open the VM section but for its letter case,
// a byte-order mark in front of it, or carriage returns inside it.
bool meantAsVmargs(std::string_view trimmed, std::size_t number);

// How the reports name an effect, for example "path made absolute".
const char* effectText(LineEffect effect);
