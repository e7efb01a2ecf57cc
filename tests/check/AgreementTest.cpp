// The check and --fix read an ini file one way: every mend a pass of --fix
// makes is one the check reported on what the pass read and is gone
// afterwards, every finding the catalogue calls mendable is mended or left
// with a reason, every line changed, moved or inserted is said, and one run
// reaches the end, where a second changes nothing. Over
// the fuzzing corpus and thousands of random files, in UTF-8, UTF-16 and
// UTF-32, with and without byte-order marks, with text that is not ASCII.
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <boost/filesystem.hpp>

#include "TempDir.h"
#include "cli/MendOracle.h"
#include "core/Check.h"
#include "fix/IniFix.h"
#include "fix/MendPlan.h"

namespace {

namespace fs = boost::filesystem;

using Place = std::pair<KindId, std::size_t>;

class Application {
public:
    Application() {
        root = fs::canonical(temp.path()).native();
        app = root + "/ws/apps/demo";
        fs::create_directories(root + "/ws/eclipse");
        fs::create_directories(app);
        fs::create_symlink(fs::read_symlink("/proc/self/exe"), root + "/ws/eclipse/Dashvane");
    }
    CheckRequest request() const {
        CheckRequest request;
        request.workingDir = app;
        return request;
    }
    // The mendable findings, by kind and line.
    std::multiset<Place> mendable(const std::string& bytes) const {
        std::ofstream(app + "/run.ini", std::ios::binary | std::ios::trunc) << bytes;
        std::multiset<Place> found;
        for (const Finding& finding : inspectApplication(app, "./run").found) {
            if (kindOf(finding.kind).fixable) {
                found.emplace(finding.kind, finding.line);
            }
        }
        return found;
    }

    TempDir temp;
    std::string root, app;
};

std::string wide(const std::string& utf8, int width, bool little, bool mark) {
    std::u32string text = mark ? U"\uFEFF" : U"";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const int size = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        char32_t code = size == 1 ? byte : byte & (0x3F >> (size - 1));
        for (int k = 1; k < size && i + k < utf8.size(); ++k) {
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        text += code;
        i += size;
    }
    std::string bytes;
    for (const char32_t code : text) {
        std::vector<char32_t> units = {code};
        if (width == 2 && code > 0xFFFF) {
            units = {0xD800 + ((code - 0x10000) >> 10), 0xDC00 + (code & 0x3FF)};
        }
        for (const char32_t unit : units) {
            for (int i = 0; i < width; ++i) {
                bytes += static_cast<char>(unit >> 8 * (little ? i : width - 1 - i) & 0xFF);
            }
        }
    }
    return bytes;
}

bool moves(const AppliedFix& fix) {
    return fix.with != 0 || fix.kind == KindId::CommentInVmSection ||
           fix.kind == KindId::LauncherInVmSection || fix.kind == KindId::NameInHead;
}

// The lines of `bytes`, each without its line end.
std::vector<std::string> linesOf(const std::string& bytes) {
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

// Every line a pass writes otherwise than where and as it read it is said by
// a fix at its line: changed, moved past another, or inserted. A pass that
// converts the whole file says so at line 0. Returns what is not said.
std::string unsaid(const MendRound& round) {
    const IniFixResult& plan = round.plan;
    std::set<std::size_t> said, moved;
    bool inserted = false, whole = false;
    for (const AppliedFix& fix : plan.fixes) {
        said.insert(fix.line);
        whole = whole || fix.line == 0;
        inserted = inserted || fix.kind == KindId::MissingVmargs;
        if (moves(fix)) {
            moved.insert(fix.line);
        }
    }
    if (plan.bytes == round.before || plan.from.empty()) {
        return plan.bytes == round.before || whole ? "" : "the whole file changed, unsaid\n";
    }
    const std::vector<std::string> before = linesOf(round.before), after = linesOf(plan.bytes);
    if (after.size() != plan.from.size()) {
        return "the mender lost track of its lines\n";
    }
    std::ostringstream wrong;
    std::set<std::size_t> kept;
    for (std::size_t j = 0; j < after.size(); ++j) {
        const std::size_t from = plan.from[j];
        kept.insert(from);
        if (from == 0 ? !inserted : after[j] != before.at(from - 1) && said.count(from) == 0) {
            wrong << "line " << from << " changed, unsaid\n";
        }
        for (std::size_t k = j + 1; k < after.size() && from != 0; ++k) {
            const std::size_t later = plan.from[k];
            if (later != 0 && later < from && moved.count(from) + moved.count(later) == 0) {
                wrong << "lines " << later << " and " << from << " swapped, unsaid\n";
            }
        }
    }
    for (std::size_t line = 1; line <= before.size(); ++line) {
        if (kept.count(line) == 0) {
            wrong << "line " << line << " lost\n";
        }
    }
    return wrong.str();
}

// Checks the agreement on one pass of the mender; returns what is wrong, or "".
std::string disagreement(const Application& app, const MendRound& round) {
    const std::string& file = round.before;
    const IniFixResult& plan = round.plan;
    const std::multiset<Place> reported = app.mendable(file);
    std::ostringstream wrong;
    std::multiset<Place> mended;
    std::set<std::size_t> madeLines;
    for (const AppliedFix& fix : plan.fixes) {
        madeLines.insert(fix.with == 0 ? fix.line : std::size_t{0});
    }
    for (const AppliedFix& fix : plan.fixes) {
        // A line mended with another's mend need be no finding today.
        if (fix.with != 0 && madeLines.count(fix.with) == 0) {
            wrong << "mended with the mend of line " << fix.with << ", which is not made\n";
        }
        if (fix.with != 0 && reported.count({fix.kind, fix.line}) == 0) {
            continue;
        }
        mended.emplace(fix.kind, fix.line);
        if (reported.count({fix.kind, fix.line}) == 0) {
            wrong << "mended, never reported: " << kindOf(fix.kind).name << " at " << fix.line
                  << '\n';
        }
    }
    for (const Place& place : reported) {
        const bool refused =
            std::any_of(plan.refused.begin(), plan.refused.end(), [&](const RefusedFix& r) {
                return ((r.kind == place.first && r.line == place.second) ||
                        r.kind == KindId::Count) &&
                       !r.reason.empty();
            });
        if (mended.count(place) == 0 && !refused && plan.refusal.empty()) {
            wrong << "reported, neither mended nor refused: " << kindOf(place.first).name << " at "
                  << place.second << '\n';
        }
    }
    if (plan.fixes.empty()) {
        return wrong.str();
    }
    // Gone afterwards: each mended kind is reported fewer times, by as many
    // as were mended.
    const std::multiset<Place> after = app.mendable(plan.bytes);
    std::map<KindId, int> change;
    for (const Place& place : reported) {
        ++change[place.first];
    }
    for (const Place& place : after) {
        --change[place.first];
    }
    for (const Place& place : mended) {
        if (change[place.first] < static_cast<int>(mended.count(place))) {
            wrong << "still reported after the mend: " << kindOf(place.first).name << '\n';
        }
    }
    return wrong.str() + unsaid(round);
}

// One run of --fix over the file: every pass agrees with the check, and the
// run ends where a second one changes nothing, well within its bound.
std::string disagreement(const Application& app, const std::string& file) {
    std::vector<MendRound> rounds;
    const IniFixResult whole = planToTheEnd(launchOracle(app.request()), file, &rounds);
    std::string wrong;
    for (std::size_t i = 0; i < rounds.size() && wrong.empty(); ++i) {
        wrong = disagreement(app, rounds[i]);
        if (!wrong.empty()) {
            wrong = "pass " + std::to_string(i + 1) + ":\n" + wrong;
        }
    }
    if (rounds.size() >= MOST_ROUNDS) {
        wrong += "the run needed every pass it may make\n";
    }
    if (!planToTheEnd(launchOracle(app.request()), whole.bytes).fixes.empty()) {
        wrong += "a second run mends again\n";
    }
    return wrong;
}

std::string describe(const std::string& file) {
    std::string shown;
    for (const char c : file) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            shown += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            shown += hex;
        }
    }
    return shown;
}

TEST(Agreement, EveryMendIsReportedAndSaidAndOneRunLeavesNothingMendable) {
    const Application app;
    std::vector<std::string> files;
    for (fs::directory_iterator it(DVL_CORPUS_DIR), end; it != end; ++it) {
        std::ifstream in(it->path().native(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        files.push_back(bytes.str());
    }
    // clang-format off
    const std::vector<std::string> pool = {
        "-vmargs", "-VMARGS", "launcher=/bin/true", "Launcher = /bin/sh", "launcher=/opt/nothing",
        "Launcher=/opt/nothing", "launcher", "launcher =", "-Ddv.webApp=x", "-Ddv.WebApp = y",
        "-Ddv.webApp", "# c", ";c", "-Xmx1g", "-Dfoo=bar", "text", "", "  -Ddv.appConfigFile= c.cfg ",
        "-DDV.APPINITSCRIPT=i.js", "\xEF\xBB\xBF-vmargs", "-vmargs=1", "-ea", "x\ry", "\r",
        "-Dname=\xE4\xB8\xAD\xE6\x96\x87", "-Dsmile=\xF0\x9F\x98\x80", "# dashvane-launcher-check: ignore letter-case",
        "-Ddv.webapp=z", "-Ddv.appProgramFile = main.prg"};
    // clang-format on
    const std::vector<std::string> ends = {"\n", "\r\n", "\r", ""};
    unsigned state = 11;
    const auto pick = [&state](std::size_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
#ifdef DVL_SANITIZED
    const int rounds = 150;  // each check costs some times more there
#else
    const int rounds = 2000;
#endif
    for (int round = 0; round < rounds; ++round) {
        std::string file;
        for (std::size_t n = pick(7); n > 0; --n) {
            file += pool[pick(pool.size())] + ends[pick(ends.size())];
        }
        files.push_back(file);
    }
    // The same texts in the wide encodings.
    const std::size_t narrow = files.size();
    // Every other text, in each width, byte order and with or without a mark.
    for (std::size_t i = 0; i < narrow; i += 2) {
        const std::size_t n = i / 2;
        if (files[i].find('\0') == std::string::npos && !files[i].empty()) {
            files.push_back(wide(files[i], n % 2 == 0 ? 2 : 4, n % 3 != 0, n % 5 < 2));
        }
    }
    std::size_t mended = 0;
    for (const std::string& file : files) {
        const std::string wrong = disagreement(app, file);
        ASSERT_EQ(wrong, "") << describe(file);
        mended += fixIni(file).fixes.empty() ? 0 : 1;
    }
    // The files exercise the mender, not only clean reading.
    EXPECT_GT(mended, files.size() / 3);
}

}  // namespace
