#include "launcher/Launcher.h"

#include <signal.h>

#include <exception>

#include <gtest/gtest.h>

#include "launcher/Platform.h"

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

// An argument vector whose first entry is null, though counted.
TEST(Launcher, NullInvocationNameStartsNothingAndExitsTwo) {
    char* argv[] = {nullptr, nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(runLauncher(1, argv), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to launch, no invocation name\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Launcher, IgnoringBrokenPipeTwiceKeepsItIgnored) {
    ignoreBrokenPipe();
    ignoreBrokenPipe();
    struct sigaction current {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

TEST(LauncherDeathTest, TerminateIsReportedAsAnUnexpectedError) {
    char* argv[] = {nullptr};
    EXPECT_EXIT(
        {
            runLauncher(0, argv);
            std::terminate();
        },
        testing::ExitedWithCode(2),
        "^Failed to launch, no invocation name\nFailed to launch, unexpected error\n$");
}

}  // namespace
