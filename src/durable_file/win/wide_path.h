#pragma once
// Paths on Windows. The durable file hands paths around as UTF-8; the system takes them in UTF-16 through
// its ...W functions. No path goes through the ANSI code page, which cannot spell every folder name (a
// Cyrillic or Chinese game folder under a Western code page, say), and full paths take the long form
// ("\\?\C:\...", "\\?\UNC\server\share\..."), which MAX_PATH does not limit.

#include <cstddef>

#include <windows.h>

#include "bytes/byte_buffer.h"

// A NUL-terminated UTF-16 string on the C heap.
class WideString {
public:
    const wchar_t* c_str() const;
    // Null until the first Resize.
    wchar_t* data();
    // Makes the string size units long; units added are zero. False when there is no memory for it.
    bool Resize(std::size_t size);

private:
    ByteBuffer units_; // size() + 1 units, the last one NUL
};

// Calls fill(buffer, capacity) until the text fits into out, for the functions that answer like
// GetFullPathNameW: fill returns the text's length without the NUL, the capacity it needs when the buffer
// is too small, or 0 on failure.
template <typename Fill> bool FillWideString(WideString& out, Fill fill) {
    DWORD capacity = MAX_PATH;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!out.Resize(capacity)) {
            return false;
        }
        const DWORD length = fill(out.data(), capacity);
        if (length == 0) {
            return false;
        }
        if (length < capacity) {
            return out.Resize(length);
        }
        capacity = length;
    }
    return false;
}

// The path, given in UTF-8, as the ...W functions are to get it: full, in the long form (a path already in
// that form is taken as it is; a device path such as "\\.\..." stays as it is). False when path is not
// UTF-8 or no full path can be made of it.
bool ToSystemPath(const char* path, WideString& out);

// A path from the system in UTF-8; false when it is not valid UTF-16 (a lone surrogate) or there is no
// memory.
bool ToUtf8Path(const wchar_t* path, ByteBuffer& out);
