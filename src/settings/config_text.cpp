#include "settings/config_text.h"

#include <cstring>

#include "bytes/decimal.h"

namespace {

struct KeyEntry {
    ConfigKey key;
    SettingSet setting;
    std::string_view name;
    std::int32_t LauncherSettings::*field;
};

// In the order the keys are tested and missing ones appended.
constexpr KeyEntry kKeys[] = {
    {ConfigKey::ScreenWidth, kScreenWidthSetting, "screenWidth", &LauncherSettings::screenWidth},
    {ConfigKey::ScreenHeight, kScreenHeightSetting, "screenHeight", &LauncherSettings::screenHeight},
    {ConfigKey::ScreenBPP, kScreenBPPSetting, "screenBPP", &LauncherSettings::screenBPP},
    {ConfigKey::Bloom, kBloomSetting, "bloom", &LauncherSettings::bloom},
};

constexpr std::string_view kKeySeparator = " = ";

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

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           (prefix.empty() || std::memcmp(text.data(), prefix.data(), prefix.size()) == 0);
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

} // namespace

SettingSet SettingOf(ConfigKey key) {
    const KeyEntry* entry = Entry(key);
    return entry != nullptr ? entry->setting : 0;
}

bool HasByteOrderMark(std::string_view bytes) {
    return StartsWith(bytes, kByteOrderMark);
}

ConfigLines::ConfigLines(std::string_view bytes) : rest_(bytes) {
    if (HasByteOrderMark(rest_)) {
        rest_.remove_prefix(kByteOrderMark.size());
    }
}

bool ConfigLines::Next(std::string_view& line) {
    if (rest_.empty()) {
        return false;
    }
    const std::size_t newline = rest_.find('\n');
    if (newline == std::string_view::npos) {
        line = rest_;
        rest_ = std::string_view();
        return true;
    }
    std::size_t end = newline;
    if (end > 0 && rest_[end - 1] == '\r') {
        --end;
    }
    line = std::string_view(rest_.data(), end);
    rest_.remove_prefix(newline + 1);
    return true;
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
        if (!StartsWith(text, name)) {
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
            text.remove_prefix(i + 1);
            info.hasValue = ConvertConfigValue(text, info.value);
        }
        break;
    }
    return info;
}

KeyLine FormatKeyLine(ConfigKey key, std::int32_t value) {
    KeyLine line{};
    if (const KeyEntry* entry = Entry(key)) {
        // The longest, "screenHeight = -2147483648", has 26 bytes.
        std::memcpy(line.bytes, entry->name.data(), entry->name.size());
        line.size = entry->name.size();
        std::memcpy(line.bytes + line.size, kKeySeparator.data(), kKeySeparator.size());
        line.size += kKeySeparator.size();
        line.size += FormatDecimal(value, line.bytes + line.size);
    }
    return line;
}

namespace {

void AppendKeyLine(ByteBuffer& out, const KeyEntry& entry, std::int32_t value, std::string_view lineEnd) {
    out.Append(FormatKeyLine(entry.key, value).View());
    out.Append(lineEnd);
}

} // namespace

SettingSet ApplyConfigText(std::string_view bytes, LauncherSettings& settings) {
    SettingSet found = 0;
    ConfigLines lines(bytes);
    std::string_view line;
    while (lines.Next(line)) {
        const ConfigLineInfo info = ClassifyConfigLine(line);
        if (info.hasValue) {
            const KeyEntry* entry = Entry(info.key);
            settings.*entry->field = info.value;
            found |= entry->setting;
        }
    }
    return found;
}

bool RewriteConfigText(std::string_view bytes, const LauncherSettings& settings, SettingSet known,
                       std::string_view lineEnd, ByteBuffer& out) {
    out.Clear();
    // Key lines are at most a few bytes longer than the lines they replace; the appended ones are short.
    // Where that much room is not to be had, the appends below find out whether the text fits.
    const std::size_t room = bytes.size() + bytes.size() / 8 + 256;
    if (room < bytes.size() || !out.Reserve(room)) {
        out.Clear();
    }
    if (HasByteOrderMark(bytes)) {
        out.Append(kByteOrderMark);
    }
    SettingSet present = 0;
    ConfigLines lines(bytes);
    std::string_view line;
    while (lines.Next(line) && !out.Failed()) {
        const KeyEntry* entry = Entry(ClassifyConfigLine(line).key);
        if (entry != nullptr && (known & entry->setting) != 0) {
            present |= entry->setting;
            AppendKeyLine(out, *entry, settings.*entry->field, lineEnd);
            continue;
        }
        out.Append(line);
        out.Append(!line.empty() && line.back() == '\r' ? std::string_view("\r\n") : lineEnd);
    }
    for (const KeyEntry& entry : kKeys) {
        if ((known & entry.setting) != 0 && (present & entry.setting) == 0) {
            AppendKeyLine(out, entry, settings.*entry.field, lineEnd);
        }
    }
    return !out.Failed();
}
