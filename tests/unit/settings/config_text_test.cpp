// The line-level handling of config.cfg: splitting, key recognition, value conversion, reading and the
// rewritten text. No file is touched here.

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "settings/config_text.h"
#include "settings_test_support.h"

using namespace std::string_literals;
using settings_test::Lines;
using settings_test::RewriteText;
using settings_test::Settings;
using settings_test::SplitLines;

namespace {

std::vector<std::string> SplitToStrings(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const std::string_view line : SplitLines(bytes)) {
        lines.emplace_back(line);
    }
    return lines;
}

const std::string kWorkedExample =
    Lines({"// comment", "screenWidth = 1024", "screenHeight = 768", "screenBPP = 32", "bloom = 1"}, "\r\n");

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Splitting into lines

TEST(ConfigLines, LinesOfTheBytes) {
    using Strings = std::vector<std::string>;
    const struct {
        std::string bytes;
        Strings lines;
    } rows[] = {
        {"", {}},
        {"a\nbb\n\nccc\n", {"a", "bb", "", "ccc"}},
        // CR belongs to the line end only directly before LF.
        {"a\r\nbb\r\n\r\n", {"a", "bb", ""}},
        {"a\r\nb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\rb\nc\r\r\nd\r", {"a\rb", "c\r", "d\r"}},
        {"first\nlast", {"first", "last"}},
        {"\n", {""}},
        {"a\0b\n\x1A\nc\x1A\0\n"s, {"a\0b"s, "\x1A", "c\x1A\0"s}},
        // A byte-order mark at the very start is no part of the first line; anywhere else it is text.
        {"\xEF\xBB\xBFscreenWidth = 1\nx\n", {"screenWidth = 1", "x"}},
        {"\xEF\xBB\xBF", {}},
        {"x\n\xEF\xBB\xBFy\n", {"x", "\xEF\xBB\xBFy"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SplitToStrings(row.bytes), row.lines) << row.bytes;
    }
}

TEST(ConfigLines, ByteOrderMarkOnlyWhole3BytesAtTheStart) {
    EXPECT_TRUE(HasByteOrderMark("\xEF\xBB\xBFscreenWidth = 1\n"));
    EXPECT_FALSE(HasByteOrderMark("\xEF\xBB"));
    EXPECT_FALSE(HasByteOrderMark(" \xEF\xBB\xBF"));
}

TEST(ConfigLines, LongLineIsNeverSplit) {
    const std::string longLine(3 * 1024 * 1024 + 7, 'x');
    const std::string bytes = longLine + "\r\nshort";
    const std::vector<std::string_view> lines = SplitLines(bytes);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], longLine);
    EXPECT_EQ(lines[1], "short");
}

// ---------------------------------------------------------------------------------------------------------
// Recognising key lines

TEST(ConfigKeys, KeyAndValueOfALine) {
    constexpr ConfigKey W = ConfigKey::ScreenWidth, None = ConfigKey::None;
    const struct {
        std::string line;
        ConfigKey key;
        bool hasValue;
        std::int32_t value;
    } rows[] = {
        {"screenWidth = 1", W, true, 1},
        {"screenHeight = 1", ConfigKey::ScreenHeight, true, 1},
        {"screenBPP = 1", ConfigKey::ScreenBPP, true, 1},
        {"bloom = 1", ConfigKey::Bloom, true, 1},
        // The key is a whole word: a letter, digit, underscore or a byte from 0x80 up makes it another.
        {"screenWidthMax = 2048", None, false, 0},
        {"screenWidth2 = 1", None, false, 0},
        {"screenWidth_old = 1", None, false, 0},
        {"bloomy = 1", None, false, 0},
        {"screenBPPs = 32", None, false, 0},
        {"screenHeightX", None, false, 0},
        {"screenWidth\xC3\xA9 = 1", None, false, 0},
        // Any other byte, or the end of the line, may follow it.
        {"screenWidth=1", W, true, 1},
        {"screenWidth\t= 1", W, true, 1},
        {"screenHeight \t \t= 600", ConfigKey::ScreenHeight, true, 600},
        {"screenWidth\r", W, false, 0},
        {"screenWidth\0"s, W, false, 0},
        {"screenWidth-1", W, false, 0},
        // Without "=" after blanks or tabs there is no value.
        {"screenWidth", W, false, 0},
        {"screenWidth 800", W, false, 0},
        {"screenWidth:800", W, false, 0},
        {"screenWidth ;= 800", W, false, 0},
        // Case matters, and the key starts the line.
        {"ScreenWidth = 800", None, false, 0},
        {"screenwidth = 800", None, false, 0},
        {"BLOOM = 1", None, false, 0},
        {"screenBpp = 32", None, false, 0},
        {" screenWidth = 800", None, false, 0},
        {"\tbloom = 1", None, false, 0},
        {"// screenWidth = 800", None, false, 0},
        {"", None, false, 0},
        {"screenWidt", None, false, 0},
    };
    for (const auto& row : rows) {
        const ConfigLineInfo info = ClassifyConfigLine(row.line);
        EXPECT_EQ(info.key, row.key) << row.line;
        EXPECT_EQ(info.hasValue, row.hasValue) << row.line;
        if (row.hasValue) {
            EXPECT_EQ(info.value, row.value) << row.line;
        }
    }
}

// A key that ends the bytes given is that key, whatever lies in memory after them: nothing past the end
// is read (here a letter, which would make it some other key).
TEST(ConfigKeys, KeyAtTheEndOfTheBytesReadsNothingPastThem) {
    const struct {
        const char* name;
        ConfigKey key;
        LauncherSettings rewritten;
    } rows[] = {
        {"screenWidth", ConfigKey::ScreenWidth, Settings(7, 0, 0, 0)},
        {"screenHeight", ConfigKey::ScreenHeight, Settings(0, 7, 0, 0)},
        {"screenBPP", ConfigKey::ScreenBPP, Settings(0, 0, 7, 0)},
        {"bloom", ConfigKey::Bloom, Settings(0, 0, 0, 7)},
    };
    for (const auto& row : rows) {
        const std::string memory = "# x\n"s + row.name + "Max = 1\n";
        const std::string_view line(memory.data() + 4, std::string_view(row.name).size());
        EXPECT_EQ(ClassifyConfigLine(line).key, row.key) << row.name;
        const std::string_view file(memory.data(), 4 + line.size());
        ByteBuffer out;
        ASSERT_TRUE(RewriteConfigText(file, row.rewritten, SettingOf(row.key), "\n", out));
        EXPECT_EQ(out.view(), "# x\n"s + row.name + " = 7\n") << row.name;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Converting values

TEST(ConfigValues, AsStrtolReadsThem) {
    const struct {
        std::string text;
        std::int32_t value;
    } rows[] = {
        {"0", 0},
        {"1024", 1024},
        {"65536", 65536},
        {"-1", -1},
        {"+800", 800},
        {"-0", 0},
        {"   1", 1},
        {" \t\n\v\f\r42", 42},
        // Digits end at the first other byte.
        {"1024x768", 1024},
        {"32 // bits", 32},
        {"7\r", 7},
        {"7\0"
         "9"s,
         7},
        {"1 2", 1},
        // No digits give 0.
        {"", 0},
        {"x", 0},
        {"   ", 0},
        {"-", 0},
        {"+-3", 0},
        {"- 3", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0000000000000000000000002147483647", INT32_MAX},
    };
    for (const auto& row : rows) {
        std::int32_t value = 12345;
        EXPECT_TRUE(ConvertConfigValue(row.text, value)) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
}

TEST(ConfigValues, NumbersThatDoNotFitLeaveTheValueUnchanged) {
    for (const char* text : {"2147483648", "-2147483649", "99999999999999999999999999", "+4294967296",
                             "18446744073709551616", "-18446744073709551617"}) {
        std::int32_t value = 77;
        EXPECT_FALSE(ConvertConfigValue(text, value)) << text;
        EXPECT_EQ(value, 77) << text;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Reading settings from the text

TEST(ConfigRead, SettingsTheTextGives) {
    constexpr SettingSet W = kScreenWidthSetting, H = kScreenHeightSetting, B = kScreenBPPSetting,
                         L = kBloomSetting;
    const LauncherSettings start = Settings(11, 22, 33, 44);
    const struct {
        std::string text;
        SettingSet found;
        LauncherSettings after;
    } rows[] = {
        {kWorkedExample, W | H | B | L, Settings(1024, 768, 32, 1)},
        {"", 0, start},
        {"screenWidth=1024\n", W, Settings(1024, 22, 33, 44)},
        {"screenBPP = 128\n", B, Settings(11, 22, 128, 44)},
        {"bloom = x\n", L, Settings(11, 22, 33, 0)},
        {"bloom =   1\n", L, Settings(11, 22, 33, 1)},
        {"screenHeight =\n", H, Settings(11, 0, 33, 44)},
        // Values are not range tested.
        {"bloom = 5\nscreenWidth = -640\nscreenBPP = 0\n", W | B | L, Settings(-640, 22, 0, 5)},
        // The last usable line of a key wins; an unusable one changes nothing, not even an earlier value.
        {"screenWidth = 800\nbloom = 1\nscreenWidth = 1600\n", W | L, Settings(1600, 22, 33, 1)},
        {"screenWidth\nscreenWidth 800\nscreenHeight = 2147483648\nbloom = -99999999999\n", 0, start},
        {"screenWidth = 800\nscreenWidth\n", W, Settings(800, 22, 33, 44)},
        {"screenWidth = 8\nscreenHeight\nbloom = x\n  screenBPP = 32\n", W | L, Settings(8, 22, 33, 0)},
        {"screenWidthMax = 2048\nScreenWidth = 800\n screenHeight = 1\n#bloom = 1\n", 0, start},
        {"\xEF\xBB\xBFscreenWidth = 1\r\nscreenHeight = 2\nscreenBPP = 3\r\nbloom = 4", W | H | B | L,
         Settings(1, 2, 3, 4)},
        // 0x1A and NUL do not end the file.
        {"\x1A\nscreenWidth = 3\n\0\nbloom = 4\n"s, W | L, Settings(3, 22, 33, 4)},
    };
    for (const auto& row : rows) {
        LauncherSettings settings = start;
        EXPECT_EQ(ApplyConfigText(row.text, settings), row.found) << row.text;
        EXPECT_EQ(settings, row.after) << row.text;
    }
}

// ---------------------------------------------------------------------------------------------------------
// The rewritten text

TEST(ConfigRewrite, TextWritten) {
    // Key lines are replaced as a whole, each key known but missing is appended in the order screenWidth,
    // screenHeight, screenBPP, bloom; every other line, and each key outside the known ones, stays byte for
    // byte. Every line ends in the line end given, except that a line whose text ends in CR keeps it
    // followed by CR LF (with a plain LF the CR would become part of the line end on the next read).
    const std::string binary = "\0bin\x1A\xFF\xEF\xBB\xBF\ttext \r inner"s;
    const std::string four = "screenWidth = 1\nscreenHeight = 2\nscreenBPP = 3\nbloom = 4\n";
    constexpr SettingSet all = kAllSettings;
    const struct {
        std::string in;
        LauncherSettings settings;
        std::string lineEnd;
        SettingSet known;
        std::string out;
    } rows[] = {
        {kWorkedExample, Settings(1280, 1024, 32, 0), "\r\n", all,
         "// comment\r\nscreenWidth = 1280\r\nscreenHeight = 1024\r\nscreenBPP = 32\r\nbloom = 0\r\n"},
        {"a\r\nscreenWidth = 1\nb\n\r\nc", Settings(5, 6, 7, 8), "\n", all,
         "a\nscreenWidth = 5\nb\n\nc\nscreenHeight = 6\nscreenBPP = 7\nbloom = 8\n"},
        {"a\r\nscreenWidth = 1\nb\n\r\nc", Settings(5, 6, 7, 8), "\r\n", all,
         "a\r\nscreenWidth = 5\r\nb\r\n\r\nc\r\nscreenHeight = 6\r\nscreenBPP = 7\r\nbloom = 8\r\n"},
        {"screenWidth=0800 // wide\nbloom\nscreenBPP:16\n", Settings(1920, 1080, 32, 1), "\n", all,
         "screenWidth = 1920\nbloom = 1\nscreenBPP = 32\nscreenHeight = 1080\n"},
        {"", Settings(-640, 0, INT32_MIN, INT32_MAX), "\n", all,
         "screenWidth = -640\nscreenHeight = 0\nscreenBPP = -2147483648\nbloom = 2147483647\n"},
        {"screenWidthMax = 2048\nScreenWidth = 800\r\n screenWidth = 800\n" + binary + "\n",
         Settings(1, 2, 3, 4), "\n", all,
         "screenWidthMax = 2048\nScreenWidth = 800\n screenWidth = 800\n" + binary + "\n" + four},
        {"a\r\r\nb\r", Settings(1, 2, 3, 4), "\n", all, "a\r\r\nb\r\r\n" + four},
        {"\n\nbloom = 1\n\n# x\n\n", Settings(1, 2, 3, 0), "\n", all,
         "\n\nbloom = 0\n\n# x\n\nscreenWidth = 1\nscreenHeight = 2\nscreenBPP = 3\n"},
        {"screenWidth = 1\nscreenHeight = 2\nscreenBPP = 3\nbloom = 4", Settings(1, 2, 3, 4), "\r\n", all,
         "screenWidth = 1\r\nscreenHeight = 2\r\nscreenBPP = 3\r\nbloom = 4\r\n"},
        {"# tail", Settings(1, 2, 3, 4), "\n", all, "# tail\n" + four},
        {"bloom = 1\nscreenHeight = 2\n", Settings(7, 8, 9, 0), "\n", all,
         "bloom = 0\nscreenHeight = 8\nscreenWidth = 7\nscreenBPP = 9\n"},
        {"screenWidth = 1\nx\nscreenWidth = 2\n", Settings(3, 4, 5, 6), "\n", all,
         "screenWidth = 3\nx\nscreenWidth = 3\nscreenHeight = 4\nscreenBPP = 5\nbloom = 6\n"},
        {"screenWidth = -800\nscreenHeight = -1\nscreenBPP = 7\nbloom = 5\n", Settings(-800, -1, 7, 5), "\n",
         all, "screenWidth = -800\nscreenHeight = -1\nscreenBPP = 7\nbloom = 5\n"},
        {"\xEF\xBB\xBFscreenWidth = 1\n", Settings(1, 2, 3, 4), "\n", all, "\xEF\xBB\xBF" + four},
        {"\xEF\xBB\xBF", Settings(1, 2, 3, 4), "\n", all, "\xEF\xBB\xBF" + four},
        // Only the known keys are written or appended.
        {"", Settings(7, 8, 9, 1), "\n", kBloomSetting, "bloom = 1\n"},
        {"", Settings(7, 8, 9, 1), "\n", 0, ""},
        {"x\r\n", Settings(7, 8, 9, 1), "\n", 0, "x\n"},
        {"screenBPP:16\nscreenWidth = 5 // wide\n", Settings(7, 8, 9, 1), "\n", kBloomSetting,
         "screenBPP:16\nscreenWidth = 5 // wide\nbloom = 1\n"},
        {"# c\r\nscreenWidth = 1024\r\nscreenHeight=768\n  screenBPP = 32\nbloom = 1", Settings(7, 8, 9, 1),
         "\n", kScreenWidthSetting | kScreenHeightSetting | kBloomSetting,
         "# c\nscreenWidth = 7\nscreenHeight = 8\n  screenBPP = 32\nbloom = 1\n"},
        {"bloom = 0\r\r\nscreenHeight\r\r\n", Settings(7, 8, 9, 1), "\n", kScreenWidthSetting,
         "bloom = 0\r\r\nscreenHeight\r\r\nscreenWidth = 7\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RewriteText(row.in, row.settings, row.lineEnd, row.known), row.out) << row.in;
    }
}

TEST(ConfigRewrite, LongLinesAreWrittenWhole) {
    const std::string longLine = "# " + std::string(2 * 1024 * 1024, 'z');
    const std::string longKey = "screenWidth = 1" + std::string(1024 * 1024, ' ') + "tail";
    const std::string out =
        RewriteText(longLine + "\n" + longKey + "\nbloom = 1\n", Settings(640, 480, 16, 0), "\n");
    EXPECT_EQ(out,
              longLine + "\n" +
                  Lines({"screenWidth = 640", "bloom = 0", "screenHeight = 480", "screenBPP = 16"}, "\n"));
}
