// The mender weighs its mends through the check it is handed: how often it
// asks, and what it makes of the answers.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fix/MendPlan.h"

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

}  // namespace
