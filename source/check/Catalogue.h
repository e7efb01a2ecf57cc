// Every kind of finding the checker reports, with its severity and advice:
// the one table that --list-kinds prints and the manual page lists.
#pragma once

#include <string>
#include <vector>

enum class Severity { Note, Warning, Error };

struct Kind {
    const char* name;
    Severity severity;
    const char* summary;  // one line: what is wrong
    const char* advice;   // what to do about it
    bool fixable;         // whether --fix mends it
};

const std::vector<Kind>& catalogue();

// The entry of `name`; nullptr for a name the catalogue does not have.
const Kind* findKind(const std::string& name);

const char* severityName(Severity severity);

// "note", "warning" or "error"; false for anything else.
bool parseSeverity(const std::string& text, Severity& severity);
