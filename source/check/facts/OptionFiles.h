// Files of VM options, read as the java launcher and the VM read them:
// "@FILE" argument files, -XX:Flags= flag files and -XX:VMOptionsFile=
// option files. Their options are judged like the ini file's own lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "facts/AccessJudge.h"
#include "facts/JavaVm.h"

// One option of such a file and the line it starts on.
struct FileOption {
    std::size_t line = 0;
    std::string text;
};

// An argument file as the java launcher splits it: blanks separate, quotes
// group, a "#" that starts a word starts a comment, and inside quotes a
// backslash escapes or joins the next line, whose leading blanks are skipped.
std::vector<FileOption> argumentFileOptions(const std::string& text);

// A flag file: -XX flags without their "-XX:", separated by blanks; a "#"
// that starts a word starts a comment.
std::vector<FileOption> flagFileOptions(const std::string& text);

// An option file: blanks separate, quotes group, no comments.
std::vector<FileOption> optionFileOptions(const std::string& text);

// Puts the options of every file the VM arguments name in their place, each
// knowing its file and line; an argument file the user cannot read stays as
// it is, for its finding. Relative names count from `startDir`.
void expandOptionFiles(VmFacts& vm, const std::string& startDir, const AccessJudge& access);
