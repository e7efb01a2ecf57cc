// How the reports name the states of the facts: a word for the JSON
// document, a phrase for the explanation.
#pragma once

#include <string>

#include "Facts.h"

const char* iniStateName(IniState state);
const char* iniStateText(IniState state);
const char* fileKindName(FileKind kind);

// A sentence of the catalogue's words: capital first, full stop last.
std::string sentence(const char* words);
