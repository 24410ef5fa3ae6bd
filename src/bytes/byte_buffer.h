#pragma once
// A growable run of bytes on the C heap. Growing it reports failure instead of throwing: once an
// allocation has failed the buffer stays failed, ignores further appends and says so, so that a caller
// can build a whole text and check once at the end.

#include <cstddef>
#include <string_view>

class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer();

    // The bytes, always followed by a NUL that size() does not count, so a path can be passed on as it is.
    const char* data() const { return data_ != nullptr ? data_ : ""; }
    char* data() { return data_; }
    std::size_t size() const { return size_; }
    std::string_view view() const { return std::string_view(data(), size_); }
    const char* c_str() const { return data(); }

    // True after an allocation has failed; Clear() starts afresh.
    bool Failed() const { return failed_; }

    // Makes room for capacity bytes in all.
    bool Reserve(std::size_t capacity);
    // Appends the bytes; false, leaving the content unchanged, when there is no memory for them.
    bool Append(std::string_view bytes);
    // Makes the buffer size bytes long; bytes added are zero.
    bool Resize(std::size_t size);
    // Empties the buffer, keeping its memory, and forgets an earlier failure.
    void Clear();

private:
    bool Grow(std::size_t needed);

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0; // not counting the NUL
    bool failed_ = false;
};

// The function every ByteBuffer allocates with: std::realloc, unless a test puts in one that fails.
using ByteBufferReallocate = void* (*)(void* block, std::size_t size);
extern ByteBufferReallocate g_byteBufferReallocate;
