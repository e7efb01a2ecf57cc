#include "IniFix.h"

#include <algorithm>
#include <cstring>

#include "IniFormat.h"
#include "IniLines.h"
#include "Options.h"

namespace {

const char MARK[] = "\xEF\xBB\xBF";

// --- Encodings ---------------------------------------------------------------

enum class Wide { None, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

struct TextForm {
    Wide wide = Wide::None;
    std::size_t markSize = 0;  // the byte-order mark in front, if any
};

std::size_t unitSize(Wide wide) {
    return wide == Wide::Utf32Le || wide == Wide::Utf32Be ? 4 : 2;
}

const char* nameOf(Wide wide) {
    return wide == Wide::Utf16Le || wide == Wide::Utf16Be ? "UTF-16" : "UTF-32";
}

unsigned long unitAt(const std::string& bytes, std::size_t at, Wide wide) {
    const std::size_t size = unitSize(wide);
    const bool little = wide == Wide::Utf16Le || wide == Wide::Utf32Le;
    unsigned long unit = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t byte = little ? at + size - 1 - i : at + i;
        unit = unit << 8 | static_cast<unsigned char>(bytes[byte]);
    }
    return unit;
}

bool isAsciiUnit(unsigned long unit) {
    return unit != 0 && unit < 0x80;
}

// Without a mark, a wide file shows itself by the NUL bytes that pad its
// ASCII characters: its first unit and most of the others are ASCII, and no
// unit is NUL. A UTF-8 file without NUL bytes can never pass for one.
bool looksLike(const std::string& bytes, Wide wide) {
    const std::size_t size = unitSize(wide);
    if (bytes.empty() || bytes.size() % size != 0 || !isAsciiUnit(unitAt(bytes, 0, wide))) {
        return false;
    }
    std::size_t ascii = 0;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        const unsigned long unit = unitAt(bytes, at, wide);
        if (unit == 0) {
            return false;
        }
        ascii += isAsciiUnit(unit) ? 1 : 0;
    }
    return ascii * 2 > bytes.size() / size;
}

TextForm detect(const std::string& bytes) {
    const auto startsWith = [&bytes](const char* mark, std::size_t size) {
        return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
    };
    // UTF-32's little-endian mark begins with UTF-16's, so it is tried first.
    if (startsWith("\xFF\xFE\0\0", 4) && bytes.size() % 4 == 0) {
        return {Wide::Utf32Le, 4};
    }
    if (startsWith("\0\0\xFE\xFF", 4)) {
        return {Wide::Utf32Be, 4};
    }
    if (startsWith("\xFF\xFE", 2)) {
        return {Wide::Utf16Le, 2};
    }
    if (startsWith("\xFE\xFF", 2)) {
        return {Wide::Utf16Be, 2};
    }
    for (Wide wide : {Wide::Utf32Le, Wide::Utf32Be, Wide::Utf16Le, Wide::Utf16Be}) {
        if (looksLike(bytes, wide)) {
            return {wide, 0};
        }
    }
    return {};
}

void appendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Converts the whole file or nothing: a sequence that names no character
// cannot be carried over without losing its bytes. Returns the reason for
// refusing, or an empty string.
std::string toUtf8(const std::string& bytes, const TextForm& encoding, std::string& out) {
    const std::size_t size = unitSize(encoding.wide);
    const std::string name = nameOf(encoding.wide);
    if ((bytes.size() - encoding.markSize) % size != 0) {
        return "not converted from " + name + ": the file ends inside a character";
    }
    for (std::size_t at = encoding.markSize; at < bytes.size(); at += size) {
        unsigned long code = unitAt(bytes, at, encoding.wide);
        const std::string where = " at byte " + std::to_string(at);
        if (size == 2 && code >= 0xD800 && code <= 0xDBFF) {
            const unsigned long low =
                at + 2 < bytes.size() ? unitAt(bytes, at + 2, encoding.wide) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                return "not converted from " + name + ": an unpaired surrogate" + where;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            return "not converted from " + name + ": an unpaired surrogate" + where;
        } else if (code == 0) {
            // Its UTF-8 form, a NUL byte, would read as a wide file again.
            return "not converted from " + name + ": a NUL character" + where;
        } else if (code > 0x10FFFF) {
            return "not converted from " + name + ": no character has the number" + where;
        }
        appendUtf8(out, code);
    }
    return std::string();
}

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

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

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
    KeyLine parsed;
    const std::size_t equals = line.find('=');
    std::string key = line.substr(0, equals);
    std::string loose = key;
    while (!loose.empty() && isBlank(loose.back())) {
        loose.pop_back();
    }
    for (const std::string* known : {&Options::Lanucher, &Options::WebApp, &Options::InitScript,
                                     &Options::ProgramFile, &Options::ConfigFile}) {
        if (lowerAscii(loose) == lowerAscii(*known)) {
            parsed.key = *known;
        }
    }
    if (parsed.key.empty()) {
        return parsed;
    }
    parsed.exactKey = key == parsed.key;
    parsed.caseDiffers = loose != parsed.key;
    if (equals == std::string::npos) {
        return parsed;
    }
    std::size_t value = equals + 1;
    while (value < line.size() && isBlank(line[value])) {
        ++value;
    }
    parsed.hasValue = value < line.size();
    parsed.blanksAround = key != loose || value != equals + 1;
    parsed.meant = parsed.key + '=' + line.substr(value);
    return parsed;
}

bool isComment(const std::string& line) {
    return !line.empty() && (line[0] == '#' || line[0] == ';');
}

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
            if (variant == NONE && lowerAscii(line) == VMARGS) {
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
    const TextForm encoding = detect(original);
    if (encoding.wide != Wide::None) {
        std::string converted;
        result.refusal = toUtf8(original, encoding, converted);
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
