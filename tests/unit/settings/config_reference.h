#pragma once
// A reference reader and rewriter of config.cfg written from the file's rules alone, without the
// product's splitting, key recognition, number conversion or formatting: lines split at LF, values
// converted by strtoll, key lines written with std::to_string. The random-file tests and the fuzzer
// compare the product with it.

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/launcher_settings.h"

namespace config_reference {

inline constexpr const char* kNames[] = {"screenWidth", "screenHeight", "screenBPP", "bloom"};
inline constexpr int kNoKey = -1;

inline const std::string kBom = "\xEF\xBB\xBF";

// The lines of a file: each ends at LF, which a CR directly before belongs to; a byte-order mark at the
// very start is no part of the first line; a last line without LF counts when it is not empty.
inline std::vector<std::string> Lines(const std::string& file) {
    std::string rest = file.compare(0, kBom.size(), kBom) == 0 ? file.substr(kBom.size()) : file;
    std::vector<std::string> lines;
    std::string line;
    for (const char c : rest) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

inline bool ContinuesAName(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) != 0 || byte == '_' || byte >= 0x80;
}

// The key a line begins with as a whole word, or kNoKey.
inline int Key(const std::string& line) {
    for (int k = 0; k < 4; ++k) {
        const std::string name = kNames[k];
        if (line.compare(0, name.size(), name) == 0 &&
            (line.size() == name.size() || !ContinuesAName(line[name.size()]))) {
            return k;
        }
    }
    return kNoKey;
}

// The value after the key, blanks or tabs and "=", as strtoll reads it; false without "=" or when it does
// not fit 32 bits.
inline bool Value(const std::string& line, int key, std::int32_t& value) {
    std::size_t i = std::string(kNames[key]).size();
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
        ++i;
    }
    if (i >= line.size() || line[i] != '=') {
        return false;
    }
    const std::string text = line.substr(i + 1); // strtoll stops at a NUL, as at any other byte
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) {
        return false;
    }
    value = static_cast<std::int32_t>(number);
    return true;
}

inline std::int32_t& Field(LauncherSettings& settings, int key) {
    std::int32_t* fields[] = {&settings.screenWidth, &settings.screenHeight, &settings.screenBPP,
                              &settings.bloom};
    return *fields[key];
}

inline SettingSet Bit(int key) {
    const SettingSet bits[] = {kScreenWidthSetting, kScreenHeightSetting, kScreenBPPSetting, kBloomSetting};
    return bits[key];
}

inline std::string KeyLine(int key, std::int32_t value) {
    return std::string(kNames[key]) + " = " + std::to_string(value);
}

// The settings a file gives, read into start, and the keys that got a value.
inline SettingSet Read(const std::string& file, LauncherSettings& settings) {
    SettingSet found = 0;
    for (const std::string& line : Lines(file)) {
        const int key = Key(line);
        std::int32_t value = 0;
        if (key != kNoKey && Value(line, key, value)) {
            Field(settings, key) = value;
            found |= Bit(key);
        }
    }
    return found;
}

inline std::string Rewrite(const std::string& file, LauncherSettings memory, SettingSet known,
                           const std::string& lineEnd) {
    std::string out = file.compare(0, kBom.size(), kBom) == 0 ? kBom : "";
    SettingSet present = 0;
    for (const std::string& line : Lines(file)) {
        const int key = Key(line);
        if (key != kNoKey && (known & Bit(key)) != 0) {
            present |= Bit(key);
            out += KeyLine(key, Field(memory, key)) + lineEnd;
        } else {
            out += line + (!line.empty() && line.back() == '\r' ? "\r\n" : lineEnd);
        }
    }
    for (int key = 0; key < 4; ++key) {
        if ((known & Bit(key) & ~present) != 0) {
            out += KeyLine(key, Field(memory, key)) + lineEnd;
        }
    }
    return out;
}

} // namespace config_reference
