#pragma once
// Numbers written as decimal bytes, without the C library's locale or its buffers.

#include <cstddef>
#include <cstdint>

// Room for any 64-bit number in decimal, sign included.
inline constexpr std::size_t kDecimalCapacity = 20;

// Writes value in signed decimal ("-" before a negative value, no leading zeros) to out, which has room
// for kDecimalCapacity bytes; returns the number of bytes written. No NUL is added.
std::size_t FormatDecimal(std::int64_t value, char* out);
