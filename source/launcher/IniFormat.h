// The rules of the launcher ini file that every reader of it shares: how a
// line is read and trimmed, where its key ends, and what a trimmed line does
// in each region of the file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <boost/range/iterator_range.hpp>

namespace IniFormat {

// A line, or part of one, in place: in the reader's buffer or in a string.
using Chars = boost::iterator_range<const char*>;

inline Chars charsOf(const std::string& line) {
    return Chars(line.data(), line.data() + line.size());
}

// The key of a line is the text before its first "=". Comparing it in place
// spares the head, where most lines are ignored, a copy of every line.
Chars keyOf(Chars line);

// White space as the classic "C" locale has it (blank, tab, newline,
// vertical tab, form feed, carriage return); the launcher never installs
// another locale.
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The line without the white space at both ends.
Chars trim(Chars line);
void trim(std::string& line);

// An ini file read one line at a time through C stdio: the C++ streams would
// cost their locale set-up on every launch. The file is opened close-on-exec,
// so it can never reach a child.
class Reader {
public:
    explicit Reader(const std::string& path);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool isOpen() const { return static_cast<bool>(file); }

    // Reads the next line, without its newline; it stays valid until the
    // next call. A read error (a directory, a failing disk) ends the input
    // like the end of the file, before the line it cut short; running out of
    // memory throws std::bad_alloc.
    bool readLine(Chars& line);

    // Back to the first line, for another reading of the same file. The
    // line's buffer is kept, so a line as long as the file is not given
    // fresh memory each time.
    void rewind() {
        if (file) {
            std::rewind(file.get());
        }
    }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Declared before the file, so the file is closed before its buffer goes.
    std::unique_ptr<char[]> buffer;
    std::unique_ptr<std::FILE, Closer> file;
    char* raw = nullptr;
    std::size_t capacity = 0;
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
Role step(State& state, Chars line);
inline Role step(State& state, const std::string& line) {
    return step(state, charsOf(line));
}

enum class VmKind {
    WebApp,        // passed as written; no default application name
    PathProperty,  // its value is made absolute
    Empty,         // dropped
    Plain,         // passed as written
};

// What a trimmed line of the VM section contributes.
VmKind vmKindOf(const std::string& line);

}  // namespace IniFormat
