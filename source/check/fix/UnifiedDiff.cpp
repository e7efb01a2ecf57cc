#include "fix/UnifiedDiff.h"

#include <algorithm>
#include <climits>
#include <unordered_map>
#include <vector>

#include "util/ByteText.h"

namespace {

constexpr long CONTEXT = 3;

// Each line with its line feed, if it has one: a last line without it
// differs from the same text with it, as diff has it.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin < text.size();) {
        const std::size_t feed = text.find('\n', begin);
        const std::size_t end = feed == std::string::npos ? text.size() : feed + 1;
        lines.push_back(text.substr(begin, end - begin));
        begin = end;
    }
    return lines;
}

// The shortest edit script by Myers' algorithm in linear space: lines are
// numbered by their text, and each side gets a flag per line that is not
// in the longest common subsequence. The flags have a false sentinel at
// both ends (index 0 and size + 1), which the boundary shifting relies on.
class Comparison {
public:
    Comparison(const std::vector<long>& a, const std::vector<long>& b)
        : a(a), b(b), changedA(a.size() + 2, false), changedB(b.size() + 2, false) {
        // Lines that cannot match are set aside before the search, as diff
        // does: which of several equally short scripts it finds depends on it.
        discardConfusingLines(a, b, changedA, keptA, indexA);
        discardConfusingLines(b, a, changedB, keptB, indexB);
        // Diagonals run from -(size of B) - 1 to (size of A) + 1.
        forward.assign(keptA.size() + keptB.size() + 3, 0);
        backward.assign(keptA.size() + keptB.size() + 3, 0);
        offset = static_cast<long>(keptB.size()) + 1;
        compare(0, static_cast<long>(keptA.size()), 0, static_cast<long>(keptB.size()));
        shiftBoundaries(this->a, changedA, changedB);
        shiftBoundaries(this->b, changedB, changedA);
    }

    bool removed(long i) const { return changedA[static_cast<std::size_t>(i + 1)]; }
    bool added(long j) const { return changedB[static_cast<std::size_t>(j + 1)]; }

private:
    const std::vector<long>& a;
    const std::vector<long>& b;
    std::vector<bool> changedA;
    std::vector<bool> changedB;
    std::vector<long> keptA;  // the lines searched, and where each stands
    std::vector<long> keptB;
    std::vector<std::size_t> indexA;
    std::vector<std::size_t> indexB;
    std::vector<long> forward;
    std::vector<long> backward;
    long offset = 0;

    long& f(long k) { return forward[static_cast<std::size_t>(k + offset)]; }
    long& r(long k) { return backward[static_cast<std::size_t>(k + offset)]; }
    bool same(long i, long j) const {
        return keptA[static_cast<std::size_t>(i)] == keptB[static_cast<std::size_t>(j)];
    }
    void markA(long i) { changedA[indexA[static_cast<std::size_t>(i)] + 1] = true; }
    void markB(long j) { changedB[indexB[static_cast<std::size_t>(j)] + 1] = true; }

    // A line with no match in the other file is changed for sure; one with
    // very many matches is set aside too when it stands inside a run of such
    // lines. The rules and thresholds are diff's.
    static void discardConfusingLines(const std::vector<long>& lines,
                                      const std::vector<long>& other, std::vector<bool>& changed,
                                      std::vector<long>& kept, std::vector<std::size_t>& index) {
        std::unordered_map<long, long> matches;
        for (long line : other) {
            ++matches[line];
        }
        const long end = static_cast<long>(lines.size());
        long many = 5;
        for (long tem = end / 64; (tem >>= 2) > 0;) {
            many *= 2;
        }
        std::vector<char> discards(lines.size(), 0);
        const auto at = [&discards](long i) -> char& {
            return discards[static_cast<std::size_t>(i)];
        };
        for (long i = 0; i < end; ++i) {
            const auto found = matches.find(lines[static_cast<std::size_t>(i)]);
            const long count = found == matches.end() ? 0 : found->second;
            at(i) = count == 0 ? 1 : count > many ? 2 : 0;
        }
        for (long i = 0; i < end; ++i) {
            if (at(i) == 2) {
                at(i) = 0;
                continue;
            }
            if (at(i) == 0) {
                continue;
            }
            long j = i;
            long provisional = 0;
            for (; j < end && at(j) != 0; ++j) {
                provisional += at(j) == 2 ? 1 : 0;
            }
            while (j > i && at(j - 1) == 2) {
                at(--j) = 0;
                --provisional;
            }
            const long length = j - i;
            if (provisional * 4 > length) {
                while (j > i) {
                    if (at(--j) == 2) {
                        at(j) = 0;
                    }
                }
                continue;
            }
            long minimum = 1;
            for (long tem = length >> 2; (tem >>= 2) > 0;) {
                minimum <<= 1;
            }
            ++minimum;
            long consec = 0;
            for (j = 0; j < length; ++j) {
                if (at(i + j) != 2) {
                    consec = 0;
                } else if (minimum == ++consec) {
                    j -= consec;
                } else if (minimum < consec) {
                    at(i + j) = 0;
                }
            }
            consec = 0;
            for (j = 0; j < length; ++j) {
                if (j >= 8 && at(i + j) == 1) {
                    break;
                }
                if (at(i + j) == 2) {
                    consec = 0;
                    at(i + j) = 0;
                } else if (at(i + j) == 0) {
                    consec = 0;
                } else if (++consec == 3) {
                    break;
                }
            }
            i += length - 1;
            consec = 0;
            for (j = 0; j < length; ++j) {
                if (j >= 8 && at(i - j) == 1) {
                    break;
                }
                if (at(i - j) == 2) {
                    consec = 0;
                    at(i - j) = 0;
                } else if (at(i - j) == 0) {
                    consec = 0;
                } else if (++consec == 3) {
                    break;
                }
            }
        }
        for (long i = 0; i < end; ++i) {
            if (at(i) == 0) {
                kept.push_back(lines[static_cast<std::size_t>(i)]);
                index.push_back(static_cast<std::size_t>(i));
            } else {
                changed[static_cast<std::size_t>(i + 1)] = true;
            }
        }
    }

    void compare(long a0, long a1, long b0, long b1) {
        while (a0 < a1 && b0 < b1 && same(a0, b0)) {
            ++a0;
            ++b0;
        }
        while (a0 < a1 && b0 < b1 && same(a1 - 1, b1 - 1)) {
            --a1;
            --b1;
        }
        if (a0 == a1 || b0 == b1) {
            for (long i = a0; i < a1; ++i) {
                markA(i);
            }
            for (long j = b0; j < b1; ++j) {
                markB(j);
            }
            return;
        }
        long x = 0;
        long y = 0;
        middle(a0, a1, b0, b1, x, y);
        compare(a0, x, b0, y);
        compare(x, a1, y, b1);
    }

    // A point on a shortest path through the box, found by searching from
    // both corners, one edit at a time, until the searches meet; diagonals
    // (x - y) are kept inside the box. After the trimming in compare() the
    // box needs at least two edits, so the point is never a corner.
    void middle(long a0, long a1, long b0, long b1, long& splitA, long& splitB) {
        const long dmin = a0 - b1;
        const long dmax = a1 - b0;
        const long fmid = a0 - b0;
        const long bmid = a1 - b1;
        long fmin = fmid;
        long fmax = fmid;
        long bmin = bmid;
        long bmax = bmid;
        const bool odd = ((fmid - bmid) & 1) != 0;
        f(fmid) = a0;
        r(bmid) = a1;
        while (true) {
            if (fmin > dmin) {
                f(--fmin - 1) = -1;
            } else {
                ++fmin;
            }
            if (fmax < dmax) {
                f(++fmax + 1) = -1;
            } else {
                --fmax;
            }
            for (long d = fmax; d >= fmin; d -= 2) {
                const long low = f(d - 1);
                const long high = f(d + 1);
                long x = low < high ? high : low + 1;
                long y = x - d;
                while (x < a1 && y < b1 && same(x, y)) {
                    ++x;
                    ++y;
                }
                f(d) = x;
                if (odd && bmin <= d && d <= bmax && r(d) <= x) {
                    splitA = x;
                    splitB = y;
                    return;
                }
            }
            if (bmin > dmin) {
                r(--bmin - 1) = LONG_MAX;
            } else {
                ++bmin;
            }
            if (bmax < dmax) {
                r(++bmax + 1) = LONG_MAX;
            } else {
                --bmax;
            }
            for (long d = bmax; d >= bmin; d -= 2) {
                const long low = r(d - 1);
                const long high = r(d + 1);
                long x = low < high ? low : high - 1;
                long y = x - d;
                while (a0 < x && b0 < y && same(x - 1, y - 1)) {
                    --x;
                    --y;
                }
                r(d) = x;
                if (!odd && fmin <= d && d <= fmax && x <= f(d)) {
                    splitA = x;
                    splitB = y;
                    return;
                }
            }
        }
    }

    // Slides each run of changed lines over equal lines as diff does: as far
    // down as it goes, merging with runs it meets, then back up to line up
    // with a run of changes in the other file. This picks, among the
    // equally short scripts, the one diff prints.
    static void shiftBoundaries(const std::vector<long>& lines, std::vector<bool>& changed,
                                const std::vector<bool>& otherChanged) {
        // Indices into the flags are line numbers plus one.
        const auto c = [&changed](long i) { return changed[static_cast<std::size_t>(i + 1)]; };
        const auto set = [&changed](long i, bool value) {
            changed[static_cast<std::size_t>(i + 1)] = value;
        };
        const auto other = [&otherChanged](long j) {
            return otherChanged[static_cast<std::size_t>(j + 1)];
        };
        const auto line = [&lines](long i) { return lines[static_cast<std::size_t>(i)]; };
        const long end = static_cast<long>(lines.size());
        long i = 0;
        long j = 0;
        while (true) {
            while (i < end && !c(i)) {
                while (other(j++)) {
                }
                ++i;
            }
            if (i == end) {
                break;
            }
            long start = i;
            while (c(++i)) {
            }
            while (other(j)) {
                ++j;
            }
            long corresponding = end;
            long runLength = 0;
            do {
                runLength = i - start;
                while (start != 0 && line(start - 1) == line(i - 1)) {
                    set(--start, true);
                    set(--i, false);
                    while (c(start - 1)) {
                        --start;
                    }
                    while (other(--j)) {
                    }
                }
                corresponding = other(j - 1) ? i : end;
                while (i != end && line(start) == line(i)) {
                    set(start++, false);
                    set(i++, true);
                    while (c(i)) {
                        ++i;
                    }
                    while (other(++j)) {
                        corresponding = i;
                    }
                }
            } while (runLength != i - start);
            while (corresponding < i) {
                set(--start, true);
                set(--i, false);
                while (other(--j)) {
                }
            }
        }
    }
};

struct Change {
    long line0;  // first line removed, or where lines are added, in `before`
    long line1;  // the same in `after`
    long deleted;
    long inserted;
};

std::string range(long start, long count) {
    if (count == 0) {
        return std::to_string(start) + ",0";
    }
    if (count == 1) {
        return std::to_string(start + 1);
    }
    return std::to_string(start + 1) + "," + std::to_string(count);
}

void appendLine(std::string& out, char mark, const std::string& line) {
    out += mark;
    out += line;
    if (line.empty() || line.back() != '\n') {
        out += "\n\\ No newline at end of file\n";
    }
}

// The runs of lines removed from `a` and added to `b`, as diff finds them.
std::vector<Change> changesOf(const std::vector<long>& a, const std::vector<long>& b) {
    // Like diff, compare only what lies between the common first and last
    // lines, with as many of those as the context shows: changes slide over
    // equal lines no further than that.
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::size_t horizon = static_cast<std::size_t>(CONTEXT);
    const std::size_t low = prefix - std::min(prefix, horizon);
    const std::size_t keptSuffix = suffix - std::min(suffix, horizon);
    const std::vector<long> middleA(a.begin() + static_cast<std::ptrdiff_t>(low),
                                    a.end() - static_cast<std::ptrdiff_t>(keptSuffix));
    const std::vector<long> middleB(b.begin() + static_cast<std::ptrdiff_t>(low),
                                    b.end() - static_cast<std::ptrdiff_t>(keptSuffix));
    const Comparison middle(middleA, middleB);
    const long first = static_cast<long>(low);
    const long lastA = static_cast<long>(low + middleA.size());
    const long lastB = static_cast<long>(low + middleB.size());
    const auto removed = [&](long i) {
        return i >= first && i < lastA && middle.removed(i - first);
    };
    const auto added = [&](long j) { return j >= first && j < lastB && middle.added(j - first); };

    std::vector<Change> changes;
    const long sizeA = static_cast<long>(a.size());
    const long sizeB = static_cast<long>(b.size());
    for (long i = 0, j = 0; i < sizeA || j < sizeB;) {
        if ((i < sizeA && removed(i)) || (j < sizeB && added(j))) {
            Change change{i, j, 0, 0};
            while (i < sizeA && removed(i)) {
                ++i;
            }
            while (j < sizeB && added(j)) {
                ++j;
            }
            change.deleted = i - change.line0;
            change.inserted = j - change.line1;
            changes.push_back(change);
        } else {
            ++i;
            ++j;
        }
    }
    return changes;
}

// The hunk of changes `first` to `last`, with their context.
void appendHunk(std::string& out, const std::vector<Change>& changes, std::size_t first,
                std::size_t last, const std::vector<std::string>& linesA,
                const std::vector<std::string>& linesB) {
    const long sizeA = static_cast<long>(linesA.size());
    const Change& head = changes[first];
    const Change& tail = changes[last];
    const long lead = std::min(CONTEXT, head.line0);
    const long tailEnd = tail.line0 + tail.deleted;
    const long trail = std::min(CONTEXT, sizeA - tailEnd);
    const long start0 = head.line0 - lead;
    const long start1 = head.line1 - lead;
    out += "@@ -" + range(start0, tailEnd + trail - start0) + " +" +
           range(start1, tail.line1 + tail.inserted + trail - start1) + " @@\n";
    long i = start0;
    for (std::size_t c = first; c <= last; ++c) {
        const Change& change = changes[c];
        for (; i < change.line0; ++i) {
            appendLine(out, ' ', linesA[static_cast<std::size_t>(i)]);
        }
        for (long k = 0; k < change.deleted; ++k) {
            appendLine(out, '-', linesA[static_cast<std::size_t>(change.line0 + k)]);
        }
        for (long k = 0; k < change.inserted; ++k) {
            appendLine(out, '+', linesB[static_cast<std::size_t>(change.line1 + k)]);
        }
        i = change.line0 + change.deleted;
    }
    for (; i < tailEnd + trail; ++i) {
        appendLine(out, ' ', linesA[static_cast<std::size_t>(i)]);
    }
}

}  // namespace

std::string unifiedDiff(const std::string& before, const std::string& after,
                        const std::string& beforeName, const std::string& afterName) {
    const std::vector<std::string> linesA = linesOf(before);
    const std::vector<std::string> linesB = linesOf(after);
    std::unordered_map<std::string, long> numbers;
    const auto number = [&numbers](const std::vector<std::string>& lines) {
        std::vector<long> numbered;
        for (const std::string& line : lines) {
            numbered.push_back(
                numbers.emplace(line, static_cast<long>(numbers.size())).first->second);
        }
        return numbered;
    };
    const std::vector<long> a = number(linesA);
    const std::vector<long> b = number(linesB);
    const std::vector<Change> changes = changesOf(a, b);
    if (changes.empty()) {
        return std::string();
    }
    std::string out = "--- " + beforeName + "\n+++ " + afterName + "\n";
    for (std::size_t first = 0; first < changes.size();) {
        // Changes closer than twice the context share one hunk.
        std::size_t last = first;
        while (last + 1 < changes.size() &&
               changes[last + 1].line0 - (changes[last].line0 + changes[last].deleted) <=
                   2 * CONTEXT) {
            ++last;
        }
        appendHunk(out, changes, first, last, linesA, linesB);
        first = last + 1;
    }
    return out;
}

namespace {

// What ByteText::visible makes of text that holds only printable bytes.
std::string spelledPlain(const std::string& text) {
    std::string spelled;
    for (const char c : text) {
        spelled += c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\t' ? "\\t" : std::string(1, c);
    }
    return spelled;
}

}  // namespace

std::string readableDiff(const std::string& diff) {
    std::string shown;
    bool escaped = false;
    for (std::size_t begin = 0; begin < diff.size();) {
        const std::size_t feed = diff.find('\n', begin);
        const std::size_t end = feed == std::string::npos ? diff.size() : feed;
        const std::string line = diff.substr(begin, end - begin);
        begin = end + 1;
        const std::string text = line.empty() ? line : line.substr(1);
        const std::string spelled = ByteText::visible(text);
        if (spelled != spelledPlain(text)) {
            shown += line.substr(0, 1) + spelled + '\n';
            escaped = true;
        } else {
            shown += line + '\n';
        }
    }
    if (!escaped) {
        return diff;
    }
    return "# dashvane-launcher-check: lines with bytes that are not printable text are shown "
           "escaped, C style; piped, --diff writes the bytes themselves, for patch\n" +
           shown;
}
