#include "LauncherUtil.h"

#include <gtest/gtest.h>

#include "Options.h"

namespace {

struct DiagnosticsOn {
    DiagnosticsOn() { DVL_DBG_ENABLE = true; }
    ~DiagnosticsOn() { DVL_DBG_ENABLE = false; }
};

TEST(LauncherUtil, CollectsFromTheFirstIndexOnAndEchoesOnOneOpenLine) {
    const char* argv[] = {"./run", "a", "", "b c", "a"};
    DiagnosticsOn on;
    testing::internal::CaptureStdout();
    const std::vector<std::string> args = LauncherUtil::getAdditionalArgs(5, argv, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Found command line args: \na  b c a ");
    EXPECT_EQ(args, (std::vector<std::string>{"a", "", "b c", "a"}));
}

TEST(LauncherUtil, NothingToCollectWritesNothing) {
    const char* argv[] = {"./run", "a"};
    DiagnosticsOn on;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(LauncherUtil::getAdditionalArgs(1, argv, 1).empty());
    EXPECT_TRUE(LauncherUtil::getAdditionalArgs(2, argv, 2).empty());
    EXPECT_TRUE(LauncherUtil::getAdditionalArgs(2, argv, 7).empty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(LauncherUtil, QuietCollectionWritesNothing) {
    const char* argv[] = {"./run", "a", "b"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LauncherUtil::getAdditionalArgs(3, argv, 1), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
