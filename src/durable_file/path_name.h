#pragma once
// The parts of a path, and how the platform compares file names.

#include <cstddef>
#include <string_view>

#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
inline constexpr bool kBackslashSeparates = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
inline constexpr bool kBackslashSeparates = false;
#endif

// Where the file name in path begins: just after its last separator, or at 0.
template <typename Char> std::size_t FileNameStart(std::basic_string_view<Char> path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        const Char c = path[i - 1];
        if (c == Char('/') || (kBackslashSeparates && c == Char('\\'))) {
            return i;
        }
    }
    return 0;
}

// The folder part of path with its last separator ("" for a bare name), and the name after it. (No substr:
// its range check would bring the C++ library's exception machinery into the exe.)
inline std::string_view DirectoryOf(std::string_view path) {
    return std::string_view(path.data(), FileNameStart(path));
}
inline std::string_view FileNameOf(std::string_view path) {
    const std::size_t start = FileNameStart(path);
    return std::string_view(path.data() + start, path.size() - start);
}
