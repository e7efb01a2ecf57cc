// The difference between two versions of a file, in the unified format that
// `diff -u` and patch(1) use.
#pragma once

#include <string>

// The unified diff from `before` to `after` with three lines of context,
// headed "--- beforeName" and "+++ afterName", as `diff -a -u --label
// beforeName --label afterName` writes it. Every file is text here, NUL
// bytes and all: a UTF-16 file's diff shows its bytes. Lines end at line
// feeds and are compared byte for byte; a last line without one is marked
// "\ No newline at end of file". Empty when the two are the same.
std::string unifiedDiff(const std::string& before, const std::string& after,
                        const std::string& beforeName, const std::string& afterName);

// `diff` as a terminal can show it: each line holding a byte that is not
// printable text (a control byte but the tab, a NUL, a byte that is not
// UTF-8, an invisible character such as the byte-order mark) has its text
// spelled out, C style, after its first column, under a header that says
// so. Other lines stay as they are. Meant for the eye, not for patch(1).
std::string readableDiff(const std::string& diff);
