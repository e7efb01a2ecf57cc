#include "facts/DesktopEntry.h"

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
            default:
                // \\ stays "\\": the Exec= quoting reads it once more; others as written.
                out += '\\';
                out += next;
                break;
        }
    }
    return out;
}

// A field code: what it gives the argument it stands in, when no file is opened.
bool fieldCode(char code, std::string& word, bool& dropWord, ExecRefusal& problem) {
    switch (code) {
        case '%':
            word += '%';
            return true;
        case 'f':
        case 'F':
        case 'u':
        case 'U':
        case 'i':
        case 'c':
        case 'k':
            // Nothing without files; %i, %c and %k name the entry, never the application.
            dropWord = word.empty();
            return true;
        case 'd':
        case 'D':
        case 'n':
        case 'N':
        case 'v':
        case 'm':
            // Deprecated: removed.
            return true;
        default:
            problem.problem = ExecProblem::UnknownFieldCode;
            problem.fieldCode = code;
            return false;
    }
}

}  // namespace

const DesktopKey* DesktopEntry::find(const std::string& key) const {
    const DesktopKey* found = nullptr;
    for (const DesktopKey& entry : keys) {
        if (entry.key == key) {
            found = &entry;  // the last one wins
        }
    }
    return found;
}

bool DesktopEntry::flag(const std::string& key) const {
    const DesktopKey* entry = find(key);
    return entry != nullptr && entry->value == "true";
}

DesktopEntry parseDesktopEntry(const std::string& text) {
    DesktopEntry entry;
    bool inGroup = false;
    bool anyGroup = false;
    std::size_t number = 0;
    for (const std::string& line : textLines(text)) {
        ++number;
        const std::string plain = blankTrimmed(line);
        if (plain.empty() || plain[0] == '#') {
            continue;
        }
        if (plain[0] == '[') {
            // Only the first group may be [Desktop Entry].
            inGroup = plain == "[Desktop Entry]" && !anyGroup;
            entry.hasGroup = entry.hasGroup || inGroup;
            anyGroup = true;
            continue;
        }
        const std::size_t equals = plain.find('=');
        if (!inGroup || equals == std::string::npos) {
            continue;
        }
        entry.keys.push_back(DesktopKey{blankTrimmed(plain.substr(0, equals)),
                                        unescaped(blankTrimmed(plain.substr(equals + 1))), number});
    }
    return entry;
}

bool splitDesktopExec(const std::string& value, std::vector<std::string>& argv,
                      ExecRefusal& problem) {
    argv.clear();
    std::string word;
    bool inWord = false;
    bool dropWord = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ') {
            if (inWord && !dropWord) {
                argv.push_back(word);
            }
            word.clear();
            inWord = dropWord = false;
            continue;
        }
        inWord = true;
        if (c == '"') {
            // A quoted argument: only \" \` \$ \\ are escapes inside it. The
            // desktop expands field codes in it too, as in sh -c "./run %f".
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size() &&
                    std::string("\"`$\\").find(value[i + 1]) != std::string::npos) {
                    ++i;
                } else if (value[i] == '%' && i + 1 < value.size() && value[i + 1] != '"') {
                    bool wholeWord = false;
                    if (!fieldCode(value[++i], word, wholeWord, problem)) {
                        return false;
                    }
                    continue;
                }
                word += value[i];
            }
            if (i == value.size()) {
                problem.problem = ExecProblem::QuoteNotClosed;
                return false;
            }
            continue;
        }
        if (c == '%') {
            if (i + 1 == value.size() || !fieldCode(value[++i], word, dropWord, problem)) {
                if (!problem.refused()) {
                    problem.problem = ExecProblem::PercentAtEnd;
                }
                return false;
            }
            continue;
        }
        word += c;
    }
    if (inWord && !dropWord) {
        argv.push_back(word);
    }
    if (argv.empty()) {
        problem.problem = ExecProblem::NoProgram;
        return false;
    }
    return true;
}
