#include "IniLines.h"

#include "IniFormat.h"

namespace {

LineEffect effectOf(IniFormat::Role role, const std::string& line) {
    switch (role) {
        case IniFormat::Role::IgnoredInHead:
            return LineEffect::IgnoredInHead;
        case IniFormat::Role::LauncherLine:
            return LineEffect::LauncherTaken;
        case IniFormat::Role::OpensVmSection:
            return LineEffect::VmSectionOpened;
        case IniFormat::Role::VmArgument:
            break;
    }
    switch (IniFormat::vmKindOf(line)) {
        case IniFormat::VmKind::WebApp:
            return LineEffect::NameSuppressed;
        case IniFormat::VmKind::PathProperty:
            return LineEffect::PathMadeAbsolute;
        case IniFormat::VmKind::Empty:
            return LineEffect::EmptyIgnored;
        case IniFormat::VmKind::Plain:
            break;
    }
    return LineEffect::Appended;
}

}  // namespace

std::vector<IniLine> classifyIniLines(IniFormat::Reader& in, std::size_t firstArgument) {
    IniFormat::State state = IniFormat::State::Searching;
    std::size_t nextArgument = firstArgument;
    std::vector<IniLine> lines;
    IniFormat::Chars raw;
    while (in.readLine(raw)) {
        IniLine line;
        line.number = lines.size() + 1;
        const IniFormat::Chars trimmed = IniFormat::trim(raw);
        line.trimmed.assign(trimmed.begin(), trimmed.end());
        line.inHead = state != IniFormat::State::VmSection;
        line.effect = effectOf(IniFormat::step(state, line.trimmed), line.trimmed);
        if (line.effect == LineEffect::Appended || line.effect == LineEffect::PathMadeAbsolute ||
            line.effect == LineEffect::NameSuppressed) {
            line.argument = nextArgument++;
        }
        line.raw.assign(raw.begin(), raw.end());
        lines.push_back(std::move(line));
    }
    return lines;
}

const char* effectText(LineEffect effect) {
    switch (effect) {
        case LineEffect::IgnoredInHead:
            return "ignored in the head";
        case LineEffect::LauncherTaken:
            return "launcher line taken";
        case LineEffect::VmSectionOpened:
            return "VM section opened";
        case LineEffect::EmptyIgnored:
            return "empty, ignored";
        case LineEffect::Appended:
            return "appended";
        case LineEffect::PathMadeAbsolute:
            return "path made absolute";
        case LineEffect::NameSuppressed:
            return "appended, default application name suppressed";
    }
    return "";
}
