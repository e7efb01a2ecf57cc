#include "ProgramOptions.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <locale>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>
#include <boost/range/iterator_range.hpp>

#include "Options.h"

namespace {

// Wraps a value in double quotes when the platform wants quoted values.
std::string quotedIf(bool quote, const std::string& value) {
    return quote ? '"' + value + '"' : value;
}

// Bigger than the stream's default so long ini files need fewer reads.
constexpr std::size_t INI_READ_BUFFER = std::size_t{64} * 1024;

using Range = boost::iterator_range<std::string::const_iterator>;

// The key of a line is the text before its first "=". Comparing it in place
// spares the head, where most lines are ignored, a copy of every line.
Range keyOf(const std::string& line) {
    return Range(line.begin(), std::find(line.begin(), line.end(), '='));
}

// Reads the next line. A read error (a directory, a failing disk) ends the
// input like the end of the file; running out of memory does not.
bool readLine(std::istream& in, std::string& line) {
    try {
        return static_cast<bool>(std::getline(in, line));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
}

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
        std::cerr << "Exception: " << e.what() << std::endl;
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
    std::vector<char> buffer(INI_READ_BUFFER);
    std::ifstream in;
    in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    in.open(iniFile.c_str(), std::ios::in);
    if (!in.good() && DVL_DBG_ENABLE) {
        std::cout << "Unable to properly open and parse file " << iniFile << std::endl;
    }
    // Without this the stream would swallow a failure to allocate a long
    // line and report it as the end of the file.
    in.exceptions(std::ios::badbit);

    // The white space of boost's default is_space under the global locale,
    // with the facet looked up once per file rather than once per character.
    const std::ctype<char>& ctype = std::use_facet<std::ctype<char>>(std::locale());
    const auto isSpace = [&ctype](char c) { return ctype.is(std::ctype_base::space, c); };

    enum class State { Searching, LauncherTaken, VmSection };
    State state = State::Searching;
    std::string line;
    while (readLine(in, line)) {
        boost::algorithm::trim_if(line, isSpace);
        if (state == State::VmSection) {
            addVMArgFromConfigFile(line);
            continue;
        }
        // The launcher line is honoured once, and only before the VM section.
        if (state == State::Searching && boost::algorithm::equals(keyOf(line), Options::Lanucher)) {
            launcherPath = getKeyValue(line).second;
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
