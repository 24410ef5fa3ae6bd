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

LauncherSettings ReadText(std::string_view bytes, LauncherSettings start = LauncherSettings{}) {
    ApplyConfigText(bytes, start);
    return start;
}

std::int32_t Convert(std::string_view text, std::int32_t start = 12345) {
    ConvertConfigValue(text, start);
    return start;
}

const std::string kWorkedExample =
    Lines({"// comment", "screenWidth = 1024", "screenHeight = 768", "screenBPP = 32", "bloom = 1"}, "\r\n");

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Splitting into lines

TEST(ConfigLines, EmptyFileHasNoLines) {
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(ConfigLines, LineEndsAtLineFeed) {
    EXPECT_EQ(SplitToStrings("a\nbb\n\nccc\n"), (std::vector<std::string>{"a", "bb", "", "ccc"}));
}

TEST(ConfigLines, CarriageReturnBeforeLineFeedBelongsToTheLineEnd) {
    EXPECT_EQ(SplitToStrings("a\r\nbb\r\n\r\n"), (std::vector<std::string>{"a", "bb", ""}));
}

TEST(ConfigLines, MixedLineEnds) {
    EXPECT_EQ(SplitToStrings("a\r\nb\nc\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(ConfigLines, OtherCarriageReturnsStayInTheText) {
    EXPECT_EQ(SplitToStrings("a\rb\nc\r\r\nd\r"), (std::vector<std::string>{"a\rb", "c\r", "d\r"}));
}

TEST(ConfigLines, LastLineWithoutNewlineIsALine) {
    EXPECT_EQ(SplitToStrings("first\nlast"), (std::vector<std::string>{"first", "last"}));
    EXPECT_EQ(SplitToStrings("\n"), (std::vector<std::string>{""}));
}

TEST(ConfigLines, NulAndEndOfFileBytesAreOrdinaryBytes) {
    const std::string bytes = "a\0b\n\x1A\nc\x1A\0\n"s;
    EXPECT_EQ(SplitToStrings(bytes), (std::vector<std::string>{"a\0b"s, "\x1A", "c\x1A\0"s}));
}

TEST(ConfigLines, ByteOrderMarkIsNotPartOfTheFirstLine) {
    EXPECT_TRUE(HasByteOrderMark("\xEF\xBB\xBFscreenWidth = 1\n"));
    EXPECT_EQ(SplitToStrings("\xEF\xBB\xBFscreenWidth = 1\nx\n"),
              (std::vector<std::string>{"screenWidth = 1", "x"}));
    EXPECT_TRUE(SplitLines("\xEF\xBB\xBF").empty());
}

TEST(ConfigLines, ByteOrderMarkOnlyAtTheStart) {
    EXPECT_FALSE(HasByteOrderMark("\xEF\xBB"));
    EXPECT_FALSE(HasByteOrderMark(" \xEF\xBB\xBF"));
    EXPECT_EQ(SplitToStrings("x\n\xEF\xBB\xBFy\n"), (std::vector<std::string>{"x", "\xEF\xBB\xBFy"}));
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

TEST(ConfigKeys, EachKeyIsRecognised) {
    EXPECT_EQ(ClassifyConfigLine("screenWidth = 1").key, ConfigKey::ScreenWidth);
    EXPECT_EQ(ClassifyConfigLine("screenHeight = 1").key, ConfigKey::ScreenHeight);
    EXPECT_EQ(ClassifyConfigLine("screenBPP = 1").key, ConfigKey::ScreenBPP);
    EXPECT_EQ(ClassifyConfigLine("bloom = 1").key, ConfigKey::Bloom);
}

TEST(ConfigKeys, KeyIsAWholeWord) {
    for (const char* line : {"screenWidthMax = 2048", "screenWidth2 = 1", "screenWidth_old = 1", "bloomy = 1",
                             "screenBPPs = 32", "screenHeightX", "screenWidth\xC3\xA9 = 1"}) {
        EXPECT_EQ(ClassifyConfigLine(line).key, ConfigKey::None) << line;
    }
}

TEST(ConfigKeys, KeyMayEndTheLineOrBeFollowedByAnyOtherByte) {
    for (const std::string& line : {"screenWidth"s, "screenWidth = 1"s, "screenWidth=1"s, "screenWidth\t= 1"s,
                                    "screenWidth:1"s, "screenWidth\r"s, "screenWidth\0"s, "screenWidth-1"s}) {
        EXPECT_EQ(ClassifyConfigLine(line).key, ConfigKey::ScreenWidth) << line;
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

TEST(ConfigKeys, CaseMatters) {
    EXPECT_EQ(ClassifyConfigLine("ScreenWidth = 800").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("screenwidth = 800").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("BLOOM = 1").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("screenBpp = 32").key, ConfigKey::None);
}

TEST(ConfigKeys, KeyMustStartTheLine) {
    EXPECT_EQ(ClassifyConfigLine(" screenWidth = 800").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("\tbloom = 1").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("// screenWidth = 800").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("").key, ConfigKey::None);
    EXPECT_EQ(ClassifyConfigLine("screenWidt").key, ConfigKey::None);
}

TEST(ConfigKeys, KeyWithoutEqualsSignHasNoValue) {
    for (const char* line : {"screenWidth", "screenWidth 800", "screenWidth:800", "screenWidth ;= 800"}) {
        const ConfigLineInfo info = ClassifyConfigLine(line);
        EXPECT_EQ(info.key, ConfigKey::ScreenWidth) << line;
        EXPECT_FALSE(info.hasValue) << line;
    }
}

TEST(ConfigKeys, BlanksAndTabsMayPrecedeTheEqualsSign) {
    const ConfigLineInfo info = ClassifyConfigLine("screenHeight \t \t= 600");
    EXPECT_TRUE(info.hasValue);
    EXPECT_EQ(info.value, 600);
}

// ---------------------------------------------------------------------------------------------------------
// Converting values

TEST(ConfigValues, PlainNumbers) {
    EXPECT_EQ(Convert("0"), 0);
    EXPECT_EQ(Convert("1024"), 1024);
    EXPECT_EQ(Convert("128"), 128);
    EXPECT_EQ(Convert("12345"), 12345);
    EXPECT_EQ(Convert("65536"), 65536);
}

TEST(ConfigValues, Signs) {
    EXPECT_EQ(Convert("-1"), -1);
    EXPECT_EQ(Convert("+800"), 800);
    EXPECT_EQ(Convert("-0"), 0);
}

TEST(ConfigValues, LeadingWhiteSpaceIsSkipped) {
    EXPECT_EQ(Convert("   1"), 1);
    EXPECT_EQ(Convert(" \t\n\v\f\r42"), 42);
}

TEST(ConfigValues, DigitsEndAtTheFirstOtherByte) {
    EXPECT_EQ(Convert("1024x768"), 1024);
    EXPECT_EQ(Convert("32 // bits"), 32);
    EXPECT_EQ(Convert("7\r"), 7);
    EXPECT_EQ(Convert("7\0"
                      "9"s),
              7);
    EXPECT_EQ(Convert("1 2"), 1);
}

TEST(ConfigValues, NoDigitsGivesZero) {
    EXPECT_EQ(Convert(""), 0);
    EXPECT_EQ(Convert("x"), 0);
    EXPECT_EQ(Convert("   "), 0);
    EXPECT_EQ(Convert("-"), 0);
    EXPECT_EQ(Convert("+-3"), 0);
    EXPECT_EQ(Convert("- 3"), 0);
}

TEST(ConfigValues, LimitsOfA32BitInteger) {
    EXPECT_EQ(Convert("2147483647"), INT32_MAX);
    EXPECT_EQ(Convert("-2147483648"), INT32_MIN);
    EXPECT_EQ(Convert("0000000000000000000000002147483647"), INT32_MAX);
}

TEST(ConfigValues, NumbersThatDoNotFitLeaveTheValueUnchanged) {
    for (const char* text :
         {"2147483648", "-2147483649", "99999999999999999999999999", "+4294967296", "18446744073709551616"}) {
        std::int32_t value = 77;
        EXPECT_FALSE(ConvertConfigValue(text, value)) << text;
        EXPECT_EQ(value, 77) << text;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Reading settings from the text

TEST(ConfigRead, WorkedExample) {
    EXPECT_EQ(ReadText(kWorkedExample), Settings(1024, 768, 32, 1));
}

TEST(ConfigRead, ValuesReadRight) {
    EXPECT_EQ(ReadText("screenWidth=1024\n").screenWidth, 1024);
    EXPECT_EQ(ReadText("screenBPP = 128\n").screenBPP, 128);
    EXPECT_EQ(ReadText("screenWidth = 10240\n").screenWidth, 10240);
    EXPECT_EQ(ReadText("bloom = x\n", Settings(0, 0, 0, 9)).bloom, 0);
    EXPECT_EQ(ReadText("bloom =   1\n").bloom, 1);
    EXPECT_EQ(ReadText("bloom = -1\n").bloom, -1);
    EXPECT_EQ(ReadText("screenWidth = +800\n").screenWidth, 800);
    EXPECT_EQ(ReadText("screenHeight =\n", Settings(0, 9, 0, 0)).screenHeight, 0);
}

TEST(ConfigRead, ValuesAreNotRangeTested) {
    EXPECT_EQ(ReadText("bloom = 5\nscreenWidth = -640\nscreenBPP = 0\n"), Settings(-640, 0, 0, 5));
}

TEST(ConfigRead, FieldWithoutKeyLineKeepsItsValue) {
    EXPECT_EQ(ReadText("screenHeight = 600\n", Settings(1, 2, 3, 4)), Settings(1, 600, 3, 4));
    EXPECT_EQ(ReadText("", Settings(1, 2, 3, 4)), Settings(1, 2, 3, 4));
}

TEST(ConfigRead, LastLineOfAKeyWins) {
    EXPECT_EQ(ReadText("screenWidth = 800\nbloom = 1\nscreenWidth = 1600\n").screenWidth, 1600);
}

TEST(ConfigRead, UnusableKeyLineLeavesTheSettingUnchanged) {
    const LauncherSettings start = Settings(11, 22, 33, 44);
    EXPECT_EQ(ReadText("screenWidth\n", start), start);
    EXPECT_EQ(ReadText("screenWidth 800\n", start), start);
    EXPECT_EQ(ReadText("screenHeight = 2147483648\n", start), start);
    EXPECT_EQ(ReadText("bloom = -99999999999\n", start), start);
    // An unusable line does not undo an earlier usable one.
    EXPECT_EQ(ReadText("screenWidth = 800\nscreenWidth\n", start).screenWidth, 800);
}

TEST(ConfigRead, TellsWhichKeysGotAValue) {
    LauncherSettings settings;
    EXPECT_EQ(ApplyConfigText("screenWidth = 8\nscreenHeight\nbloom = x\n  screenBPP = 32\n", settings),
              kScreenWidthSetting | kBloomSetting);
    EXPECT_EQ(ApplyConfigText("screenBPP = 99999999999\nscreenWidthMax = 1\n", settings), 0u);
    EXPECT_EQ(ApplyConfigText("", settings), 0u);
}

TEST(ConfigRead, OtherLinesAreIgnored) {
    const LauncherSettings start = Settings(11, 22, 33, 44);
    EXPECT_EQ(ReadText("screenWidthMax = 2048\nScreenWidth = 800\n screenHeight = 1\n#bloom = 1\n", start),
              start);
}

TEST(ConfigRead, LineEndsAndByteOrderMark) {
    EXPECT_EQ(ReadText("\xEF\xBB\xBFscreenWidth = 1\r\nscreenHeight = 2\nscreenBPP = 3\r\nbloom = 4"),
              Settings(1, 2, 3, 4));
}

TEST(ConfigRead, EndOfFileByteDoesNotEndTheFile) {
    EXPECT_EQ(ReadText("\x1A\nscreenWidth = 3\n\0\nbloom = 4\n"s), Settings(3, 0, 0, 4));
}

// ---------------------------------------------------------------------------------------------------------
// The rewritten text

TEST(ConfigRewrite, WorkedExample) {
    LauncherSettings settings = ReadText(kWorkedExample);
    settings.screenWidth = 1280;
    settings.screenHeight = 1024;
    settings.screenBPP = 32;
    settings.bloom = 0;
    EXPECT_EQ(
        RewriteText(kWorkedExample, settings, "\r\n"),
        Lines({"// comment", "screenWidth = 1280", "screenHeight = 1024", "screenBPP = 32", "bloom = 0"},
              "\r\n"));
}

TEST(ConfigRewrite, EveryLineGetsTheSameLineEnd) {
    const std::string in = "a\r\nscreenWidth = 1\nb\n\r\nc";
    const LauncherSettings s = Settings(5, 6, 7, 8);
    EXPECT_EQ(RewriteText(in, s, "\n"),
              Lines({"a", "screenWidth = 5", "b", "", "c", "screenHeight = 6", "screenBPP = 7", "bloom = 8"},
                    "\n"));
    EXPECT_EQ(RewriteText(in, s, "\r\n"),
              Lines({"a", "screenWidth = 5", "b", "", "c", "screenHeight = 6", "screenBPP = 7", "bloom = 8"},
                    "\r\n"));
}

TEST(ConfigRewrite, KeyLineIsReplacedAsAWhole) {
    EXPECT_EQ(
        RewriteText("screenWidth=0800 // wide\nbloom\nscreenBPP:16\n", Settings(1920, 1080, 32, 1), "\n"),
        Lines({"screenWidth = 1920", "bloom = 1", "screenBPP = 32", "screenHeight = 1080"}, "\n"));
}

TEST(ConfigRewrite, WrittenFormOfValues) {
    EXPECT_EQ(FormatKeyLine(ConfigKey::ScreenWidth, -640).View(), "screenWidth = -640");
    EXPECT_EQ(FormatKeyLine(ConfigKey::ScreenHeight, 0).View(), "screenHeight = 0");
    EXPECT_EQ(FormatKeyLine(ConfigKey::ScreenBPP, INT32_MIN).View(), "screenBPP = -2147483648");
    EXPECT_EQ(FormatKeyLine(ConfigKey::Bloom, INT32_MAX).View(), "bloom = 2147483647");
}

TEST(ConfigRewrite, OtherLinesAreKeptByteForByte) {
    const std::string other1 = "screenWidthMax = 2048";
    const std::string other2 = "ScreenWidth = 800";
    const std::string other3 = " screenWidth = 800";
    const std::string other4 = "\0bin\x1A\xFF\xEF\xBB\xBF\ttext \r inner"s;
    const std::string in = other1 + "\n" + other2 + "\r\n" + other3 + "\n" + other4 + "\n";
    const std::string out = RewriteText(in, Settings(1, 2, 3, 4), "\n");
    EXPECT_EQ(out, other1 + "\n" + other2 + "\n" + other3 + "\n" + other4 + "\n" +
                       Lines({"screenWidth = 1", "screenHeight = 2", "screenBPP = 3", "bloom = 4"}, "\n"));
}

TEST(ConfigRewrite, LineEndingInCarriageReturnKeepsIt) {
    // With LF line ends the CR would otherwise turn into part of the line end on the next read.
    const std::string out = RewriteText("a\r\r\nb\r", Settings(0, 0, 0, 0), "\n");
    EXPECT_EQ(out.substr(0, 8), "a\r\r\nb\r\r\n");
    const std::vector<std::string> lines = SplitToStrings(out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "a\r");
    EXPECT_EQ(lines[1], "b\r");
}

TEST(ConfigRewrite, EmptyLinesStayInPlace) {
    EXPECT_EQ(
        RewriteText("\n\nbloom = 1\n\n# x\n\n", Settings(1, 2, 3, 0), "\n"),
        Lines({"", "", "bloom = 0", "", "# x", "", "screenWidth = 1", "screenHeight = 2", "screenBPP = 3"},
              "\n"));
}

TEST(ConfigRewrite, LastLineWithoutNewlineGetsOne) {
    EXPECT_EQ(RewriteText("screenWidth = 1\nscreenHeight = 2\nscreenBPP = 3\nbloom = 4", Settings(1, 2, 3, 4),
                          "\r\n"),
              Lines({"screenWidth = 1", "screenHeight = 2", "screenBPP = 3", "bloom = 4"}, "\r\n"));
    EXPECT_EQ(RewriteText("# tail", Settings(1, 2, 3, 4), "\n").substr(0, 7), "# tail\n");
}

TEST(ConfigRewrite, EmptyTextGetsTheFourLines) {
    EXPECT_EQ(RewriteText("", Settings(800, 600, 32, 1), "\n"),
              Lines({"screenWidth = 800", "screenHeight = 600", "screenBPP = 32", "bloom = 1"}, "\n"));
}

TEST(ConfigRewrite, MissingKeysAreAppendedInOrder) {
    EXPECT_EQ(RewriteText("bloom = 1\nscreenHeight = 2\n", Settings(7, 8, 9, 0), "\n"),
              Lines({"bloom = 0", "screenHeight = 8", "screenWidth = 7", "screenBPP = 9"}, "\n"));
}

TEST(ConfigRewrite, NearKeysDoNotCountAsPresent) {
    EXPECT_EQ(RewriteText("screenWidthMax = 2048\nScreenWidth = 800\n screenWidth = 800\n",
                          Settings(1, 2, 3, 4), "\n"),
              Lines({"screenWidthMax = 2048", "ScreenWidth = 800", " screenWidth = 800", "screenWidth = 1",
                     "screenHeight = 2", "screenBPP = 3", "bloom = 4"},
                    "\n"));
}

TEST(ConfigRewrite, OnlyKnownKeysAreWrittenOrAppended) {
    // A key outside the set has no value worth storing: its lines stay as they are, and none is added.
    struct Row {
        const char* in;
        SettingSet known;
        const char* out;
    };
    const Row rows[] = {
        {"", kBloomSetting, "bloom = 1\n"},
        {"", 0, ""},
        {"x\r\n", 0, "x\n"},
        {"screenBPP:16\nscreenWidth = 5 // wide\n", kBloomSetting,
         "screenBPP:16\nscreenWidth = 5 // wide\nbloom = 1\n"},
        {"# c\r\nscreenWidth = 1024\r\nscreenHeight=768\n  screenBPP = 32\nbloom = 1",
         kScreenWidthSetting | kScreenHeightSetting | kBloomSetting,
         "# c\nscreenWidth = 7\nscreenHeight = 8\n  screenBPP = 32\nbloom = 1\n"},
        {"bloom = 0\r\r\nscreenHeight\r\r\n", kScreenWidthSetting,
         "bloom = 0\r\r\nscreenHeight\r\r\nscreenWidth = 7\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RewriteText(row.in, Settings(7, 8, 9, 1), "\n", row.known), row.out) << row.in;
    }
}

TEST(ConfigRewrite, SameKeyTwiceBothGetTheValueInMemory) {
    EXPECT_EQ(
        RewriteText("screenWidth = 1\nx\nscreenWidth = 2\n", Settings(3, 4, 5, 6), "\n"),
        Lines({"screenWidth = 3", "x", "screenWidth = 3", "screenHeight = 4", "screenBPP = 5", "bloom = 6"},
              "\n"));
}

TEST(ConfigRewrite, OutOfRangeAndNegativeValuesAreWrittenBackAsTheyAre) {
    const std::string in =
        Lines({"screenWidth = -800", "screenHeight = -1", "screenBPP = 7", "bloom = 5"}, "\n");
    EXPECT_EQ(RewriteText(in, ReadText(in), "\n"), in);
}

TEST(ConfigRewrite, ByteOrderMarkIsKept) {
    EXPECT_EQ(RewriteText("\xEF\xBB\xBFscreenWidth = 1\n", Settings(2, 3, 4, 5), "\n"),
              "\xEF\xBB\xBF" +
                  Lines({"screenWidth = 2", "screenHeight = 3", "screenBPP = 4", "bloom = 5"}, "\n"));
    EXPECT_EQ(RewriteText("\xEF\xBB\xBF", Settings(2, 3, 4, 5), "\n"),
              "\xEF\xBB\xBF" +
                  Lines({"screenWidth = 2", "screenHeight = 3", "screenBPP = 4", "bloom = 5"}, "\n"));
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

TEST(ConfigRewrite, RereadingGivesTheSettingsInMemory) {
    const LauncherSettings memory = Settings(INT32_MIN, INT32_MAX, -1, 5);
    const std::string out = RewriteText(kWorkedExample + "screenWidth = 99999999999\n", memory, "\r\n");
    EXPECT_EQ(ReadText(out, Settings(9, 9, 9, 9)), memory);
}

TEST(ConfigRewrite, RewritingTwiceChangesNothingMore) {
    const LauncherSettings memory = Settings(1, 2, 3, 4);
    const std::string once = RewriteText("a\r\nscreenBPP\nb\r\rc", memory, "\n");
    EXPECT_EQ(RewriteText(once, memory, "\n"), once);
}
