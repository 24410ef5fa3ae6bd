// Coverage-guided fuzzing of the config.cfg reader and rewriter. The first 16 bytes of an input are the
// four settings in memory (little-endian), the low four bits of the next byte the settings to write (the
// known ones), the rest is the file. What the reader and the rewriter give is compared with a reference
// written here from the file's rules alone, without the product's splitting, key recognition, number
// conversion or formatting: lines split at LF, values converted by strtoll, written with std::to_string.

#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/byte_buffer.h"
#include "settings/config_text.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzz: %s\n", what);
        std::abort();
    }
}

constexpr const char* kNames[] = {"screenWidth", "screenHeight", "screenBPP", "bloom"};
constexpr int kNoKey = -1;

const std::string kBom = "\xEF\xBB\xBF";

// The lines of a file: each ends at LF, which a CR directly before belongs to; a byte-order mark at the
// very start is no part of the first line; a last line without LF counts when it is not empty.
std::vector<std::string> ReferenceLines(const std::string& file) {
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

bool ContinuesAName(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) != 0 || byte == '_' || byte >= 0x80;
}

// The key a line begins with as a whole word, or kNoKey.
int ReferenceKey(const std::string& line) {
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
bool ReferenceValue(const std::string& line, int key, std::int32_t& value) {
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

std::int32_t& Field(LauncherSettings& settings, int key) {
    std::int32_t* fields[] = {&settings.screenWidth, &settings.screenHeight, &settings.screenBPP,
                              &settings.bloom};
    return *fields[key];
}

SettingSet Bit(int key) {
    const SettingSet bits[] = {kScreenWidthSetting, kScreenHeightSetting, kScreenBPPSetting, kBloomSetting};
    return bits[key];
}

std::string ReferenceKeyLine(int key, std::int32_t value) {
    return std::string(kNames[key]) + " = " + std::to_string(value);
}

// The settings a file gives, read into start, and the keys that got a value.
SettingSet ReferenceRead(const std::string& file, LauncherSettings& settings) {
    SettingSet found = 0;
    for (const std::string& line : ReferenceLines(file)) {
        const int key = ReferenceKey(line);
        std::int32_t value = 0;
        if (key != kNoKey && ReferenceValue(line, key, value)) {
            Field(settings, key) = value;
            found |= Bit(key);
        }
    }
    return found;
}

std::string ReferenceRewrite(const std::string& file, LauncherSettings memory, SettingSet known,
                             const std::string& lineEnd) {
    std::string out = file.compare(0, kBom.size(), kBom) == 0 ? kBom : "";
    SettingSet present = 0;
    for (const std::string& line : ReferenceLines(file)) {
        const int key = ReferenceKey(line);
        if (key != kNoKey && (known & Bit(key)) != 0) {
            present |= Bit(key);
            out += ReferenceKeyLine(key, Field(memory, key)) + lineEnd;
        } else {
            out += line + (!line.empty() && line.back() == '\r' ? "\r\n" : lineEnd);
        }
    }
    for (int key = 0; key < 4; ++key) {
        if ((known & Bit(key) & ~present) != 0) {
            out += ReferenceKeyLine(key, Field(memory, key)) + lineEnd;
        }
    }
    return out;
}

std::string Rewrite(const std::string& in, const LauncherSettings& memory, SettingSet known,
                    const std::string& lineEnd) {
    ByteBuffer out;
    Require(RewriteConfigText(in, memory, known, lineEnd, out), "a rewrite of a small file has the memory");
    return std::string(out.view());
}

bool Same(const LauncherSettings& a, const LauncherSettings& b) {
    return a.screenWidth == b.screenWidth && a.screenHeight == b.screenHeight && a.screenBPP == b.screenBPP &&
           a.bloom == b.bloom;
}

void CheckRead(const std::string& file, const LauncherSettings& start) {
    LauncherSettings expected = start;
    const SettingSet expectedFound = ReferenceRead(file, expected);
    LauncherSettings read = start;
    Require(ApplyConfigText(file, read) == expectedFound, "the keys read are those with a usable value");
    Require(Same(read, expected), "each key gets the value of its last usable line");
}

void CheckRewrite(const std::string& in, const LauncherSettings& memory, SettingSet known,
                  const std::string& lineEnd) {
    const std::string out = Rewrite(in, memory, known, lineEnd);
    Require(out == ReferenceRewrite(in, memory, known, lineEnd),
            "the rewrite keeps every other line, replaces the known keys' lines and appends the missing");
    CheckRead(out, memory);
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
        Field(memory, k) = static_cast<std::int32_t>(bits);
    }
    const SettingSet known = header[16] & kAllSettings;
    const std::string file(reinterpret_cast<const char*>(data) + headerSize, size - headerSize);

    CheckRead(file, memory);
    CheckRewrite(file, memory, known, "\n");
    CheckRewrite(file, memory, known, "\r\n");
    return 0;
}
