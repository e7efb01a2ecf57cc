#include "fix/IniFix.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "facts/IniLines.h"
#include "facts/IniSyntax.h"
#include "facts/IniText.h"
#include "launcher/IniFormat.h"
#include "launcher/Options.h"
#include "util/Text.h"

namespace {

const std::string& MARK = Text::BYTE_ORDER_MARK;

// In a veto, every line.
constexpr std::size_t ANY_LINE = static_cast<std::size_t>(-1);

// --- Lines ---------------------------------------------------------------------

struct Line {
    std::string text;    // without its end
    std::string end;     // "\n", "\r\n", or "" for a last line without one
    std::size_t number;  // in the original
    bool inserted;       // by the mending
};

std::vector<Line> splitLines(const std::string& bytes, const FixVetoes& vetoed,
                             std::vector<AppliedFix>& fixes) {
    std::vector<Line> lines;
    std::size_t number = 0;
    for (std::size_t begin = 0; begin < bytes.size();) {
        ++number;
        const std::size_t feed = bytes.find('\n', begin);
        const std::size_t stop = feed == std::string::npos ? bytes.size() : feed;
        std::string text = bytes.substr(begin, stop - begin);
        std::string end = feed == std::string::npos ? "" : "\n";
        if (!end.empty() && !text.empty() && text.back() == '\r') {
            text.pop_back();
            end = "\r\n";
        }
        begin = feed == std::string::npos ? bytes.size() : feed + 1;
        // A carriage return alone ends a line in an old Mac file; the launcher
        // would read the whole file as one line. One at either end of a line
        // is trimmed away by the launcher and harms nothing.
        const IniFormat::Chars inner = IniFormat::trim(IniFormat::charsOf(text));
        std::size_t from = 0;
        const bool split = std::find(inner.begin(), inner.end(), '\r') != inner.end() &&
                           vetoed.count(std::make_pair(KindId::CarriageReturn, number)) == 0 &&
                           vetoed.count(std::make_pair(KindId::CarriageReturn, ANY_LINE)) == 0;
        for (std::size_t cr = split ? text.find('\r') : std::string::npos; cr != std::string::npos;
             cr = text.find('\r', from)) {
            lines.push_back(Line{text.substr(from, cr - from), "\n", number, false});
            from = cr + 1;
        }
        if (from != 0) {
            fixes.push_back(AppliedFix{KindId::CarriageReturn, number});
            text.erase(0, from);
            if (text.empty() && end.empty()) {
                continue;  // the file ended with that carriage return
            }
        }
        lines.push_back(Line{text, end, number, false});
    }
    return lines;
}

// --- What a line plainly means -------------------------------------------------

std::string trimmed(const std::string& text) {
    const IniFormat::Chars kept = IniFormat::trim(IniFormat::charsOf(text));
    return std::string(kept.begin(), kept.end());
}

using Text::startsWith;

// A line written with one of the known keys, give or take the letter case
// and the blanks around its "=".
struct KeyLine {
    std::string key;        // the known key it means, or "" for none
    std::string meant;      // the line as the launcher needs it
    bool hasValue = false;  // an "=" with something other than blanks after it
    bool caseDiffers = false;
    bool blanksAround = false;
    bool exactKey = false;  // the key as the launcher compares it
};

KeyLine keyLineOf(const std::string& line) {
    const IniSyntax::KeyLine parts = IniSyntax::keyLineOf(line);
    KeyLine parsed;
    if (parts.known == nullptr) {
        return parsed;
    }
    parsed.key = *parts.known;
    parsed.exactKey = parts.exactKey();
    parsed.caseDiffers = parts.caseDiffers();
    if (!parts.hasEquals) {
        return parsed;
    }
    parsed.hasValue = parts.hasValue();
    parsed.blanksAround = parts.blanksAround();
    parsed.meant = parts.meant();
    return parsed;
}

using IniSyntax::isComment;

// --- The mending -----------------------------------------------------------------

class Mender {
public:
    // `markRemoved`: the file began with a byte-order mark, which kept its
    // first line from opening the VM section.
    Mender(std::vector<Line> lines, const FixVetoes& vetoed, bool markRemoved, IniFixResult& result)
        : lines(std::move(lines)), vetoed(vetoed), markRemoved(markRemoved), result(result) {}

    std::string run() {
        const bool hadFinalEnd = lines.empty() || !lines.back().end.empty();
        const std::size_t split = findVmargs();
        if (split != NONE) {
            mendVmSection(split);
        } else {
            refuseNames(lines.size(),
                        "the file keeps no -vmargs line that opens a VM section to move it to");
        }
        mendHead(split == NONE ? lines.size() : split);
        return assemble(split, hadFinalEnd);
    }

private:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);

    std::vector<Line> lines;
    const FixVetoes& vetoed;
    bool markRemoved;
    IniFixResult& result;
    std::vector<bool> toHead;     // lines moved from the VM section into the head
    std::size_t nameToVm = NONE;  // a line moved from the head into the VM section
    // Whether the file had its VM section; when the mending opens it, the
    // lines it moves back up were head lines all along, and no mistake.
    bool sectionExisted = false;

    std::string core(std::size_t i) const { return trimmed(lines[i].text); }

    void fixed(KindId kind, std::size_t i) {
        result.fixes.push_back(AppliedFix{kind, lines[i].number});
    }

    // A line the launcher ignores today that the mend opening the VM section
    // at `split` moves out of it: said with that mend, never silently.
    // (A key below it that is mended in place is said the same way.)
    void movedWith(KindId kind, std::size_t i, std::size_t split) {
        result.fixes.push_back(AppliedFix{kind, lines[i].number, lines[split].number});
    }

    void refuse(KindId kind, std::size_t i, const std::string& reason) {
        result.refused.push_back(RefusedFix{kind, lines[i].number, reason});
    }

    // A mend the caller forbids is not made; the caller says why.
    bool kept(KindId kind, std::size_t i) const {
        return vetoed.count(std::make_pair(kind, lines[i].number)) != 0 ||
               vetoed.count(std::make_pair(kind, ANY_LINE)) != 0;
    }

    // The kind a rewrite of the line to `key.meant` mends, as the check
    // reports it: a key in the wrong letter case, its blanks with it.
    static KindId rewriteKind(const KeyLine& key) {
        return key.caseDiffers ? KindId::LetterCase : KindId::BlanksAroundEquals;
    }

    void refuseRewrite(std::size_t i, const KeyLine& key, const std::string& reason) {
        if (key.caseDiffers || key.blanksAround) {
            refuse(rewriteKind(key), i, reason);
        }
    }

    // Puts `meant` in place of the line's trimmed text, keeping the white
    // space around it. A line that moves is reported for its place alone,
    // and its spelling is mended with the move.
    void rewrite(std::size_t i, const KeyLine& key, bool moved = false, std::size_t with = 0) {
        if (!(key.caseDiffers || key.blanksAround) || (!moved && kept(rewriteKind(key), i))) {
            return;
        }
        std::string& text = lines[i].text;
        const std::size_t begin = text.find(core(i));
        const KindId kind = rewriteKind(key);
        text = text.substr(0, begin) + key.meant + text.substr(begin + core(i).size());
        if (!moved) {
            result.fixes.push_back(AppliedFix{kind, lines[i].number, with});
        }
    }

    std::string lineEnd() const {
        for (const Line& line : lines) {
            if (!line.end.empty()) {
                return line.end;
            }
        }
        return "\n";
    }

    // The line that opens the VM section as the file means it; NONE when
    // the file has no VM section, not even a plainly missing "-vmargs".
    std::size_t findVmargs() {
        std::size_t variant = NONE;
        std::size_t exact = NONE;
        for (std::size_t i = 0; i < lines.size() && exact == NONE; ++i) {
            const std::string line = core(i);
            if (line == VMARGS) {
                exact = i;
            } else if (variant == NONE && IniSyntax::equalsIgnoringCase(line, VMARGS)) {
                variant = i;
            }
        }
        if (exact != NONE) {
            sectionExisted = exact != 0 || !markRemoved;
            refuseVariants(exact);
            return exact;
        }
        if (variant != NONE) {
            if (kept(KindId::LetterCase, variant)) {
                return NONE;
            }
            if (!launcherLinesMovable(variant)) {
                const std::string reason =
                    "the launcher lines below it would become arguments, so which program the "
                    "file means to start is not plain";
                refuse(KindId::LetterCase, variant, reason);
                refuseBelow(variant + 1, reason);
                return NONE;
            }
            const std::string line = core(variant);
            const std::size_t begin = lines[variant].text.find(line);
            lines[variant].text.replace(begin, line.size(), VMARGS);
            fixed(KindId::LetterCase, variant);
            refuseVariants(variant);
            return variant;
        }
        return insertVmargs();
    }

    // The keys below where -vmargs belongs are mended once it is in place;
    // where the mending does not put it there, they wait with it.
    void refuseBelow(std::size_t from, const std::string& reason) {
        for (std::size_t i = from; i < lines.size(); ++i) {
            const KeyLine key = keyLineOf(core(i));
            if (!key.key.empty() && key.key != Options::Lanucher && key.hasValue) {
                refuseRewrite(i, key, "-vmargs is not put in place: " + reason);
            }
        }
    }

    // Without a VM section an application name has nowhere to go.
    void refuseNames(std::size_t end, const std::string& reason) {
        for (std::size_t i = 0; i < end; ++i) {
            if (keyLineOf(core(i)).key == Options::WebApp) {
                refuse(KindId::NameInHead, i, reason);
            }
        }
    }

    // Other spellings of "-vmargs" than the one that opens the VM section.
    void refuseVariants(std::size_t split) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string line = core(i);
            if (i != split && line != VMARGS && IniSyntax::equalsIgnoringCase(line, VMARGS)) {
                refuse(KindId::LetterCase, i,
                       "line " + std::to_string(lines[split].number) +
                           " opens the VM section; whether this one is meant to stay ignored "
                           "or to be passed on is not plain");
            }
        }
    }

    // Opening the VM section at `split` turns the launcher lines below it
    // into arguments. That keeps the launch as it was only when there are
    // none, or one with a value and none above, which the mending moves up.
    bool launcherLinesMovable(std::size_t split) const {
        std::size_t above = 0;
        std::size_t below = 0;
        bool valued = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const KeyLine key = keyLineOf(core(i));
            if (key.key == Options::Lanucher) {
                ++(i < split ? above : below);
                valued = i > split && key.hasValue;
            }
        }
        return below == 0 || (below == 1 && valued && above == 0);
    }

    // A "-vmargs" goes in before the first plain VM argument only when every
    // line from there on belongs below it, or is a comment or a launcher line
    // that the mending moves up again. Anything else was ignored by the
    // launcher and might be meant to stay so.
    std::size_t insertVmargs() {
        // A line meant as -vmargs, kept from opening the VM section by what
        // stays (a mark or a carriage return), is where the section begins:
        // nothing is missing.
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (meantAsVmargs(core(i), lines[i].number)) {
                return NONE;
            }
        }
        std::size_t first = NONE;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string line = core(i);
            if (first == NONE && looksLikeVmArgument(line)) {
                first = i;
            }
            if (first != NONE && !line.empty() && !isComment(line) && !looksLikeVmArgument(line) &&
                keyLineOf(line).key != Options::Lanucher) {
                const std::string reason =
                    "line " + std::to_string(lines[i].number) +
                    " below it is no argument for the virtual machine, so where -vmargs belongs "
                    "is not plain";
                refuse(KindId::MissingVmargs, first, reason);
                refuseBelow(first, reason);
                return NONE;
            }
        }
        if (first == NONE || kept(KindId::MissingVmargs, first)) {
            return NONE;
        }
        if (!launcherLinesMovable(first)) {
            const std::string reason =
                "the launcher lines below it would become arguments, so which program the file "
                "means to start is not plain";
            refuse(KindId::MissingVmargs, first, reason);
            refuseBelow(first, reason);
            return NONE;
        }
        const std::string end = lines[first].end.empty() ? lineEnd() : lines[first].end;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(first),
                     Line{VMARGS, end, lines[first].number, true});
        fixed(KindId::MissingVmargs, first);
        return first;
    }

    void mendLauncherBelow(std::size_t i, std::size_t split, const KeyLine& key, bool movable) {
        if (!movable && sectionExisted) {
            refuse(KindId::LauncherInVmSection, i,
                   "with another launcher line in the file, or none with a value, which program "
                   "the file means to start is not plain");
            refuseRewrite(i, key, "the line stays below -vmargs, where it is an argument");
            return;
        }
        if (sectionExisted && kept(KindId::LauncherInVmSection, i)) {
            return;
        }
        toHead[i] = true;
        if (sectionExisted) {
            fixed(KindId::LauncherInVmSection, i);
        } else {
            movedWith(KindId::LauncherInVmSection, i, split);
        }
        rewrite(i, key, sectionExisted);
    }

    void mendVmSection(std::size_t split) {
        toHead.assign(lines.size(), false);
        std::size_t launcherLines = 0;
        std::size_t launcherLine = NONE;
        std::vector<std::string> keys;
        for (std::size_t i = split + 1; i < lines.size(); ++i) {
            const KeyLine key = keyLineOf(core(i));
            keys.push_back(key.key);
            if (key.key == Options::Lanucher) {
                ++launcherLines;
                launcherLine = key.hasValue ? i : NONE;
            }
        }
        const auto count = [&keys](const std::string& key) {
            return static_cast<std::size_t>(std::count(keys.begin(), keys.end(), key));
        };
        bool headHasLauncher = false;
        std::size_t headNames = 0;
        std::size_t headName = NONE;
        for (std::size_t i = 0; i < split; ++i) {
            const KeyLine key = keyLineOf(core(i));
            headHasLauncher = headHasLauncher || key.key == Options::Lanucher;
            if (key.key == Options::WebApp) {
                ++headNames;
                headName = key.hasValue ? i : headName;
            }
        }

        for (std::size_t i = split + 1; i < lines.size(); ++i) {
            const std::string line = core(i);
            const KeyLine key = keyLineOf(line);
            if (isComment(line)) {
                if (!sectionExisted) {
                    toHead[i] = true;
                    movedWith(KindId::CommentInVmSection, i, split);
                } else if (!kept(KindId::CommentInVmSection, i)) {
                    toHead[i] = true;
                    fixed(KindId::CommentInVmSection, i);
                }
            } else if (key.key == Options::Lanucher) {
                mendLauncherBelow(i, split, key,
                                  i == launcherLine && launcherLines == 1 && !headHasLauncher);
            } else if (!key.key.empty() && (key.caseDiffers || key.blanksAround)) {
                // Mending the key of one of two lines with it would make the
                // virtual machine get the property twice.
                if (!key.hasValue) {
                    refuseRewrite(i, key, "the line has no value, so what it means is not plain");
                } else if (key.exactKey || count(key.key) == 1) {
                    // Where the mend opens the VM section, the line was a head
                    // line today: it is mended with that mend.
                    rewrite(i, key, false, sectionExisted ? 0 : lines[split].number);
                } else {
                    refuseRewrite(i, key,
                                  "another line sets " + key.key +
                                      " too, and mending this one would pass it twice");
                }
            }
        }
        mendNameInHead(split, headNames, headName, count(Options::WebApp));
    }

    void mendNameInHead(std::size_t split, std::size_t headNames, std::size_t headName,
                        std::size_t vmNames) {
        if (headName == NONE) {
            refuseNames(split, "the line has no value, so what it means is not plain");
            return;
        }
        // A mark further down is left alone; moving the line above it away
        // must not make it the file's first bytes, which the next run removes.
        const bool exposesMark = headName == 0 && split > 1 && startsWith(lines[1].text, MARK);
        const KeyLine key = keyLineOf(core(headName));
        std::string reason;
        if (headNames != 1) {
            reason =
                "several lines above -vmargs name the application, so which one is meant is "
                "not plain";
        } else if (vmNames != 0) {
            reason = "a line below -vmargs names the application already";
        } else if (exposesMark) {
            reason = "moving it would leave a byte-order mark at the start of the file";
        }
        if (!reason.empty()) {
            for (std::size_t i = 0; i < split; ++i) {
                const KeyLine name = keyLineOf(core(i));
                if (name.key == Options::WebApp) {
                    refuse(KindId::NameInHead, i, reason);
                    refuseRewrite(i, name, reason);
                }
            }
            return;
        }
        if (kept(KindId::NameInHead, headName)) {
            return;
        }
        nameToVm = headName;
        fixed(KindId::NameInHead, headName);
        rewrite(headName, key, true);
    }

    // The launcher takes the first line whose key is exactly "launcher".
    // Mending the key of a line above it would change which line is taken,
    // so only the lines below it, which stay ignored, and the lines of a
    // head without one are mended.
    void mendHead(std::size_t end) {
        std::size_t taken = NONE;
        for (std::size_t i = 0; i < end && taken == NONE; ++i) {
            const std::string line = core(i);
            if (line.substr(0, line.find('=')) == Options::Lanucher) {
                taken = i;
            }
        }
        for (std::size_t i = 0; i < end; ++i) {
            const KeyLine key = keyLineOf(core(i));
            if (i == nameToVm || key.key != Options::Lanucher ||
                !(key.caseDiffers || key.blanksAround)) {
                continue;
            }
            if (taken != NONE && i < taken) {
                refuseRewrite(i, key,
                              "line " + std::to_string(lines[taken].number) +
                                  " is the launcher line today; mending this one above it would "
                                  "start another program");
            } else if (!key.hasValue) {
                refuseRewrite(i, key, "the line has no value, so what it means is not plain");
            } else {
                rewrite(i, key);
            }
        }
    }

    std::string assemble(std::size_t split, bool hadFinalEnd) {
        std::vector<const Line*> order;
        if (split == NONE) {
            for (const Line& line : lines) {
                order.push_back(&line);
            }
        } else {
            for (std::size_t i = 0; i < split; ++i) {
                if (i != nameToVm) {
                    order.push_back(&lines[i]);
                }
            }
            for (std::size_t i = split + 1; i < lines.size(); ++i) {
                if (toHead[i]) {
                    order.push_back(&lines[i]);
                }
            }
            order.push_back(&lines[split]);
            if (nameToVm != NONE) {
                order.push_back(&lines[nameToVm]);
            }
            for (std::size_t i = split + 1; i < lines.size(); ++i) {
                if (!toHead[i]) {
                    order.push_back(&lines[i]);
                }
            }
        }
        const std::string end = lineEnd();
        std::string out;
        for (std::size_t i = 0; i < order.size(); ++i) {
            result.from.push_back(order[i]->inserted ? 0 : order[i]->number);
            out += order[i]->text;
            if (i + 1 == order.size()) {
                out += hadFinalEnd ? order[i]->end : "";
            } else {
                // A last line without an end that moved up gets one.
                out += order[i]->end.empty() ? end : order[i]->end;
            }
        }
        return out;
    }
};

void convertEncoding(const std::string& original, const IniText::TextForm& encoding,
                     const FixVetoes& vetoed, IniFixResult& result) {
    if (vetoed.count(std::make_pair(KindId::WideEncoding, std::size_t{0})) != 0 ||
        vetoed.count(std::make_pair(KindId::WideEncoding, ANY_LINE)) != 0) {
        return;
    }
    std::string converted;
    result.refusal = IniText::toUtf8(original, encoding, converted);
    if (result.refusal.empty()) {
        result.bytes = converted;
        result.fixes.push_back(AppliedFix{KindId::WideEncoding, 0});
        result.refused.push_back(
            RefusedFix{KindId::Count, 0,
                       "--fix converts the file's encoding first; run it again to mend the lines"});
    }
}

}  // namespace

IniFixResult fixIni(const std::string& original, const FixVetoes& forbidden,
                    const std::set<KindId>& silenced) {
    // A kind the file silences is one its author keeps on purpose.
    FixVetoes vetoed = forbidden;
    for (const KindId kind : silenced) {
        vetoed.emplace(kind, ANY_LINE);
    }
    IniFixResult result;
    result.bytes = original;
    // A mend of the whole file, its encoding or its line ends, is made
    // alone: the check judges the lines the launcher reads today, and the
    // lines of the mended file are judged, and mended, on the next pass.
    const IniText::TextForm encoding = IniText::detect(original);
    if (encoding.encoding != IniText::Encoding::Bytes) {
        convertEncoding(original, encoding, vetoed, result);
        return result;
    }
    std::string text = original;
    // Every mark goes: a tool that added one to a file that had one leaves two.
    if (startsWith(text, MARK) &&
        vetoed.count(std::make_pair(KindId::ByteOrderMark, std::size_t{1})) == 0 &&
        vetoed.count(std::make_pair(KindId::ByteOrderMark, ANY_LINE)) == 0) {
        result.fixes.push_back(AppliedFix{KindId::ByteOrderMark, 1});
        while (startsWith(text, MARK)) {
            text.erase(0, MARK.size());
        }
    }
    std::vector<Line> lines = splitLines(text, vetoed, result.fixes);
    const bool parted =
        std::any_of(result.fixes.begin(), result.fixes.end(),
                    [](const AppliedFix& fix) { return fix.kind == KindId::CarriageReturn; });
    if (parted) {
        std::string joined;
        for (const Line& line : lines) {
            joined += line.text + line.end;
            result.from.push_back(line.number);
        }
        result.bytes = joined;
        result.refused.push_back(RefusedFix{
            KindId::Count, 0,
            "--fix mends the carriage returns first; run it again to mend the lines they part"});
        return result;
    }
    const bool markRemoved = !result.fixes.empty() && result.fixes[0].kind == KindId::ByteOrderMark;
    Mender mender(std::move(lines), vetoed, markRemoved, result);
    result.bytes = mender.run();
    std::stable_sort(result.fixes.begin(), result.fixes.end(),
                     [](const AppliedFix& a, const AppliedFix& b) { return a.line < b.line; });
    return result;
}
