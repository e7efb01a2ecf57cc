// How the checker and the mender read a trimmed line of an ini file beyond
// what the launcher itself looks at: the known key a line was meant to have,
// give or take its letter case and the blanks around its "=", and the bytes
// that no one sees in an editor. One reading, so that what the check reports
// and what --fix mends can never disagree.
#pragma once

#include <string>
#include <string_view>

#include "util/Text.h"

namespace IniSyntax {

using Text::BYTE_ORDER_MARK;
extern const std::string NO_BREAK_SPACE;  // U+00A0 in UTF-8

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the letter case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// What people write as a comment; the launcher has none.
inline bool isComment(std::string_view line) {
    return !line.empty() && (line[0] == '#' || line[0] == ';');
}

// A control byte other than tab, carriage return and NUL, or DEL.
bool hasControlByte(std::string_view text);

// Whether the text holds any byte the byte rules look at: a control byte,
// DEL, or the lead byte of a no-break space. Most lines hold none.
bool hasUnusualByte(std::string_view text);

// The parts of a trimmed line, in place: the line must outlive them.
struct KeyLine {
    std::string_view key;        // before the first "=", as the launcher compares it
    std::string_view looseKey;   // the key without the blanks that end it
    std::string_view value;      // everything after the first "="
    std::string_view valueText;  // the value without the blanks that start it
    bool hasEquals = false;
    // The launcher's key the line means, letter case aside: "launcher" or
    // one of the four properties. Null for any other line.
    const std::string* known = nullptr;

    bool exactKey() const { return known != nullptr && key == *known; }
    bool caseDiffers() const { return known != nullptr && looseKey != *known; }
    bool blanksAround() const {
        return hasEquals && (key.size() != looseKey.size() || value.size() != valueText.size());
    }
    // Something other than blanks after the "=".
    bool hasValue() const { return !valueText.empty(); }
    // The line as the launcher needs it to mean what it says.
    std::string meant() const;
};

KeyLine keyLineOf(std::string_view trimmed);

bool isPathKey(std::string_view key);

// One of the launcher's keys, exactly.
bool isKnownKey(std::string_view key);

}  // namespace IniSyntax
