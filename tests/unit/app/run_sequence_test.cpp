// The whole run sequence in a process whose executable carries no launcher window: the window cannot be
// shown, nothing is torn down that was never built, the statistics page is still opened, and Direct3D 9 was
// never loaded.

#include "app/launcher_app.h"
#include "ui/main_dialog.h"
#include "webhost/portal_urls.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

// The test prefix hands http URLs to a script that appends them to $TAVAREN_URL_LOG.
std::string WaitForOpenedUrl(const std::string& log) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ifstream in(log);
        std::string line;
        if (std::getline(in, line) && !line.empty()) {
            return line;
        }
        Sleep(100);
    }
    return {};
}

TEST(RunSequence, WindowThatCannotBeShownStillOpensTheStatisticsPage) {
    // The log's Unix path comes from the test's environment, which the shell's browser script inherits.
    char unixLog[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("TAVAREN_URL_LOG", unixLog, MAX_PATH), 0u) << "run it through CTest";
    std::string windowsLog = std::string("Z:") + unixLog;
    for (char& c : windowsLog) {
        c = c == '/' ? '\\' : c;
    }
    DeleteFileA(windowsLog.c_str());

    LauncherApp app;
    app.Run(GetModuleHandleA(nullptr), SW_SHOWNORMAL);

    EXPECT_EQ(g_browserHost, nullptr);
    EXPECT_FALSE(g_oleInitialised);
    // The display modes wait for the Options dialog: the run has not loaded Direct3D 9.
    EXPECT_EQ(GetModuleHandleW(L"d3d9.dll"), nullptr);
    EXPECT_EQ(WaitForOpenedUrl(windowsLog), kPortalStatsUrl);
    DeleteFileA(windowsLog.c_str());
}

} // namespace
