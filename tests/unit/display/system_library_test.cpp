// Loading a DLL from the system directory: the search flag, the full-path fallback for systems that do
// not know the flag, and the real loader.

#include "display/system_library.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Scripted system calls, recording their arguments.
struct ScriptedLoader {
    HMODULE loadExResult = nullptr;
    DWORD loadExError = ERROR_SUCCESS;
    std::wstring systemDirectory = L"C:\\windows\\system32";
    bool systemDirectoryFails = false;
    HMODULE loadResult = nullptr;

    std::vector<std::wstring> loadExNames;
    std::vector<DWORD> loadExFlags;
    std::vector<std::wstring> loadPaths;
    int systemDirectoryCalls = 0;
};

ScriptedLoader* g_loader = nullptr;

HMODULE WINAPI ScriptedLoadLibraryEx(LPCWSTR fileName, HANDLE, DWORD flags) {
    g_loader->loadExNames.push_back(fileName);
    g_loader->loadExFlags.push_back(flags);
    SetLastError(g_loader->loadExError);
    return g_loader->loadExResult;
}

HMODULE WINAPI ScriptedLoadLibrary(LPCWSTR path) {
    g_loader->loadPaths.push_back(path);
    return g_loader->loadResult;
}

UINT WINAPI ScriptedSystemDirectory(LPWSTR buffer, UINT size) {
    ++g_loader->systemDirectoryCalls;
    if (g_loader->systemDirectoryFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    const std::wstring& directory = g_loader->systemDirectory;
    if (directory.size() + 1 > size) {
        return static_cast<UINT>(directory.size() + 1);
    }
    std::wmemcpy(buffer, directory.c_str(), directory.size() + 1);
    return static_cast<UINT>(directory.size());
}

SystemLibraryCalls ScriptedCalls() {
    SystemLibraryCalls calls{};
    calls.loadLibraryEx = ScriptedLoadLibraryEx;
    calls.loadLibrary = ScriptedLoadLibrary;
    calls.getSystemDirectory = ScriptedSystemDirectory;
    return calls;
}

// Module handles are only compared here, never used.
HMODULE Handle(UINT_PTR value) {
    return reinterpret_cast<HMODULE>(value);
}

class SystemLibrary : public ::testing::Test {
protected:
    void SetUp() override { g_loader = &loader; }
    void TearDown() override { g_loader = nullptr; }
    ScriptedLoader loader;
};

std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    return std::wstring(directory, length);
}

} // namespace

TEST_F(SystemLibrary, AsksForTheSystemDirectorySearchOnly) {
    loader.loadExResult = Handle(0x10000);

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), Handle(0x10000));

    EXPECT_EQ(loader.loadExNames, std::vector<std::wstring>{L"d3d9.dll"});
    EXPECT_EQ(loader.loadExFlags, std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32});
    EXPECT_TRUE(loader.loadPaths.empty());
    EXPECT_EQ(loader.systemDirectoryCalls, 0);
}

TEST_F(SystemLibrary, FallsBackToTheFullPathWhenTheFlagIsRefused) {
    loader.loadExError = ERROR_INVALID_PARAMETER;
    loader.systemDirectory = L"D:\\\u041E\u0421\\sys"; // Cyrillic, which no Western code page spells
    loader.loadResult = Handle(0x20000);

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), Handle(0x20000));

    EXPECT_EQ(loader.loadPaths, std::vector<std::wstring>{L"D:\\\u041E\u0421\\sys\\d3d9.dll"});
}

TEST_F(SystemLibrary, FallbackFailureGivesNull) {
    loader.loadExError = ERROR_INVALID_PARAMETER;

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), nullptr);
    EXPECT_EQ(loader.loadPaths.size(), 1u);
}

TEST_F(SystemLibrary, AnyOtherFailureIsFinal) {
    loader.loadExError = ERROR_MOD_NOT_FOUND;
    loader.loadResult = Handle(0x30000);

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), nullptr);
    EXPECT_TRUE(loader.loadPaths.empty());
    EXPECT_EQ(loader.systemDirectoryCalls, 0);
}

TEST_F(SystemLibrary, NoSystemDirectoryNoFallback) {
    loader.loadExError = ERROR_INVALID_PARAMETER;
    loader.loadResult = Handle(0x30000);
    loader.systemDirectoryFails = true;

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), nullptr);
    EXPECT_TRUE(loader.loadPaths.empty());
    EXPECT_EQ(loader.systemDirectoryCalls, 1);
}

TEST_F(SystemLibrary, ASystemDirectoryTooLongForThePathBufferMeansNoFallback) {
    loader.loadExError = ERROR_INVALID_PARAMETER;
    loader.loadResult = Handle(0x30000);
    loader.systemDirectory = std::wstring(MAX_PATH, L'x'); // does not fit: the call gives the size it needs

    EXPECT_EQ(LoadSystemLibrary(L"d3d9.dll", ScriptedCalls()), nullptr);
    EXPECT_TRUE(loader.loadPaths.empty());
    EXPECT_EQ(loader.systemDirectoryCalls, 1);
}

TEST(SystemLibraryOnThisSystem, LoadsD3d9FromTheSystemDirectory) {
    HMODULE module = LoadSystemLibrary(L"d3d9.dll");
    ASSERT_NE(module, nullptr);

    EXPECT_EQ(CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, DirectoryOf(ModulePath(module)).c_str(), -1,
                             SystemDirectory().c_str(), -1),
              CSTR_EQUAL)
        << ModulePath(module);
    EXPECT_NE(GetProcAddress(module, "Direct3DCreate9"), nullptr);
    FreeLibrary(module);
}

TEST(SystemLibraryOnThisSystem, TheFullPathFallbackLoadsTheSameLibrary) {
    // The real loader and system directory behind a LoadLibraryExW that refuses the flag.
    struct RefusingLoader {
        static HMODULE WINAPI LoadLibraryEx(LPCWSTR, HANDLE, DWORD) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    };
    SystemLibraryCalls calls = SystemCallsForLoading();
    calls.loadLibraryEx = RefusingLoader::LoadLibraryEx;

    HMODULE fallback = LoadSystemLibrary(L"d3d9.dll", calls);
    HMODULE direct = LoadSystemLibrary(L"d3d9.dll");

    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback, direct);
    FreeLibrary(direct);
    FreeLibrary(fallback);
}

TEST(SystemLibraryOnThisSystem, AMissingLibraryGivesNull) {
    EXPECT_EQ(LoadSystemLibrary(L"tavaren-no-such-library.dll"), nullptr);
}
