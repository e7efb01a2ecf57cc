// A simple shell command line, or a short script, read far enough to know
// where each command runs and how it is named: `cd DIR && ./run`,
// `cd DIR; exec ./run "$@"`, `(cd DIR && ./run) &`, `sh -c '...'`,
// `VAR=x cmd`, `env -C DIR cmd`, `exec -a NAME cmd`, comments and
// redirections. Nothing is run; what it cannot tell (a variable other than
// HOME, a substitution) it leaves unknown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct ShellCommand {
    std::vector<std::string> words;  // the program first, as it gets them (argv)
    std::string program;             // what is executed: words[0] unless exec -a renamed it
    std::string dir;                 // where it runs; empty when unknown
    std::string before;              // the operator before it: "", "&&", "||", ";", "&", "|"
    std::string after;               // the operator after it
    std::size_t line = 1;            // the line of the text it starts on
    // The first word it depends on that the reader cannot expand exactly (a
    // variable, a substitution, a pattern), as written, with the cd or
    // option it belongs to; empty when every word is exact.
    std::string unread;
    bool renamedByExec = false;  // by exec -a, which dash does not have
};

// The commands of `line` run by sh -c in `startDir`, with `home` for ~ and $HOME.
std::vector<ShellCommand> readShellLine(const std::string& line, const std::string& startDir,
                                        const std::string& home);

// `path` taken from `dir`, "." and ".." resolved by name; empty when `dir` is
// unknown and `path` relative.
std::string joinedPath(const std::string& dir, const std::string& path);
