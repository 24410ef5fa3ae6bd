#include "bytes/decimal.h"

std::size_t FormatDecimal(std::int64_t value, char* out) {
    // The magnitude in unsigned arithmetic, where the most negative value has one too.
    std::uint64_t magnitude = static_cast<std::uint64_t>(value);
    if (value < 0) {
        magnitude = ~magnitude + 1;
    }
    char digits[kDecimalCapacity];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::size_t length = 0;
    if (value < 0) {
        out[length++] = '-';
    }
    while (count > 0) {
        out[length++] = digits[--count];
    }
    return length;
}
