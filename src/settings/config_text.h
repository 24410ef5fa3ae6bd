#pragma once
// The text of config.cfg without any file access: splitting it into lines, recognising the lines that
// hold one of the four settings, converting their values and producing the rewritten text. Nothing here
// allocates except into a ByteBuffer, and nothing throws.
//
// A line is everything up to its LF; a CR directly before that LF belongs to the line end, any other byte
// (NUL, 0x1A, a lone CR, ...) belongs to the line's text. A UTF-8 byte-order mark at the very start of the
// file is not part of the first line's text.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bytes/byte_buffer.h"
#include "settings/launcher_settings.h"

// The setting a line holds; None for every other line.
enum class ConfigKey { None, ScreenWidth, ScreenHeight, ScreenBPP, Bloom };

// The bit of a key in a SettingSet; 0 for None.
SettingSet SettingOf(ConfigKey key);

// A line as classified: its key and, when the line gives a usable value, that value.
struct ConfigLineInfo {
    ConfigKey key = ConfigKey::None;
    bool hasValue = false; // false for other lines, for a key without "=" and for a value out of range
    std::int32_t value = 0;
};

// The UTF-8 byte-order mark, kept at the front of a rewritten file when the old one began with it.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The line end a rewrite writes after each line: CR LF on Windows, LF elsewhere.
#ifdef _WIN32
inline constexpr std::string_view kPlatformLineEnd = "\r\n";
#else
inline constexpr std::string_view kPlatformLineEnd = "\n";
#endif

// True when the bytes begin with the UTF-8 byte-order mark.
bool HasByteOrderMark(std::string_view bytes);

// The lines of a file's bytes, one at a time, without their line ends and without a leading byte-order
// mark. A last line without LF is a line when it holds at least one byte; an empty file has no lines.
class ConfigLines {
public:
    explicit ConfigLines(std::string_view bytes);
    // Sets line to the next line and returns true, or returns false after the last one.
    bool Next(std::string_view& line);

private:
    std::string_view rest_;
};

// Converts a value the way strtol does in base 10, on a byte range: leading white space (blank, tab,
// LF, VT, FF, CR), an optional sign, then decimal digits up to the first other byte; no digits gives 0.
// Returns false, leaving value unchanged, when the number does not fit a signed 32-bit integer.
bool ConvertConfigValue(std::string_view text, std::int32_t& value);

// Classifies one line's text. A key line begins with the key itself, byte for byte, followed by the end
// of the line or by a byte that is not a letter, digit or underscore; bytes from 0x80 up (parts of
// non-ASCII characters) count as letters. Its value is whatever follows optional blanks or tabs and "=".
ConfigLineInfo ClassifyConfigLine(std::string_view text);

// The line a rewrite writes for a key, without line end: "screenWidth = 1280", "bloom = -1".
struct KeyLine {
    char bytes[32];
    std::size_t size = 0;
    std::string_view View() const { return std::string_view(bytes, size); }
};
KeyLine FormatKeyLine(ConfigKey key, std::int32_t value);

// Stores the value of every key line with a usable value in settings, in file order, so the last such
// line of a key wins. Fields of keys without such a line keep their value. Returns the keys that got a
// value.
SettingSet ApplyConfigText(std::string_view bytes, LauncherSettings& settings);

// Puts into out the new text of a file whose old bytes are given. The lines of the keys in known are
// replaced as a whole by the written form with the value in settings, and a line in the written form is
// appended for each key in known that had no line, in the order screenWidth, screenHeight, screenBPP,
// bloom. Every other line, the lines of keys outside known included, is carried over byte for byte and
// in order. Each line is followed by lineEnd; a line whose text ends in CR is followed by CR LF whatever
// lineEnd is, so that its CR stays part of the text. Returns false when memory ran out; out is then not
// to be used.
bool RewriteConfigText(std::string_view bytes, const LauncherSettings& settings, SettingSet known,
                       std::string_view lineEnd, ByteBuffer& out);
