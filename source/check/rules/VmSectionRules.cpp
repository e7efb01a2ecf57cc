#include "rules/VmSectionRules.h"

#include <algorithm>

#include "facts/PropertyPath.h"
#include "launcher/Options.h"
#include "rules/RuleText.h"

using namespace IniSyntax;

namespace {

// "# dashvane-launcher-check: ...", as a head line silences kinds.
bool isSuppressionLine(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t", 1);
    return start != std::string_view::npos && text.substr(start, 24) == "dashvane-launcher-check:";
}

// Said only where the launcher adds it: another line may name the application.
std::string defaultName(const LineContext& c) {
    return c.facts.defaultNameAdded
               ? ", and the default " + quoted(Options::WebApp + '=' + c.facts.applicationName) +
                     " is added as well"
               : std::string();
}

// What the line was meant to be, the first rule that applies deciding: a
// launcher line or a second -vmargs, whatever their letter case, before a
// key with blanks around its "=", before a key in another letter case, and a
// comment last.
constexpr LineRule MEANT_RULES[] = {
    {KindId::LauncherInVmSection,
     [](const LineContext& c) {
         return c.parts.looseKey == Options::Lanucher || c.variant == Options::Lanucher;
     },
     [](const LineContext&) {
         return std::string(
             "launcher line after -vmargs: passed to the executable as an argument, not "
             "replacing it");
     }},
    {KindId::VmargsInVmSection, [](const LineContext& c) { return c.text == VMARGS; },
     [](const LineContext&) {
         return std::string("second -vmargs line: passed to the executable as an argument");
     }},
    {KindId::LetterCase, [](const LineContext& c) { return equalsIgnoringCase(c.text, VMARGS); },
     [](const LineContext& c) {
         return quoted(c.text) + " is not \"-vmargs\": passed to the executable as an argument";
     }},
    {KindId::BlanksAroundEquals,
     [](const LineContext& c) {
         return c.parts.key != c.parts.looseKey && isKnownKey(c.parts.looseKey);
     },
     [](const LineContext& c) {
         return "blanks around \"=\": not taken as " + std::string(c.parts.looseKey) +
                (c.parts.looseKey == Options::WebApp ? ", so passed as written" + defaultName(c)
                                                     : ", so passed as written, not made absolute");
     }},
    {KindId::LetterCase, [](const LineContext& c) { return !c.variant.empty(); },
     [](const LineContext& c) {
         return quoted(c.parts.looseKey) + " is not " + std::string(c.variant) +
                ": keys are case-sensitive, so passed as written" +
                (c.variant == Options::WebApp ? defaultName(c) : ", not made absolute");
     }},
    // Read by the checker only above -vmargs, where the launcher ignores it.
    {KindId::CommentInVmSection,
     [](const LineContext& c) { return isComment(c.text) && isSuppressionLine(c.text); },
     [](const LineContext&) {
         return std::string(
             "suppression line below -vmargs: it silences nothing, and is passed to the "
             "executable as an argument");
     }},
    {KindId::CommentInVmSection, [](const LineContext& c) { return isComment(c.text); },
     [](const LineContext&) {
         return std::string(
             "the ini file has no comments: passed to the executable as an argument");
     }},
};

// An application name line, which keeps the default name from being added.
constexpr LineRule NAME_RULES[] = {
    {KindId::EmptyApplicationName, [](const LineContext& c) { return c.parts.value.empty(); },
     [](const LineContext& c) {
         return "the application gets an empty name, and the default " +
                quoted(Options::WebApp + '=' + c.facts.applicationName) + " is not added";
     }},
    {KindId::BlanksAroundEquals,
     [](const LineContext& c) { return !c.parts.value.empty() && isBlank(c.parts.value[0]); },
     [](const LineContext& c) {
         return "blank after \"=\": the application name " + quoted(c.parts.value) +
                " starts with it";
     }},
};

// A path property: its value as written first, then the file it names as
// the line's path fact found it. A path that cannot be judged from here is
// not reported.
constexpr LineRule PATH_RULES[] = {
    {KindId::EmptyPath, [](const LineContext& c) { return c.parts.value.empty(); },
     [](const LineContext& c) {
         return "empty value: " + std::string(c.parts.key) +
                " becomes the application directory itself";
     }},
    {KindId::BlanksAroundEquals,
     [](const LineContext& c) { return !c.parts.value.empty() && isBlank(c.parts.value[0]); },
     [](const LineContext& c) {
         return "blank after \"=\": it becomes part of the path " +
                quoted(propertyPath(c.line.element));
     }},
    {KindId::MissingPath,
     [](const LineContext& c) { return c.line.pathState == PathState::Missing; },
     [](const LineContext& c) {
         return std::string(c.parts.key) + " names " + quoted(propertyPath(c.line.element)) +
                ", which does not exist";
     }},
    {KindId::PathIsDirectory,
     [](const LineContext& c) { return c.line.pathState == PathState::Directory; },
     [](const LineContext& c) {
         return std::string(c.parts.key) + " names " + quoted(propertyPath(c.line.element)) +
                ", which is a directory, not a file";
     }},
};

}  // namespace

bool refusedLineMeantOtherwise(const std::string& text) {
    // A property is neither a comment, -vmargs nor the launcher's key in
    // any letter case: most lines of a long VM section end here.
    if (text.compare(0, 2, "-D") == 0) {
        return false;
    }
    // The rules that decide this look at the text alone.
    static const Facts none;
    static const IniShape noShape;
    constexpr std::size_t KEPT = 4096;
    // Past its first "=" a long text decides nothing here: the rules look at
    // its start, its key and whether it is a short word, so only that much
    // is looked at of a line as long as the file.
    const std::size_t equals = text.find('=');
    const std::size_t looked = equals == std::string::npos
                                   ? text.size()
                                   : std::max(equals + 1, std::min(text.size(), KEPT));
    IniLine line;
    line.trimmed = std::string_view(text).substr(0, looked);
    bool meant = false;
    {
        const LineContext c(line, none, noShape);
        for (const LineRule& rule : MEANT_RULES) {
            if (rule.applies(c)) {
                meant = rule.kind == KindId::CommentInVmSection ||
                        rule.kind == KindId::VmargsInVmSection ||
                        rule.kind == KindId::LauncherInVmSection;
                break;
            }
        }
    }
    return meant;
}

void vmSectionLineWarnings(const LineContext& c, Collector& add) {
    reportFirst<MEANT_RULES>(c, add);
    if (c.line.effect == LineEffect::NameSuppressed) {
        reportFirst<NAME_RULES>(c, add);
    }
    if (c.line.effect == LineEffect::PathMadeAbsolute ||
        c.line.effect == LineEffect::PathAbsolute) {
        reportFirst<PATH_RULES>(c, add);
    }
}
