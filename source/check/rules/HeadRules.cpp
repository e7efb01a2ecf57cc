#include "rules/HeadRules.h"

#include "launcher/Options.h"
#include "rules/RuleText.h"

using namespace IniSyntax;

namespace {

// Whether the line's finding is only a consequence of a mistake reported
// once elsewhere.
bool followsFromShape(const LineContext& c) {
    // The line that was meant to open the VM section is reported itself;
    // what it leaves in the head follows from it.
    if (c.shape.meantVmSectionLine != 0) {
        return c.line.number >= c.shape.meantVmSectionLine;
    }
    return c.shape.firstVmArgumentLine != 0 && c.line.number >= c.shape.firstVmArgumentLine;
}

// A line below where -vmargs belongs is reported for its own mistakes as
// the VM section will read it once -vmargs is in place, which --fix mends
// in the same run: a property with a value, written in another letter case
// or with blanks around its "=".
bool shapedProperty(const LineContext& c) {
    return followsFromShape(c) && c.parts.known != nullptr && *c.parts.known != Options::Lanucher &&
           c.parts.hasEquals && c.parts.hasValue();
}

const std::string ONCE_IN_PLACE = " once -vmargs is in place";

// An ignored head line: the first rule that applies decides what is said.
// The launcher's own keys come first, so a misspelt launcher or -vmargs line
// is named for what it was meant to be; then the lines that are only a
// consequence of a missing VM section are passed over, but for the mistakes
// of their own that the VM section will see, before an application name or
// an argument in the head can be reported about them.
constexpr LineRule HEAD_RULES[] = {
    // Kept from being the launcher line by a byte-order mark, said by byte-order-mark.
    {KindId::Count,
     [](const LineContext& c) {
         return c.parts.key == Options::Lanucher && c.facts.launcherLine == 0;
     },
     nullptr},
    {KindId::SecondLauncher, [](const LineContext& c) { return c.parts.key == Options::Lanucher; },
     [](const LineContext& c) {
         return "second launcher line ignored: line " + std::to_string(c.facts.launcherLine) +
                " already named the executable";
     }},
    {KindId::BlanksAroundEquals,
     [](const LineContext& c) {
         return c.parts.looseKey == Options::Lanucher && c.parts.key != c.parts.looseKey;
     },
     [](const LineContext&) {
         return std::string("blanks around \"=\": not taken as the launcher line, so ignored");
     }},
    {KindId::LetterCase, [](const LineContext& c) { return c.variant == Options::Lanucher; },
     [](const LineContext& c) {
         return quoted(c.parts.looseKey) +
                " is not \"launcher\": keys are case-sensitive, so ignored";
     }},
    // Kept from opening the VM section by a byte-order mark, said by byte-order-mark.
    {KindId::Count, [](const LineContext& c) { return c.text == VMARGS; }, nullptr},
    {KindId::LetterCase, [](const LineContext& c) { return equalsIgnoringCase(c.text, VMARGS); },
     [](const LineContext& c) {
         return quoted(c.text) + " is not \"-vmargs\": it does not open the VM section" +
                (c.shape.vmSectionLine == 0
                     ? linesIgnoredAfter(", so ", c.shape.lines - c.line.number)
                     : std::string());
     },
     // No line opens the VM section: every VM argument is lost.
     [](const LineContext& c) { return c.shape.vmSectionLine == 0; }},
    {KindId::LetterCase,
     [](const LineContext& c) { return shapedProperty(c) && c.parts.caseDiffers(); },
     [](const LineContext& c) {
         return quoted(c.parts.looseKey) + " is not " + *c.parts.known +
                ": keys are case-sensitive, so it would be passed as written" + ONCE_IN_PLACE;
     }},
    {KindId::BlanksAroundEquals,
     [](const LineContext& c) { return shapedProperty(c) && c.parts.blanksAround(); },
     [](const LineContext& c) {
         return "blanks around \"=\": not taken as " + *c.parts.known +
                ", so it would be passed as written" + ONCE_IN_PLACE;
     }},
    // Nothing else is said about what follows from the missing -vmargs.
    {KindId::Count, followsFromShape, nullptr},
    {KindId::NameInHead,
     [](const LineContext& c) {
         return c.parts.looseKey == Options::WebApp || c.variant == Options::WebApp;
     },
     [](const LineContext& c) {
         return "application name before -vmargs ignored" +
                (c.facts.defaultNameAdded
                     ? "; the default " + quoted(Options::WebApp + '=' + c.facts.applicationName) +
                           " is added"
                     : std::string("; a line below -vmargs names the application"));
     }},
    {KindId::ArgumentInHead,
     [](const LineContext& c) { return !c.text.empty() && c.text[0] == '-'; },
     [](const LineContext&) {
         return std::string("ignored: arguments count only after the -vmargs line");
     }},
};

}  // namespace

void headLineWarnings(const LineContext& c, Collector& add) {
    if (c.line.effect == LineEffect::LauncherTaken) {
        if (!c.parts.value.empty() && isBlank(c.parts.value[0])) {
            add(c.line.number, KindId::BlanksAroundEquals,
                "blank after \"=\": the executable path " + quoted(c.parts.value) +
                    " starts with it");
        }
        return;
    }
    if (c.line.effect != LineEffect::IgnoredInHead) {
        return;
    }
    // Said on the first line that shows the VM section is missing, whatever
    // else is said about that line.
    if (c.line.number == c.shape.firstVmArgumentLine && c.shape.meantVmSectionLine == 0) {
        add(c.line.number, KindId::MissingVmargs,
            "the file has no -vmargs line, so the launcher ignores all " +
                std::to_string(c.shape.lines) + " lines and passes no arguments from it",
            std::string(), "-vmargs probably belongs before this line: insert it there");
    }
    reportFirst<HEAD_RULES>(c, add);
}
