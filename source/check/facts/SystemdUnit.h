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

// What a unit's specifiers stand for, from the unit and the machine. An
// empty value is one the checker cannot know: its specifier is left as written.
struct UnitSpecifiers {
    std::string unitName;  // the file's name: "app@shop.service"
    std::string fragment;  // the unit file's path on the machine (%y)
    bool userManager = false;
    // The user of the service manager: root for the system's, whatever User= says.
    std::string user;
    std::string uid;
    std::string group;
    std::string gid;
    std::string home;
    std::string hostname;
    std::string machineId;
    // /tmp and /var/tmp of a system unit where they exist: systemd fails a
    // unit that names a missing one.
    std::string tmp;
    std::string varTmp;
};

// `value` with the specifiers systemd expands in a setting that `values`
// can tell; the others are left as written, the first of them in `unknown`.
std::string expandSpecifiers(const std::string& value, const UnitSpecifiers& values,
                             std::string* unknown = nullptr);

// A unit name's escaping undone: "-" is "/", "\xNN" the byte NN.
std::string unescapeUnitName(const std::string& text);

// Splits `value` into words at blanks as systemd does: single and double
// quotes, backslash escapes (C-style ones with `cEscapes`). False for a quote
// left open, unless `relaxed`, where it closes at the end.
bool splitUnitWords(const std::string& value, bool cEscapes, bool relaxed,
                    std::vector<std::string>& words);

// Whether `name` can be a variable of the environment: letters, digits and
// _, not led by a digit.
bool environmentNameValid(const std::string& name);

// The NAME=VALUE words of an Environment= value, each after its specifiers;
// words that assign nothing are passed over, as systemd does.
std::vector<std::string> environmentAssignments(const std::string& value,
                                                const UnitSpecifiers& values,
                                                std::string* unknown = nullptr);

// The NAME=VALUE assignments of an EnvironmentFile=, read as systemd reads
// it: # and ; comments, quotes, backslash continuations; lines that assign
// no valid name are passed over.
std::vector<std::string> environmentFileAssignments(const std::string& text);

// The environment a unit's command line is expanded in.
struct UnitEnvironment {
    std::vector<std::string> assignments;  // NAME=VALUE, later ones override
    // Names the manager may set to values the checker cannot know.
    std::vector<std::string> unknown;
    bool othersUnknown = false;  // any name not assigned may be set (a user's manager)

    void assign(const std::string& assignment);
    // False when `name` may be set to a value the checker cannot know;
    // otherwise `value` (empty and `set` false when unset).
    bool lookUp(const std::string& name, std::string& value, bool& set) const;
};

// The words of a command line with $NAME, ${NAME} and $$ expanded as systemd
// does as it runs the line: ${NAME} in place, a word led by $NAME split at
// blanks into words (none when unset, or when more than a name follows the
// $). False with `unknown` naming the variable or construct the checker
// cannot expand.
bool expandEnvironment(const std::vector<std::string>& words, const UnitEnvironment& environment,
                       std::vector<std::string>& expanded, std::string& unknown);
