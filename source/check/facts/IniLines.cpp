#include "facts/IniLines.h"

#include <algorithm>
#include <string_view>

#include "facts/IniSyntax.h"
#include "launcher/Options.h"
#include "util/JavaOptions.h"
#include "util/Text.h"

namespace {

// The start every key the launcher treats apart shares ("-Ddv."). A key is
// the text before the line's first "=", so a line that does not begin so
// has none of them: it is passed as written, or dropped when empty, and the
// launcher's key search over it can be spared.
std::string_view sharedKeyStart() {
    static const std::string_view shared = [] {
        std::string_view common = Options::WebApp;
        for (const std::string* key :
             {&Options::InitScript, &Options::ConfigFile, &Options::ProgramFile}) {
            const auto differs =
                std::mismatch(common.begin(), common.end(), key->begin(), key->end());
            common = common.substr(0, static_cast<std::size_t>(differs.first - common.begin()));
        }
        return common;
    }();
    return shared;
}

IniFormat::VmKind vmKindOf(std::string_view line) {
    if (!Text::startsWith(line, sharedKeyStart())) {
        return line.empty() ? IniFormat::VmKind::Empty : IniFormat::VmKind::Plain;
    }
    return IniFormat::vmKindOf(std::string(line));
}

LineEffect effectOf(IniFormat::Role role, std::string_view line) {
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
    switch (vmKindOf(line)) {
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

using Text::BYTE_ORDER_MARK;
using Text::startsWith;

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

IniFormat::Role stepOf(IniFormat::State& state, IniFormat::Chars line) {
    const std::string_view text(line.begin(), line.size());
    const bool mayBeLauncherLine =
        state == IniFormat::State::Searching && Text::startsWith(text, Options::Lanucher);
    // Any other head line counts only if it is "-vmargs" itself, so one of
    // another length is ignored without asking.
    if (state != IniFormat::State::VmSection && !mayBeLauncherLine &&
        text.size() != VMARGS.size()) {
        return IniFormat::Role::IgnoredInHead;
    }
    if (state == IniFormat::State::Searching && !mayBeLauncherLine) {
        IniFormat::State taken = IniFormat::State::LauncherTaken;
        const IniFormat::Role role = IniFormat::step(taken, line);
        if (taken != IniFormat::State::LauncherTaken) {
            state = taken;
        }
        return role;
    }
    return IniFormat::step(state, line);
}

void IniClassifier::next(IniFormat::Chars raw, IniLine& line) {
    line.number = ++number;
    const IniFormat::Chars trimmed = IniFormat::trim(raw);
    line.trimmed = std::string_view(trimmed.begin(), trimmed.size());
    line.inHead = state != IniFormat::State::VmSection;
    line.effect = effectOf(stepOf(state, trimmed), line.trimmed);
    if (line.effect == LineEffect::PathMadeAbsolute) {
        const IniFormat::Chars key = IniFormat::keyOf(trimmed);
        if (key.end() != trimmed.end() && key.end()[1] == '/') {
            line.effect = LineEffect::PathAbsolute;
        }
    }
    line.argument = 0;
    if (line.effect == LineEffect::Appended || line.effect == LineEffect::PathMadeAbsolute ||
        line.effect == LineEffect::PathAbsolute || line.effect == LineEffect::NameSuppressed) {
        line.argument = nextArgument++;
    }
    line.raw = std::string_view(raw.begin(), raw.size());
    line.element = std::string_view();
    line.pathState = PathState::NotLooked;
}

bool looksLikeVmArgument(std::string_view trimmed) {
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (trimmed.size() > 2 && (startsWith(trimmed, "-D") || startsWith(trimmed, "-X")) &&
        (isLetter(trimmed[2]) || trimmed[2] == '_')) {
        return true;
    }
    const JavaOption* option = javaOption(trimmed);
    return option != nullptr && option->telling;
}

namespace {

// Whether `text`, past a byte-order mark and blanks, begins as "-vmargs" in
// any letter case: asked of every head line, so most are told apart here
// without a copy.
bool beginsAsVmargs(std::string_view text, std::size_t number) {
    if (number == 1 && startsWith(text, BYTE_ORDER_MARK)) {
        text.remove_prefix(BYTE_ORDER_MARK.size());
    }
    while (!text.empty() && IniFormat::isSpace(text.front())) {
        text.remove_prefix(1);
    }
    if (text.size() < VMARGS.size()) {
        return false;
    }
    for (std::size_t i = 0; i < VMARGS.size(); ++i) {
        const char c =
            text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != VMARGS[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool meantAsVmargs(std::string_view trimmed, std::size_t number) {
    if (!beginsAsVmargs(trimmed, number)) {
        return false;
    }
    std::string text(trimmed);
    if (number == 1 && startsWith(text, BYTE_ORDER_MARK)) {
        text.erase(0, BYTE_ORDER_MARK.size());
        IniFormat::trim(text);
    }
    // A file whose lines end in a carriage return alone is one line.
    const std::string::size_type cr = text.find('\r');
    if (cr != std::string::npos) {
        text.erase(cr);
        IniFormat::trim(text);
    }
    return lowerAscii(text) == VMARGS;
}

namespace {

const std::string SUPPRESSION = "dashvane-launcher-check:";

// A head line that tells the checker to silence kinds for the file. The
// launcher ignores every head line, so it costs the launch nothing.
void readSuppression(const std::string& trimmed, std::size_t number, IniShape& shape) {
    if (!IniSyntax::isComment(trimmed)) {
        return;
    }
    std::string rest = trimmed.substr(1);
    IniFormat::trim(rest);
    if (rest.compare(0, SUPPRESSION.size(), SUPPRESSION) != 0) {
        return;
    }
    rest.erase(0, SUPPRESSION.size());
    IniFormat::trim(rest);
    if (rest.compare(0, 6, "ignore") != 0 || (rest.size() > 6 && !IniSyntax::isBlank(rest[6]))) {
        shape.unknownSuppressions.emplace_back(number, rest);
        return;
    }
    rest.erase(0, 6);
    std::string::size_type start = 0;
    while (start <= rest.size()) {
        const std::string::size_type comma = std::min(rest.find(',', start), rest.size());
        std::string name = rest.substr(start, comma - start);
        IniFormat::trim(name);
        KindId kind = KindId::Count;
        if (findKind(name, kind)) {
            shape.suppressed.push_back(kind);
        } else {
            shape.unknownSuppressions.emplace_back(number, name);
        }
        start = comma + 1;
    }
}

// What a head line tells of the shape; only a comment is copied, to be
// read as a suppression line.
void headLineShape(std::string_view trimmed, std::size_t number, IniShape& shape) {
    if (IniSyntax::isComment(trimmed)) {
        readSuppression(std::string(trimmed), number, shape);
    }
    if (shape.meantVmSectionLine == 0 && meantAsVmargs(trimmed, number)) {
        shape.meantVmSectionLine = number;
    }
    if (shape.firstVmArgumentLine == 0 && looksLikeVmArgument(trimmed)) {
        shape.firstVmArgumentLine = number;
    }
}

}  // namespace

IniShape shapeOf(IniFormat::Reader& in) {
    IniShape shape;
    IniFormat::State state = IniFormat::State::Searching;
    IniFormat::Chars raw;
    while (in.readLine(raw)) {
        ++shape.lines;
        const IniFormat::Chars kept = IniFormat::trim(raw);
        const IniFormat::Role role = stepOf(state, kept);
        if (role == IniFormat::Role::OpensVmSection) {
            // The rest of the file does not change its shape.
            shape.vmSectionLine = shape.lines;
            break;
        }
        if (role == IniFormat::Role::LauncherLine) {
            shape.launcherLine = shape.lines;
        }
        headLineShape(std::string_view(kept.begin(), kept.size()), shape.lines, shape);
    }
    if (shape.vmSectionLine != 0) {
        shape.meantVmSectionLine = 0;
        shape.firstVmArgumentLine = 0;
    }
    return shape;
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
        case LineEffect::PathAbsolute:
            return "path already absolute, appended";
        case LineEffect::NameSuppressed:
            return "appended, default application name suppressed";
    }
    return "";
}
