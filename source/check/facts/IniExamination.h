// The ini file as the launcher meets it, and whom its permissions are judged
// for: looked at before a line is read.
#pragma once

#include <string>

#include "facts/AccessJudge.h"
#include "facts/Facts.h"

// `path` made absolute from `base`; "./run.ini" is "run.ini" there.
std::string absoluteFrom(const std::string& base, std::string path);

// Looks at the ini file without reading it, unless opening it could block
// or never end: a named pipe waits for a writer, a device may never stop.
// Returns the path the launch options are to read, empty for such a file.
// A file the user cannot open the launcher reads as empty, and so does the check.
std::string examineIni(Facts& facts, const AccessJudge& access);

// Whom permissions are judged for, and how.
void describeJudge(Facts& facts, const AccessJudge& access);
