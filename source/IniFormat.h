// The rules of the launcher ini file that every reader of it shares: how a
// line is read and trimmed, where its key ends, and what a trimmed line does
// in each region of the file.
#pragma once

#include <istream>
#include <locale>
#include <string>

#include <boost/range/iterator_range.hpp>

namespace IniFormat {

using Range = boost::iterator_range<std::string::const_iterator>;

// The key of a line is the text before its first "=". Comparing it in place
// spares the head, where most lines are ignored, a copy of every line.
Range keyOf(const std::string& line);

// Reads the next line. A read error (a directory, a failing disk) ends the
// input like the end of the file; running out of memory does not.
bool readLine(std::istream& in, std::string& line);

// Trims both ends of a line of the white space of boost's default is_space
// under the global locale, with the facet looked up once per file rather
// than once per character.
class Trimmer {
public:
    Trimmer() : ctype(std::use_facet<std::ctype<char>>(std::locale())) {}
    void operator()(std::string& line) const;

private:
    const std::ctype<char>& ctype;
};

// Searching and LauncherTaken are the head; the VM section is never left.
enum class State { Searching, LauncherTaken, VmSection };

enum class Role {
    IgnoredInHead,
    LauncherLine,    // its value replaces the executable path
    OpensVmSection,  // the line itself is not passed on
    VmArgument,      // see VmKind
};

// Returns what a trimmed line does in `state`, and moves `state` on. The
// launcher line is honoured once, and only before the VM section.
Role step(State& state, const std::string& line);

enum class VmKind {
    WebApp,        // passed as written; no default application name
    PathProperty,  // its value is made absolute
    Empty,         // dropped
    Plain,         // passed as written
};

// What a trimmed line of the VM section contributes.
VmKind vmKindOf(const std::string& line);

}  // namespace IniFormat
