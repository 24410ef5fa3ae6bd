#include "durable_file/leftover_names.h"

#include <cstdint>

#include "bytes/decimal.h"

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && !(ignoreCase && AsciiLower(a[i]) == AsciiLower(b[i]))) {
            return false;
        }
    }
    return true;
}

// A suffix without its leading dot. (No substr in the product: its range check would bring the C++
// library's exception machinery into the exe.)
std::string_view WithoutDot(std::string_view suffix) {
    suffix.remove_prefix(1);
    return suffix;
}

constexpr std::uint64_t kLargest32 = 0xFFFFFFFFu;
constexpr std::uint64_t kLargest63 = 0x7FFFFFFFFFFFFFFFu;

// Takes "<decimal>." from the front of text into value, a number no larger than largest.
bool TakeNumber(std::string_view& text, std::uint64_t largest, std::uint64_t& value) {
    std::size_t digits = 0;
    std::uint64_t number = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        const auto digit = static_cast<std::uint64_t>(text[digits] - '0');
        if (number > (largest - digit) / 10) {
            return false;
        }
        number = number * 10 + digit;
        ++digits;
    }
    if (digits == 0 || (digits > 1 && text[0] == '0') || digits == text.size() || text[digits] != '.') {
        return false;
    }
    value = number;
    text.remove_prefix(digits + 1);
    return true;
}

void AppendNumber(ByteBuffer& out, std::uint64_t value) {
    char number[kDecimalCapacity];
    out.Append(".");
    out.Append(std::string_view(number, FormatDecimal(static_cast<std::int64_t>(value), number)));
}

} // namespace

bool AppendLeftoverStem(ByteBuffer& out, std::string_view file, const WriterId& writer,
                        unsigned long counter) {
    if (writer.started > kLargest63) {
        return false; // a name that would not read back
    }
    out.Append(file);
    AppendNumber(out, writer.processId);
    AppendNumber(out, writer.started);
    AppendNumber(out, counter);
    return !out.Failed();
}

bool ParseLeftoverName(std::string_view name, std::string_view base, bool ignoreCase, LeftoverName& out) {
    if (name.size() <= base.size() + 1 ||
        !SameName(std::string_view(name.data(), base.size()), base, ignoreCase) || name[base.size()] != '.') {
        return false;
    }
    std::string_view rest = name;
    rest.remove_prefix(base.size() + 1);
    std::uint64_t processId = 0;
    std::uint64_t counter = 0;
    LeftoverName parsed{};
    if (!TakeNumber(rest, kLargest32, processId) || !TakeNumber(rest, kLargest63, parsed.writer.started) ||
        !TakeNumber(rest, kLargest32, counter)) {
        return false;
    }
    parsed.writer.processId = static_cast<unsigned long>(processId);
    parsed.counter = static_cast<unsigned long>(counter);
    // TakeNumber has taken the dot before the suffix.
    if (rest == WithoutDot(kTemporarySuffix)) {
        parsed.kind = LeftoverKind::Temporary;
    } else if (rest == WithoutDot(kBackupSuffix)) {
        parsed.kind = LeftoverKind::Backup;
    } else {
        return false;
    }
    out = parsed;
    return true;
}
