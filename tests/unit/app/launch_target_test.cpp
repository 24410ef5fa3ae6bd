// What each way of ending the launcher window hands to the shell.

#include "app/launch_target.h"
#include "webhost/portal_urls.h"

#include <gtest/gtest.h>

namespace {

TEST(LaunchTarget, PlayStartsTheGameFromTheWorkingDirectory) {
    EXPECT_STREQ(LaunchTarget(1000), ".\\_Tavaren.exe");
}

TEST(LaunchTarget, GamepadStartsTheGamepadProgramFromTheWorkingDirectory) {
    EXPECT_STREQ(LaunchTarget(1003), ".\\xpad.exe");
}

TEST(LaunchTarget, EveryOtherOutcomeOpensTheStatisticsPage) {
    // CLOSE, a window that could not be shown, one destroyed without an outcome, and commands that
    // never end the window.
    for (std::intptr_t outcome : {1002, -1, 0, 1, 2, 1001, 1004, 0x10003E8}) {
        EXPECT_STREQ(LaunchTarget(outcome), kPortalStatsUrl) << outcome;
    }
    EXPECT_EQ(std::string(kPortalStatsUrl), std::string(kPortalOrigin) + "/stats/tavaren.html");
}

} // namespace
