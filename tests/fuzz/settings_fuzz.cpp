// Coverage-guided fuzzing of the config.cfg reader and rewriter. The first 16 bytes of an input are the
// four settings in memory (little-endian), the low four bits of the next byte the settings to write (the
// known ones), the rest is the file. Whatever the file holds, a rewrite must keep every other line and
// every line of a key it does not write byte for byte and in order, replace the lines of the keys it
// writes where they are, append those of them that are missing, and give back the settings in memory for
// those keys, and what the old file gave for the others, when read again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/byte_buffer.h"
#include "settings/config_text.h"
#include "settings_test_support.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzz: %s\n", what);
        std::abort();
    }
}

std::int32_t& Field(LauncherSettings& settings, ConfigKey key) {
    switch (key) {
    case ConfigKey::ScreenWidth:
        return settings.screenWidth;
    case ConfigKey::ScreenHeight:
        return settings.screenHeight;
    case ConfigKey::ScreenBPP:
        return settings.screenBPP;
    default:
        return settings.bloom;
    }
}

constexpr ConfigKey kKeys[] = {ConfigKey::ScreenWidth, ConfigKey::ScreenHeight, ConfigKey::ScreenBPP,
                               ConfigKey::Bloom};

std::string Rewrite(std::string_view in, const LauncherSettings& memory, SettingSet known,
                    std::string_view lineEnd) {
    ByteBuffer out;
    Require(RewriteConfigText(in, memory, known, lineEnd, out), "a rewrite of a small file has the memory");
    return std::string(out.view());
}

void CheckRewrite(std::string_view in, const LauncherSettings& memory, SettingSet known,
                  std::string_view lineEnd) {
    const std::string out = Rewrite(in, memory, known, lineEnd);
    const std::vector<std::string_view> before = settings_test::SplitLines(in);
    const std::vector<std::string_view> after = settings_test::SplitLines(out);
    Require(after.empty() || out.back() == '\n', "the rewrite ends with a line end");
    Require(HasByteOrderMark(out) == HasByteOrderMark(in),
            "a byte-order mark is kept, and only then written");

    Require(after.size() >= before.size(), "no line is lost");
    LauncherSettings copy = memory;
    SettingSet present = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const ConfigKey key = ClassifyConfigLine(before[i]).key;
        if ((SettingOf(key) & known) == 0) {
            Require(after[i] == before[i], "an other line is kept byte for byte, in place");
        } else {
            present |= SettingOf(key);
            Require(after[i] == FormatKeyLine(key, Field(copy, key)).View(),
                    "a key line gets the value in memory");
        }
    }
    std::size_t next = before.size();
    for (const ConfigKey key : kKeys) {
        if ((SettingOf(key) & known & ~present) != 0) {
            Require(next < after.size() && after[next] == FormatKeyLine(key, Field(copy, key)).View(),
                    "a missing key is appended in order");
            ++next;
        }
    }
    Require(next == after.size(), "nothing else is appended");

    LauncherSettings start;
    start.screenWidth = ~memory.screenWidth;
    start.screenHeight = ~memory.screenHeight;
    start.screenBPP = ~memory.screenBPP;
    start.bloom = ~memory.bloom;
    LauncherSettings expected = start;
    const SettingSet found = ApplyConfigText(in, expected);
    for (const ConfigKey key : kKeys) {
        if ((SettingOf(key) & known) != 0) {
            Field(expected, key) = Field(copy, key);
        }
    }
    LauncherSettings reread = start;
    Require(ApplyConfigText(out, reread) == (found | known), "the keys written are read back with a value");
    Require(reread == expected, "reading the rewrite gives the settings written and keeps the others");
    Require(Rewrite(out, memory, known, lineEnd) == out, "a second rewrite changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[17] = {};
    const std::size_t headerSize = size < sizeof(header) ? size : sizeof(header);
    for (std::size_t i = 0; i < headerSize; ++i) {
        header[i] = data[i];
    }
    LauncherSettings memory;
    for (int k = 0; k < 4; ++k) {
        const std::uint32_t bits = static_cast<std::uint32_t>(header[4 * k]) |
                                   static_cast<std::uint32_t>(header[4 * k + 1]) << 8 |
                                   static_cast<std::uint32_t>(header[4 * k + 2]) << 16 |
                                   static_cast<std::uint32_t>(header[4 * k + 3]) << 24;
        Field(memory, kKeys[k]) = static_cast<std::int32_t>(bits);
    }
    const SettingSet known = header[16] & kAllSettings;
    const std::string_view file(reinterpret_cast<const char*>(data) + headerSize, size - headerSize);

    CheckRewrite(file, memory, known, "\n");
    CheckRewrite(file, memory, known, "\r\n");
    return 0;
}
