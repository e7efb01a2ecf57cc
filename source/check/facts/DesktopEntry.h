// A desktop entry as GLib's gio reads it: the keys of its [Desktop Entry]
// group and of its [Desktop Action X] groups, and an Exec= line turned into
// the program's argument vector.
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

struct DesktopGroup {
    std::string name;  // "Desktop Entry", "Desktop Action X"
    std::vector<DesktopKey> keys;

    // The key's entry, or nullptr; localized keys (Name[de]) are other keys.
    const DesktopKey* find(const std::string& key) const;
};

struct DesktopEntry {
    bool hasGroup = false;  // a [Desktop Entry] group was found
    std::vector<DesktopKey> keys;
    std::vector<DesktopGroup> actions;  // the [Desktop Action X] groups

    const DesktopKey* find(const std::string& key) const;
    // The value of a boolean key as the desktop takes it: only "true" is true.
    bool flag(const std::string& key) const;
    // Name= in the first of `languages` it is translated to (as "de_DE",
    // "de"), else untranslated.
    std::string name(const std::vector<std::string>& languages) const;
    // The action group [Desktop Action NAME], or nullptr.
    const DesktopGroup* action(const std::string& name) const;
};

DesktopEntry parseDesktopEntry(const std::string& text);

// The languages the checker's own locale asks for, most wanted first, as
// GLib derives them from LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
std::vector<std::string> localeLanguages();

// What the field codes of an Exec= line stand for in a start without files.
struct DesktopFields {
    std::string name;  // %c, translated
    std::string icon;  // %i gives --icon ICON when set
};

// The program's arguments from an Exec= value, as gio makes them: the field
// codes expanded in the raw line (%f %F %u %U and unknown codes to nothing,
// %i and %c to quoted words, %% to %), then the line split as a shell
// splits it, without expansions. Returns false with `problem` when gio
// refuses the value.
bool splitDesktopExec(const std::string& value, const DesktopFields& fields,
                      std::vector<std::string>& argv, ExecRefusal& problem);
