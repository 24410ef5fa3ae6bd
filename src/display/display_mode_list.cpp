#include "display/display_modes.h"

#include <cstdlib>

DisplayModeList::DisplayModeList(std::initializer_list<DisplayMode> modes) {
    for (const DisplayMode& mode : modes) {
        if (!push_back(mode)) {
            break;
        }
    }
}

DisplayModeList::DisplayModeList(DisplayModeList&& other) noexcept
    : modes_(other.modes_), count_(other.count_), capacity_(other.capacity_) {
    other.modes_ = nullptr;
    other.count_ = 0;
    other.capacity_ = 0;
}

DisplayModeList& DisplayModeList::operator=(DisplayModeList&& other) noexcept {
    if (this != &other) {
        std::free(modes_);
        modes_ = other.modes_;
        count_ = other.count_;
        capacity_ = other.capacity_;
        other.modes_ = nullptr;
        other.count_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

DisplayModeList::~DisplayModeList() {
    std::free(modes_);
}

bool DisplayModeList::push_back(const DisplayMode& mode) {
    if (count_ == capacity_) {
        // An adapter reports a few dozen modes: doubling from 16 reaches that in two steps.
        const std::size_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
        if (capacity > static_cast<std::size_t>(-1) / sizeof(DisplayMode)) {
            return false;
        }
        void* grown = std::realloc(modes_, capacity * sizeof(DisplayMode));
        if (grown == nullptr) {
            return false;
        }
        modes_ = static_cast<DisplayMode*>(grown);
        capacity_ = capacity;
    }
    modes_[count_++] = mode;
    return true;
}

void DisplayModeList::clear() {
    std::free(modes_);
    modes_ = nullptr;
    count_ = 0;
    capacity_ = 0;
}

bool operator==(const DisplayModeList& a, const DisplayModeList& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].width != b[i].width || a[i].height != b[i].height || a[i].bpp != b[i].bpp) {
            return false;
        }
    }
    return true;
}
