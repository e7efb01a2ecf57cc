// --diff and --fix of one application's ini file: --diff prints what --fix
// would write and changes nothing; --fix writes it and says what it mended.
#pragma once

#include <ostream>
#include <string>

#include "Check.h"

struct MendOptions {
    bool diff = false;       // print the mend as a unified diff, write nothing
    bool keepBackup = true;  // keep the original as NAME.ini~
    bool listFixes = true;   // say each mend made, one line each
};

// `name` is the ini file as the report names it. Returns false when the
// file cannot be mended, after saying why on `err`.
bool mendIni(const MendOptions& options, const std::string& name, const CheckRequest& request,
             std::ostream& out, std::ostream& err);
