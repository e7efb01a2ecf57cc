// The configuration a team shares: kinds it ignores and the severity it
// gives a kind, read from one file of plain lines.
//
//   # a comment
//   ignore = kind-a kind-b
//   severity kind-c = error
#pragma once

#include <array>
#include <bitset>
#include <string>

#include "model/Catalogue.h"

struct Configuration {
    std::string file;  // where it was read from; empty for none
    std::bitset<KIND_COUNT> ignored;
    std::bitset<KIND_COUNT> overridden;  // the kinds `severities` gives a severity
    std::array<Severity, KIND_COUNT> severities{};
};

// The name of the file at an installation's root.
extern const char CONFIGURATION_NAME[];

// Reads `text`, the configuration file `file`; false with the first
// mistake, as "FILE:LINE: WHAT", in `problem`.
bool parseConfiguration(const std::string& text, const std::string& file, Configuration& config,
                        std::string& problem);

// The file a run reads when none is named: the installation's, else the
// user's under $XDG_CONFIG_HOME (or ~/.config); empty when neither exists.
std::string findConfiguration(const std::string& installation);

// Reads the file at `path` into `config`; false with the reason in `problem`.
bool readConfiguration(const std::string& path, Configuration& config, std::string& problem);
