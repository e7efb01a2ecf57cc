#include "Launcher.h"

#include <gtest/gtest.h>

#include "Platform.h"

namespace {

// The kernel no longer hands a program an empty argument vector, so this
// path is only reachable from here.
TEST(Launcher, NoInvocationNameStartsNothingAndExitsTwo) {
    char* argv[] = {nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runLauncher(0, argv), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to launch, no invocation name\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Platform, IniFileIsTheInvocationNameWithIniAppended) {
    EXPECT_EQ(Platform("./run").GetINIFile(), "./run.ini");
    EXPECT_EQ(Platform("/opt/tools/run").GetINIFile(), "/opt/tools/run.ini");
    EXPECT_EQ(Platform("dir/").GetINIFile(), "dir/.ini");
    EXPECT_EQ(Platform("").GetINIFile(), ".ini");
}

}  // namespace
