#include "display/display_mode_filter.h"

namespace {

constexpr std::uint32_t kModeBitsPerPixel = 32;

bool SameMode(const DisplayMode& a, const DisplayMode& b) {
    return a.width == b.width && a.height == b.height && a.bpp == b.bpp;
}

} // namespace

D3DFORMAT ChooseModeFormat(IDirect3D9& d3d) {
    const D3DFORMAT candidates[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
    for (const D3DFORMAT format : candidates) {
        if (SUCCEEDED(d3d.CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, format, FALSE))) {
            return format;
        }
    }
    return D3DFMT_A8R8G8B8;
}

void FillDisplayModes(IDirect3D9& d3d, DisplayModeList& modes) {
    const D3DFORMAT format = ChooseModeFormat(d3d);
    modes.clear();
    const UINT count = d3d.GetAdapterModeCount(D3DADAPTER_DEFAULT, format);
    for (UINT index = 0; index < count; ++index) {
        D3DDISPLAYMODE mode{};
        if (FAILED(d3d.EnumAdapterModes(D3DADAPTER_DEFAULT, format, index, &mode))) {
            continue;
        }
        if (mode.Width < kMinimumModeWidth || mode.Height < kMinimumModeHeight) {
            continue;
        }
        const DisplayMode record{mode.Height, mode.Width, kModeBitsPerPixel};
        if (!modes.empty() && SameMode(modes.back(), record)) {
            continue;
        }
        if (!modes.push_back(record)) {
            return; // out of memory: the modes listed so far are offered
        }
    }
}
