// A desktop entry as the desktop reads it: the keys of its [Desktop Entry]
// group, and its Exec= line split into the program's argument vector.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "facts/StartFacts.h"

struct DesktopKey {
    std::string key;
    std::string value;  // with the string escapes (\s, \n, \t, \r, \\) undone
    std::size_t line = 0;
};

struct DesktopEntry {
    bool hasGroup = false;  // a [Desktop Entry] group was found
    std::vector<DesktopKey> keys;

    // The key's entry, or nullptr; localized keys (Name[de]) are other keys.
    const DesktopKey* find(const std::string& key) const;
    // The value of a boolean key as the desktop takes it: only "true" is true.
    bool flag(const std::string& key) const;
};

DesktopEntry parseDesktopEntry(const std::string& text);

// The program's arguments from an Exec= value: split at blanks, double
// quotes kept together with \" \` \$ \\ undone, and the field codes dropped
// as a start without files drops them (%% is a %). Returns false with
// `problem` when the desktop refuses the value.
bool splitDesktopExec(const std::string& value, std::vector<std::string>& argv,
                      ExecRefusal& problem);
