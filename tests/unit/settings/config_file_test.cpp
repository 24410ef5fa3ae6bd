// Reading and rewriting config.cfg on disk: the file as a whole, what a failed rewrite leaves behind and
// the working-directory entry points.

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/config_file.h"
#include "settings/config_text.h"
#include "settings_test_support.h"

#ifdef _WIN32
#include <thread>
#include <windows.h>
#endif

using namespace std::string_literals;
using settings_test::Lines;
using settings_test::MakeReadOnly;
using settings_test::ReadBytes;
using settings_test::ReadSettingsAt;
using settings_test::SecondsSince;
using settings_test::Settings;
using settings_test::StreamDoubles;
using settings_test::TempDir;
using settings_test::UnsavedBecause;
using settings_test::WriteBytes;
using settings_test::WriteSettingsAt;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kOnlyConfig = {"config.cfg"};

const std::string kWorkedExample =
    Lines({"// comment", "screenWidth = 1024", "screenHeight = 768", "screenBPP = 32", "bloom = 1"}, "\r\n");

// Writes the first half of what it is given, then fails, as a full disk would.
std::size_t g_bytesSeenByWriter = 0;

std::size_t FailHalfWay(const void* data, std::size_t size, std::size_t count, std::FILE* file) {
    g_bytesSeenByWriter = size * count;
    std::fwrite(data, 1, size * count / 2, file);
    return 0;
}

std::size_t FailAfterWriting(const void* data, std::size_t size, std::size_t count, std::FILE* file) {
    g_bytesSeenByWriter = size * count;
    std::fwrite(data, size, count, file);
    return 0;
}

// The working directory changed for as long as the object lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& path) : previous_(fs::current_path()) {
        fs::current_path(path);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;
    ~WorkingDirectory() { fs::current_path(previous_); }

private:
    fs::path previous_;
};

// A folder that takes no new files: only config.cfg itself was opened up to the player.
std::FILE* RefuseNewFiles(const PathChar*, const PathChar*) {
    errno = EACCES;
#ifdef _WIN32
    _doserrno = ERROR_ACCESS_DENIED;
#endif
    return nullptr;
}

// An allocator whose allocations fail once g_allocationsLeft is used up.
int g_allocationsLeft = 0;

void* AllocateWhileAllowed(void* block, std::size_t size) {
    return g_allocationsLeft-- > 0 ? std::realloc(block, size) : nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Reading the file

TEST(SettingsFileRead, WhatTheFileGives) {
    // Text mode on Windows would stop at 0x1A and turn CR LF into LF; the file is read as bytes. Where
    // there is no file to read (none, or a folder) the settings stay as they were.
    const struct {
        const char* what;
        bool file;
        std::string bytes;
        bool read;
        LauncherSettings after;
    } rows[] = {
        {"missing", false, "", false, Settings(1, 2, 3, 4)},
        {"worked example", true, kWorkedExample, true, Settings(1024, 768, 32, 1)},
        {"NUL and 0x1A", true, "screenWidth = 5\r\n\x1A\r\n\0\0\nbloom = 7\r\nscreenBPP\r\n"s, true,
         Settings(5, 2, 3, 7)},
        {"folder", false, "", false, Settings(1, 2, 3, 4)},
    };
    for (const auto& row : rows) {
        TempDir dir;
        if (row.file) {
            ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), row.bytes));
        } else if (std::string_view(row.what) == "folder") {
            fs::create_directory(dir.Path() / "config.cfg");
        }
        LauncherSettings settings = Settings(1, 2, 3, 4);
        EXPECT_EQ(ReadSettingsAt(dir.File("config.cfg"), settings), row.read) << row.what;
        EXPECT_EQ(settings, row.after) << row.what;
    }
}

TEST(SettingsFileRead, ReadOnlyFileIsRead) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), "bloom = 3\n"));
    MakeReadOnly(dir.File("config.cfg"));
    LauncherSettings settings;
    EXPECT_TRUE(ReadSettingsAt(dir.File("config.cfg"), settings));
    EXPECT_EQ(settings.bloom, 3);
}

// ---------------------------------------------------------------------------------------------------------
// Rewriting the file

TEST(SettingsFileRewrite, WrittenBytes) {
    // The values come from memory, never from the file; every other byte of the file stays.
    const std::string binary = "\0\x01\x1A\x7F\x80\xFE\xFF tail"s;
    const struct {
        const char* what;
        bool file;
        std::string before;
        LauncherSettings settings;
        std::string after;
    } rows[] = {
        {"worked example", true, kWorkedExample, Settings(1280, 1024, 32, 0),
         Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024", "screenBPP = 32", "bloom = 0"})},
        {"missing", false, "", Settings(1024, 768, 32, 1),
         Lines({"screenWidth = 1024", "screenHeight = 768", "screenBPP = 32", "bloom = 1"})},
        {"empty", true, "", Settings(-1, -2, 0, 5),
         Lines({"screenWidth = -1", "screenHeight = -2", "screenBPP = 0", "bloom = 5"})},
        {"values only in the file", true, "screenWidth = 1600\nscreenHeight = 1200\n", Settings(0, 0, 0, 0),
         Lines({"screenWidth = 0", "screenHeight = 0", "screenBPP = 0", "bloom = 0"})},
        {"other bytes", true, "\xEF\xBB\xBF# first\r\n" + binary + "\n\x1A\r\nscreenWidth = 1\nlast",
         Settings(2, 3, 4, 5),
         "\xEF\xBB\xBF" + Lines({"# first", binary, "\x1A", "screenWidth = 2", "last", "screenHeight = 3",
                                 "screenBPP = 4", "bloom = 5"})},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const std::string path = dir.File("config.cfg");
        if (row.file) {
            ASSERT_TRUE(WriteBytes(path, row.before));
        }
        EXPECT_TRUE(WriteSettingsAt(path, row.settings)) << row.what;
        EXPECT_EQ(ReadBytes(path), row.after) << row.what;
        EXPECT_EQ(dir.Names(), kOnlyConfig) << row.what;
    }
}

TEST(SettingsFileRewrite, LongLineIsWrittenWhole) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    std::string longLine = "# ";
    for (int i = 0; longLine.size() < 1500000; ++i) {
        longLine += std::to_string(i);
    }
    ASSERT_TRUE(WriteBytes(path, "bloom = 1\n" + longLine + "\nscreenWidth = 3\n"));
    EXPECT_TRUE(WriteSettingsAt(path, Settings(4, 5, 6, 0)));
    EXPECT_EQ(ReadBytes(path),
              Lines({"bloom = 0", longLine, "screenWidth = 4", "screenHeight = 5", "screenBPP = 6"}));
}

#ifndef _WIN32
TEST(SettingsFileRewrite, KeepsThePermissionsOfTheFile) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    ASSERT_TRUE(WriteBytes(path, "x\n"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(WriteSettingsAt(path, Settings(1, 2, 3, 4)));
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}
#endif

TEST(SettingsFileRewrite, SymbolicLinkStaysALinkAndItsTargetIsRewritten) {
    TempDir dir;
    fs::create_directory(dir.Path() / "real");
    ASSERT_TRUE(WriteBytes(dir.File("real/game.cfg"), kWorkedExample));
    std::error_code error;
    fs::create_symlink(dir.Path() / "real" / "game.cfg", dir.Path() / "config.cfg", error);
    if (error || !fs::is_symlink(dir.Path() / "config.cfg")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    EXPECT_TRUE(WriteSettingsAt(dir.File("config.cfg"), Settings(1280, 1024, 32, 0)));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "config.cfg"));
    EXPECT_EQ(
        ReadBytes(dir.File("real/game.cfg")),
        Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024", "screenBPP = 32", "bloom = 0"}));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"config.cfg", "real"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "real"), fs::directory_iterator()), 1);

    // A link that leads nowhere stays as it is, and no file appears for it.
    fs::remove(dir.Path() / "real" / "game.cfg");
    EXPECT_FALSE(WriteSettingsAt(dir.File("config.cfg"), Settings(1280, 1024, 32, 0)));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "config.cfg"));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "real"));
}

#ifdef _WIN32
using settings_test::HeldFile;

TEST(SettingsFileRewrite, HiddenFileStaysHidden) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    ASSERT_TRUE(WriteBytes(path, kWorkedExample));
    if (!SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN) ||
        (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0) {
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    }
    EXPECT_TRUE(WriteSettingsAt(path, Settings(1, 2, 3, 4)));
    EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(dir.Names(), kOnlyConfig);
}
#endif

// ---------------------------------------------------------------------------------------------------------
// A rewrite that can't complete leaves the file as it was and no temporary file behind

TEST(SettingsFileSafety, WriteFailureKeepsTheOriginal) {
    // A disk that fills up half way, and one that takes every byte and fails all the same.
    for (const auto writer : {FailHalfWay, FailAfterWriting}) {
        TempDir dir;
        const std::string path = dir.File("config.cfg");
        const std::string original = kWorkedExample + "\x1A tail without newline";
        ASSERT_TRUE(WriteBytes(path, original));
        g_bytesSeenByWriter = 0;
        {
            const StreamDoubles failing(nullptr, writer);
            EXPECT_FALSE(WriteSettingsAt(path, Settings(1, 2, 3, 4)));
        }
        EXPECT_GT(g_bytesSeenByWriter, 0u);
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_EQ(dir.Names(), kOnlyConfig);
    }
}

TEST(SettingsFileSafety, WriteFailureOnAMissingFileCreatesNothing) {
    TempDir dir;
    const StreamDoubles failing(nullptr, FailHalfWay);
    EXPECT_FALSE(WriteSettingsAt(dir.File("config.cfg"), Settings(1, 2, 3, 4)));
    EXPECT_TRUE(dir.Names().empty());
}

TEST(SettingsFileSafety, OutOfMemoryAnywhereLeavesFileAndSettingsAsTheyWere) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    const ByteBufferReallocate allocate = g_byteBufferReallocate;
    ASSERT_TRUE(WriteBytes(path, kWorkedExample));
    LauncherSettings settings = Settings(1, 2, 3, 4);
    SettingSet known = kBloomSetting;
    g_allocationsLeft = 0;
    g_byteBufferReallocate = AllocateWhileAllowed;
    const bool read = ReadSettingsAt(path, settings, &known);
    g_byteBufferReallocate = allocate;
    EXPECT_FALSE(read);
    EXPECT_EQ(settings, Settings(1, 2, 3, 4));
    EXPECT_EQ(known, kBloomSetting);

    // Each allocation of a rewrite in turn fails, until there are enough for it to succeed.
    for (int allowed = 0;; ++allowed) {
        ASSERT_LT(allowed, 40) << "the rewrite never succeeds";
        g_allocationsLeft = allowed;
        g_byteBufferReallocate = AllocateWhileAllowed;
        const bool written = WriteSettingsAt(path, Settings(1280, 1024, 32, 0));
        g_byteBufferReallocate = allocate;
        EXPECT_EQ(dir.Names(), kOnlyConfig) << allowed;
        if (written) {
            EXPECT_EQ(ReadBytes(path), Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024",
                                              "screenBPP = 32", "bloom = 0"}));
            break;
        }
        ASSERT_EQ(ReadBytes(path), kWorkedExample) << allowed;
    }
}

TEST(SettingsFileSafety, FolderRefusingNewFilesGetsTheFileRewrittenInPlace) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    const StreamDoubles refused(RefuseNewFiles, nullptr);
    // The new text longer than the old, then shorter.
    const std::string shorter = "bloom = 1 // shown as a check box, and a comment longer than the rest\n";
    const std::string appended[] = {"screenWidth = 1280", "screenHeight = 1024", "screenBPP = 32"};
    const struct {
        std::string before;
        std::string after;
    } rows[] = {
        {"bloom = 1\n", Lines({"bloom = 0", appended[0], appended[1], appended[2]})},
        {shorter + shorter + shorter + shorter,
         Lines({"bloom = 0", "bloom = 0", "bloom = 0", "bloom = 0", appended[0], appended[1], appended[2]})},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteBytes(path, row.before));
        EXPECT_TRUE(WriteSettingsAt(path, Settings(1280, 1024, 32, 0)));
        EXPECT_EQ(ReadBytes(path), row.after);
        EXPECT_EQ(dir.Names(), kOnlyConfig);
    }
    // Still never a read-only file, and no file where there was none.
    MakeReadOnly(path);
    const std::string before = ReadBytes(path);
    EXPECT_FALSE(WriteSettingsAt(path, Settings(1, 2, 3, 4)));
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_FALSE(WriteSettingsAt(dir.File("other.cfg"), Settings(1, 2, 3, 4)));
    EXPECT_EQ(dir.Names(), kOnlyConfig);
}

TEST(SettingsFileSafety, ReadOnlyFileIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    ASSERT_TRUE(WriteBytes(path, kWorkedExample));
    MakeReadOnly(path);
    EXPECT_EQ(UnsavedBecause(path, Settings(1, 2, 3, 4)), FileProblem::ReadOnly);
    EXPECT_EQ(ReadBytes(path), kWorkedExample);
    EXPECT_EQ(dir.Names(), kOnlyConfig);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST(SettingsFileSafety, DirectoryNamedConfigFileIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    fs::create_directory(path);
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg/inside.txt"), "kept"));
    EXPECT_EQ(UnsavedBecause(path, Settings(1, 2, 3, 4)), FileProblem::Unreadable);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(ReadBytes(dir.File("config.cfg/inside.txt")), "kept");
    EXPECT_EQ(dir.Names(), kOnlyConfig);
}

TEST(SettingsFileSafety, MissingDirectoryFailsWithoutCreatingAnything) {
    TempDir dir;
    EXPECT_FALSE(WriteSettingsAt(dir.File("absent/config.cfg"), Settings(1, 2, 3, 4)));
    EXPECT_TRUE(dir.Names().empty());
}

#ifdef _WIN32
TEST(SettingsFileLocked, FileHeldOpenIsLeftAloneAfterBoundedRetries) {
    // Opened without sharing, nothing can be done at once; a scanner that reads the file lets us read it
    // too, but not replace it, and the rewrite waits a while for it.
    const struct {
        DWORD access, share;
        double atLeast;
    } rows[] = {
        {GENERIC_READ | GENERIC_WRITE, 0, 0.0},
        {GENERIC_READ, FILE_SHARE_READ, 0.5},
    };
    for (const auto& row : rows) {
        TempDir dir;
        const std::string path = dir.File("config.cfg");
        ASSERT_TRUE(WriteBytes(path, kWorkedExample));
        {
            HeldFile held(path, row.access, row.share);
            ASSERT_TRUE(held.Held());
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(UnsavedBecause(path, Settings(1, 2, 3, 4)), FileProblem::Held) << row.share;
            const double seconds = SecondsSince(start);
            EXPECT_GE(seconds, row.atLeast) << row.share;
            EXPECT_LT(seconds, 1.5) << row.share;
        }
        EXPECT_EQ(ReadBytes(path), kWorkedExample) << row.share;
        EXPECT_EQ(dir.Names(), kOnlyConfig) << row.share;
    }
}

TEST(SettingsFileLocked, FileReleasedDuringTheRetriesIsRewritten) {
    // A scanner that lets others read, and one that does not even let them read.
    for (const DWORD share : {static_cast<DWORD>(FILE_SHARE_READ), static_cast<DWORD>(0)}) {
        TempDir dir;
        const std::string path = dir.File("config.cfg");
        ASSERT_TRUE(WriteBytes(path, kWorkedExample));
        HeldFile held(path, GENERIC_READ, share);
        ASSERT_TRUE(held.Held());
        std::thread releaser([&held] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            held.Release();
        });
        const bool written = WriteSettingsAt(path, Settings(1280, 1024, 32, 0));
        releaser.join();
        EXPECT_TRUE(written) << share;
        EXPECT_EQ(ReadBytes(path), Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024",
                                          "screenBPP = 32", "bloom = 0"}));
        EXPECT_EQ(dir.Names(), kOnlyConfig);
    }
}

#endif

// ---------------------------------------------------------------------------------------------------------
// The entry points the launcher calls, on config.cfg in the working directory

TEST(SettingsWorkingDirectory, ReadAndWriteConfigInTheWorkingDirectory) {
    TempDir dir;
    ASSERT_TRUE(WriteBytes(dir.File("config.cfg"), kWorkedExample));
    WorkingDirectory cwd(dir.Path());
    const LauncherSettings saved = g_settings;
    const SettingSet savedKnown = g_knownSettings;

    g_settings = Settings(0, 0, 0, 0);
    g_knownSettings = 0;
    ReadSettings();
    EXPECT_EQ(g_settings, Settings(1024, 768, 32, 1));
    EXPECT_EQ(g_knownSettings, kAllSettings);

    g_settings = Settings(1280, 1024, 32, 0);
    WriteSettings();
    EXPECT_EQ(ReadBytes("config.cfg"), Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024",
                                              "screenBPP = 32", "bloom = 0"}));
    EXPECT_EQ(dir.Names(), kOnlyConfig);
    g_settings = saved;
    g_knownSettings = savedKnown;
}

TEST(SettingsWorkingDirectory, MissingConfigIsCreatedByWriteAndIgnoredByRead) {
    TempDir dir;
    WorkingDirectory cwd(dir.Path());
    const LauncherSettings saved = g_settings;
    const SettingSet savedKnown = g_knownSettings;

    g_settings = Settings(800, 600, 16, 1);
    g_knownSettings = 0;
    ReadSettings();
    EXPECT_EQ(g_settings, Settings(800, 600, 16, 1));
    EXPECT_EQ(g_knownSettings, 0u);
    EXPECT_TRUE(dir.Names().empty());

    // OK without a display mode to choose: only Bloom is the player's choice.
    g_knownSettings = kBloomSetting;
    WriteSettings();
    EXPECT_EQ(ReadBytes("config.cfg"), Lines({"bloom = 1"}));

    g_knownSettings = kAllSettings;
    WriteSettings();
    EXPECT_EQ(ReadBytes("config.cfg"),
              Lines({"bloom = 1", "screenWidth = 800", "screenHeight = 600", "screenBPP = 16"}));
    g_settings = saved;
    g_knownSettings = savedKnown;
}
