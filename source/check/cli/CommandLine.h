// What the command line asks for, as the option table parses it.
#pragma once

#include <bitset>
#include <string>
#include <vector>

#include "facts/StartFacts.h"
#include "fix/SafeRewrite.h"
#include "model/Catalogue.h"

enum class ColourChoice { Auto, Always, Never };

struct CommandLine {
    std::string name;  // empty: the copy found in each directory, else ./run
    bool haveName = false;
    std::string user;
    bool haveUser = false;
    std::vector<std::string> paths;  // application directories and ini files
    std::vector<std::string> installations;
    std::vector<std::string> arguments;  // after --
    Severity threshold = Severity::Warning;
    bool haveSeverity = false;
    std::bitset<KIND_COUNT> ignored;
    bool haveIgnore = false;
    std::string format;  // empty when not given
    bool json = false;   // --json, the old spelling of --format json
    ColourChoice colour = ColourChoice::Auto;
    bool pretty = false;
    bool explain = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool kinds = false;
    bool diff = false;
    bool fix = false;
    SafeRewrite::Backup backup = SafeRewrite::Backup::Existing;
    std::string backupOption;         // "--backup" or "--no-backup" as last given; "" for neither
    std::string java;                 // --java: the VM named outright
    bool noVm = false;                // --no-vm: the VM judged by rule alone, never started
    bool noCache = false;             // --no-cache: no VM verdict kept from an earlier run
    std::vector<std::string> starts;  // --start: the start files judged, in place of the search
    StartKind startKind = StartKind::DesktopEntry;  // --start-kind: how they are read
    bool haveStartKind = false;
    std::string config;     // --config: the configuration read, in place of the one found
    bool noConfig = false;  // --no-config: none read
    std::string root;       // --root: the prefix the start files are searched under
    bool haveRoot = false;

    // The format asked for, "gcc" when none was.
    std::string formatName() const { return !format.empty() ? format : json ? "json" : "gcc"; }
};

// Options that make no sense together are refused, not quietly ignored:
// returns the usage error, or an empty string.
std::string combinationProblem(const CommandLine& line);
