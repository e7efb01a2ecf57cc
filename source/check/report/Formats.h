// The table of output formats that --format chooses from.
#pragma once

#include <string_view>
#include <vector>

#include "report/Formatter.h"

struct Format {
    const char* name;
    FormatFactory make;
    // With --explain; nullptr where the format has nowhere to put the lines.
    FormatFactory explained;
    bool indents;      // --pretty has a meaning
    bool forPeople;    // --quiet and --color have a meaning
    bool listsMends;   // --fix says each mend on the same output
    const char* help;  // one line for --help
};

const std::vector<Format>& formats();

// nullptr for a name the table does not have.
const Format* findFormat(std::string_view name);

// "gcc, json, sarif, checkstyle", for messages and help.
std::string formatNames();
