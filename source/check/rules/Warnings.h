// Likely mistakes in an application's launcher setup. The launcher itself
// accepts all of them without a word.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Facts.h"
#include "IniLines.h"
#include "IniSyntax.h"

// The kernel's limit for one argument, its terminating NUL included.
constexpr std::size_t ARGUMENT_LIMIT = 131072;

// Hands each finding on as it is made.
class Collector {
public:
    explicit Collector(std::function<void(const Finding&)> emit) : emit(std::move(emit)) {}
    void operator()(std::size_t line, KindId kind, const std::string& message,
                    const std::string& file = std::string()) {
        emit(Finding{line, kind, message, file});
    }

private:
    std::function<void(const Finding&)> emit;
};

// The argument vector as execv receives it, read in place from the
// launcher's own options, with the ini line each element came from.
struct LaunchVector {
    const std::string& command;
    const std::vector<std::string>& rest;  // everything after the command
    // The line of each element the ini file contributed, in order; they
    // follow the two seed arguments.
    const std::vector<std::uint32_t>& iniLines;
    std::size_t launcherLine;

    std::size_t size() const { return rest.size() + 1; }
    // Up to its first NUL byte, where execv ends it.
    std::string at(std::size_t i) const { return (i == 0 ? command : rest[i - 1]).c_str(); }
    std::size_t lineOf(std::size_t i) const;
};

// The findings about the lines of the ini file, made as the lines are read.
class LineRules {
public:
    LineRules(const Facts& findings, const IniShape& shape, Collector& add);
    void check(const IniLine& line);

private:
    void bytes(const IniLine& line);
    void head(const IniLine& line);
    void vmSection(const IniLine& line);
    void path(const IniLine& line);
    void shapedKeyWarnings(const IniLine& line, const IniSyntax::KeyLine& parts);
    // Whether the line's finding is only a consequence of a mistake
    // reported once elsewhere.
    bool followsFromShape(const IniLine& line) const;

    const Facts& findings;
    const IniShape& shape;
    Collector& add;
};

// Whose permissions were judged, when that may hide a fault: root's.
void judgeWarnings(const Facts& findings, Collector& add);

// The ini file as a whole: missing, unreadable, in another encoding.
void iniFileWarnings(const Facts& findings, Collector& add);

// A property set twice with different values; after all lines are read.
void duplicateWarnings(const LaunchVector& argv, Collector& add);

// Arguments that the kernel refuses to copy.
void sizeWarnings(const Facts& findings, const LaunchVector& argv, Collector& add);

// The start directory and the executable.
void executableWarnings(const Facts& findings, Collector& add);

// The executable, or a script's interpreter, as the kernel and the dynamic
// loader will see it: its machine, its state, its loader and libraries.
void elfWarnings(const Facts& findings, Collector& add);

// The launcher copies in the application directory, beside their ini files.
void copyWarnings(const Facts& findings, Collector& add);
