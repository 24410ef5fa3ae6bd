#include "bytes/byte_buffer.h"

#include <cstdlib>
#include <cstring>

namespace {

void* Reallocate(void* block, std::size_t size) {
    return std::realloc(block, size);
}

} // namespace

ByteBufferReallocate g_byteBufferReallocate = Reallocate;

ByteBuffer::~ByteBuffer() {
    std::free(data_);
}

bool ByteBuffer::Grow(std::size_t needed) {
    if (failed_) {
        return false;
    }
    if (needed <= capacity_) {
        return true;
    }
    constexpr std::size_t kMax = static_cast<std::size_t>(-1) - 1; // room for the NUL
    if (needed > kMax) {
        failed_ = true;
        return false;
    }
    // Half as much again as before, so that appending many small pieces stays linear.
    std::size_t capacity = capacity_ <= kMax - capacity_ / 2 ? capacity_ + capacity_ / 2 : kMax;
    if (capacity < needed) {
        capacity = needed;
    }
    void* block = g_byteBufferReallocate(data_, capacity + 1);
    if (block == nullptr && capacity > needed) {
        capacity = needed; // the spare room may be what does not fit
        block = g_byteBufferReallocate(data_, capacity + 1);
    }
    if (block == nullptr) {
        failed_ = true;
        return false;
    }
    data_ = static_cast<char*>(block);
    capacity_ = capacity;
    return true;
}

bool ByteBuffer::Reserve(std::size_t capacity) {
    return Grow(capacity);
}

bool ByteBuffer::Append(std::string_view bytes) {
    if (bytes.empty()) {
        return !failed_;
    }
    if (bytes.size() > static_cast<std::size_t>(-1) - size_ || !Grow(size_ + bytes.size())) {
        failed_ = true;
        return false;
    }
    std::memcpy(data_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    data_[size_] = '\0';
    return true;
}

bool ByteBuffer::Resize(std::size_t size) {
    if (!Grow(size)) {
        return false;
    }
    if (size > size_) {
        std::memset(data_ + size_, 0, size - size_);
    }
    size_ = size;
    if (data_ != nullptr) {
        data_[size_] = '\0';
    }
    return true;
}

void ByteBuffer::Clear() {
    size_ = 0;
    failed_ = false;
    if (data_ != nullptr) {
        data_[0] = '\0';
    }
}
