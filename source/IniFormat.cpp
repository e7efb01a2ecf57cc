#include "IniFormat.h"

#include <algorithm>
#include <exception>
#include <new>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/trim.hpp>

#include "Options.h"

namespace IniFormat {

Range keyOf(const std::string& line) {
    return Range(line.begin(), std::find(line.begin(), line.end(), '='));
}

bool readLine(std::istream& in, std::string& line) {
    try {
        return static_cast<bool>(std::getline(in, line));
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        return false;
    }
}

void Trimmer::operator()(std::string& line) const {
    const std::ctype<char>& facet = ctype;
    boost::algorithm::trim_if(line,
                              [&facet](char c) { return facet.is(std::ctype_base::space, c); });
}

Role step(State& state, const std::string& line) {
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
    const Range key = keyOf(line);
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
