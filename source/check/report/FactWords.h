// How the reports name the states of the facts: a word for the JSON
// document, a phrase for the explanation.
#pragma once

#include "Facts.h"

const char* iniStateName(IniState state);
const char* iniStateText(IniState state);
const char* fileKindName(FileKind kind);
