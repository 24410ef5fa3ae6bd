// The resources of a built Tavaren.exe (named by $TAVAREN_EXE), read back through the Windows resource
// functions: the two dialog templates byte for byte, the shell icon, the picture and the version.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
constexpr WORD kRussian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);

HMODULE LoadLauncher() {
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("TAVAREN_EXE", path, MAX_PATH) == 0) {
        return nullptr;
    }
    std::string name = path;
    if (!name.empty() && name[0] == '/') {
        name = "Z:" + name; // a Unix path, as CTest gives it under Wine
    }
    return LoadLibraryExA(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// One resource's bytes, or an empty vector when the module has no such resource in that language.
std::vector<std::uint8_t> Resource(HMODULE module, LPCSTR type, int id, WORD language) {
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id), language);
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<std::uint8_t>(data, data + SizeofResource(module, found));
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

// Every language in which the module carries the resource.
std::vector<WORD> Languages(HMODULE module, LPCSTR type, int id) {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(module, type, MAKEINTRESOURCEA(id), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

// Reads a dialog template field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::uint16_t Word() { return Take<std::uint16_t>(); }
    std::uint32_t Dword() { return Take<std::uint32_t>(); }
    std::int16_t Short() { return Take<std::int16_t>(); }
    std::uint8_t Byte() { return Take<std::uint8_t>(); }

    // A string or an ordinal; ordinals come back as "#n".
    std::string Text() {
        if (at_ + 2 <= bytes_.size() && bytes_[at_] == 0xFF && bytes_[at_ + 1] == 0xFF) {
            at_ += 2;
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (std::uint16_t c = Word(); c != 0; c = Word()) {
            text += static_cast<char>(c);
        }
        return text;
    }

    void AlignToDword() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    size_t Left() const { return bytes_.size() - at_; }

private:
    template <typename T> T Take() {
        T value{};
        if (at_ + sizeof(T) <= bytes_.size()) {
            std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        }
        at_ += sizeof(T);
        return value;
    }

    const std::vector<std::uint8_t>& bytes_;
    size_t at_ = 0;
};

struct Control {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    int id;
    std::string className;
    std::string text;
};

class LauncherResources : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLauncher();
        ASSERT_NE(module, nullptr) << "set TAVAREN_EXE to a built Tavaren.exe";
    }
    void TearDown() override { FreeLibrary(module); }

    HMODULE module = nullptr;
};

TEST_F(LauncherResources, LauncherWindowTemplate) {
    EXPECT_EQ(Languages(module, RT_DIALOG, 101), std::vector<WORD>{kNeutral});
    const std::vector<std::uint8_t> bytes = Resource(module, RT_DIALOG, 101, kNeutral);
    ASSERT_FALSE(bytes.empty());
    TemplateReader in(bytes);
    EXPECT_EQ(in.Dword(), static_cast<std::uint32_t>(WS_POPUP | WS_BORDER | DS_SETFONT));
    EXPECT_EQ(in.Dword(), 0u); // extended style
    const int count = in.Word();
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 433);
    EXPECT_EQ(in.Short(), 236);
    EXPECT_EQ(in.Text(), ""); // menu
    EXPECT_EQ(in.Text(), ""); // class
    EXPECT_EQ(in.Text(), ""); // title
    EXPECT_EQ(in.Word(), 8u); // points
    EXPECT_EQ(in.Text(), "MS Sans Serif");

    const std::uint32_t flatButton = WS_CHILD | BS_PUSHBUTTON | BS_FLAT;
    const std::vector<Control> expected = {
        {flatButton | WS_VISIBLE | WS_TABSTOP, 7, 215, 76, 14, 1000, "#128", "PLAY"},
        {flatButton | WS_VISIBLE | WS_TABSTOP, 377, 215, 49, 14, 1002, "#128", "CLOSE"},
        {WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 7, 7, 419, 202, 1026, "#130", ""},
        {flatButton, 95, 215, 73, 14, 1003, "#128", "GAMEPAD"},
        {flatButton, 292, 215, 73, 14, 1001, "#128", "OPTONS"},
        {WS_CHILD | WS_DISABLED | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT, 187, 215, 90, 43, 1027, "#133", ""},
    };
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    for (const Control& control : expected) {
        in.AlignToDword();
        EXPECT_EQ(in.Dword(), control.style) << control.id;
        EXPECT_EQ(in.Dword(), 0u) << control.id;
        EXPECT_EQ(in.Short(), control.x) << control.id;
        EXPECT_EQ(in.Short(), control.y) << control.id;
        EXPECT_EQ(in.Short(), control.cx) << control.id;
        EXPECT_EQ(in.Short(), control.cy) << control.id;
        EXPECT_EQ(in.Word(), control.id);
        EXPECT_EQ(in.Text(), control.className) << control.id;
        EXPECT_EQ(in.Text(), control.text) << control.id;
        EXPECT_EQ(in.Word(), 0u) << control.id; // no creation data
    }
    EXPECT_EQ(in.Left(), 0u);
}

TEST_F(LauncherResources, OptionsDialogTemplate) {
    const std::vector<std::uint8_t> bytes = Resource(module, RT_DIALOG, 105, kNeutral);
    ASSERT_FALSE(bytes.empty());
    TemplateReader in(bytes);
    EXPECT_EQ(in.Word(), 1u);      // extended template version
    EXPECT_EQ(in.Word(), 0xFFFFu); // and signature
    EXPECT_EQ(in.Dword(), 0u);     // help id
    EXPECT_EQ(in.Dword(), 0u);     // extended style
    EXPECT_EQ(in.Dword(), static_cast<std::uint32_t>(WS_CAPTION | DS_SETFONT));
    const int count = in.Word();
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 186);
    EXPECT_EQ(in.Short(), 99);
    EXPECT_EQ(in.Text(), "");
    EXPECT_EQ(in.Text(), "");
    EXPECT_EQ(in.Text(), "Options");
    EXPECT_EQ(in.Word(), 8u); // points
    EXPECT_EQ(in.Word(), 0u); // weight
    EXPECT_EQ(in.Byte(), 0u); // italic
    EXPECT_EQ(in.Byte(), 1u); // DEFAULT_CHARSET
    EXPECT_EQ(in.Text(), "MS Sans Serif");

    const std::uint32_t hiddenBox = WS_CHILD | BS_AUTOCHECKBOX | WS_DISABLED | WS_TABSTOP;
    const std::vector<Control> expected = {
        {WS_CHILD | BS_DEFPUSHBUTTON | WS_VISIBLE | WS_TABSTOP, 71, 78, 50, 14, IDOK, "#128", "OK"},
        {WS_CHILD | BS_PUSHBUTTON | WS_VISIBLE | WS_TABSTOP, 129, 78, 50, 14, IDCANCEL, "#128", "Cancel"},
        {hiddenBox, 13, 40, 96, 10, 1007, "#128", "Motion Blur"},
        {hiddenBox, 13, 54, 49, 10, 1008, "#128", "Lens Flare"},
        {WS_CHILD | BS_AUTOCHECKBOX | WS_VISIBLE | WS_TABSTOP, 123, 40, 35, 10, 1009, "#128", "Bloom"},
        {hiddenBox, 123, 54, 38, 10, 1010, "#128", "Smoke"},
        {WS_CHILD | BS_GROUPBOX | BS_FLAT | WS_VISIBLE, 7, 7, 172, 64, -1, "#128", "Video"},
        {WS_CHILD | SS_LEFT | WS_VISIBLE | WS_GROUP, 15, 22, 59, 8, -1, "#130", "Screen Resolution"},
        {WS_CHILD | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_VISIBLE | WS_TABSTOP, 83, 19, 81, 58, 1004,
         "#133", ""},
    };
    ASSERT_EQ(count, static_cast<int>(expected.size()));
    for (const Control& control : expected) {
        in.AlignToDword();
        EXPECT_EQ(in.Dword(), 0u) << control.text; // help id
        EXPECT_EQ(in.Dword(), 0u) << control.text; // extended style
        EXPECT_EQ(in.Dword(), control.style) << control.text;
        EXPECT_EQ(in.Short(), control.x) << control.text;
        EXPECT_EQ(in.Short(), control.y) << control.text;
        EXPECT_EQ(in.Short(), control.cx) << control.text;
        EXPECT_EQ(in.Short(), control.cy) << control.text;
        EXPECT_EQ(static_cast<int>(in.Dword()), control.id) << control.text;
        EXPECT_EQ(in.Text(), control.className) << control.text;
        EXPECT_EQ(in.Text(), control.text);
        EXPECT_EQ(in.Word(), 0u) << control.text;
    }
    EXPECT_EQ(in.Left(), 0u);
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

BOOL CALLBACK CountName(HMODULE, LPCSTR, LPSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

TEST_F(LauncherResources, OneRussianIconGroupOfEightBitmapImages) {
    int groups = 0;
    EnumResourceNamesA(module, RT_GROUP_ICON, CountName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, 1);

    EXPECT_EQ(Languages(module, RT_GROUP_ICON, 125), std::vector<WORD>{kRussian});
    const std::vector<std::uint8_t> group = Resource(module, RT_GROUP_ICON, 125, kRussian);
    ASSERT_EQ(group.size(), 6u + 8u * sizeof(GroupIconEntry));
    WORD header[3];
    std::memcpy(header, group.data(), sizeof header);
    EXPECT_EQ(header[0], 0u);
    EXPECT_EQ(header[1], 1u); // icons
    EXPECT_EQ(header[2], 8u);

    struct Image {
        int size;
        int bpp;
    };
    const Image images[8] = {{32, 4}, {16, 4}, {48, 8}, {32, 8}, {16, 8}, {48, 32}, {32, 32}, {16, 32}};
    for (int i = 0; i < 8; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof(GroupIconEntry), sizeof entry);
        EXPECT_EQ(entry.id, i + 1);
        EXPECT_EQ(entry.width, images[i].size) << i;
        EXPECT_EQ(entry.height, images[i].size) << i;
        EXPECT_EQ(entry.bitCount, images[i].bpp) << i;

        EXPECT_EQ(Languages(module, RT_ICON, i + 1), std::vector<WORD>{kRussian}) << i;
        const std::vector<std::uint8_t> icon = Resource(module, RT_ICON, i + 1, kRussian);
        ASSERT_EQ(icon.size(), entry.bytes) << i;
        ASSERT_GE(icon.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER dib;
        std::memcpy(&dib, icon.data(), sizeof dib); // a DIB, not PNG
        EXPECT_EQ(dib.biSize, sizeof(BITMAPINFOHEADER)) << i;
        EXPECT_EQ(dib.biWidth, images[i].size) << i;
        EXPECT_EQ(dib.biHeight, 2 * images[i].size) << i; // image and mask
        EXPECT_EQ(dib.biBitCount, images[i].bpp) << i;
        EXPECT_EQ(dib.biCompression, static_cast<DWORD>(BI_RGB)) << i;
    }
}

TEST_F(LauncherResources, PictureIsA48By48SixteenColourBitmap) {
    EXPECT_EQ(Languages(module, RT_BITMAP, 110), std::vector<WORD>{kNeutral});
    const std::vector<std::uint8_t> bitmap = Resource(module, RT_BITMAP, 110, kNeutral);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD));
    BITMAPINFOHEADER dib;
    std::memcpy(&dib, bitmap.data(), sizeof dib);
    EXPECT_EQ(dib.biSize, sizeof(BITMAPINFOHEADER));
    EXPECT_EQ(dib.biWidth, 48);
    EXPECT_EQ(dib.biHeight, 48);
    EXPECT_EQ(dib.biBitCount, 4);
    EXPECT_EQ(dib.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_TRUE(dib.biClrUsed == 0 || dib.biClrUsed == 16);
    const size_t rowBytes = 24; // 48 pixels at 4 bits, already a multiple of four
    EXPECT_EQ(bitmap.size(), sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD) + 48 * rowBytes);
}

TEST_F(LauncherResources, VersionNamesTheProduct) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    const std::vector<std::uint8_t> version(data, data + SizeofResource(module, found));

    auto contains = [&](const wchar_t* text) {
        const auto* begin = reinterpret_cast<const std::uint8_t*>(text);
        const std::vector<std::uint8_t> needle(begin, begin + (wcslen(text) + 1) * sizeof(wchar_t));
        return std::search(version.begin(), version.end(), needle.begin(), needle.end()) != version.end();
    };
    EXPECT_TRUE(contains(L"ProductName"));
    EXPECT_TRUE(contains(L"Tavaren"));
    EXPECT_TRUE(contains(L"Tavaren launcher"));
}

} // namespace
