// The replacement step on its own: it refuses targets it must not touch, leaving the new file for the
// caller to remove, and it waits a moment for a scanner that holds the new file.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings_test_support.h"

#ifdef _WIN32
#include <thread>
#include <windows.h>
#endif

using settings_test::MakeReadOnly;
using settings_test::ReadBytes;
using settings_test::ReplaceAt;
using settings_test::TempDir;
using settings_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kOnlyConfig = {"config.cfg"};

TEST(Replacement, RefusesReadOnlyTarget) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), "old"));
    ASSERT_TRUE(WriteBytes(dir.File("new.tmp"), "new"));
    MakeReadOnly(dir.File("config.cfg"));
    EXPECT_FALSE(ReplaceAt(dir.File("new.tmp"), dir.File("config.cfg")));
    EXPECT_EQ(ReadBytes(dir.File("config.cfg")), "old");
    EXPECT_EQ(ReadBytes(dir.File("new.tmp")), "new");
}

TEST(Replacement, RefusesDirectoryTarget) {
    TempDir dir;
    fs::create_directory(dir.Path() / "config.cfg");
    ASSERT_TRUE(WriteBytes(dir.File("new.tmp"), "new"));
    EXPECT_FALSE(ReplaceAt(dir.File("new.tmp"), dir.File("config.cfg")));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "config.cfg"));
    EXPECT_EQ(ReadBytes(dir.File("new.tmp")), "new");
}

TEST(Replacement, PutsTheNewFileInPlace) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), "old"));
    ASSERT_TRUE(WriteBytes(dir.File("new.tmp"), "new"));
    EXPECT_TRUE(ReplaceAt(dir.File("new.tmp"), dir.File("config.cfg")));
    EXPECT_EQ(ReadBytes(dir.File("config.cfg")), "new");
    EXPECT_EQ(dir.Names(), kOnlyConfig);
}

#ifdef _WIN32
using settings_test::HeldFile;
using settings_test::SecondsSince;

TEST(Replacement, WaitsForAScannerOnTheNewFile) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), "old"));
    ASSERT_TRUE(WriteBytes(dir.File("new.tmp"), "new"));
    {
        HeldFile held(dir.File("new.tmp"), GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(held.Held());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ReplaceAt(dir.File("new.tmp"), dir.File("config.cfg")));
        const double seconds = SecondsSince(start);
        EXPECT_GT(seconds, 0.5);
        EXPECT_LT(seconds, 1.5);
    }
    EXPECT_EQ(ReadBytes(dir.File("config.cfg")), "old");

    HeldFile held(dir.File("new.tmp"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(held.Held());
    std::thread releaser([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        held.Release();
    });
    const bool replaced = ReplaceAt(dir.File("new.tmp"), dir.File("config.cfg"));
    releaser.join();
    EXPECT_TRUE(replaced);
    EXPECT_EQ(ReadBytes(dir.File("config.cfg")), "new");
    EXPECT_EQ(dir.Names(), kOnlyConfig);
}
#endif

} // namespace
