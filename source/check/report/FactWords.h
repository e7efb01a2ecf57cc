// How the reports name the states of the facts: a word for the JSON
// document, a phrase for the explanation.
#pragma once

#include <string>

#include "facts/Facts.h"

// Whom the permissions were judged for, and how, in words.
std::string accessMethodText(const Facts& facts);

const char* iniStateName(IniState state);
const char* iniStateText(IniState state);
const char* fileKindName(FileKind kind);
