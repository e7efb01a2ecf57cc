#include "facts/DesktopEntry.h"

#include <algorithm>
#include <cstdlib>

#include "facts/StartText.h"

namespace {

std::string unescaped(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                // GLib keeps an escape it does not know as written: \$ stays \$.
                out += '\\';
                out += next;
                break;
        }
    }
    return out;
}

// A word as a shell reads it back as that word: in single quotes.
std::string shellQuoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string expandedFields(const std::string& value, const DesktopFields& fields) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%' || i + 1 == value.size()) {
            out += value[i];  // a lone % at the end stays
            continue;
        }
        switch (value[++i]) {
            case '%':
                out += '%';
                break;
            case 'i':
                if (!fields.icon.empty()) {
                    out += "--icon " + shellQuoted(fields.icon);
                }
                break;
            case 'c':
                if (!fields.name.empty()) {
                    out += shellQuoted(fields.name);
                }
                break;
            default:
                // Files, URLs, %k (gio launch gives none) and unknown codes:
                // nothing.
                break;
        }
    }
    return out;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// The line split as GLib's shell splitting does: quotes, backslashes and
// comments, no expansions.
bool shellWords(const std::string& line, std::vector<std::string>& argv) {
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (isBlank(c)) {
            if (inWord) {
                argv.push_back(word);
            }
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            i = std::min(line.find('\n', i), line.size());
        } else if (c == '\\') {
            if (i + 1 < line.size() && line[i + 1] != '\n') {
                word += line[i + 1];
                inWord = true;
            }
            ++i;
        } else if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) {
                return false;
            }
            word += line.substr(i + 1, end - i - 1);
            inWord = true;
            i = end;
        } else if (c == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    std::string("\"`$\\\n").find(line[i + 1]) != std::string::npos) {
                    if (line[++i] == '\n') {
                        continue;
                    }
                }
                word += line[i];
            }
            if (i == line.size()) {
                return false;
            }
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        argv.push_back(word);
    }
    return true;
}

const DesktopKey* lastOf(const std::vector<DesktopKey>& keys, const std::string& key) {
    const DesktopKey* found = nullptr;
    for (const DesktopKey& entry : keys) {
        if (entry.key == key) {
            found = &entry;  // the last one wins
        }
    }
    return found;
}

}  // namespace

const DesktopKey* DesktopGroup::find(const std::string& key) const {
    return lastOf(keys, key);
}

const DesktopKey* DesktopEntry::find(const std::string& key) const {
    return lastOf(keys, key);
}

bool DesktopEntry::flag(const std::string& key) const {
    const DesktopKey* entry = find(key);
    return entry != nullptr && entry->value == "true";
}

std::string DesktopEntry::name(const std::vector<std::string>& languages) const {
    for (const std::string& language : languages) {
        if (const DesktopKey* translated = find("Name[" + language + "]")) {
            return translated->value;
        }
    }
    const DesktopKey* plain = find("Name");
    return plain != nullptr ? plain->value : std::string();
}

const DesktopGroup* DesktopEntry::action(const std::string& name) const {
    for (const DesktopGroup& group : actions) {
        if (group.name == "Desktop Action " + name) {
            return &group;
        }
    }
    return nullptr;
}

DesktopEntry parseDesktopEntry(const std::string& text) {
    DesktopEntry entry;
    std::vector<DesktopKey>* into = nullptr;
    bool anyGroup = false;
    std::size_t number = 0;
    for (const std::string& line : textLines(text)) {
        ++number;
        const std::string plain = blankTrimmed(line);
        if (plain.empty() || plain[0] == '#') {
            continue;
        }
        if (plain[0] == '[') {
            // Only the first group may be [Desktop Entry]; actions follow it.
            const std::string name = plain.substr(1, plain.size() - 2);
            into = nullptr;
            if (name == "Desktop Entry" && !anyGroup) {
                entry.hasGroup = true;
                into = &entry.keys;
            } else if (entry.hasGroup && name.compare(0, 15, "Desktop Action ") == 0) {
                entry.actions.push_back(DesktopGroup{name, {}});
                into = &entry.actions.back().keys;
            }
            anyGroup = true;
            continue;
        }
        const std::size_t equals = plain.find('=');
        if (into == nullptr || equals == std::string::npos) {
            continue;
        }
        into->push_back(DesktopKey{blankTrimmed(plain.substr(0, equals)),
                                   unescaped(blankTrimmed(plain.substr(equals + 1))), number});
    }
    return entry;
}

std::vector<std::string> localeLanguages() {
    std::string wanted;
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            wanted = value;
            break;
        }
    }
    std::vector<std::string> languages;
    std::size_t start = 0;
    while (start <= wanted.size() && !wanted.empty()) {
        const std::size_t end = std::min(wanted.find(':', start), wanted.size());
        std::string locale = wanted.substr(start, end - start);
        start = end + 1;
        // lang_COUNTRY.CODESET@MODIFIER: the codeset never names a translation.
        const std::size_t at = locale.find('@');
        const std::string modifier = at == std::string::npos ? "" : locale.substr(at);
        locale = locale.substr(0, std::min(locale.find('.'), at));
        const std::string language = locale.substr(0, locale.find('_'));
        for (const std::string& variant :
             {locale + modifier, locale, language + modifier, language}) {
            if (!variant.empty() && variant != "C" && variant != "POSIX") {
                languages.push_back(variant);
            }
        }
    }
    return languages;
}

bool splitDesktopExec(const std::string& value, const DesktopFields& fields,
                      std::vector<std::string>& argv, ExecRefusal& problem) {
    argv.clear();
    if (!shellWords(expandedFields(value, fields), argv)) {
        problem.problem = ExecProblem::QuoteNotClosed;
        return false;
    }
    if (argv.empty()) {
        problem.problem = ExecProblem::NoProgram;
        return false;
    }
    return true;
}
