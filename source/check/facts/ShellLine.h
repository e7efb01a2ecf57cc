// A simple shell command line read far enough to know where each command
// runs and how it is named: `cd DIR && ./run`, `cd DIR; exec ./run ARGS`,
// `sh -c '...'`, `VAR=x cmd`, `exec -a NAME cmd`. Nothing is run; what it
// cannot tell (a variable other than HOME, a substitution) it leaves unknown.
#pragma once

#include <string>
#include <vector>

struct ShellCommand {
    std::vector<std::string> words;  // the program first, as it gets them (argv)
    std::string program;             // what is executed: words[0] unless exec -a renamed it
    std::string dir;                 // where it runs; empty when unknown
    std::string before;              // the operator before it: "", "&&", "||", ";", "&", "|"
    std::string after;               // the operator after it
};

// The commands of `line` run by sh -c in `startDir`, with `home` for ~ and $HOME.
std::vector<ShellCommand> readShellLine(const std::string& line, const std::string& startDir,
                                        const std::string& home);

// `path` taken from `dir`, "." and ".." resolved by name; empty when `dir` is
// unknown and `path` relative.
std::string joinedPath(const std::string& dir, const std::string& path);
