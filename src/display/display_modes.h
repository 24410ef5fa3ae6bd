#pragma once
// The primary adapter's 32-bit full-screen modes of at least 1024 by 768.

#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct DisplayMode {
    std::uint32_t height;
    std::uint32_t width;
    std::uint32_t bpp; // always 32
};

// A growable array of modes, by 0-based position. The launcher is built without exceptions: when memory
// runs out, the list does not grow and says so, and the Options dialog simply offers fewer modes.
class DisplayModeList {
public:
    using value_type = DisplayMode;
    using iterator = const DisplayMode*;
    using const_iterator = const DisplayMode*;

    DisplayModeList() = default;
    // The modes given, as far as memory allows.
    DisplayModeList(std::initializer_list<DisplayMode> modes);
    DisplayModeList(DisplayModeList&& other) noexcept;
    DisplayModeList& operator=(DisplayModeList&& other) noexcept;
    DisplayModeList(const DisplayModeList&) = delete;
    DisplayModeList& operator=(const DisplayModeList&) = delete;
    ~DisplayModeList();

    // Appends a copy of mode; false, with the list unchanged, when there is no memory for it.
    bool push_back(const DisplayMode& mode);
    // Empties the list and gives its storage back.
    void clear();

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const DisplayMode& operator[](std::size_t position) const { return modes_[position]; }
    const DisplayMode& back() const { return modes_[count_ - 1]; }
    const DisplayMode* begin() const { return modes_; }
    const DisplayMode* end() const { return modes_ + count_; }

private:
    DisplayMode* modes_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

// Same records in the same order.
bool operator==(const DisplayModeList& a, const DisplayModeList& b);
inline bool operator!=(const DisplayModeList& a, const DisplayModeList& b) {
    return !(a == b);
}

// Process-wide list, in the order Direct3D 9 reports the modes; filled when the Options dialog first opens
// (ListDisplayModesOnce).
extern DisplayModeList g_displayModes;
// Whether g_displayModes has been filled in this process, also when it came out empty.
extern bool g_displayModesListed;

// Empties g_displayModes and fills it anew from Direct3D 9; leaves it empty when Direct3D 9 is unavailable.
void EnumerateDisplayModes();

// Fills g_displayModes with EnumerateDisplayModes the first time it is called, and sets
// g_displayModesListed. Later calls keep the list as it is, an empty one too: Direct3D 9 is loaded, and
// paid for, only when the modes are asked for, and at most once a run; positions never change under an
// open dialog.
void ListDisplayModesOnce();
