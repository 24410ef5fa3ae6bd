#include "config_text.h"

#include <cstddef>
#include <cstdio>

namespace {

struct KeyEntry {
    ConfigKey key;
    std::string_view name;
    std::int32_t LauncherSettings::*field;
};

// In the order the keys are tested and missing ones appended.
constexpr KeyEntry kKeys[] = {
    {ConfigKey::ScreenWidth, "screenWidth", &LauncherSettings::screenWidth},
    {ConfigKey::ScreenHeight, "screenHeight", &LauncherSettings::screenHeight},
    {ConfigKey::ScreenBPP, "screenBPP", &LauncherSettings::screenBPP},
    {ConfigKey::Bloom, "bloom", &LauncherSettings::bloom},
};

constexpr std::size_t kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);

// Letters, digits and underscore continue a word. So do the bytes of non-ASCII characters: screenWidth
// followed by an accented letter is some other key, not screenWidth.
bool IsWordByte(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '_' || byte >= 0x80;
}

bool IsSpaceByte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The entry of a key; null for ConfigKey::None.
const KeyEntry* Entry(ConfigKey key) {
    for (const KeyEntry& candidate : kKeys) {
        if (candidate.key == key) {
            return &candidate;
        }
    }
    return nullptr;
}

void AppendKeyLine(std::string& out, const KeyEntry& entry, std::int32_t value) {
    out += entry.name;
    char number[16];
    const int length = std::snprintf(number, sizeof(number), " = %ld", static_cast<long>(value));
    out.append(number, static_cast<std::size_t>(length));
}

} // namespace

bool HasByteOrderMark(std::string_view bytes) {
    return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark;
}

std::vector<std::string_view> SplitConfigLines(std::string_view bytes) {
    if (HasByteOrderMark(bytes)) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t newline = bytes.find('\n', start);
        if (newline == std::string_view::npos) {
            lines.push_back(bytes.substr(start));
            break;
        }
        std::size_t end = newline;
        if (end > start && bytes[end - 1] == '\r') {
            --end;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = newline + 1;
    }
    return lines;
}

bool ConvertConfigValue(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && IsSpaceByte(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated as a magnitude; 2^31 is the largest one that fits (as a negative number).
    constexpr std::uint64_t kLimit = 2147483648u;
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > kLimit) {
            return false;
        }
    }
    if (!negative && magnitude == kLimit) {
        return false;
    }
    value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

ConfigLineInfo ClassifyConfigLine(std::string_view text) {
    ConfigLineInfo info;
    for (const KeyEntry& candidate : kKeys) {
        const std::string_view name = candidate.name;
        if (text.substr(0, name.size()) != name) {
            continue;
        }
        if (text.size() > name.size() && IsWordByte(text[name.size()])) {
            continue;
        }
        info.key = candidate.key;
        std::size_t i = name.size();
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i < text.size() && text[i] == '=') {
            info.hasValue = ConvertConfigValue(text.substr(i + 1), info.value);
        }
        break;
    }
    return info;
}

std::string FormatKeyLine(ConfigKey key, std::int32_t value) {
    std::string line;
    if (const KeyEntry* entry = Entry(key)) {
        AppendKeyLine(line, *entry, value);
    }
    return line;
}

void ApplyConfigText(std::string_view bytes, LauncherSettings& settings) {
    for (const std::string_view line : SplitConfigLines(bytes)) {
        const ConfigLineInfo info = ClassifyConfigLine(line);
        if (info.hasValue) {
            settings.*Entry(info.key)->field = info.value;
        }
    }
}

std::string RewriteConfigText(std::string_view bytes, const LauncherSettings& settings,
                              std::string_view lineEnd) {
    std::string out;
    // Key lines are at most a few bytes longer than the lines they replace; the appended ones are short.
    out.reserve(bytes.size() + bytes.size() / 8 + 128);
    if (HasByteOrderMark(bytes)) {
        out += kByteOrderMark;
    }
    bool seen[kKeyCount] = {};
    for (const std::string_view line : SplitConfigLines(bytes)) {
        const ConfigLineInfo info = ClassifyConfigLine(line);
        const KeyEntry* entry = Entry(info.key);
        if (entry == nullptr) {
            out += line;
            out += !line.empty() && line.back() == '\r' ? std::string_view("\r\n") : lineEnd;
            continue;
        }
        seen[entry - kKeys] = true;
        AppendKeyLine(out, *entry, settings.*entry->field);
        out += lineEnd;
    }
    for (std::size_t i = 0; i < kKeyCount; ++i) {
        if (!seen[i]) {
            AppendKeyLine(out, kKeys[i], settings.*kKeys[i].field);
            out += lineEnd;
        }
    }
    return out;
}
