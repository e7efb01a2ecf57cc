#include "facts/SystemdUnit.h"

#include "facts/StartText.h"

#include <cstring>

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

bool splitExecLine(const std::string& value, ExecLine& exec, ExecRefusal& problem) {
    exec = ExecLine();
    std::size_t i = 0;
    while (i < value.size() && std::strchr("-@:+!", value[i]) != nullptr) {
        exec.prefixes += value[i++];
    }
    std::vector<std::string> words;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) {
            ++i;
        }
        if (i == value.size()) {
            break;
        }
        std::string word;
        while (i < value.size() && value[i] != ' ' && value[i] != '\t') {
            const char c = value[i];
            if (c == '"' || c == '\'') {
                const std::size_t close = value.find(c, i + 1);
                if (close == std::string::npos) {
                    problem.problem = ExecProblem::QuoteNotClosed;
                    return false;
                }
                for (std::size_t j = i + 1; j < close; ++j) {
                    word += value[j] == '\\' && j + 1 < close ? escaped(value[++j]) : value[j];
                }
                i = close + 1;
            } else if (c == '\\' && i + 1 < value.size()) {
                word += escaped(value[i + 1]);
                i += 2;
            } else {
                word += c;
                ++i;
            }
        }
        words.push_back(word);
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

std::string unexpandedSpecifier(const std::string& value) {
    for (std::size_t i = 0; i + 1 < value.size(); ++i) {
        if (value[i] == '%') {
            if (std::string("%nNpiIuh").find(value[i + 1]) == std::string::npos) {
                return value.substr(i, 2);
            }
            ++i;
        }
    }
    return std::string();
}

std::string expandSpecifiers(const std::string& value, const std::string& unitName,
                             const std::string& user, const std::string& home) {
    const std::size_t dot = unitName.rfind('.');
    const std::string name = unitName.substr(0, dot);  // without the type's suffix
    const std::size_t at = name.find('@');
    const std::string prefix = name.substr(0, at);
    const std::string instance = at == std::string::npos ? std::string() : name.substr(at + 1);
    std::string expanded;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%' || i + 1 >= value.size()) {
            expanded += value[i];
            continue;
        }
        const char code = value[++i];
        switch (code) {
            case '%':
                expanded += '%';
                break;
            case 'n':
                expanded += unitName;
                break;
            case 'N':
                expanded += name;
                break;
            case 'p':
                expanded += prefix;
                break;
            case 'i':
            case 'I':
                expanded += instance;
                break;
            case 'u':
                expanded += user;
                break;
            case 'h':
                expanded += home;
                break;
            default:
                expanded += '%';
                expanded += code;
        }
    }
    return expanded;
}
