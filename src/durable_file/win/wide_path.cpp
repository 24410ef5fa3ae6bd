#include "durable_file/win/wide_path.h"

#include <cwchar>

#include "durable_file/win/file_calls.h"

namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

bool FromUtf8(const char* text, WideString& out) {
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    return units > 0 && out.Resize(static_cast<std::size_t>(units - 1)) &&
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out.data(), units) == units;
}

// out = head followed by tail.
bool Join(const wchar_t* head, const wchar_t* tail, WideString& out) {
    const std::size_t headLength = std::wcslen(head);
    const std::size_t tailLength = std::wcslen(tail);
    if (!out.Resize(headLength + tailLength)) {
        return false;
    }
    std::wmemcpy(out.data(), head, headLength);
    std::wmemcpy(out.data() + headLength, tail, tailLength);
    return true;
}

} // namespace

const wchar_t* WideString::c_str() const {
    return units_.size() != 0 ? reinterpret_cast<const wchar_t*>(units_.data()) : L"";
}

wchar_t* WideString::data() {
    return reinterpret_cast<wchar_t*>(units_.data());
}

bool WideString::Resize(std::size_t size) {
    if (size >= static_cast<std::size_t>(-1) / sizeof(wchar_t) - 1 ||
        !units_.Resize((size + 1) * sizeof(wchar_t))) {
        return false;
    }
    data()[size] = L'\0';
    return true;
}

bool ToSystemPath(const char* path, WideString& out) {
    if (!FromUtf8(path, out)) {
        return false;
    }
    if (std::wcsncmp(out.c_str(), kLongPrefix, std::wcslen(kLongPrefix)) == 0) {
        return true;
    }
    WideString full;
    if (!FillWideString(full, [&out](wchar_t* buffer, DWORD capacity) {
            return g_fileCalls.getFullPathName(out.c_str(), capacity, buffer, nullptr);
        })) {
        return false;
    }
    const wchar_t* text = full.c_str();
    if (text[0] == L'\\' && text[1] == L'\\') {
        // "\\server\share\...", or a device path ("\\.\...", "\\?\...") that stays as it is.
        const bool device = (text[2] == L'.' || text[2] == L'?') && text[3] == L'\\';
        return device ? Join(L"", text, out) : Join(kLongUncPrefix, text + 2, out);
    }
    return Join(text[0] != L'\0' && text[1] == L':' ? kLongPrefix : L"", text, out);
}

bool ToUtf8Path(const wchar_t* path, ByteBuffer& out) {
    const int bytes =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, nullptr, 0, nullptr, nullptr);
    return bytes > 1 && out.Resize(static_cast<std::size_t>(bytes - 1)) &&
           WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, out.data(), bytes, nullptr,
                               nullptr) == bytes;
}
