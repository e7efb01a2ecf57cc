#include "IniFix.h"

#include <algorithm>
#include <cstring>

#include "IniFormat.h"
#include "IniLines.h"
#include "IniSyntax.h"
#include "IniText.h"
#include "Options.h"

namespace {

const char MARK[] = "\xEF\xBB\xBF";

// --- Lines ---------------------------------------------------------------------

struct Line {
    std::string text;    // without its end
    std::string end;     // "\n", "\r\n", or "" for a last line without one
    std::size_t number;  // in the original
};

std::vector<Line> splitLines(const std::string& bytes, std::vector<AppliedFix>& fixes) {
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
        // would read the whole file as one line.
        std::size_t from = 0;
        for (std::size_t cr = text.find('\r'); cr != std::string::npos;
             cr = text.find('\r', from)) {
            lines.push_back(Line{text.substr(from, cr - from), "\n", number});
            from = cr + 1;
        }
        if (from != 0) {
            fixes.push_back(AppliedFix{KindId::CarriageReturn, number});
            text.erase(0, from);
            if (text.empty() && end.empty()) {
                continue;  // the file ended with that carriage return
            }
        }
        lines.push_back(Line{text, end, number});
    }
    return lines;
}

// --- What a line plainly means -------------------------------------------------

std::string trimmed(const std::string& text) {
    const IniFormat::Chars kept = IniFormat::trim(IniFormat::charsOf(text));
    return std::string(kept.begin(), kept.end());
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

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
    Mender(std::vector<Line> lines, std::vector<AppliedFix>& fixes)
        : lines(std::move(lines)), fixes(fixes) {}

    std::string run() {
        const bool hadFinalEnd = lines.empty() || !lines.back().end.empty();
        const std::size_t split = findVmargs();
        if (split != NONE) {
            mendVmSection(split);
        }
        mendHead(split == NONE ? lines.size() : split);
        return assemble(split, hadFinalEnd);
    }

private:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);

    std::vector<Line> lines;
    std::vector<AppliedFix>& fixes;
    std::vector<bool> toHead;     // lines moved from the VM section into the head
    std::size_t nameToVm = NONE;  // a line moved from the head into the VM section

    std::string core(std::size_t i) const { return trimmed(lines[i].text); }

    void fixed(KindId kind, std::size_t i) { fixes.push_back(AppliedFix{kind, lines[i].number}); }

    // Puts `meant` in place of the line's trimmed text, keeping the white
    // space around it.
    void rewrite(std::size_t i, const KeyLine& key) {
        std::string& text = lines[i].text;
        const std::size_t begin = text.find(core(i));
        text = text.substr(0, begin) + key.meant + text.substr(begin + core(i).size());
        if (key.caseDiffers) {
            fixed(KindId::LetterCase, i);
        }
        if (key.blanksAround) {
            fixed(KindId::BlanksAroundEquals, i);
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
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string line = core(i);
            if (line == VMARGS) {
                return i;  // a variant before it stays an ignored head line
            }
            if (variant == NONE && IniSyntax::equalsIgnoringCase(line, VMARGS)) {
                variant = i;
            }
        }
        if (variant != NONE) {
            if (!launcherLinesMovable(variant)) {
                return NONE;
            }
            const std::string line = core(variant);
            const std::size_t begin = lines[variant].text.find(line);
            lines[variant].text.replace(begin, line.size(), VMARGS);
            fixed(KindId::LetterCase, variant);
            return variant;
        }
        return insertVmargs();
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
        std::size_t first = NONE;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string line = core(i);
            if (first == NONE && looksLikeVmArgument(line)) {
                first = i;
            }
            if (first != NONE && !line.empty() && !isComment(line) && !looksLikeVmArgument(line) &&
                keyLineOf(line).key != Options::Lanucher) {
                return NONE;
            }
        }
        if (first == NONE || !launcherLinesMovable(first)) {
            return NONE;
        }
        const std::string end = lines[first].end.empty() ? lineEnd() : lines[first].end;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(first),
                     Line{VMARGS, end, lines[first].number});
        fixed(KindId::MissingVmargs, first);
        return first;
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
                headName = key.hasValue ? i : NONE;
            }
        }

        for (std::size_t i = split + 1; i < lines.size(); ++i) {
            const std::string line = core(i);
            const KeyLine key = keyLineOf(line);
            if (isComment(line)) {
                toHead[i] = true;
                fixed(KindId::CommentInVmSection, i);
            } else if (key.key == Options::Lanucher) {
                if (i == launcherLine && launcherLines == 1 && !headHasLauncher) {
                    toHead[i] = true;
                    fixed(KindId::LauncherInVmSection, i);
                    rewrite(i, key);
                }
            } else if (!key.key.empty() && key.hasValue && (key.caseDiffers || key.blanksAround)) {
                // Mending the key of one of two lines with it would make the
                // virtual machine get the property twice.
                if (key.exactKey || count(key.key) == 1) {
                    rewrite(i, key);
                }
            }
        }
        // A mark further down is left alone; moving the line above it away
        // must not make it the file's first bytes, which the next run removes.
        const bool exposesMark = headName == 0 && split > 1 && startsWith(lines[1].text, MARK);
        if (headNames == 1 && headName != NONE && count(Options::WebApp) == 0 && !exposesMark) {
            nameToVm = headName;
            fixed(KindId::NameInHead, headName);
            rewrite(headName, keyLineOf(core(headName)));
        }
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
        for (std::size_t i = taken == NONE ? 0 : taken; i < end; ++i) {
            const KeyLine key = keyLineOf(core(i));
            if (i != nameToVm && key.key == Options::Lanucher && key.hasValue &&
                (key.caseDiffers || key.blanksAround)) {
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

}  // namespace

IniFixResult fixIni(const std::string& original) {
    IniFixResult result;
    std::string text = original;
    const IniText::TextForm encoding = IniText::detect(original);
    if (encoding.encoding != IniText::Encoding::Bytes) {
        std::string converted;
        result.refusal = IniText::toUtf8(original, encoding, converted);
        if (!result.refusal.empty()) {
            result.bytes = original;
            return result;
        }
        result.fixes.push_back(AppliedFix{KindId::WideEncoding, 1});
        text = converted;
    }
    // Every mark goes: a tool that added one to a file that had one leaves two.
    if (startsWith(text, MARK)) {
        result.fixes.push_back(AppliedFix{KindId::ByteOrderMark, 1});
        while (startsWith(text, MARK)) {
            text.erase(0, 3);
        }
    }
    std::vector<AppliedFix> fixes;
    Mender mender(splitLines(text, fixes), fixes);
    result.bytes = mender.run();
    std::stable_sort(fixes.begin(), fixes.end(),
                     [](const AppliedFix& a, const AppliedFix& b) { return a.line < b.line; });
    result.fixes.insert(result.fixes.end(), fixes.begin(), fixes.end());
    return result;
}
