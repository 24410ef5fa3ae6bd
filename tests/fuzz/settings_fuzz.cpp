// Coverage-guided fuzzing of the config.cfg reader and rewriter. The first 16 bytes of an input are the
// four settings in memory (little-endian), the rest is the file. Whatever the file holds, a rewrite must
// keep every other line byte for byte and in order, replace key lines where they are, append missing
// keys, and give back the settings in memory when read again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config_text.h"

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

bool Same(const LauncherSettings& a, const LauncherSettings& b) {
    return a.screenWidth == b.screenWidth && a.screenHeight == b.screenHeight && a.screenBPP == b.screenBPP &&
           a.bloom == b.bloom;
}

constexpr ConfigKey kKeys[] = {ConfigKey::ScreenWidth, ConfigKey::ScreenHeight, ConfigKey::ScreenBPP,
                               ConfigKey::Bloom};

void CheckRewrite(std::string_view in, const LauncherSettings& memory, std::string_view lineEnd) {
    const std::string out = RewriteConfigText(in, memory, lineEnd);
    Require(!out.empty() && out.back() == '\n', "the rewrite ends with a line end");
    Require(HasByteOrderMark(out) == HasByteOrderMark(in),
            "a byte-order mark is kept, and only then written");

    const std::vector<std::string_view> before = SplitConfigLines(in);
    const std::vector<std::string_view> after = SplitConfigLines(out);
    Require(after.size() >= before.size(), "no line is lost");
    LauncherSettings copy = memory;
    bool present[4] = {};
    for (std::size_t i = 0; i < before.size(); ++i) {
        const ConfigKey key = ClassifyConfigLine(before[i]).key;
        if (key == ConfigKey::None) {
            Require(after[i] == before[i], "an other line is kept byte for byte, in place");
        } else {
            present[static_cast<int>(key) - 1] = true;
            Require(after[i] == FormatKeyLine(key, Field(copy, key)), "a key line gets the value in memory");
        }
    }
    std::size_t next = before.size();
    for (const ConfigKey key : kKeys) {
        if (!present[static_cast<int>(key) - 1]) {
            Require(next < after.size() && after[next] == FormatKeyLine(key, Field(copy, key)),
                    "a missing key is appended in order");
            ++next;
        }
    }
    Require(next == after.size(), "nothing else is appended");

    LauncherSettings reread;
    reread.screenWidth = ~memory.screenWidth;
    reread.screenHeight = ~memory.screenHeight;
    reread.screenBPP = ~memory.screenBPP;
    reread.bloom = ~memory.bloom;
    ApplyConfigText(out, reread);
    Require(Same(reread, memory), "reading the rewrite gives the settings in memory");
    Require(RewriteConfigText(out, memory, lineEnd) == out, "a second rewrite changes nothing");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[16] = {};
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
    const std::string_view file(reinterpret_cast<const char*>(data) + headerSize, size - headerSize);

    LauncherSettings read = memory;
    ApplyConfigText(file, read);

    CheckRewrite(file, memory, "\n");
    CheckRewrite(file, memory, "\r\n");
    return 0;
}
