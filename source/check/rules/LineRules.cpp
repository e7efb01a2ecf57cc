#include "rules/LineRules.h"

#include "launcher/IniFormat.h"
#include "rules/HeadRules.h"
#include "rules/LineRule.h"
#include "rules/RuleText.h"
#include "rules/VmSectionRules.h"

using namespace IniSyntax;

namespace {

// A byte-order mark in front of line 1, and what it keeps that line from doing.
void byteOrderMarkWarning(const IniLine& line, const IniShape& shape, Collector& add) {
    std::string rest(line.raw.substr(BYTE_ORDER_MARK.size()));
    IniFormat::trim(rest);
    IniFormat::State state = IniFormat::State::Searching;
    const IniFormat::Role meant = IniFormat::step(state, rest);
    Finding finding{line.number, KindId::ByteOrderMark,
                    std::string("the launcher does not skip the file's byte-order mark") +
                        (meant == IniFormat::Role::LauncherLine ? ": this is not a launcher line"
                         : meant == IniFormat::Role::OpensVmSection && shape.vmSectionLine == 0
                             ? ": this line does not open the VM section" +
                                   linesIgnoredAfter(", and ", shape.lines - 1)
                         : meant == IniFormat::Role::OpensVmSection
                             ? ": this line does not open the VM section, line " +
                                   std::to_string(shape.vmSectionLine) + " does"
                             : ""),
                    std::string()};
    // The line it hides decides: a launcher line or -vmargs lost loses what
    // the file asks for; in front of a line ignored anyway it harms nothing.
    finding.escalated =
        meant == IniFormat::Role::LauncherLine || meant == IniFormat::Role::OpensVmSection;
    finding.lowered = meant == IniFormat::Role::IgnoredInHead;
    add(finding);
}

// Bytes no editor shows, each kind reported once for the line.
void byteWarnings(const IniLine& line, Collector& add) {
    const std::string_view text = line.trimmed;
    if (!hasUnusualByte(text)) {
        return;
    }
    if (text.find('\r') != std::string::npos) {
        add(line.number, KindId::CarriageReturn,
            "carriage return inside the line: the lines end in a carriage return alone, so the "
            "launcher reads one line");
    }
    if (text.find('\0') != std::string::npos) {
        add(line.number, KindId::NulByte,
            line.argument != 0 ? "NUL byte: the argument ends before it, as " +
                                     quoted(line.element.substr(0, line.element.find('\0')))
                               : std::string("NUL byte in the line"));
    }
    if (hasControlByte(text)) {
        add(line.number, KindId::ControlByte, "control byte in the line, shown as \\xNN");
    }
    if (text.find(NO_BREAK_SPACE) != std::string::npos) {
        add(line.number, KindId::NoBreakSpace,
            "no-break space (\\u{00A0}): not white space to the launcher, so it stays in the line");
    }
}

// What the line means to the launcher, and what it was meant to mean.
void meaningWarnings(const LineContext& context, Collector& add) {
    if (context.line.inHead) {
        headLineWarnings(context, add);
    } else {
        vmSectionLineWarnings(context, add);
    }
}

}  // namespace

void lineWarnings(const Facts& facts, const IniShape& shape, const IniLine& line, Collector& add) {
    if (line.number == 1 && line.raw.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) {
        byteOrderMarkWarning(line, shape, add);
    }
    byteWarnings(line, add);
    // A byte-order mark is reported once; the rest of its line is judged as
    // if it were not there, so a second mistake on line 1 is not hidden.
    if (line.number == 1 && line.trimmed.compare(0, BYTE_ORDER_MARK.size(), BYTE_ORDER_MARK) == 0) {
        IniLine withoutMark = line;
        withoutMark.trimmed.remove_prefix(BYTE_ORDER_MARK.size());
        const IniFormat::Chars kept = IniFormat::trim(IniFormat::Chars(
            withoutMark.trimmed.data(), withoutMark.trimmed.data() + withoutMark.trimmed.size()));
        withoutMark.trimmed = std::string_view(kept.begin(), kept.size());
        meaningWarnings(LineContext(withoutMark, facts, shape), add);
    } else {
        meaningWarnings(LineContext(line, facts, shape), add);
    }
}
