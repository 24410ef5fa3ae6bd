#include "adapter_report.h"

#include <sstream>

namespace {

bool Qualifies(const D3DDISPLAYMODE& mode) {
    return mode.Width >= 1024 && mode.Height >= 768;
}

bool SameSize(const D3DDISPLAYMODE& mode, const DisplayMode& record) {
    return mode.Width == record.width && mode.Height == record.height;
}

bool SameSize(const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
    return a.Width == b.Width && a.Height == b.Height;
}

std::vector<D3DDISPLAYMODE> QualifyingModes(const AdapterReport& report) {
    std::vector<D3DDISPLAYMODE> qualifying;
    for (const D3DDISPLAYMODE& mode : report.modes) {
        if (Qualifies(mode)) {
            qualifying.push_back(mode);
        }
    }
    return qualifying;
}

const char* FormatName(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return "A8R8G8B8";
    case D3DFMT_X8R8G8B8:
        return "X8R8G8B8";
    default:
        return "other";
    }
}

std::string Text(const DisplayMode& record) {
    return std::to_string(record.width) + "x" + std::to_string(record.height) + "x" +
           std::to_string(record.bpp);
}

} // namespace

AdapterReport ReadAdapterReport() {
    AdapterReport report;
    HMODULE library = LoadLibraryA("d3d9.dll");
    if (library == nullptr) {
        return report;
    }
    using Create = IDirect3D9*(WINAPI*)(UINT);
    const auto create =
        reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library, "Direct3DCreate9")));
    IDirect3D9* d3d = create != nullptr ? create(D3D_SDK_VERSION) : nullptr;
    if (d3d != nullptr) {
        report.available = true;
        report.a8r8g8b8Accepted = SUCCEEDED(d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                                 D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE));
        report.x8r8g8b8Accepted = SUCCEEDED(d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                                 D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE));
        report.format =
            !report.a8r8g8b8Accepted && report.x8r8g8b8Accepted ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
        const UINT count = d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, report.format);
        for (UINT index = 0; index < count; ++index) {
            D3DDISPLAYMODE mode{};
            if (SUCCEEDED(d3d->EnumAdapterModes(D3DADAPTER_DEFAULT, report.format, index, &mode))) {
                report.modes.push_back(mode);
            }
        }
        d3d->Release();
    }
    FreeLibrary(library);
    return report;
}

std::string Describe(const AdapterReport& report) {
    if (!report.available) {
        return "Direct3D 9 unavailable";
    }
    std::ostringstream out;
    out << FormatName(report.format) << " (A8R8G8B8 " << (report.a8r8g8b8Accepted ? "accepted" : "refused")
        << ", X8R8G8B8 " << (report.x8r8g8b8Accepted ? "accepted" : "refused") << "), " << report.modes.size()
        << " modes:";
    for (const D3DDISPLAYMODE& mode : report.modes) {
        out << " " << mode.Width << "x" << mode.Height << "@" << mode.RefreshRate;
    }
    return out.str();
}

bool HasNeighboursDifferingInRefreshOnly(const AdapterReport& report) {
    for (std::size_t i = 1; i < report.modes.size(); ++i) {
        const D3DDISPLAYMODE& before = report.modes[i - 1];
        const D3DDISPLAYMODE& mode = report.modes[i];
        if (Qualifies(mode) && SameSize(before, mode) && before.RefreshRate != mode.RefreshRate) {
            return true;
        }
    }
    return false;
}

::testing::AssertionResult ListMatchesReport(const DisplayModeList& list, const AdapterReport& report) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        const DisplayMode& record = list[i];
        if (record.bpp != 32 || record.width < 1024 || record.height < 768) {
            return ::testing::AssertionFailure() << "record " << i << " is " << Text(record);
        }
        if (i > 0 && list[i - 1].width == record.width && list[i - 1].height == record.height &&
            list[i - 1].bpp == record.bpp) {
            return ::testing::AssertionFailure()
                   << "record " << i << " repeats the one before: " << Text(record);
        }
    }

    const std::vector<D3DDISPLAYMODE> qualifying = QualifyingModes(report);
    for (const D3DDISPLAYMODE& mode : qualifying) {
        bool present = false;
        for (const DisplayMode& record : list) {
            present = present || SameSize(mode, record);
        }
        if (!present) {
            return ::testing::AssertionFailure()
                   << "reported " << mode.Width << "x" << mode.Height << " is missing";
        }
    }

    // In the adapter's order: each record matches a later reported mode than the record before it.
    std::size_t next = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        while (next < qualifying.size() && !SameSize(qualifying[next], list[i])) {
            ++next;
        }
        if (next == qualifying.size()) {
            return ::testing::AssertionFailure()
                   << "record " << i << " (" << Text(list[i]) << ") is out of the adapter's order";
        }
        ++next;
    }

    std::size_t runs = 0;
    for (std::size_t i = 0; i < qualifying.size(); ++i) {
        if (i == 0 || !SameSize(qualifying[i - 1], qualifying[i])) {
            ++runs;
        }
    }
    if (list.size() != runs) {
        return ::testing::AssertionFailure()
               << list.size() << " records for " << runs << " runs of equal sizes";
    }
    return ::testing::AssertionSuccess();
}
