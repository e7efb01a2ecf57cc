#include "ProgramOptions.h"

#include <stdio.h>
#include <stdio_ext.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/range/iterator_range.hpp>

#include "Options.h"
#include "Output.h"

namespace {

// Wraps a value in double quotes when the platform wants quoted values.
std::string quotedIf(bool quote, const std::string& value) {
    return quote ? '"' + value + '"' : value;
}

// Bigger than stdio's default so long ini files need fewer reads.
constexpr std::size_t INI_READ_BUFFER = std::size_t{64} * 1024;

using Range = boost::iterator_range<std::string::const_iterator>;
// A line still in the reader's buffer.
using Chars = boost::iterator_range<const char*>;

// The key of a line is the text before its first "=". Comparing it in place
// spares the head, where most lines are ignored, a copy of every line.
Range keyOf(const std::string& line) {
    return Range(line.begin(), std::find(line.begin(), line.end(), '='));
}
Chars keyOf(Chars line) {
    return Chars(line.begin(), std::find(line.begin(), line.end(), '='));
}

// White space as the classic "C" locale has it; the launcher never installs
// another locale.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An ini file being read, one line at a time, through C stdio: the C++
// streams would cost their locale set-up on every launch.
class IniReader {
public:
    // Close-on-exec, so the file can never reach the child.
    explicit IniReader(const std::string& path) : file(std::fopen(path.c_str(), "re")) {
        if (file) {
            // Left uninitialised on purpose: clearing it would cost more than
            // reading a typical ini file.
            buffer.reset(new char[INI_READ_BUFFER]);
            std::setvbuf(file.get(), buffer.get(), _IOFBF, INI_READ_BUFFER);
            // One thread: no lock around every line.
            __fsetlocking(file.get(), FSETLOCKING_BYCALLER);
        }
    }
    ~IniReader() { std::free(raw); }
    IniReader(const IniReader&) = delete;
    IniReader& operator=(const IniReader&) = delete;

    bool isOpen() const { return static_cast<bool>(file); }

    // Reads the next line, without its newline, trimmed at both ends; it
    // stays valid until the next call. A read error (a directory, a failing
    // disk) ends the input like the end of the file; running out of memory
    // throws std::bad_alloc instead.
    bool readLine(Chars& line) {
        if (!file) {
            return false;
        }
        errno = 0;
        ssize_t length = getline(&raw, &capacity, file.get());
        if (length < 0) {
            if (errno == ENOMEM) {
                throw std::bad_alloc();
            }
            return false;
        }
        // Trimmed in place: most lines are ignored, and need no copy.
        const char* begin = raw;
        const char* end = raw + length;
        while (begin != end && isSpace(*begin)) {
            ++begin;
        }
        while (end != begin && isSpace(end[-1])) {
            --end;
        }
        line = Chars(begin, end);
        return true;
    }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Declared after the buffer, so the file is closed before the buffer goes.
    std::unique_ptr<char[]> buffer;
    std::unique_ptr<std::FILE, Closer> file;
    char* raw = nullptr;
    std::size_t capacity = 0;
};

}  // namespace

ProgramOptions::ProgramOptions(const std::string& iniFile, const std::string& executableName,
                               const boost::filesystem::path& workingDir,
                               const boost::filesystem::path& eclipseDir, bool needQuotes,
                               const std::vector<std::string>& additionalArgs)
    : webAppSet(false), needQuotes(false) {
    boost::filesystem::path launcher(eclipseDir);
    launcher /= executableName;
    launcherPath = launcher.native();
    webAppName = workingDir.filename().native();
    baseDir = workingDir.native();
    vmArgs.push_back(VMARGSAPPEND);
    vmArgs.push_back(VMARGS);
    // The ini reader quotes what it rebuilds, so the switch is set first.
    this->needQuotes = needQuotes;
    try {
        parseConfigFile(iniFile);
        parseAdditionalArgs(additionalArgs);
    } catch (const std::exception& e) {
        writeText(stderr, "Exception: ");
        writeLine(stderr, e.what());
    }
}

std::string ProgramOptions::GetLauncher() const {
    return quotedIf(needQuotes, launcherPath);
}

inline std::pair<std::string, std::string> ProgramOptions::getKeyValue(
    const std::string& line) const {
    const Range key = keyOf(line);
    if (key.end() == line.end()) {
        return {line, std::string()};
    }
    return {std::string(key.begin(), key.end()), std::string(key.end() + 1, line.end())};
}

inline std::string ProgramOptions::fixRelativePath(const std::string& value) const {
    if (!boost::filesystem::path(value).root_directory().empty()) {
        return value;
    }
    boost::filesystem::path joined(baseDir);
    joined /= value;
    return joined.native();
}

inline void ProgramOptions::addVMArgFromConfigFile(const std::string& line) {
    const std::pair<std::string, std::string> keyValue = getKeyValue(line);
    const std::string& key = keyValue.first;
    if (boost::algorithm::equals(key, Options::WebApp)) {
        // The application name is passed exactly as written, never quoted.
        webAppSet = true;
        vmArgs.push_back(line);
    } else if (boost::algorithm::equals(key, Options::InitScript) ||
               boost::algorithm::equals(key, Options::ConfigFile) ||
               boost::algorithm::equals(key, Options::ProgramFile)) {
        vmArgs.push_back(key + '=' + quotedIf(needQuotes, fixRelativePath(keyValue.second)));
    } else if (!line.empty()) {
        vmArgs.push_back(line);
    }
}

void ProgramOptions::parseConfigFile(const std::string& iniFile) {
    // Only one line is held at a time, so a huge ini file costs time, not memory.
    IniReader in(iniFile);
    if (!in.isOpen() && DVL_DBG_ENABLE) {
        writeText(stdout, "Unable to properly open and parse file ");
        writeLine(stdout, iniFile);
    }

    enum class State { Searching, LauncherTaken, VmSection };
    State state = State::Searching;
    Chars line;
    while (in.readLine(line)) {
        if (state == State::VmSection) {
            addVMArgFromConfigFile(std::string(line.begin(), line.end()));
            continue;
        }
        // The launcher line is honoured once, and only before the VM section.
        if (state == State::Searching && boost::algorithm::equals(keyOf(line), Options::Lanucher)) {
            launcherPath = getKeyValue(std::string(line.begin(), line.end())).second;
            state = State::LauncherTaken;
            continue;
        }
        if (boost::algorithm::equals(line, VMARGS)) {
            state = State::VmSection;
        }
    }

    if (!webAppSet) {
        vmArgs.push_back(Options::WebApp + '=' + quotedIf(needQuotes, webAppName));
        webAppSet = true;
    }
}

void ProgramOptions::parseAdditionalArgs(const std::vector<std::string>& args) {
    // One at a time, so arguments appended before a failure stay.
    for (const std::string& arg : args) {
        vmArgs.push_back(arg);
    }
}
