// The application directories a run checks, from its arguments.
#pragma once

#include <string>
#include <vector>

struct Target {
    std::string dir;   // as the user named it
    std::string name;  // the invocation name; empty for the default
};

// An argument that names a directory is an application directory. One whose
// last part is NAME.ini names that ini file: its directory, started as
// ./NAME. A `--name` that names another file is a usage error: returns false
// with `problem`.
// Checked as an application directory, a directory that holds eclipse/
// and apps/ and no ini file would be blamed for what an installation is: a
// usage problem naming --installation. Empty for any other.
std::string installationProblem(const std::string& dir);

bool targetOf(const std::string& arg, const std::string& nameOption, bool haveName, Target& target,
              std::string& problem);

// The application directories of an installation: those under DIR/apps that
// hold a launcher copy or an ini file, in the order of their names.
bool applicationsOf(const std::string& installation, std::vector<std::string>& dirs,
                    std::string& problem);
