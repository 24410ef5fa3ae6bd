// Random config files: whatever mix of key lines, near-key lines and arbitrary bytes a file holds, reading
// it and rewriting it give what the reference of config_reference.h gives, in memory and on disk.

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/config_file.h"
#include "settings/config_text.h"
#include "config_reference.h"
#include "settings_test_support.h"

using settings_test::ReadBytes;
using settings_test::ReadSettingsAt;
using settings_test::RewriteText;
using settings_test::TempDir;
using settings_test::WriteBytes;
using settings_test::WriteSettingsAt;

namespace {

using config_reference::kNames;

// A file and the settings a read of it starts from.
struct GeneratedFile {
    std::string bytes;
    LauncherSettings start;
};

class ConfigGenerator {
public:
    explicit ConfigGenerator(std::uint32_t seed) : rng_(seed) {}

    GeneratedFile Generate() {
        GeneratedFile file;
        file.start = RandomSettings();
        if (Chance(10)) {
            file.bytes = "\xEF\xBB\xBF";
        }
        const int count = Below(4) == 0 ? Below(3) : Below(40);
        for (int i = 0; i < count; ++i) {
            const bool last = i + 1 == count;
            std::string text;
            switch (Below(5)) {
            case 0:
            case 1:
                text = KeyLine();
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
            file.bytes += text + lineEnd;
        }
        return file;
    }

    // The settings a rewrite writes: mostly all, often a few.
    SettingSet RandomKnown() { return Chance(3) ? kAllSettings : static_cast<SettingSet>(Below(16)); }

    LauncherSettings RandomSettings() {
        LauncherSettings settings;
        for (int key = 0; key < 4; ++key) {
            config_reference::Field(settings, key) = RandomValue();
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

    // A key line: with a usable value, without digits, or without a value.
    std::string KeyLine() {
        const std::string key = kNames[Below(4)];
        switch (Below(3)) {
        case 0: { // a usable value
            const std::int32_t value = RandomValue();
            const std::string digits = std::to_string(value);
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
        std::string key = kNames[Below(4)];
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

// Reading the file gives what the reference reads, from the same start.
void CheckRead(const GeneratedFile& file, const LauncherSettings& read, SettingSet found) {
    LauncherSettings expected = file.start;
    EXPECT_EQ(found, config_reference::Read(file.bytes, expected));
    EXPECT_EQ(read, expected);
}

constexpr std::uint32_t kBaseSeed = 20240611;

} // namespace

TEST(ConfigProperty, RandomFilesReadAndRewrittenAsTheReferenceDoes) {
    for (std::uint32_t round = 0; round < 4000; ++round) {
        const std::uint32_t seed = kBaseSeed + round;
        SCOPED_TRACE("seed " + std::to_string(seed));
        ConfigGenerator generator(seed);
        const GeneratedFile file = generator.Generate();

        LauncherSettings read = file.start;
        const SettingSet found = ApplyConfigText(file.bytes, read);
        CheckRead(file, read, found);

        const LauncherSettings memory = generator.RandomSettings();
        const SettingSet known = generator.RandomKnown();
        for (const std::string_view lineEnd : {std::string_view("\n"), std::string_view("\r\n")}) {
            const std::string out = RewriteText(file.bytes, memory, lineEnd, known);
            ASSERT_EQ(out, config_reference::Rewrite(file.bytes, memory, known, std::string(lineEnd)));
            ASSERT_EQ(RewriteText(out, memory, lineEnd, known), out) << "a second rewrite changes nothing";
        }
        if (HasNonfatalFailure()) {
            return;
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
        CheckRead(file, read, found);

        const LauncherSettings memory = generator.RandomSettings();
        const SettingSet known = generator.RandomKnown();
        ASSERT_TRUE(WriteSettingsAt(path, memory, known));
        ASSERT_EQ(ReadBytes(path),
                  config_reference::Rewrite(file.bytes, memory, known, std::string(kPlatformLineEnd)));
        ASSERT_EQ(dir.Names(), std::vector<std::string>{"config.cfg"});
        if (HasNonfatalFailure()) {
            return;
        }
    }
}
