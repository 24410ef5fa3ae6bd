// The choice of format and the filtering of modes, against a scripted Direct3D 9 object.

#include "display/direct3d_source.h"
#include "display/display_mode_filter.h"
#include "fake_direct3d9.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

// In the global namespace, beside DisplayMode, for the comparisons and messages of the checks below.
inline bool operator==(const DisplayMode& a, const DisplayMode& b) {
    return a.width == b.width && a.height == b.height && a.bpp == b.bpp;
}

inline void PrintTo(const DisplayMode& mode, std::ostream* out) {
    *out << mode.width << "x" << mode.height << "x" << mode.bpp;
}

namespace {

DisplayMode Record(std::uint32_t width, std::uint32_t height) {
    return DisplayMode{height, width, 32};
}

std::string CheckOf(D3DFORMAT format) {
    return "CheckDeviceType(0,HAL," + std::to_string(format) + "," + std::to_string(format) + ",0)";
}

// A fake that accepts X8R8G8B8 only, as Direct3D 9 does on an X server without an alpha visual.
void AcceptOnly(FakeDirect3D9& d3d, D3DFORMAT format, std::vector<D3DDISPLAYMODE> modes) {
    d3d.checkResults[format] = D3D_OK;
    d3d.modeTables[format] = std::move(modes);
}

// A list that already holds something, to see that filling empties it first.
DisplayModeList StaleList() {
    return DisplayModeList{Record(4000, 3000), Record(5000, 4000)};
}

} // namespace

TEST(DisplayModeFilter, RecordsOfTheReportedModes) {
    // 32-bit records of the modes from 1024x768 up, in the adapter's order, a mode whose size equals the
    // record before it folded into it; a mode the adapter fails to report is skipped.
    const struct {
        const char* what;
        std::vector<D3DDISPLAYMODE> reported;
        std::set<UINT> failing;
        DisplayModeList records;
    } rows[] = {
        {"repeats fold only when they follow each other",
         {AdapterMode(800, 600, 60), AdapterMode(1024, 768, 60), AdapterMode(1024, 768, 75),
          AdapterMode(1280, 1024, 60), AdapterMode(1024, 768, 85)},
         {},
         {Record(1024, 768), Record(1280, 1024), Record(1024, 768)}},
        // 1280x720 is below the minimum height: it is dropped before the repeat check.
        {"a dropped mode does not separate repeats",
         {AdapterMode(800, 600, 60), AdapterMode(1024, 768, 60), AdapterMode(1024, 768, 75),
          AdapterMode(1280, 720, 60), AdapterMode(1024, 768, 85)},
         {},
         {Record(1024, 768)}},
        {"exactly 1024x768 is kept, a smaller width or height dropped",
         {AdapterMode(1024, 600), AdapterMode(1024, 768), AdapterMode(960, 768), AdapterMode(1023, 4000),
          AdapterMode(4000, 767), AdapterMode(1025, 769)},
         {},
         {Record(1024, 768), Record(1025, 769)}},
        {"the reported refresh rate and format do not matter",
         {AdapterMode(1280, 1024, 0, D3DFMT_R5G6B5), AdapterMode(1280, 1024, 75, D3DFMT_A8R8G8B8),
          AdapterMode(1600, 1200, 60, D3DFMT_X1R5G5B5)},
         {},
         {Record(1280, 1024), Record(1600, 1200)}},
        // Sizes beyond the signed range are large, not negative: they pass the minimum.
        {"sizes compare unsigned",
         {AdapterMode(0x80000000u, 0x80000000u), AdapterMode(0xFFFFFFFFu, 100)},
         {},
         {Record(0x80000000u, 0x80000000u)}},
        {"a failing index is skipped, the rest kept in order",
         {AdapterMode(1024, 768), AdapterMode(1280, 800), AdapterMode(1280, 1024), AdapterMode(1600, 900)},
         {1},
         {Record(1024, 768), Record(1280, 1024), Record(1600, 900)}},
        {"a failing index does not hide a repeat across it",
         {AdapterMode(1024, 768), AdapterMode(1280, 800), AdapterMode(1024, 768, 75)},
         {1},
         {Record(1024, 768)}},
        {"no modes", {}, {}, {}},
    };
    for (const auto& row : rows) {
        FakeDirect3D9 d3d;
        AcceptOnly(d3d, D3DFMT_A8R8G8B8, row.reported);
        d3d.failingIndexes = row.failing;
        DisplayModeList modes = StaleList();

        FillDisplayModes(d3d, modes);

        EXPECT_EQ(modes, row.records) << row.what;
        EXPECT_EQ(d3d.CallsStartingWith("EnumAdapterModes").size(), row.reported.size()) << row.what;
    }
}

TEST(DisplayModeFormat, TheFormatWhoseModesAreListed) {
    // A8R8G8B8 when accepted (X8R8G8B8 is then never asked about), else X8R8G8B8 when accepted, else
    // A8R8G8B8 all the same. The records are 32-bit in either format.
    const struct {
        HRESULT a8r8g8b8, x8r8g8b8;
        std::vector<std::string> checks;
        const char* counted;
        DisplayModeList records;
    } rows[] = {
        {D3D_OK, D3D_OK, {CheckOf(D3DFMT_A8R8G8B8)}, "GetAdapterModeCount(0,21)", {Record(1152, 864)}},
        {D3DERR_NOTAVAILABLE,
         D3D_OK,
         {CheckOf(D3DFMT_A8R8G8B8), CheckOf(D3DFMT_X8R8G8B8)},
         "GetAdapterModeCount(0,22)",
         {Record(1280, 800), Record(1600, 900)}},
        {E_FAIL,
         D3DERR_NOTAVAILABLE,
         {CheckOf(D3DFMT_A8R8G8B8), CheckOf(D3DFMT_X8R8G8B8)},
         "GetAdapterModeCount(0,21)",
         {Record(1152, 864)}},
    };
    for (const auto& row : rows) {
        FakeDirect3D9 d3d;
        d3d.checkResults[D3DFMT_A8R8G8B8] = row.a8r8g8b8;
        d3d.checkResults[D3DFMT_X8R8G8B8] = row.x8r8g8b8;
        d3d.modeTables[D3DFMT_A8R8G8B8] = {AdapterMode(1152, 864)};
        d3d.modeTables[D3DFMT_X8R8G8B8] = {AdapterMode(1280, 800), AdapterMode(1600, 900)};
        DisplayModeList modes;

        FillDisplayModes(d3d, modes);

        EXPECT_EQ(modes, row.records) << row.counted;
        EXPECT_EQ(d3d.CallsStartingWith("CheckDeviceType"), row.checks) << row.counted;
        EXPECT_EQ(d3d.CallsStartingWith("GetAdapterModeCount"), std::vector<std::string>{row.counted});
    }
}

TEST(DisplayModeFormat, ASuccessCodeOtherThanS_OKCountsAsAccepted) {
    FakeDirect3D9 d3d;
    AcceptOnly(d3d, D3DFMT_A8R8G8B8, {AdapterMode(1280, 800)});
    d3d.checkResults[D3DFMT_A8R8G8B8] = S_FALSE;
    d3d.checkResults[D3DFMT_X8R8G8B8] = D3D_OK;

    EXPECT_EQ(ChooseModeFormat(d3d), D3DFMT_A8R8G8B8);
    EXPECT_EQ(d3d.CallsStartingWith("CheckDeviceType").size(), 1u);
}

TEST(DisplayModeFilter, ASecondFillEqualsOne) {
    FakeDirect3D9 d3d;
    AcceptOnly(d3d, D3DFMT_A8R8G8B8,
               {AdapterMode(1024, 768), AdapterMode(1280, 800), AdapterMode(1280, 1024)});
    DisplayModeList once;
    FillDisplayModes(d3d, once);

    DisplayModeList twice;
    FillDisplayModes(d3d, twice);
    FillDisplayModes(d3d, twice);

    EXPECT_EQ(once.size(), 3u);
    EXPECT_EQ(twice, once);
}

TEST(DisplayModeFilter, LeavesTheObjectsReferencesAlone) {
    FakeDirect3D9 d3d;
    AcceptOnly(d3d, D3DFMT_A8R8G8B8, {AdapterMode(1024, 768)});
    DisplayModeList modes;

    FillDisplayModes(d3d, modes);

    EXPECT_EQ(d3d.releaseCalls, 0);
    EXPECT_EQ(d3d.references, 1u);
}

// ListDisplayModes: the creation and release of the object around the filtering.

namespace {

FakeDirect3D9* g_created = nullptr;
std::vector<UINT> g_requestedVersions;

IDirect3D9* WINAPI CreateFake(UINT sdkVersion) {
    g_requestedVersions.push_back(sdkVersion);
    return g_created;
}

class DisplayModeSource : public ::testing::Test {
protected:
    void SetUp() override {
        g_created = nullptr;
        g_requestedVersions.clear();
    }
    void TearDown() override { g_created = nullptr; }
};

} // namespace

TEST_F(DisplayModeSource, CreatesForSdkVersion32FillsAndReleasesOnce) {
    FakeDirect3D9 d3d;
    AcceptOnly(d3d, D3DFMT_X8R8G8B8,
               {AdapterMode(800, 600), AdapterMode(1280, 1024), AdapterMode(1280, 1024, 75)});
    g_created = &d3d;
    DisplayModeList modes = StaleList();

    ListDisplayModes(CreateFake, modes);

    EXPECT_EQ(g_requestedVersions, std::vector<UINT>{32u});
    EXPECT_EQ(modes, DisplayModeList{Record(1280, 1024)});
    EXPECT_EQ(d3d.releaseCalls, 1);
    EXPECT_EQ(d3d.references, 0u);
    EXPECT_FALSE(d3d.usedAfterFinalRelease);
    ASSERT_FALSE(d3d.calls.empty());
    EXPECT_EQ(d3d.calls.back(), "Release");
}

TEST_F(DisplayModeSource, ASecondListingEqualsOneAndReleasesEachObjectOnce) {
    FakeDirect3D9 first;
    FakeDirect3D9 second;
    for (FakeDirect3D9* d3d : {&first, &second}) {
        AcceptOnly(*d3d, D3DFMT_A8R8G8B8,
                   {AdapterMode(1024, 768), AdapterMode(1024, 768), AdapterMode(1920, 1080)});
    }
    DisplayModeList modes;

    g_created = &first;
    ListDisplayModes(CreateFake, modes);
    const DisplayModeList once = std::move(modes);
    g_created = &second;
    ListDisplayModes(CreateFake, modes);

    EXPECT_EQ(once, (DisplayModeList{Record(1024, 768), Record(1920, 1080)}));
    EXPECT_EQ(modes, once);
    EXPECT_EQ(first.releaseCalls, 1);
    EXPECT_EQ(second.releaseCalls, 1);
}

TEST_F(DisplayModeSource, NoObjectLeavesTheListEmpty) {
    DisplayModeList modes = StaleList();

    ListDisplayModes(CreateFake, modes);

    EXPECT_EQ(g_requestedVersions.size(), 1u);
    EXPECT_TRUE(modes.empty());
}

TEST_F(DisplayModeSource, NoCreationFunctionLeavesTheListEmpty) {
    DisplayModeList modes = StaleList();

    ListDisplayModes(nullptr, modes);

    EXPECT_TRUE(modes.empty());
}
