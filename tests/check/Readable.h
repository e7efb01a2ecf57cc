// What every finding reads as: a message of one short line, then notes
// about this installation, never a sample path from another one.
#pragma once

#include <cstddef>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace dvltest {

// The longest message of a finding's first line, its paths counted as in
// an installation at /srv/ws rather than in a long throwaway directory.
constexpr std::size_t LONGEST_MESSAGE = 120;

// The installation every sample path of the catalogue lives in.
const char SAMPLE_INSTALLATION[] = "/srv/ws/";

inline std::string atShortRoot(std::string text, const std::string& root) {
    for (std::size_t at; !root.empty() && (at = text.find(root)) != std::string::npos;) {
        text.replace(at, root.size(), "/srv");
    }
    return text;
}

// One finding of an installation under `root`, which is not /srv/ws.
inline void expectReadable(const std::string& message, const std::string& advice,
                           const std::string& root) {
    EXPECT_LE(atShortRoot(message, root).size(), LONGEST_MESSAGE) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_EQ(advice.find(SAMPLE_INSTALLATION), std::string::npos) << advice;
}

// Every finding of a report in the gcc format; returns how many there are.
inline std::size_t expectReadableText(const std::string& out, const std::string& root) {
    static const std::regex finding(R"(^.*?: (?:error|warning|note): (.*) \[[a-z0-9-]+\]$)");
    static const std::regex note(R"(^.*?: note: (.*)$)");
    std::istringstream lines(out);
    std::string line;
    std::size_t findings = 0;
    while (std::getline(lines, line)) {
        std::smatch parts;
        if (std::regex_match(line, parts, finding)) {
            ++findings;
            expectReadable(parts[1].str(), std::string(), root);
        } else if (std::regex_match(line, parts, note)) {
            expectReadable(std::string(), parts[1].str(), root);
        }
    }
    return findings;
}

}  // namespace dvltest
