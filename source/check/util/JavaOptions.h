// The options of the java launcher besides -X, -XX and -D, as both the
// reading of an ini file and the judging of its VM arguments know them.
#pragma once

#include <string>
#include <string_view>

struct JavaOption {
    // A name ending in ":" or "=" takes its value in the same argument.
    const char* name;
    bool next;     // takes the next argument as its value
    bool telling;  // only a VM takes it: a line of it in an ini file is meant for the VM
};

// The variables of the environment the VM or the java launcher reads
// options from.
extern const char* const VM_VARIABLES[3];

// The option `argument` is, by its name; nullptr for none of them.
const JavaOption* javaOption(std::string_view argument);
