#include "cli/Configuration.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "util/ByteText.h"

const char CONFIGURATION_NAME[] = ".dashvane-launcher-check";

namespace {

const char BLANKS[] = " \t\r";

std::string trimmed(const std::string& text) {
    const std::string::size_type first = text.find_first_not_of(BLANKS);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

// The kind named `name`, or the mistake with the nearest kind's name.
std::string kindNamed(const std::string& name, KindId& id) {
    if (findKind(name, id)) {
        return std::string();
    }
    const std::string nearest = nearestKind(name);
    return "no kind \"" + ByteText::visible(name) + "\" (" +
           (nearest.empty() ? "" : "did you mean \"" + nearest + "\"? ") +
           "--list-kinds lists them)";
}

// "ignore = KIND...": blanks or commas between the kinds.
std::string ignoreLine(const std::string& value, Configuration& config) {
    std::string names = value;
    for (char& c : names) {
        c = c == ',' ? ' ' : c;
    }
    std::istringstream words(names);
    std::string name;
    bool any = false;
    while (words >> name) {
        KindId id{};
        const std::string problem = kindNamed(name, id);
        if (!problem.empty()) {
            return problem;
        }
        config.ignored.set(static_cast<std::size_t>(id));
        any = true;
    }
    return any ? std::string() : "ignore names no kind";
}

// "severity KIND = LEVEL".
std::string severityLine(const std::string& key, const std::string& value, Configuration& config) {
    const std::string name = trimmed(key.substr(std::strlen("severity")));
    KindId id{};
    const std::string problem = kindNamed(name, id);
    if (!problem.empty()) {
        return name.empty() ? "severity names no kind: write \"severity KIND = LEVEL\"" : problem;
    }
    Severity severity{};
    if (!parseSeverity(value, severity)) {
        return "severity of " + name + " takes note, warning or error, not \"" +
               ByteText::visible(value) + "\"";
    }
    config.overridden.set(static_cast<std::size_t>(id));
    config.severities[static_cast<std::size_t>(id)] = severity;
    return std::string();
}

std::string lineProblem(const std::string& line, Configuration& config) {
    const std::string::size_type equals = line.find('=');
    if (equals == std::string::npos) {
        return "not KEY = VALUE: \"" + ByteText::visible(line) + "\"";
    }
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (key == "ignore") {
        return ignoreLine(value, config);
    }
    if (key.compare(0, 8, "severity") == 0 &&
        (key.size() == 8 || key[8] == ' ' || key[8] == '\t')) {
        return severityLine(key, value, config);
    }
    return "unknown key \"" + ByteText::visible(key) + "\" (the keys are ignore and severity KIND)";
}

bool isFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool parseConfiguration(const std::string& text, const std::string& file, Configuration& config,
                        std::string& problem) {
    config.file = file;
    std::istringstream lines(text);
    std::string line;
    for (std::size_t number = 1; std::getline(lines, line); ++number) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string wrong = lineProblem(line, config);
        if (!wrong.empty()) {
            problem = ByteText::visible(file) + ':' + std::to_string(number) + ": " + wrong;
            return false;
        }
    }
    return true;
}

std::string findConfiguration(const std::string& installation) {
    const std::string shared = installation + '/' + CONFIGURATION_NAME;
    if (isFile(shared)) {
        return shared;
    }
    // An empty variable counts as unset, as the XDG convention says.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base;
    if (xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (home != nullptr && *home != '\0') {
        base = std::string(home) + "/.config";
    }
    const std::string own = base + "/dashvane-launcher-check/config";
    return !base.empty() && isFile(own) ? own : std::string();
}

bool readConfiguration(const std::string& path, Configuration& config, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in.is_open()) {
        text << in.rdbuf();
    }
    if (!in.is_open() || in.bad()) {
        problem = "cannot read the configuration " + ByteText::visible(path) + ": " +
                  std::strerror(errno);
        return false;
    }
    return parseConfiguration(text.str(), path, config, problem);
}
