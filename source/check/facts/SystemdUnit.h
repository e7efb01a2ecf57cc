// A systemd unit file with its drop-ins, and its command lines as systemd
// splits them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "facts/StartFacts.h"

struct UnitSetting {
    std::string section;  // "Service"
    std::string key;
    std::string value;
    std::string file;  // the unit file or the drop-in that sets it
    std::size_t line = 0;
};

struct UnitFile {
    std::vector<UnitSetting> settings;  // in reading order: the unit, then its drop-ins

    // The last setting of `key` in `section`, or nullptr. An empty value
    // resets a list such as ExecStart=, so it counts as a setting too.
    const UnitSetting* find(const std::string& section, const std::string& key) const;
    // Every value of a list setting after its last reset.
    std::vector<const UnitSetting*> list(const std::string& section, const std::string& key) const;
};

// Adds the settings of `text` (read from `file`) to `unit`: sections,
// comments (# and ;), lines continued by a trailing backslash.
void readUnitText(UnitFile& unit, const std::string& text, const std::string& file);

// A unit's boolean as systemd reads it (1, yes, true, on).
bool unitBoolean(const std::string& value);

struct ExecLine {
    std::string prefixes;           // of "-@:+!", as written
    std::string path;               // the program executed
    std::vector<std::string> argv;  // argv[0] first: the path, or the word after it for "@"
    bool failureIgnored() const { return prefixes.find('-') != std::string::npos; }
};

// Splits an ExecStart= value as systemd does: prefixes, then words split at
// blanks, single and double quotes, C-style backslash escapes. Returns false
// with `problem` for a value systemd refuses.
bool splitExecLine(const std::string& value, ExecLine& exec, ExecRefusal& problem);

// The first specifier of `value` that expandSpecifiers leaves as written
// ("%H", say), or empty.
std::string unexpandedSpecifier(const std::string& value);

// What systemd makes of the specifiers in a setting of the unit `unitName`
// (its file's name) started as `user`, whose home is `home`: %n, %N, %p,
// %i, %I, %u, %h and %%. Others are left as written.
std::string expandSpecifiers(const std::string& value, const std::string& unitName,
                             const std::string& user, const std::string& home);
