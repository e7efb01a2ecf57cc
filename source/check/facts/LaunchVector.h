// The argument vector as execv receives it, read in place from the
// launcher's own options, with the ini line each element came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
    std::string_view view(std::size_t i) const { return (i == 0 ? command : rest[i - 1]).c_str(); }
    std::size_t lineOf(std::size_t i) const;
};
