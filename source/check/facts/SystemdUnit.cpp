#include "facts/SystemdUnit.h"

#include "facts/StartText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace {

char escaped(char c) {
    switch (c) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        case 'a':
            return '\a';
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'v':
            return '\v';
        case 's':
            return ' ';
        default:
            return c;
    }
}

}  // namespace

const UnitSetting* UnitFile::find(const std::string& section, const std::string& key) const {
    const UnitSetting* found = nullptr;
    for (const UnitSetting& setting : settings) {
        if (setting.section == section && setting.key == key) {
            found = &setting;
        }
    }
    return found;
}

std::vector<const UnitSetting*> UnitFile::list(const std::string& section,
                                               const std::string& key) const {
    std::vector<const UnitSetting*> values;
    for (const UnitSetting& setting : settings) {
        if (setting.section != section || setting.key != key) {
            continue;
        }
        if (setting.value.empty()) {
            values.clear();
        } else {
            values.push_back(&setting);
        }
    }
    return values;
}

void readUnitText(UnitFile& unit, const std::string& text, const std::string& file) {
    std::string section;
    std::size_t number = 0;
    std::string pending;  // a line continued by a backslash
    std::size_t pendingLine = 0;
    for (const std::string& line : textLines(text)) {
        ++number;
        std::string plain = blankTrimmed(line);
        if (pending.empty() && (plain.empty() || plain[0] == '#' || plain[0] == ';')) {
            continue;
        }
        if (!pending.empty() && (!plain.empty() && (plain[0] == '#' || plain[0] == ';'))) {
            // Comments inside a continued line are skipped.
            continue;
        }
        if (!plain.empty() && plain.back() == '\\') {
            if (pending.empty()) {
                pendingLine = number;
            }
            plain.pop_back();
            pending += plain + ' ';
            continue;
        }
        if (!pending.empty()) {
            plain = pending + plain;
            pending.clear();
        } else {
            pendingLine = number;
        }
        if (plain.front() == '[' && plain.back() == ']') {
            section = plain.substr(1, plain.size() - 2);
            continue;
        }
        const std::size_t equals = plain.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        unit.settings.push_back(UnitSetting{section, blankTrimmed(plain.substr(0, equals)),
                                            blankTrimmed(plain.substr(equals + 1)), file,
                                            pendingLine});
    }
}

bool unitBoolean(const std::string& value) {
    return value == "1" || value == "yes" || value == "true" || value == "on";
}

bool splitUnitWords(const std::string& value, bool cEscapes, bool relaxed,
                    std::vector<std::string>& words) {
    std::size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && std::strchr(" \t\n\r", value[i]) != nullptr) {
            ++i;
        }
        if (i == value.size()) {
            break;
        }
        std::string word;
        while (i < value.size() && std::strchr(" \t\n\r", value[i]) == nullptr) {
            const char c = value[i];
            if (c == '"' || c == '\'') {
                std::size_t close = value.find(c, i + 1);
                if (close == std::string::npos && !relaxed) {
                    return false;
                }
                close = std::min(close, value.size());
                for (std::size_t j = i + 1; j < close; ++j) {
                    if (value[j] == '\\' && j + 1 < close) {
                        ++j;
                        word += cEscapes ? escaped(value[j]) : value[j];
                    } else {
                        word += value[j];
                    }
                }
                i = std::min(close + 1, value.size());
            } else if (c == '\\' && i + 1 < value.size()) {
                word += cEscapes ? escaped(value[i + 1]) : value[i + 1];
                i += 2;
            } else {
                word += c;
                ++i;
            }
        }
        words.push_back(word);
    }
    return true;
}

bool splitExecLine(const std::string& value, ExecLine& exec, ExecRefusal& problem) {
    exec = ExecLine();
    std::size_t i = 0;
    while (i < value.size() && std::strchr("-@:+!", value[i]) != nullptr) {
        exec.prefixes += value[i++];
    }
    std::vector<std::string> words;
    if (!splitUnitWords(value.substr(i), true, false, words)) {
        problem.problem = ExecProblem::QuoteNotClosed;
        return false;
    }
    if (words.empty()) {
        problem.problem = ExecProblem::NoProgram;
        return false;
    }
    exec.path = words[0];
    const bool ownName = exec.prefixes.find('@') != std::string::npos;
    if (ownName && words.size() < 2) {
        problem.problem = ExecProblem::OwnNameMissing;
        return false;
    }
    exec.argv.assign(words.begin() + (ownName ? 1 : 0), words.end());
    return true;
}

std::string unescapeUnitName(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') {
            plain += '/';
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0 &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3])) != 0) {
            plain += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

namespace {

// The specifiers that name the unit itself, from its file's name.
void nameSpecifiers(const std::string& unitName, std::map<char, std::string>& table) {
    const std::string name = unitName.substr(0, unitName.rfind('.'));  // without the type
    const std::size_t at = name.find('@');
    const std::string prefix = name.substr(0, at);
    const std::string instance = at == std::string::npos ? std::string() : name.substr(at + 1);
    const std::size_t dash = prefix.rfind('-');
    const std::string last = dash == std::string::npos ? prefix : prefix.substr(dash + 1);
    const std::string named = at == std::string::npos ? prefix : instance;
    table['n'] = unitName;
    table['N'] = name;
    table['p'] = prefix;
    table['P'] = unescapeUnitName(prefix);
    table['i'] = instance;
    table['I'] = unescapeUnitName(instance);
    table['j'] = last;
    table['J'] = unescapeUnitName(last);
    // A path escaped into the name: "-" alone is the root.
    table['f'] = named == "-" ? "/" : "/" + unescapeUnitName(named);
}

// The specifiers of the manager and the machine, where they are known.
std::map<char, std::string> specifierTable(const UnitSpecifiers& values) {
    std::map<char, std::string> table;
    nameSpecifiers(values.unitName, table);
    const bool user = values.userManager;
    const std::string config = values.home.empty() ? std::string() : values.home + "/.config";
    table['u'] = values.user;
    table['U'] = values.uid;
    table['g'] = values.group;
    table['G'] = values.gid;
    table['h'] = values.home;
    table['H'] = values.hostname;
    table['l'] = values.hostname.substr(0, values.hostname.find('.'));
    table['m'] = values.machineId;
    table['t'] = !user ? "/run" : values.uid.empty() ? "" : "/run/user/" + values.uid;
    table['S'] = user ? config : "/var/lib";
    table['C'] = !user ? "/var/cache" : values.home.empty() ? "" : values.home + "/.cache";
    table['L'] = !user ? "/var/log" : config.empty() ? "" : config + "/log";
    table['E'] = user ? config : "/etc";
    // A user's manager may have TMPDIR from the user's environment.
    table['T'] = user ? "" : values.tmp;
    table['V'] = user ? "" : values.varTmp;
    // Where the unit's credentials are put, whether it has any or not.
    table['d'] = user ? "" : "/run/credentials/" + values.unitName;
    table['y'] = values.fragment;
    table['Y'] = values.fragment.substr(0, values.fragment.rfind('/'));
    table['%'] = "%";
    return table;
}

}  // namespace

std::string expandSpecifiers(const std::string& value, const UnitSpecifiers& values,
                             std::string* unknown) {
    const std::map<char, std::string> table = specifierTable(values);
    std::string expanded;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%' || i + 1 >= value.size()) {
            expanded += value[i];
            continue;
        }
        const char code = value[++i];
        const auto known = table.find(code);
        // The machine's values may be unknown; the unit's own never are.
        if (known != table.end() && (!known->second.empty() || std::strchr("iIjJ", code))) {
            expanded += known->second;
            continue;
        }
        if (unknown != nullptr && unknown->empty()) {
            *unknown = std::string("%") + code;
        }
        expanded += '%';
        expanded += code;
    }
    return expanded;
}

bool environmentNameValid(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])) != 0) {
        return false;
    }
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') {
            return false;
        }
    }
    return true;
}

std::vector<std::string> environmentAssignments(const std::string& value,
                                                const UnitSpecifiers& values,
                                                std::string* unknown) {
    std::vector<std::string> words;
    std::vector<std::string> assignments;
    if (!splitUnitWords(value, true, false, words)) {
        return assignments;  // systemd ignores the whole line
    }
    for (const std::string& word : words) {
        const std::string expanded = expandSpecifiers(word, values, unknown);
        const std::size_t equals = expanded.find('=');
        if (equals != std::string::npos && environmentNameValid(expanded.substr(0, equals))) {
            assignments.push_back(expanded);
        }
    }
    return assignments;
}

namespace {

enum class EnvState { Key, Comment, PreValue, Value, Escape, Single, Double, DoubleEscape };

void pushAssignment(std::vector<std::string>& found, const std::string& key, std::string value,
                    std::size_t trailingBlank) {
    if (trailingBlank != std::string::npos) {
        value.erase(trailingBlank);
    }
    const std::string name = blankTrimmed(key);
    if (environmentNameValid(name)) {
        found.push_back(name + "=" + value);
    }
}

// One character of a value; false once the line's assignment is over.
bool valueChar(EnvState& state, char c, std::string& value, std::size_t& blank) {
    switch (state) {
        case EnvState::PreValue:
            if (c == '\n' || c == '\r') {
                return false;
            }
            state = c == '\''               ? EnvState::Single
                    : c == '"'              ? EnvState::Double
                    : c == '\\'             ? EnvState::Escape
                    : c == ' ' || c == '\t' ? EnvState::PreValue
                                            : EnvState::Value;
            if (state == EnvState::Value) {
                value += c;
            }
            return true;
        case EnvState::Value:
            if (c == '\n' || c == '\r') {
                return false;
            }
            if (c == '\\') {
                state = EnvState::Escape;
                blank = std::string::npos;
                return true;
            }
            blank = c != ' ' && c != '\t'        ? std::string::npos
                    : blank == std::string::npos ? value.size()
                                                 : blank;
            value += c;
            return true;
        case EnvState::Escape:
            state = EnvState::Value;
            if (c != '\n' && c != '\r') {  // a backslash at the end continues the line
                value += c;
            }
            return true;
        case EnvState::Single:
            c == '\'' ? void(state = EnvState::PreValue) : void(value += c);
            return true;
        case EnvState::Double:
            c == '"'    ? void(state = EnvState::PreValue)
            : c == '\\' ? void(state = EnvState::DoubleEscape)
                        : void(value += c);
            return true;
        default:  // DoubleEscape
            state = EnvState::Double;
            if (std::strchr("\"\\`$", c) == nullptr && c != '\n') {
                value += '\\';
            }
            if (c != '\n') {
                value += c;
            }
            return true;
    }
}

}  // namespace

std::vector<std::string> environmentFileAssignments(const std::string& text) {
    std::vector<std::string> found;
    EnvState state = EnvState::Key;
    std::string key;
    std::string value;
    std::size_t blank = std::string::npos;  // where trailing blanks of a plain value start
    for (const char c : text + "\n") {
        if (state == EnvState::Comment) {
            state = c == '\n' || c == '\r' ? EnvState::Key : state;
        } else if (state == EnvState::Key) {
            if (key.find_first_not_of(" \t\r\n") == std::string::npos && (c == '#' || c == ';')) {
                state = EnvState::Comment;
            } else if (c == '\n' || c == '\r') {
                key.clear();  // a line without "=" assigns nothing
            } else if (c == '=') {
                state = EnvState::PreValue;
                value.clear();
                blank = std::string::npos;
            } else {
                key += c;
            }
        } else if (!valueChar(state, c, value, blank)) {
            pushAssignment(found, key, value, state == EnvState::Value ? blank : std::string::npos);
            key.clear();
            state = EnvState::Key;
        }
    }
    return found;
}

void UnitEnvironment::assign(const std::string& assignment) {
    const std::string name = assignment.substr(0, assignment.find('='));
    unknown.erase(std::remove(unknown.begin(), unknown.end(), name), unknown.end());
    assignments.push_back(assignment);
}

bool UnitEnvironment::lookUp(const std::string& name, std::string& value, bool& set) const {
    set = false;
    value.clear();
    for (const std::string& assignment : assignments) {
        if (assignment.compare(0, name.size() + 1, name + "=") == 0) {
            value = assignment.substr(name.size() + 1);
            set = true;
        }
    }
    if (set) {
        return true;
    }
    return !othersUnknown && std::find(unknown.begin(), unknown.end(), name) == unknown.end();
}

namespace {

// ${NAME} and $$ inside one word; false with `unknown` for what cannot be told.
bool expandInWord(const std::string& word, const UnitEnvironment& environment,
                  std::string& expanded, std::string& unknown) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '$' || i + 1 >= word.size() || (word[i + 1] != '$' && word[i + 1] != '{')) {
            expanded += word[i];
            continue;
        }
        if (word[i + 1] == '$') {
            expanded += '$';
            ++i;
            continue;
        }
        const std::size_t close = word.find('}', i + 2);
        const std::string name =
            close == std::string::npos ? std::string() : word.substr(i + 2, close - i - 2);
        std::string value;
        bool set = false;
        if (!environmentNameValid(name) || !environment.lookUp(name, value, set)) {
            unknown = close == std::string::npos ? word.substr(i) : word.substr(i, close + 1 - i);
            return false;
        }
        expanded += value;
        i = close;
    }
    return true;
}

}  // namespace

bool expandEnvironment(const std::vector<std::string>& words, const UnitEnvironment& environment,
                       std::vector<std::string>& expanded, std::string& unknown) {
    expanded.clear();
    for (const std::string& word : words) {
        // A word led by $ but not by ${ or $$ is looked up whole: one that is
        // not only a name ("$HOME/x") names no variable, so it is no word.
        const bool whole = !word.empty() && word[0] == '$' &&
                           (word.size() == 1 || (word[1] != '{' && word[1] != '$'));
        const std::string name = whole ? word.substr(1) : std::string();
        if (whole && !environmentNameValid(name)) {
            continue;
        }
        if (!whole) {
            std::string one;
            if (!expandInWord(word, environment, one, unknown)) {
                return false;
            }
            expanded.push_back(one);
            continue;
        }
        // A word that is only $NAME becomes the value's words.
        std::string value;
        bool set = false;
        if (!environment.lookUp(name, value, set)) {
            unknown = word;
            return false;
        }
        splitUnitWords(value, false, true, expanded);
    }
    return true;
}
