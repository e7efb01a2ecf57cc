// The mender weighs its mends through the check it is handed: how often it
// asks, and what it makes of the answers.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fix/LatentFindings.h"
#include "fix/MendPlan.h"
#include "model/Catalogue.h"

namespace {

// A launch that fails where the ini file names a program that is not there,
// counting how often it is asked.
struct CountingOracle {
    std::size_t asked = 0;
    LaunchOracle oracle() {
        return [this](const std::string& text) {
            ++asked;
            LaunchErrors errors;
            if (text.find("launcher=/opt/nothing-here") != std::string::npos) {
                errors.counts[KindId::ExecutableMissing] = 1;
                errors.messages[KindId::ExecutableMissing] = "\"/opt/nothing-here\" does not exist";
            }
            return errors;
        };
    }
};

struct Row {
    const char* name;
    const char* ini;
    std::size_t asked;  // the checks a plan costs
    std::size_t made;
    std::size_t left;  // with the one that says every other mend waits
    const char* bytes;
};

TEST(MendPlan, AsksTheCheckOnceForTheOriginalAndOnceForEachTextWeighed) {
    const std::vector<Row> rows = {
        {"nothing to mend: the check is not asked", "-vmargs\n-Xmx1g\n", 0, 0, 0,
         "-vmargs\n-Xmx1g\n"},
        {"a mend that keeps the launch: the original and the mended text",
         "Launcher=/bin/true\n-vmargs\n-Xmx1g\n", 2, 1, 0, "launcher=/bin/true\n-vmargs\n-Xmx1g\n"},
        {"a mend that breaks the launch: the original, the whole mend, the mend left out",
         "Launcher=/opt/nothing-here\n-vmargs\n-Xmx1g\n", 3, 0, 2,
         "Launcher=/opt/nothing-here\n-vmargs\n-Xmx1g\n"},
        {"a mend that breaks the launch holds back the rest of the file",
         "Launcher=/opt/nothing-here\n-vmargs\n-Xmx1g\r\n", 3, 0, 2,
         "Launcher=/opt/nothing-here\n-vmargs\n-Xmx1g\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CountingOracle counting;
        const IniFixResult plan = planMend(counting.oracle(), row.ini);
        EXPECT_EQ(counting.asked, row.asked);
        EXPECT_EQ(plan.fixes.size(), row.made);
        EXPECT_EQ(plan.refused.size(), row.left);
        EXPECT_EQ(plan.bytes, row.bytes);
        for (const RefusedFix& refused : plan.refused) {
            EXPECT_NE(refused.reason.find("\"/opt/nothing-here\" does not exist"),
                      std::string::npos)
                << refused.reason;
        }
    }
}

std::string utf16le(const std::string& ascii) {
    std::string wide = "\xFF\xFE";
    for (const char c : ascii) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

struct Pass {
    const char* name;
    std::string ini;
    std::size_t mostRounds;
    const char* bytes;  // what the one run writes
    const char* fixes;  // each as KIND-NAME@LINE[+WITH], in the original's lines
    std::size_t asked;  // the checks: one per text, however many passes weigh it
    bool stopped;       // the bound cut the run short, and says so
};

std::string fixesOf(const IniFixResult& plan) {
    std::string shown;
    for (const AppliedFix& fix : plan.fixes) {
        shown += (shown.empty() ? "" : " ") + std::string(kindOf(fix.kind).name) + '@' +
                 std::to_string(fix.line) + (fix.with != 0 ? '+' + std::to_string(fix.with) : "");
    }
    return shown;
}

TEST(MendPlan, OneRunRepeatsItsPassesUntilNothingIsLeftWithinItsBound) {
    const std::vector<Pass> rows = {
        {"UTF-16, then the letter case it hid", utf16le("-VMARGS\n-Xmx1g\n"), MOST_ROUNDS,
         "-vmargs\n-Xmx1g\n", "wide-encoding@0 letter-case@1", 3, false},
        {"the bound stops the run after the encoding, and says so", utf16le("-VMARGS\n-Xmx1g\n"), 1,
         "-VMARGS\n-Xmx1g\n", "wide-encoding@0", 2, true},
        {"carriage returns alone, then what the parted lines hold, counted in the original",
         "x\nLauncher = /bin/true\r-vmargs\r# c\r-Xa\r", MOST_ROUNDS,
         "x\nlauncher=/bin/true\n# c\n-vmargs\n-Xa\n",
         "carriage-return@2 letter-case@2 comment-in-vm-section@2", 3, false},
        {"a mark hid -vmargs: the comment below it moves with the mark's mend, and says so",
         "\xEF\xBB\xBF-vmargs\n# c\n-Xa\n", MOST_ROUNDS, "# c\n-vmargs\n-Xa\n",
         "byte-order-mark@1 comment-in-vm-section@2+1", 2, false},
        {"a mark hid -vmargs: a key below it is mended with the mark's mend, and says so",
         "\xEF\xBB\xBF-vmargs\n-DDV.APPINITSCRIPT=i.js\n", MOST_ROUNDS,
         "-vmargs\n-Ddv.appInitScript=i.js\n", "byte-order-mark@1 letter-case@2+1", 2, false},
        {"an inserted -vmargs moves the comment among the arguments", "-Xa\n# c\n-Xb\n",
         MOST_ROUNDS, "# c\n-vmargs\n-Xa\n-Xb\n", "missing-vmargs@1 comment-in-vm-section@2+1", 2,
         false},
    };
    for (const Pass& row : rows) {
        SCOPED_TRACE(row.name);
        CountingOracle counting;
        std::vector<MendRound> rounds;
        const IniFixResult plan = planToTheEnd(counting.oracle(), row.ini, &rounds, row.mostRounds);
        EXPECT_EQ(plan.bytes, row.bytes);
        EXPECT_EQ(fixesOf(plan), row.fixes);
        EXPECT_EQ(counting.asked, row.asked);
        const bool stopped =
            std::any_of(plan.refused.begin(), plan.refused.end(), [](const RefusedFix& r) {
                return r.kind == KindId::Count && r.reason.find("stops after") != std::string::npos;
            });
        EXPECT_EQ(stopped, row.stopped);
        EXPECT_LE(rounds.size(), row.mostRounds);
        if (!row.stopped) {
            // The run ends on a pass that mends nothing: a second run changes nothing.
            EXPECT_TRUE(planToTheEnd(counting.oracle(), plan.bytes).fixes.empty());
        }
    }
}

}  // namespace

namespace {

// A launch whose VM refuses -Xmx1.5g and notes -Dnote, each where it is
// passed on: below a line that is exactly -vmargs.
LaunchErrors vmOf(const std::string& text) {
    LaunchErrors errors;
    errors.kept = true;
    std::size_t number = 0;
    bool section = false;
    for (std::size_t begin = 0; begin < text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        if (section && (line == "-Xmx1.5g" || line == "-Dnote")) {
            Finding refused;
            refused.line = number + 1;
            refused.kind = line == "-Dnote" ? KindId::DuplicateProperty : KindId::VmSizeInvalid;
            refused.message = "refused " + line;
            refused.lowered = line == "-Dnote";
            errors.findings.push_back(refused);
        }
        errors.used.insert(section || line == "-vmargs" ? number + 1 : 0);
        section = section || line == "-vmargs";
    }
    return errors;
}

TEST(LatentFindings, HiddenLinesAreJudgedAsMendedAtTheirOwnLineWithTodaysSeverity) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {bom + "-vmargs\n-Xmx1.5g\n",
         "2 warning: ignored today; once the byte-order mark is removed: refused -Xmx1.5g"},
        {"-VMARGS\n-Xmx1g\n-Xmx1.5g\n",
         "3 warning: ignored today; once line 1 is written in lower case: refused -Xmx1.5g"},
        {"-vmargs\n-Xmx1.5g\n", ""},
        {"x\r-vmargs\r-Xmx1.5g\r",
         "1 warning: ignored today; once the carriage returns of line 1 end lines: refused "
         "-Xmx1.5g"},
        {utf16le("-VMARGS\n# c\n-Xmx1.5g\n"),
         "3 warning: ignored today; once the file is saved as UTF-8 and line 1 is written in "
         "lower case: refused -Xmx1.5g"},
        {"-Xmx1.5g\n",
         "1 warning: ignored today; once -vmargs is inserted above line 1: refused "
         "-Xmx1.5g"},
        {bom + "-vmargs\n-Dnote\n",
         "2 note: ignored today; once the byte-order mark is removed: refused -Dnote"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        std::string shown;
        for (const Finding& latent : latentFindings(vmOf, row.first)) {
            EXPECT_EQ(latent.kind, KindId::LatentFinding);
            shown += (shown.empty() ? "" : "\n") + std::to_string(latent.line) + ' ' +
                     severityName(severityOf(latent)) + ": " +
                     latent.message.substr(0, latent.message.find(" ("));
        }
        EXPECT_EQ(shown, row.second);
    }
}

}  // namespace
