#include "facts/Crontab.h"

#include <algorithm>
#include <map>

#include "facts/StartText.h"
#include "util/JavaOptions.h"

namespace {

// The next blank-separated field from `at`; empty at the end.
std::string field(const std::string& text, std::size_t& at) {
    const std::size_t start = text.find_first_not_of(" \t", at);
    if (start == std::string::npos) {
        at = text.size();
        return std::string();
    }
    at = std::min(text.find_first_of(" \t", start), text.size());
    return text.substr(start, at - start);
}

// cron hands what follows the first unescaped % to the command's input.
std::string commandPart(const std::string& text) {
    std::string command;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '%') {
            command += '%';
            ++i;
        } else if (text[i] == '%') {
            break;
        } else {
            command += text[i];
        }
    }
    return command;
}

// NAME = VALUE, the value maybe quoted; false for anything else.
bool environmentLine(const std::string& line, std::string& name, std::string& value) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) {
        return false;
    }
    name = blankTrimmed(line.substr(0, equals));
    if (name.empty() || name.find_first_of(" \t") != std::string::npos) {
        return false;
    }
    value = blankTrimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return true;
}

// A time field as cron takes it: numbers, *, ranges, steps, lists and names.
bool timeField(const std::string& word) {
    return !word.empty() && word.find_first_not_of(
                                "0123456789*/,-"
                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                "abcdefghijklmnopqrstuvwxyz") == std::string::npos;
}

}  // namespace

std::vector<CronEntry> parseCrontab(const std::string& text, bool withUser) {
    std::vector<CronEntry> entries;
    std::map<std::string, std::string> settings;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = blankTrimmed(text.substr(start, end - start));
        start = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        CronEntry entry;
        entry.line = number;
        std::size_t at = 0;
        const bool special = line[0] == '@';
        if (special) {
            entry.schedule = field(line, at);
        } else {
            // A line whose first field is no time field is an environment line.
            const char first = line[0];
            std::string name;
            std::string value;
            if (!(first == '*' || (first >= '0' && first <= '9')) &&
                environmentLine(line, name, value)) {
                // cron takes the value as written: nothing in it is expanded.
                settings[name] = value;
                continue;
            }
            for (int i = 0; i < 5; ++i) {
                entry.schedule += (i == 0 ? "" : " ") + field(line, at);
            }
        }
        if (withUser) {
            entry.user = field(line, at);
        }
        entry.command = commandPart(blankTrimmed(line.substr(std::min(at, line.size()))));
        entry.home = settings["HOME"];
        entry.path = settings["PATH"];
        entry.shell = settings["SHELL"];
        for (const char* name : VM_VARIABLES) {
            const auto set = settings.find(name);
            if (set != settings.end()) {
                entry.vmVariables.push_back(std::string(name) + "=" + set->second);
            }
        }
        if (!entry.command.empty()) {
            entries.push_back(entry);
        }
    }
    return entries;
}

bool looksLikeCrontab(const std::string& text, std::vector<std::string>& userFields) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = blankTrimmed(text.substr(start, end - start));
        start = end + 1;
        std::string name;
        std::string value;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t at = 0;
        const bool special = line[0] == '@';
        bool timed = special ? field(line, at).size() > 1 : true;
        for (int i = 0; !special && i < 5 && timed; ++i) {
            timed = timeField(field(line, at));
        }
        const char first = line[0];
        const bool schedule = timed && (special || first == '*' || (first >= '0' && first <= '9'));
        if (!schedule && environmentLine(line, name, value)) {
            continue;
        }
        std::string user = field(line, at);
        if (!schedule || user.empty()) {
            return false;
        }
        userFields.push_back(user);
    }
    return !userFields.empty();
}
