#include "IniFormat.h"

#include <stdio.h>
#include <stdio_ext.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

#include <boost/algorithm/string/predicate.hpp>

#include "Options.h"

namespace IniFormat {

namespace {

// Bigger than stdio's default so long ini files need fewer reads.
constexpr std::size_t READ_BUFFER = std::size_t{64} * 1024;

}  // namespace

Chars keyOf(Chars line) {
    return Chars(line.begin(), std::find(line.begin(), line.end(), '='));
}

Chars trim(Chars line) {
    const char* begin = line.begin();
    const char* end = line.end();
    while (begin != end && isSpace(*begin)) {
        ++begin;
    }
    while (end != begin && isSpace(end[-1])) {
        --end;
    }
    return Chars(begin, end);
}

void trim(std::string& line) {
    const Chars kept = trim(charsOf(line));
    line.assign(kept.begin(), kept.end());
}

Reader::Reader(const std::string& path) : file(std::fopen(path.c_str(), "re")) {
    if (file) {
        // Left uninitialised on purpose: clearing it would cost more than
        // reading a typical ini file.
        buffer.reset(new char[READ_BUFFER]);
        std::setvbuf(file.get(), buffer.get(), _IOFBF, READ_BUFFER);
        // One thread: no lock around every line.
        __fsetlocking(file.get(), FSETLOCKING_BYCALLER);
    }
}

Reader::~Reader() {
    std::free(raw);
}

bool Reader::readLine(Chars& line) {
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
    if (length > 0 && raw[length - 1] == '\n') {
        --length;
    } else if (std::ferror(file.get())) {
        // A line cut short by a read error is dropped, never passed on cut.
        return false;
    }
    line = Chars(raw, raw + length);
    return true;
}

Role step(State& state, Chars line) {
    if (state == State::VmSection) {
        return Role::VmArgument;
    }
    if (state == State::Searching && boost::algorithm::equals(keyOf(line), Options::Lanucher)) {
        state = State::LauncherTaken;
        return Role::LauncherLine;
    }
    if (boost::algorithm::equals(line, VMARGS)) {
        state = State::VmSection;
        return Role::OpensVmSection;
    }
    return Role::IgnoredInHead;
}

VmKind vmKindOf(const std::string& line) {
    const Chars key = keyOf(charsOf(line));
    if (boost::algorithm::equals(key, Options::WebApp)) {
        return VmKind::WebApp;
    }
    if (boost::algorithm::equals(key, Options::InitScript) ||
        boost::algorithm::equals(key, Options::ConfigFile) ||
        boost::algorithm::equals(key, Options::ProgramFile)) {
        return VmKind::PathProperty;
    }
    return line.empty() ? VmKind::Empty : VmKind::Plain;
}

}  // namespace IniFormat
