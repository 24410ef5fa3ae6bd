// Random config files: whatever mix of key lines, near-key lines and arbitrary bytes a file holds, a
// rewrite keeps every other line byte for byte and in order, puts the settings in memory in place of the
// lines of the keys it writes, and reading the result gives back exactly those settings. Lines of keys
// it does not write stay as they were.
//
// The generator knows what each line is meant to be and what a read must give, so the checks do not
// rely on the code under test to say which lines are key lines.

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/config_file.h"
#include "settings/config_text.h"
#include "settings_test_support.h"

using settings_test::ReadBytes;
using settings_test::ReadSettingsAt;
using settings_test::RewriteText;
using settings_test::SplitLines;
using settings_test::TempDir;
using settings_test::WriteBytes;
using settings_test::WriteSettingsAt;

namespace {

const char* const kKeyNames[] = {"screenWidth", "screenHeight", "screenBPP", "bloom"};
const SettingSet kKeyBits[] = {kScreenWidthSetting, kScreenHeightSetting, kScreenBPPSetting, kBloomSetting};

std::int32_t& Field(LauncherSettings& settings, int key) {
    switch (key) {
    case 0:
        return settings.screenWidth;
    case 1:
        return settings.screenHeight;
    case 2:
        return settings.screenBPP;
    default:
        return settings.bloom;
    }
}

std::int32_t FieldValue(LauncherSettings settings, int key) {
    return Field(settings, key);
}

// One generated line: its meaning as a line of the file after splitting.
struct ExpectedLine {
    int key = -1;     // -1 for an other line
    std::string text; // the text the line keeps when it is carried over
};

struct GeneratedFile {
    std::string bytes;
    bool byteOrderMark = false;
    std::vector<ExpectedLine> lines; // in file order
    LauncherSettings afterRead;      // what reading it must give, starting from `start`
    LauncherSettings start;
    SettingSet found = 0; // the keys whose lines give a value
};

class ConfigGenerator {
public:
    explicit ConfigGenerator(std::uint32_t seed) : rng_(seed) {}

    GeneratedFile Generate() {
        GeneratedFile file;
        file.start = RandomSettings();
        file.afterRead = file.start;
        file.byteOrderMark = Chance(10);
        if (file.byteOrderMark) {
            file.bytes = "\xEF\xBB\xBF";
        }
        const int count = Below(4) == 0 ? Below(3) : Below(40);
        for (int i = 0; i < count; ++i) {
            const bool last = i + 1 == count;
            ExpectedLine line;
            std::string text;
            switch (Below(5)) {
            case 0:
            case 1:
                text = KeyLine(line, file.afterRead, file.found);
                break;
            case 2:
                text = NearKeyLine();
                break;
            default:
                text = OtherLine();
                break;
            }
            if (Chance(8)) {
                text += '\r'; // a stray CR: part of the text unless a LF follows
            }
            std::string lineEnd = Chance(2) ? "\n" : "\r\n";
            if (last && !text.empty() && Chance(3)) {
                lineEnd.clear();
            }
            line.text = text;
            if (lineEnd == "\n" && !text.empty() && text.back() == '\r') {
                line.text.pop_back(); // that CR and the LF form a CR LF line end
            }
            file.bytes += text + lineEnd;
            file.lines.push_back(line);
        }
        return file;
    }

    // The settings a rewrite writes: mostly all, often a few.
    SettingSet RandomKnown() { return Chance(3) ? kAllSettings : static_cast<SettingSet>(Below(16)); }

    LauncherSettings RandomSettings() {
        LauncherSettings settings;
        for (int key = 0; key < 4; ++key) {
            Field(settings, key) = RandomValue();
        }
        return settings;
    }

private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool Chance(int oneIn) { return Below(oneIn) == 0; }

    std::int32_t RandomValue() {
        static const std::int32_t kInteresting[] = {0,   1,   -1,   5,     16,        32,       600,
                                                    768, 800, 1024, 99999, INT32_MAX, INT32_MIN};
        if (Chance(2)) {
            return kInteresting[Below(sizeof(kInteresting) / sizeof(kInteresting[0]))];
        }
        return static_cast<std::int32_t>(rng_());
    }

    // A key line; records in `line` which key, and in `settings` and `found` what reading it does.
    std::string KeyLine(ExpectedLine& line, LauncherSettings& settings, SettingSet& found) {
        line.key = Below(4);
        const std::string key = kKeyNames[line.key];
        switch (Below(3)) {
        case 0: { // a usable value
            const std::int32_t value = RandomValue();
            const std::string digits = std::to_string(value);
            Field(settings, line.key) = value;
            found |= kKeyBits[line.key];
            switch (Below(7)) {
            case 0:
                return key + " = " + digits;
            case 1:
                return key + "=" + digits;
            case 2:
                return key + " \t= \t" + digits;
            case 3:
                return key + " =   " + digits + " // comment";
            case 4:
                return key + " = " + (value >= 0 ? "+" + digits : digits);
            case 5:
                return key + " = " + (value < 0 ? "-000" + digits.substr(1) : "000" + digits);
            default:
                return key + " =\v\f " + digits + "x";
            }
        }
        case 1: // no digits: reads as 0
            Field(settings, line.key) = 0;
            found |= kKeyBits[line.key];
            switch (Below(4)) {
            case 0:
                return key + " = x";
            case 1:
                return key + " =";
            case 2:
                return key + "= -";
            default:
                return key + " = +-3";
            }
        default: // no "=" or a number out of range: the setting stays
            switch (Below(6)) {
            case 0:
                return key;
            case 1:
                return key + " 800";
            case 2:
                return key + ":800";
            case 3:
                return key + " = 2147483648";
            case 4:
                return key + " = -2147483649";
            default:
                return key + " = 99999999999999999999";
            }
        }
    }

    // A line that looks like a key line and is not one.
    std::string NearKeyLine() {
        std::string key = kKeyNames[Below(4)];
        switch (Below(9)) {
        case 0:
            return key + "Max = 2048";
        case 1:
            return key + "_old = 1";
        case 2:
            return key + "2 = 5";
        case 3:
            return " " + key + " = 5";
        case 4:
            return "\t" + key + "=5";
        case 5:
            key[0] = static_cast<char>(key[0] - 'a' + 'A');
            return key + " = 800";
        case 6:
            key.pop_back();
            return key + " = 1";
        case 7:
            return key + "\xC3\xA9 = 1";
        default:
            return "// " + key + " = 1";
        }
    }

    // Arbitrary bytes other than LF, with NUL, CR, 0x1A and byte-order-mark bytes likely. It never begins
    // with the first byte of a key or of a byte-order mark, so it cannot be a key line.
    std::string OtherLine() {
        static const char kLikely[] = {'\0', '\r', '\x1A', '\xEF', '\xBB', '\xBF', ' ', '=', '\t', 's', 'b'};
        const int length = Chance(50) ? 5000 + Below(5000) : Below(30);
        std::string text;
        text.reserve(static_cast<std::size_t>(length));
        for (int i = 0; i < length; ++i) {
            char c = Chance(3) ? kLikely[Below(sizeof(kLikely))] : static_cast<char>(Below(256));
            if (c == '\n') {
                c = '#';
            }
            text += c;
        }
        if (!text.empty() && (text[0] == 's' || text[0] == 'b' || text[0] == '\xEF')) {
            text.insert(text.begin(), '#');
        }
        return text;
    }

    std::mt19937 rng_;
};

// Checks a rewritten text against what the generator meant the old one to hold.
void CheckRewrite(const GeneratedFile& file, const LauncherSettings& memory, SettingSet known,
                  const std::string& out, std::string_view lineEnd) {
    EXPECT_EQ(HasByteOrderMark(out), file.byteOrderMark);
    const std::vector<std::string_view> lines = SplitLines(out);
    if (!lines.empty()) {
        EXPECT_EQ(out.back(), '\n');
    }
    // Every line ends with the line end asked for, or CR LF for a line whose text ends in CR.
    std::size_t lineStart = file.byteOrderMark ? 3 : 0;
    for (std::size_t lf = out.find('\n', lineStart); lf != std::string::npos; lf = out.find('\n', lf + 1)) {
        if (lineEnd == "\r\n") {
            EXPECT_TRUE(lf > lineStart && out[lf - 1] == '\r');
        }
        lineStart = lf + 1;
    }

    ASSERT_GE(lines.size(), file.lines.size());
    bool present[4] = {};
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const ExpectedLine& expected = file.lines[i];
        if (expected.key < 0 || (known & kKeyBits[expected.key]) == 0) {
            ASSERT_EQ(lines[i], expected.text) << "line " << i << " carried over";
        } else {
            present[expected.key] = true;
            ASSERT_EQ(lines[i], std::string(kKeyNames[expected.key]) + " = " +
                                    std::to_string(FieldValue(memory, expected.key)))
                << "key line " << i;
        }
    }
    std::size_t next = file.lines.size();
    for (int key = 0; key < 4; ++key) {
        if ((known & kKeyBits[key]) != 0 && !present[key]) {
            ASSERT_LT(next, lines.size());
            EXPECT_EQ(lines[next],
                      std::string(kKeyNames[key]) + " = " + std::to_string(FieldValue(memory, key)));
            ++next;
        }
    }
    EXPECT_EQ(next, lines.size()) << "no line beyond the appended keys";

    // Read back: the written keys give the settings in memory, the others what the old file gave.
    LauncherSettings expected = file.afterRead;
    for (int key = 0; key < 4; ++key) {
        if ((known & kKeyBits[key]) != 0) {
            Field(expected, key) = FieldValue(memory, key);
        }
    }
    LauncherSettings reread = file.start;
    EXPECT_EQ(ApplyConfigText(out, reread), known | file.found);
    EXPECT_EQ(reread, expected);
}

constexpr std::uint32_t kBaseSeed = 20240611;

} // namespace

TEST(ConfigProperty, RandomFilesKeepEveryOtherLineAndRereadAsWritten) {
    for (std::uint32_t round = 0; round < 4000; ++round) {
        const std::uint32_t seed = kBaseSeed + round;
        SCOPED_TRACE("seed " + std::to_string(seed));
        ConfigGenerator generator(seed);
        const GeneratedFile file = generator.Generate();

        LauncherSettings read = file.start;
        ASSERT_EQ(ApplyConfigText(file.bytes, read), file.found);
        ASSERT_EQ(read, file.afterRead);

        const LauncherSettings memory = generator.RandomSettings();
        const SettingSet known = generator.RandomKnown();
        for (const std::string_view lineEnd : {std::string_view("\n"), std::string_view("\r\n")}) {
            const std::string out = RewriteText(file.bytes, memory, lineEnd, known);
            CheckRewrite(file, memory, known, out, lineEnd);
            ASSERT_EQ(RewriteText(out, memory, lineEnd, known), out) << "a second rewrite changes nothing";
            if (HasFatalFailure() || HasNonfatalFailure()) {
                return;
            }
        }
    }
}

TEST(ConfigProperty, RandomFilesOnDisk) {
    TempDir dir;
    const std::string path = dir.File("config.cfg");
    for (std::uint32_t round = 0; round < 150; ++round) {
        const std::uint32_t seed = kBaseSeed + 1000000 + round;
        SCOPED_TRACE("seed " + std::to_string(seed));
        ConfigGenerator generator(seed);
        const GeneratedFile file = generator.Generate();
        ASSERT_TRUE(WriteBytes(path, file.bytes));

        LauncherSettings read = file.start;
        SettingSet found = 0;
        ASSERT_TRUE(ReadSettingsAt(path, read, &found));
        ASSERT_EQ(read, file.afterRead);
        ASSERT_EQ(found, file.found);

        const LauncherSettings memory = generator.RandomSettings();
        const SettingSet known = generator.RandomKnown();
        ASSERT_TRUE(WriteSettingsAt(path, memory, known));
        CheckRewrite(file, memory, known, ReadBytes(path), kPlatformLineEnd);
        ASSERT_EQ(dir.Names(), std::vector<std::string>{"config.cfg"});
        if (HasFatalFailure() || HasNonfatalFailure()) {
            return;
        }
    }
}
